// The view's one-line status text ("-> ..." messages) and the bar that holds it.
#pragma once

#include <QLineEdit>
#include <QPalette>
#include <QWidget>

class QProgressBar;

namespace corvella::app {

// The status text. It stays editable as it always was, but "(" cannot be typed: it would start
// a frame if the text were ever sent on.
class StatusLineEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit StatusLineEdit(QWidget* parent = nullptr);
  // A warning (a failed transfer) is shown in red until the next text.
  void SetText(const QString& text, bool warning = false);
  bool ShowsWarning() const { return warning_; }

 private:
  QPalette normal_;
  bool warning_ = false;
};

class StatusLineBar : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kTemplate = 141;
  explicit StatusLineBar(QWidget* parent = nullptr);
  StatusLineEdit* edit() const { return edit_; }
  // How far an upload is, at the line's right end: step `step` of `steps`; 0 hides it.
  void ShowProgress(int step, int steps);
  QProgressBar* progress() const { return progress_; }

 private:
  StatusLineEdit* edit_;
  QProgressBar* progress_ = nullptr;
};

}  // namespace corvella::app
