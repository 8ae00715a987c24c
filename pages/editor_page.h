// The base of every editor page: a borderless child panel of the main view with its own background
// colour, created hidden once and afterwards only shown and hidden.
#pragma once

#include <QColor>
#include <QWidget>

namespace corvella::pages {

// One dialog unit of the page templates is two pixels in both directions.
inline constexpr int kPixelsPerDialogUnit = 2;
constexpr int Du(int dialogUnits) {
  return dialogUnits * kPixelsPerDialogUnit;
}

// Every page template is 461 x 165 dialog units.
inline constexpr int kPageWidth = 922;
inline constexpr int kPageHeight = 330;

// The colour every page sets when it is initialised.
inline const QColor kPageBackground{192, 192, 192};

class EditorPage : public QWidget {
  Q_OBJECT

 public:
  EditorPage(int templateId, QWidget* parent);

  int TemplateId() const { return templateId_; }

  // Controls are named after their IDs ("1031"), so the page, the view and tests find them.
  static QString ControlName(int id) { return QString::number(id); }
  QWidget* Control(int id) const { return findChild<QWidget*>(ControlName(id)); }
  template <typename T>
  T* ControlAs(int id) const {
    return findChild<T*>(ControlName(id));
  }

  // Gives the focus to the control that had it last on this page, or else to the first control
  // that takes the focus by Tab: what a dialog does when it is given the focus.
  void TakeFocus();
  QColor BackgroundColor() const { return backgroundColor_; }
  void SetBackgroundColor(const QColor& color);

 private:
  int templateId_;
  QColor backgroundColor_;
};

}  // namespace corvella::pages
