// Arbitrary parameter images through every editor page: loading a channel, showing a band,
// drawing the graphs and painting the page must never read out of range, whatever the codes. For
// a repaired image (which is all a page is ever given after a whole-set change) loading and
// drawing must also change nothing and send nothing.
#include <QApplication>
#include <QImage>
#include <QWidget>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "graph/paint/graph_background.h"
#include "link/protocol_engine.h"
#include "pages/crossover_page.h"
#include "pages/delay_page.h"
#include "pages/input_peq_page.h"
#include "pages/level_page.h"
#include "pages/output_peq_page.h"
#include "pages/page_set.h"

namespace {

using namespace corvella;

void Require(bool condition) {
  if (!condition) std::abort();
}

class CountingPort : public link::Port {
 public:
  int frames = 0;
  bool Open(link::PortEvents*, int, int, char, int, int, unsigned, int) override { return true; }
  bool StartMonitoring() override { return true; }
  bool WriteToPort(std::string_view) override {
    ++frames;
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
  CountingPort port;
  IdleTimers timers;
  SilentView view;
  link::ProtocolEngine engine{session, port, timers, view, 1};
  graph::CrossoverResponse crossover;
  QImage background = graph::paint::MakeGraphBackground();
  pages::PageContext context{session, engine, crossover, background};
  QWidget window;
  pages::PageSet set{context, &window};

  Pages() {
    session.link.linkConnected = 1;
    session.link.deviceId = 1;
    window.resize(1000, 700);
    window.show();
  }
};

Pages& ThePages() {
  static int argc = 1;
  static char name[] = "fuzz_pages";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QApplication(argc, argv);
  }();
  (void)app;
  static Pages* pages = new Pages;
  return *pages;
}

// Everything a page does with the parameter set short of an edit.
void Exercise(Pages& p, std::uint8_t selector) {
  p.set.ReloadAllPages(static_cast<link::ReloadForm>(selector % 3));
  for (int command = pages::kFirstPageCommand; command <= pages::kLastPageCommand; ++command) {
    p.set.ShowPage(command);
    (void)p.set.VisiblePage()->grab();
  }
  for (int channel = 0; channel < 2; ++channel) {
    p.set.InputPeq().LoadChannel(channel);
    for (int band = 1; band <= kInputBands; ++band) {
      p.set.InputPeq().ShowBand(band, channel);
      p.set.InputPeq().DrawPeqResponse(band - 1);
    }
    p.set.OutputPeq().LoadChannel(channel);
    for (int band = 1; band <= kOutputBands; ++band) {
      p.set.OutputPeq().ShowBand(band, channel);
      p.set.OutputPeq().DrawPeqResponse(band - 1);
    }
    p.set.Crossover().LoadChannel(channel);
    p.set.Crossover().DrawResponse(true);
    p.set.DelayCompressor().LoadChannel(channel);
  }
  for (int channel = 0; channel < 4; ++channel) {
    p.set.Level().LoadChannel(channel);
    if (channel < 2) {
      p.set.Level().DrawInputLevel();
    } else {
      for (int band = 0; band < kOutputBands; ++band) p.set.Level().DrawOutputResponse(band);
    }
  }
  QApplication::processEvents();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  Pages& p = ThePages();
  std::array<std::uint8_t, kParameterImageSize> image{};
  std::memcpy(image.data(), data + 1, std::min(size - 1, image.size()));

  p.session.parameters = FromImage(image);
  Exercise(p, data[0]);

  RepairParameters(p.session.parameters);
  const auto repaired = ToImage(p.session.parameters);
  const int framesBefore = p.port.frames;
  Exercise(p, data[0]);
  Require(ToImage(p.session.parameters) == repaired);
  Require(p.port.frames == framesBefore);
  return 0;
}
