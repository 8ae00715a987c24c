// What a page needs around it in a test: the program's records, a protocol engine that is connected
// and writes into a recording port, timers that only record, and a window standing in for the view.
#pragma once

#include <QApplication>
#include <QTest>
#include <QWidget>
#include <map>
#include <string>
#include <vector>

#include "graph/paint/graph_background.h"
#include "link/engine_timers.h"
#include "link/protocol_engine.h"
#include "pages/page_context.h"

namespace corvella::pages::testing {

class RecordingPort : public link::Port {
 public:
  std::vector<std::string> frames;

  bool Open(link::PortEvents*, int, int, char, int, int, unsigned, int) override { return true; }
  bool StartMonitoring() override { return true; }
  bool WriteToPort(std::string_view frame) override {
    frames.emplace_back(frame);
    return true;
  }
  void Close() override {}
  bool IsOpen() const override { return true; }
  int PortNumber() const override { return 1; }
};

// Timers that are armed and killed but never fire on their own; a test fires them.
class RecordingTimers : public link::TimerHost {
 public:
  std::map<int, int> armed;  // ID -> interval

  void SetClient(link::TimerClient*) override {}
  void ArmTimer(int id, int intervalMs) override { armed[id] = intervalMs; }
  void KillTimer(int id) override { armed.erase(id); }
  bool IsArmed(int id) const override { return armed.count(id) != 0; }
};

class QuietView : public link::LinkView {
 public:
  void SetStatusText(std::string_view) override {}
  link::BoxAnswer ShowMessageBox(const link::MessageBoxRequest&) override {
    return link::BoxAnswer::Ok;
  }
  void ShowRepairWarning() override {}
  void ShowSearchDialog() override {}
  void HideSearchDialog() override {}
  std::optional<link::SelectChoice> RunSelectDialog(
      const std::vector<link::FoundDevice>&) override {
    return std::nullopt;
  }
  void ShowTransmittingDialog() override {}
  void HideTransmittingDialog() override {}
  void RepaintHeader() override {}
  void ReloadAllPages(link::ReloadForm) override {}
  void ShowProgramListLine(int, std::string_view, bool) override {}
  void ReleaseMouseCapture() override {}
};

struct PageHarness {
  Session session;
  RecordingPort port;
  RecordingTimers timers;
  QuietView view;
  link::ProtocolEngine engine{session, port, timers, view, 1};
  graph::CrossoverResponse crossover;
  QImage background = graph::paint::MakeGraphBackground();
  PageSelection selection;
  PageContext context{session, engine, crossover, background, selection};
  QWidget window;  // the main view: Enter and Escape give it the focus

  PageHarness() {
    ResetParameters(session.parameters);
    session.link.linkConnected = 1;
    session.link.deviceId = 1;
    window.resize(1000, 700);
  }

  // Shows the window and makes it active, so that focus moves like an operator's.
  bool Activate() {
    window.show();
    QApplication::setActiveWindow(&window);
    return QTest::qWaitForWindowActive(&window);
  }

  // Lets the engine's level pause run out, as often as frames are waiting behind it.
  void RunLevelPauses() {
    for (int i = 0; i < 100 && timers.IsArmed(link::timers::kLevelPause); ++i) {
      engine.OnTimer(link::timers::kLevelPause);
    }
  }

  std::vector<std::string> TakeFrames() {
    std::vector<std::string> taken;
    taken.swap(port.frames);
    return taken;
  }
};

}  // namespace corvella::pages::testing
