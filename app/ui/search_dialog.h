// The "Search Device......." panel: an eight-frame animation and a creeping progress bar
// while the ports are scanned.
#pragma once

#include <QFrame>
#include <QPixmap>
#include <array>

#include "link/link_view.h"

class QLabel;
class QProgressBar;

namespace corvella::shell {

class SearchDialog : public QFrame {
  Q_OBJECT

 public:
  static constexpr int kTemplate = 148;
  static constexpr int kFrameCount = link::SearchAnimation::kFrames;
  explicit SearchDialog(QWidget* parent = nullptr);

  void Start();
  void Stop();
  bool running() const { return animation_.running != 0; }
  int frame() const { return animation_.frame; }
  int progress() const { return animation_.progress; }
  // One animation step, as the dialog's own timer does it.
  void Advance();

  // The eight animation frames, drawn once, at `ratio` device pixels per pixel.
  static std::array<QPixmap, kFrameCount> DrawFrames(int side, qreal ratio = 1.0);

 protected:
  void timerEvent(QTimerEvent* event) override;

 private:
  void ShowFrame();

  QLabel* picture_;
  QProgressBar* bar_;
  std::array<QPixmap, kFrameCount> frames_;
  link::SearchAnimation animation_;
  int timerId_ = 0;
};

}  // namespace corvella::shell
