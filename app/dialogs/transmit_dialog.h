// The panel shown while a whole program is sent to the unit.
#pragma once

#include <QFrame>

class QProgressBar;

namespace corvella::app {

class TransmitDialog : public QFrame {
  Q_OBJECT

 public:
  static constexpr int kTemplate = 168;
  explicit TransmitDialog(QWidget* parent = nullptr);
  // Step `step` of `steps` under way; 0 (before the first block) shows no bar.
  void ShowStep(int step, int steps);
  QProgressBar* progress() const { return progress_; }

 private:
  QProgressBar* progress_ = nullptr;
};

}  // namespace corvella::app
