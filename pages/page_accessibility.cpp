#include "pages/page_accessibility.h"

#include <QAbstractSlider>
#include <QAccessible>
#include <QAccessibleWidget>

#include "pages/drawn_button.h"
#include "pages/page_decor.h"

namespace corvella::pages {
namespace {

class AccessibleBandButton : public QAccessibleWidget {
 public:
  explicit AccessibleBandButton(DrawnButton* button)
      : QAccessibleWidget(button, QAccessible::RadioButton) {}

  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) return Button()->Text();
    return QAccessibleWidget::text(t);
  }
  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.checkable = true;
    s.checked = Button()->GetCheck();
    return s;
  }
  QStringList actionNames() const override { return {pressAction()}; }
  void doAction(const QString& name) override {
    if (name == pressAction() && widget()->isEnabled()) Button()->Press();
  }

 private:
  DrawnButton* Button() const { return static_cast<DrawnButton*>(widget()); }
};

// The screen reader's value is (maximum + minimum - position): it grows with what the control
// sets, as the thumb going up does.
class AccessibleOperatorSlider : public QAccessibleWidget, public QAccessibleValueInterface {
 public:
  AccessibleOperatorSlider(QAbstractSlider* slider, OperatorSlider* control, QAccessible::Role role)
      : QAccessibleWidget(slider, role), control_(control) {}

  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
  }
  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Value) return control_->ValueText();
    return QAccessibleWidget::text(t);
  }
  QVariant currentValue() const override { return Flip(Slider()->value()); }
  void setCurrentValue(const QVariant& value) override {
    if (!widget()->isEnabled()) return;
    control_->MoveAsOperator(Flip(value.toInt()));
  }
  QVariant maximumValue() const override { return Slider()->maximum(); }
  QVariant minimumValue() const override { return Slider()->minimum(); }
  QVariant minimumStepSize() const override { return Slider()->singleStep(); }

 private:
  QAbstractSlider* Slider() const { return static_cast<QAbstractSlider*>(widget()); }
  int Flip(int v) const { return Slider()->maximum() + Slider()->minimum() - v; }

  OperatorSlider* control_;
};

QAccessibleInterface* PageControlInterface(const QString& /*className*/, QObject* object) {
  if (auto* button = qobject_cast<DrawnButton*>(object)) return new AccessibleBandButton(button);
  if (auto* graph = qobject_cast<GraphControl*>(object)) {
    return new QAccessibleWidget(graph, QAccessible::Chart);
  }
  auto* slider = qobject_cast<QAbstractSlider*>(object);
  auto* control = dynamic_cast<OperatorSlider*>(object);
  if (slider != nullptr && control != nullptr) {
    const QAccessible::Role role =
        slider->inherits("QScrollBar") ? QAccessible::SpinBox : QAccessible::Slider;
    return new AccessibleOperatorSlider(slider, control, role);
  }
  return nullptr;
}

}  // namespace

void InstallPageAccessibility() {
  static const bool installed = [] {
    QAccessible::installFactory(&PageControlInterface);
    return true;
  }();
  (void)installed;
}

}  // namespace corvella::pages
