#include "app/window/page_keys.h"

#include <QShortcut>
#include <QWidget>

#include "app/window/region_button.h"

namespace corvella::app {

QKeySequence PageShortcut(std::size_t position) {
  if (position < 9) return QKeySequence(Qt::CTRL | static_cast<Qt::Key>(Qt::Key_1 + position));
  return QKeySequence(Qt::CTRL | (position == 9 ? Qt::Key_0 : Qt::Key_Minus));
}

void AddPageKeys(QWidget& view, const std::array<RegionButton*, 11>& buttons) {
  RegionButton* previous = nullptr;
  for (std::size_t i = 0; i < kPageKeys.size(); ++i) {
    RegionButton* button = nullptr;
    for (RegionButton* candidate : buttons) {
      if (candidate != nullptr && candidate->command() == kPageKeys[i].command) button = candidate;
    }
    if (button == nullptr) continue;
    const QKeySequence keys = PageShortcut(i);
    button->setFocusPolicy(Qt::TabFocus);
    // Three captions read "PEQ" and two "DELAY": a screen reader says which page a button shows.
    button->setAccessibleName(QString::fromLatin1(kPageKeys[i].name));
    button->setToolTip(QString::fromLatin1(kPageKeys[i].name) + QStringLiteral(" (") +
                       keys.toString(QKeySequence::NativeText) + QLatin1Char(')'));
    if (previous != nullptr) QWidget::setTabOrder(previous, button);
    previous = button;
    // A greyed button (a chain running) ignores its shortcut as it ignores the mouse.
    auto* shortcut = new QShortcut(keys, &view);
    QObject::connect(shortcut, &QShortcut::activated, button, [button] {
      if (button->isEnabled() && button->isVisible()) button->click();
    });
  }
}

}  // namespace corvella::app
