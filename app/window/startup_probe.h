// Measures the start-up: from the program's first line to the main view's first finished paint,
// and the peak memory by then.
#pragma once

#include <QElapsedTimer>
#include <QObject>

namespace corvella::app {

class StartupProbe : public QObject {
  Q_OBJECT

 public:
  // `clock` was started on the program's first line. Watches `view` and quits the application
  // once its first paint has been handled.
  StartupProbe(const QElapsedTimer& clock, QObject* view);

  double firstPaintMs() const { return firstPaintMs_; }
  // Peak resident memory of the process so far, in MiB.
  static double PeakMemoryMiB();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  const QElapsedTimer& clock_;
  QObject* view_;
  double firstPaintMs_ = -1.0;
  bool armed_ = false;
};

}  // namespace corvella::app
