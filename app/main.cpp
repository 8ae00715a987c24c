// corvella: the window program.
#include <QApplication>
#include <QElapsedTimer>
#include <QIcon>
#include <cstdio>

#include "app/window/application.h"
#include "app/window/main_view.h"
#include "app/window/main_window.h"
#include "app/window/screenshots.h"
#include "app/window/startup_probe.h"

int main(int argc, char* argv[]) {
  QElapsedTimer clock;
  clock.start();
  // The command line is read before the window system is reached, so --help and a bad option
  // work without a display.
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  const corvella::app::CommandLine commandLine = corvella::app::ParseCommandLine(arguments);
  if (!commandLine.options) {
    std::fputs(qPrintable(commandLine.message + QLatin1Char('\n')),
               commandLine.exitCode == 0 ? stdout : stderr);
    return commandLine.exitCode;
  }

  QApplication application(argc, argv);
  QApplication::setApplicationName(QStringLiteral("corvella"));
  QApplication::setApplicationVersion(QStringLiteral(CORVELLA_VERSION));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/corvella.svg")));

  corvella::app::Application app;
  QString error;
  if (!app.InitInstance(*commandLine.options, &error)) {
    std::fprintf(stderr, "corvella: %s\n", qPrintable(error));
    return 1;
  }
  if (!commandLine.options->screenshotsDir.isEmpty()) {
    QStringList written;
    const bool ok = corvella::app::WriteScreenshots(
        *app.mainFrame(), commandLine.options->screenshotsDir, &written, &error);
    for (const QString& file : written) std::printf("%s\n", qPrintable(file));
    if (!ok) std::fprintf(stderr, "corvella: %s\n", qPrintable(error));
    return ok ? 0 : 1;
  }
  if (commandLine.options->measureStartup) {
    corvella::app::StartupProbe probe(clock, app.mainFrame()->view());
    app.ShowMainWindow();
    const int code = QApplication::exec();
    std::printf("first paint after %.1f ms, peak memory %.1f MiB\n", probe.firstPaintMs(),
                corvella::app::StartupProbe::PeakMemoryMiB());
    return code;
  }
  app.ShowMainWindow();
  return QApplication::exec();
}
