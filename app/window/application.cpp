#include "app/window/application.h"

#include <QCommandLineParser>
#include <algorithm>

#include "app/window/main_view.h"
#include "app/window/main_window.h"
#include "link/protocol_engine.h"
#include "link/serial_port.h"
#include "sim/demo_unit.h"

#ifndef CORVELLA_VERSION
#define CORVELLA_VERSION "0"
#endif

namespace corvella::app {
namespace {

// Qt's own options, which QApplication takes out of the command line itself.
QStringList WithoutQtOptions(const QStringList& arguments) {
  static const QStringList withValue{
      QStringLiteral("-platform"),      QStringLiteral("-platformpluginpath"),
      QStringLiteral("-platformtheme"), QStringLiteral("-plugin"),
      QStringLiteral("-style"),         QStringLiteral("-stylesheet"),
      QStringLiteral("-session"),       QStringLiteral("-display"),
      QStringLiteral("-geometry"),      QStringLiteral("-qwindowgeometry"),
      QStringLiteral("-qwindowicon"),   QStringLiteral("-qwindowtitle"),
      QStringLiteral("-title")};
  static const QStringList flags{QStringLiteral("-reverse"), QStringLiteral("-widgetcount"),
                                 QStringLiteral("-nograb"), QStringLiteral("-dograb"),
                                 QStringLiteral("-sync")};
  QStringList kept;
  for (qsizetype i = 0; i < arguments.size(); ++i) {
    const QString& argument = arguments[i];
    const QString name = argument.section(QLatin1Char('='), 0, 0);
    if (i > 0 && withValue.contains(name)) {
      if (!argument.contains(QLatin1Char('='))) ++i;  // its value follows
      continue;
    }
    if (i > 0 && flags.contains(argument)) continue;
    kept << argument;
  }
  return kept;
}

}  // namespace

CommandLine ParseCommandLine(const QStringList& arguments) {
  CommandLine outcome;
  // The port and journal options are shared with the CLI and parsed by the link's own reader;
  // the parser below sees the rest, but lists them for --help.
  std::vector<std::string> raw;
  for (const QString& argument : WithoutQtOptions(arguments)) raw.push_back(argument.toStdString());
  link::LinkOptions linkOptions = link::ParseLinkOptions(raw);
  if (!linkOptions.error.empty()) {
    outcome.message = QString::fromStdString(linkOptions.error);
    outcome.exitCode = 2;
    return outcome;
  }

  QCommandLineParser parser;
  parser.setApplicationDescription(
      QStringLiteral("Controller for a two-way active loudspeaker DSP unit on a serial line."));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addOption({QStringLiteral("ports"),
                    QStringLiteral("Serial devices, in order COM1, COM2, ... (default: the "
                                   "CORVELLA_PORTS variable, else the devices present)."),
                    QStringLiteral("PATH[,PATH...]")});
  parser.addOption({QStringLiteral("log"),
                    QStringLiteral("Append every frame sent and received to FILE."),
                    QStringLiteral("FILE")});
  const QCommandLineOption demo(QStringLiteral("demo"),
                                QStringLiteral("Start a virtual unit and make it COM1."));
  const QCommandLineOption screenshots(
      QStringLiteral("screenshots"),
      QStringLiteral("Render every page and dialog as PNG files into DIR, then end."),
      QStringLiteral("DIR"));
  const QCommandLineOption measure(
      QStringLiteral("measure-startup"),
      QStringLiteral("End after the window's first paint; print the time and peak memory taken."));
  parser.addOption(demo);
  parser.addOption(screenshots);
  parser.addOption(measure);
  parser.addPositionalArgument(QStringLiteral("file"),
                               QStringLiteral("A parameters file (*.asc) to open at start."),
                               QStringLiteral("[file]"));

  QStringList rest;
  for (const std::string& argument : linkOptions.rest) rest << QString::fromStdString(argument);
  if (rest.isEmpty()) rest << QStringLiteral("corvella");
  if (!parser.parse(rest)) {
    outcome.message = parser.errorText();
    outcome.exitCode = 2;
    return outcome;
  }
  if (parser.isSet(QStringLiteral("help"))) {
    // Qt knows the program's name only once an application object exists; --help runs before.
    outcome.message = parser.helpText().replace(QStringLiteral("<executable_name>"),
                                                QStringLiteral("corvella"));
    return outcome;
  }
  if (parser.isSet(QStringLiteral("version"))) {
    outcome.message = QStringLiteral("corvella " CORVELLA_VERSION);
    return outcome;
  }
  const QStringList files = parser.positionalArguments();
  if (files.size() > 1) {
    outcome.message = QStringLiteral("Unexpected argument: %1").arg(files[1]);
    outcome.exitCode = 2;
    return outcome;
  }
  AppOptions options;
  options.ports = std::move(linkOptions.ports);
  options.logPath = std::move(linkOptions.logPath);
  options.demo = parser.isSet(demo);
  options.screenshotsDir = parser.value(screenshots);
  options.measureStartup = parser.isSet(measure);
  if (!files.isEmpty()) options.presetFile = files.constFirst();
  outcome.options = std::move(options);
  return outcome;
}

Application::Application() = default;

Application::~Application() {
  // The window (and the engine in it) goes first, then the port's worker, then the unit it talked
  // to, then the journal that recorded them.
  frame_.reset();
  port_.reset();
  demo_.reset();
  journal_.Close();
}

bool Application::InitInstance(const AppOptions& options, QString* error) {
  link::PortTable table = options.ports;
  if (options.logPath && !journal_.Open(*options.logPath)) {
    if (error != nullptr) {
      *error = QString::fromStdString(journal_.LastError());
    }
    return false;
  }
  // Tools > Protocol Journal shows the frames whether or not they also go to a file.
  if (!journal_.IsOpen()) journal_.Start();
  if (options.demo) {
    std::string why;
    demo_ = sim::StartDemoUnit(&why);
    if (!demo_) {
      if (error != nullptr) {
        *error =
            QStringLiteral("Cannot start the virtual unit: %1").arg(QString::fromStdString(why));
      }
      return false;
    }
    table.PutFirst(demo_->SlavePath());
  }
  const int portCount = std::clamp(table.Size(), 1, link::kMaxPortNumber);
  port_ = std::make_unique<link::SerialPort>(owner_, std::move(table),
                                             journal_.IsOpen() ? &journal_ : nullptr);
  frame_ = std::make_unique<MainWindow>(*port_, portCount);
  frame_->SetJournal(&journal_);
  presetFile_ = options.presetFile;
  return true;
}

void Application::ShowMainWindow() {
  if (!frame_) return;
  frame_->show();
  frame_->setWindowTitle(frame_->TitleText());
  // Its boxes (a bad file, the repair warning) need the window behind them.
  if (!presetFile_.isEmpty()) frame_->view()->OpenParametersFileAt(presetFile_);
}

}  // namespace corvella::app
