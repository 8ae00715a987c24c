#include "app/window/startup_probe.h"

#include <QCoreApplication>
#include <QEvent>
#include <QTimer>

#ifndef _WIN32
#include <sys/resource.h>
#endif

namespace corvella::app {

StartupProbe::StartupProbe(const QElapsedTimer& clock, QObject* view) : clock_(clock), view_(view) {
  view_->installEventFilter(this);
}

bool StartupProbe::eventFilter(QObject* watched, QEvent* event) {
  if (watched == view_ && event->type() == QEvent::Paint && !armed_) {
    armed_ = true;
    // The filter runs before the paint; the queued call runs once it has been handled.
    QTimer::singleShot(0, this, [this] {
      firstPaintMs_ = static_cast<double>(clock_.nsecsElapsed()) / 1e6;
      // Not quit(): that asks the window to close, and the window asks the operator first.
      QCoreApplication::exit(0);
    });
  }
  return QObject::eventFilter(watched, event);
}

double StartupProbe::PeakMemoryMiB() {
#ifndef _WIN32
  rusage usage{};
  if (getrusage(RUSAGE_SELF, &usage) != 0) return -1.0;
  return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
#else
  return -1.0;
#endif
}

}  // namespace corvella::app
