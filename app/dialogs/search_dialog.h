// The "Search Device......." panel: an eight-frame animation and a creeping progress bar
// while the ports are scanned.
#pragma once

#include <QFrame>
#include <QPixmap>
#include <array>

class QLabel;
class QProgressBar;

namespace corvella::app {

// The search dialog's animation: eight frames, the progress bar advancing by 6 (mod 100) each time
// the last frame is shown.
struct SearchAnimation {
  int running = 0;
  int frame = 0;
  int progress = 1;
  static constexpr int kFrames = 8;
  static constexpr int kStartIntervalMs = 150;

  void Start() {
    frame = 0;
    progress = 1;
    running = 1;
  }
  void Stop() {
    progress = 1;
    running = 0;
    frame = 0;
  }
  // One tick of the dialog's own timer. Returns true when the progress bar moved.
  bool Step() {
    frame = (frame + 1) % kFrames;
    if (frame != kFrames - 1) return false;
    progress = (progress + 6) % 100;
    return true;
  }
};

class SearchDialog : public QFrame {
  Q_OBJECT

 public:
  static constexpr int kTemplate = 148;
  static constexpr int kFrameCount = SearchAnimation::kFrames;
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

 signals:
  // Escape while the panel shows: the operator gives up the search.
  void cancelRequested();

 protected:
  void timerEvent(QTimerEvent* event) override;

 private:
  void ShowFrame();

  QLabel* picture_;
  QProgressBar* bar_;
  std::array<QPixmap, kFrameCount> frames_;
  SearchAnimation animation_;
  int timerId_ = 0;
};

}  // namespace corvella::app
