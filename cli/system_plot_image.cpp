// The system plot's drawing, made by the window's own panes so both look alike.
#include <QApplication>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <cstdio>
#include <memory>

#include "model/output_file.h"
#include "cli/system_plot.h"
#include "graph/chart/system_chart_panes.h"

namespace corvella::cli {

namespace {

// The size of the drawing in pixels: room for three readable panes.
constexpr int kImageWidth = 1000;
constexpr int kImageHeight = 800;

// The offscreen platform's notes (no runtime folder, no window hints) are not the tool's status
// lines; only real failures are passed on.
void QuietMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtCriticalMsg || type == QtFatalMsg) {
    std::fprintf(stderr, "corvella-cli: %s\n", qPrintable(message));
  }
}

struct MessagesQuieted {
  MessagesQuieted() : previous(qInstallMessageHandler(QuietMessages)) {}
  ~MessagesQuieted() { qInstallMessageHandler(previous); }
  MessagesQuieted(const MessagesQuieted&) = delete;
  MessagesQuieted& operator=(const MessagesQuieted&) = delete;
  QtMessageHandler previous;
};

}  // namespace

bool WriteSystemImage(const graph::SystemCurves& curves, PlotFormat format, const std::string& path,
                      std::string& error) {
  // The charts are widgets: they need an application, which needs no screen on the offscreen
  // platform.
  const MessagesQuieted quiet;
  std::unique_ptr<QApplication> application;
  if (QCoreApplication::instance() == nullptr) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "corvella-cli";
    static char* argv[] = {name, nullptr};
    application = std::make_unique<QApplication>(argc, argv);
  }
  const QSize size(kImageWidth, kImageHeight);
  graph::chart::SystemChartPanes panes;
  panes.SetCurves(curves);
  panes.Readout()->hide();  // no mouse in a file
  panes.setAttribute(Qt::WA_DontShowOnScreen);
  panes.resize(size);
  panes.show();
  QCoreApplication::processEvents();

  return WriteWhole(
      path,
      [&](const std::filesystem::path& temporary) {
        const QString name = QString::fromStdString(temporary.string());
        if (format == PlotFormat::Png) {
          if (panes.RenderImage(size).save(name, "PNG")) return true;
          error = path + ": cannot write the image";
          return false;
        }
        QFile file(name);
        if (file.open(QIODevice::WriteOnly) && panes.RenderSvg(file, size)) return true;
        error = path + ": cannot write the drawing";
        return false;
      },
      error);
}

}  // namespace corvella::cli
