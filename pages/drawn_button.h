// The band buttons: flat push-like radio buttons drawn by the program (red when checked, a
// checkerboard while held down), with the radio-group keyboard behaviour of a dialog.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

namespace corvella::pages {

class DrawnButton : public QWidget {
  Q_OBJECT

 public:
  // `group` ties buttons of one parent together; arrow keys walk the visible, enabled members of a
  // group in creation order and wrap around at its ends.
  DrawnButton(const QString& text, int id, int group, QWidget* parent);

  int Id() const { return id_; }
  int Group() const { return group_; }
  QString Text() const { return text_; }
  bool GetCheck() const { return checked_; }
  void SetCheck(bool checked);
  bool IsPressed() const { return pressed_; }
  // Checks the button and sends its command, as a click does.
  void Press() { CheckAndSend(); }

 signals:
  // The button asks its page to act on it (the page's click handler for this ID).
  void commandSent(int id);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void changeEvent(QEvent* event) override;
  // The group is one stop of Tab, as a dialog's radio group is: Tab and Shift+Tab leave it for the
  // control after or before it, and the arrows move within it.
  bool focusNextPrevChild(bool next) override;

 private:
  QList<DrawnButton*> GroupMembers() const;
  void UncheckOthers();
  void CheckAndSend();
  void SetPressed(bool pressed);
  void RebuildColors();

  QString text_;
  int id_;
  int group_;
  bool checked_ = false;
  bool pressed_ = false;
  QColor highlight_, light3d_, face_, shadow_, darkShadow_, lightMid_, darkMid_, window_, text3d_;
};

}  // namespace corvella::pages
