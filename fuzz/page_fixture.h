// The editor pages as the window holds them, for the page fuzzers: one application, one set of
// pages over a connected session, a port that records what is sent, timers that never fire.
#pragma once

#include <QApplication>
#include <QImage>
#include <QWidget>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "graph/paint/graph_background.h"
#include "link/protocol_engine.h"
#include "pages/page_set.h"

namespace corvella::fuzz {

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

class IdleTimers : public link::TimerHost {
 public:
  void ArmTimer(int, int) override {}
  void KillTimer(int) override {}
  bool IsArmed(int) const override { return false; }
};

class SilentView : public link::LinkView {
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

// The pages live for the whole run, as they do in the window: state carried from one input to
// the next is part of what is tried.
struct Pages {
  Session session;
  RecordingPort port;
  IdleTimers timers;
  SilentView view;
  link::ProtocolEngine engine{session, port, timers, view, 1};
  graph::CrossoverResponse crossover;
  QImage background = graph::paint::MakeGraphBackground();
  pages::PageContext context{session, engine, crossover, background};
  QWidget window;
  pages::PageSet set{context, &window};

  Pages() {
    ResetParameters(session.parameters);
    session.link.linkConnected = 1;
    session.link.deviceId = 1;
    window.resize(1000, 700);
    window.show();
    QApplication::setActiveWindow(&window);
  }
};

inline Pages& ThePages() {
  static int argc = 1;
  static char name[] = "fuzz";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QApplication(argc, argv);
  }();
  (void)app;
  static Pages* pages = new Pages;
  return *pages;
}

}  // namespace corvella::fuzz
