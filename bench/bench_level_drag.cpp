// How far the unit lags behind a dragged level slider: the whole window, its engine on Qt's
// timers, the serial port and the virtual unit on a pseudo-terminal. The thumb is dragged with the
// mouse from +12 dB to the bottom in half a second (a move every 16 ms), then let go; the figure is
// the time from the release to the unit's receipt of the frame carrying the final level.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QStyle>
#include <QStyleOptionSlider>
#include <QTest>
#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>

#include "app/qt/qt_owner_thread.h"
#include "app/window/commands.h"
#include "app/window/main_view.h"
#include "app/window/main_window.h"
#include "link/frames.h"
#include "link/serial_port.h"
#include "pages/level_page.h"
#include "pages/page_set.h"
#include "sim/demo_unit.h"
#include "sim/virtual_unit_host.h"

namespace {

using namespace corvella;
using Clock = std::chrono::steady_clock;

// What the unit received last of the HIGH output's level, and when.
struct LevelLog {
  std::mutex mutex;
  std::string lastFrame;
  Clock::time_point lastAt;
  int frames = 0;
};

// The middle of the thumb when it stands at `position`.
QPoint HandleCentre(const QSlider& slider, int position) {
  QStyleOptionSlider option;
  option.initFrom(&slider);
  option.orientation = slider.orientation();
  option.minimum = slider.minimum();
  option.maximum = slider.maximum();
  option.sliderPosition = position;
  option.sliderValue = position;
  option.upsideDown = !slider.invertedAppearance();
  return slider.style()
      ->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, &slider)
      .center();
}

void MoveMouse(QWidget& widget, QPoint at) {
  QMouseEvent move(QEvent::MouseMove, QPointF(at), widget.mapToGlobal(QPointF(at)), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&widget, &move);
}

void WaitFor(int ms) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < ms) QApplication::processEvents(QEventLoop::AllEvents, 2);
}

void BM_LevelDragReleaseToLastFrame(benchmark::State& state) {
  LevelLog log;
  sim::VirtualUnitHost host({sim::MakeDemoUnit()});
  host.SetTrafficObserver([&log](sim::Traffic traffic, std::string_view frame) {
    if (traffic != sim::Traffic::Received || frame.find("$0491") == std::string_view::npos) return;
    const std::lock_guard lock(log.mutex);
    log.lastFrame = std::string(frame);
    log.lastAt = Clock::now();
    ++log.frames;
  });
  if (!host.Start()) {
    state.SkipWithError("the virtual unit did not start");
    return;
  }
  QtOwnerThread owner;
  link::SerialPort port(owner, link::PortTable({host.SlavePath()}));
  app::MainWindow frame(port, 1);
  app::MainView& view = *frame.view();
  if (!port.Open(&view.engine(), 1, link::kBaud, link::kParity, link::kDataBits, link::kStopBits,
                 link::kEventMask, link::kWriteBufferSize) ||
      !port.StartMonitoring()) {
    state.SkipWithError("the port did not open");
    return;
  }
  view.session().link.linkConnected = 1;
  view.session().link.deviceId = sim::kDemoUnitId;
  frame.show();
  view.OnCommand(app::cmd::kHighLevel);
  pages::LevelSlider& slider = *view.pageSet().Level().Slider();
  (void)QTest::qWaitForWindowExposed(&frame);

  double totalMs = 0.0;
  int drags = 0;
  int framesSent = 0;
  for (auto _ : state) {
    slider.setValue(0);  // +12 dB
    WaitFor(300);        // the unit's answers to anything before have come
    {
      const std::lock_guard lock(log.mutex);
      log.frames = 0;
    }
    // The last move reaches the bottom: the thumb never rests before the release.
    const QPoint start = HandleCentre(slider, 0);
    const int bottom = HandleCentre(slider, slider.maximum()).y();
    QTest::mousePress(&slider, Qt::LeftButton, {}, start);
    const int moves = 30;
    for (int i = 1; i <= moves; ++i) {
      WaitFor(16);
      MoveMouse(slider, QPoint(start.x(), start.y() + (bottom - start.y()) * i / moves));
    }
    QTest::mouseRelease(&slider, Qt::LeftButton, {}, QPoint(start.x(), bottom));
    const Clock::time_point released = Clock::now();
    const std::string wanted = link::OutputLevelFrame(sim::kDemoUnitId, Output::High,
                                                      view.session().parameters.outputLevel[0]);
    QElapsedTimer limit;
    limit.start();
    bool arrived = false;
    while (!arrived && limit.elapsed() < 10000) {
      WaitFor(1);
      const std::lock_guard lock(log.mutex);
      arrived = log.lastFrame == wanted;
    }
    WaitFor(400);  // nothing may follow the final level
    const std::lock_guard lock(log.mutex);
    if (!arrived || log.lastFrame != wanted) {
      state.SkipWithError("the unit did not end on the final level");
      return;
    }
    // The final level may have left before the release, when the thumb stood still at the end.
    totalMs +=
        std::max(0.0, std::chrono::duration<double, std::milli>(log.lastAt - released).count());
    framesSent += log.frames;
    ++drags;
  }
  state.counters["release_to_last_frame_ms"] = totalMs / drags;
  state.counters["frames_per_drag"] = static_cast<double>(framesSent) / drags;
  frame.hide();
}
BENCHMARK(BM_LevelDragReleaseToLastFrame)
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
