// The view's one-line status text ("-> ..." messages) and the bar that holds it.
#pragma once

#include <QLineEdit>
#include <QWidget>

namespace corvella::shell {

// The status text. It stays editable as it always was, but "(" cannot be typed: it would start
// a frame if the text were ever sent on.
class StatusLineEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit StatusLineEdit(QWidget* parent = nullptr);
  void SetText(const QString& text) { setText(text); }
};

class StatusLineBar : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kTemplate = 141;
  explicit StatusLineBar(QWidget* parent = nullptr);
  StatusLineEdit* edit() const { return edit_; }

 private:
  StatusLineEdit* edit_;
};

}  // namespace corvella::shell
