#include "app/dialogs/search_dialog.h"

#include <QGroupBox>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QShortcut>
#include <QTimerEvent>
#include <cmath>
#include <numbers>

#include "app/dialogs/dialog_units.h"
#include "app/window/system_colors.h"

namespace corvella::app {

SearchDialog::SearchDialog(QWidget* parent)
    : QFrame(parent),
      picture_(new QLabel(this)),
      bar_(new QProgressBar(this)),
      frames_(DrawFrames(Dlu(24), devicePixelRatio())) {
  MakeDialogPanel(*this);
  setFixedSize(Dlu(160), Dlu(72));
  auto* group = new QGroupBox(QStringLiteral("Search Device......."), this);
  group->setGeometry(DluRect(7, 4, 146, 62));
  picture_->setGeometry(DluRect(64, 14, 24, 24));
  picture_->raise();
  bar_->setGeometry(DluRect(14, 44, 132, 10));
  bar_->setRange(0, 99);
  bar_->setValue(animation_.progress);
  bar_->setTextVisible(false);
  bar_->setAccessibleName(QStringLiteral("Search progress"));
  bar_->raise();
  ShowFrame();
  // A search over many ports lasts long. The panel takes no focus, so Escape is caught in the
  // window it stands in, and only while the panel shows.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setContext(Qt::WindowShortcut);
  connect(escape, &QShortcut::activated, this, &SearchDialog::cancelRequested);
}

std::array<QPixmap, SearchDialog::kFrameCount> SearchDialog::DrawFrames(int side, qreal ratio) {
  // A ring of eight dots with a bright head and a fading tail that goes round once per cycle.
  std::array<QPixmap, kFrameCount> frames;
  const double radius = side * 0.36;
  const double dot = side * 0.09;
  const QPointF middle(side / 2.0, side / 2.0);
  for (int f = 0; f < kFrameCount; ++f) {
    QPixmap pixmap(QSize(side, side) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    for (int i = 0; i < kFrameCount; ++i) {
      const int age = (f - i + kFrameCount) % kFrameCount;  // 0 = the head
      const double angle = (i * 2.0 * std::numbers::pi) / kFrameCount - std::numbers::pi / 2.0;
      const QPointF at = middle + QPointF(radius * std::cos(angle), radius * std::sin(angle));
      QColor color(0, 96, 200);
      color.setAlpha(255 - age * 28);
      painter.setBrush(color);
      const double size = age == 0 ? dot * 1.35 : dot;
      painter.drawEllipse(at, size, size);
    }
    frames[static_cast<std::size_t>(f)] = pixmap;
  }
  return frames;
}

void SearchDialog::Start() {
  animation_.Start();
  bar_->setValue(animation_.progress);
  if (timerId_ != 0) killTimer(timerId_);
  timerId_ = startTimer(SearchAnimation::kStartIntervalMs);
  ShowFrame();
}

void SearchDialog::Stop() {
  if (timerId_ != 0) killTimer(timerId_);
  timerId_ = 0;
  animation_.Stop();
  bar_->setValue(animation_.progress);
  ShowFrame();
}

void SearchDialog::Advance() {
  // The bar creeps on once per turn of the animation.
  if (animation_.Step()) bar_->setValue(animation_.progress);
  ShowFrame();
}

void SearchDialog::timerEvent(QTimerEvent* event) {
  if (event->timerId() == timerId_) Advance();
}

void SearchDialog::ShowFrame() {
  picture_->setPixmap(frames_[static_cast<std::size_t>(animation_.frame)]);
}

}  // namespace corvella::app
