// The application: reads the command line, owns the serial port (and the demo unit behind it) for
// the whole run, and shows the main window.
#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <string>

#include "app/qt/qt_owner_thread.h"
#include "link/journal.h"
#include "link/port_table.h"

namespace corvella::link {
class SerialPort;
}
namespace corvella::sim {
class VirtualUnitHost;
}

namespace corvella::app {

class MainWindow;

struct AppOptions {
  link::PortTable ports;
  std::optional<std::string> logPath;
  bool demo = false;
  QString screenshotsDir;       // render every page and dialog into this folder, then end
  bool measureStartup = false;  // end after the first paint, reporting the time and memory taken
  QString presetFile;           // a parameters file to open as File > Open does, once shown
};

// The options, or the text to print: `exitCode` 0 for --help/--version, 2 for a bad option.
struct CommandLine {
  std::optional<AppOptions> options;
  QString message;
  int exitCode = 0;
};
CommandLine ParseCommandLine(const QStringList& arguments);

class Application {
 public:
  Application();
  ~Application();
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // Opens the journal, starts the demo unit when asked and creates the main window (not shown).
  // False with `error` set when any of them fails: the program then ends without a window.
  bool InitInstance(const AppOptions& options, QString* error);
  MainWindow* mainFrame() const { return frame_.get(); }
  // Shows the window and gives it its title, then opens the preset named on the command line.
  void ShowMainWindow();

 private:
  QtOwnerThread owner_;
  link::Journal journal_;
  std::unique_ptr<sim::VirtualUnitHost> demo_;
  std::unique_ptr<link::SerialPort> port_;
  std::unique_ptr<MainWindow> frame_;
  QString presetFile_;
};

}  // namespace corvella::app
