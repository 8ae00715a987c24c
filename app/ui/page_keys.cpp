#include "app/ui/page_keys.h"

#include <QShortcut>
#include <QWidget>

#include "app/ui/commands.h"
#include "app/ui/region_button.h"

namespace corvella::shell {
namespace {

static_assert(kPageKeyOrder[0] == cmd::kLinePeq && kPageKeyOrder[1] == cmd::kLineLevel &&
              kPageKeyOrder[5] == cmd::kHighDelay && kPageKeyOrder[9] == cmd::kLowDelay &&
              kPageKeyOrder[10] == cmd::kCompressor);

QString PageName(int command) {
  switch (command) {
    case cmd::kLinePeq:
      return QStringLiteral("Input PEQ");
    case cmd::kLineLevel:
      return QStringLiteral("Input level");
    case cmd::kHighCrossover:
      return QStringLiteral("HIGH HPF/LPF");
    case cmd::kHighPeq:
      return QStringLiteral("HIGH PEQ");
    case cmd::kHighLevel:
      return QStringLiteral("HIGH level");
    case cmd::kHighDelay:
      return QStringLiteral("HIGH delay");
    case cmd::kLowCrossover:
      return QStringLiteral("LOW HPF/LPF");
    case cmd::kLowPeq:
      return QStringLiteral("LOW PEQ");
    case cmd::kLowLevel:
      return QStringLiteral("LOW level");
    case cmd::kLowDelay:
      return QStringLiteral("LOW delay");
    default:
      return QStringLiteral("Compressor & limiter");
  }
}

}  // namespace

QKeySequence PageShortcut(std::size_t position) {
  if (position < 9) return QKeySequence(Qt::CTRL | static_cast<Qt::Key>(Qt::Key_1 + position));
  return QKeySequence(Qt::CTRL | (position == 9 ? Qt::Key_0 : Qt::Key_Minus));
}

void AddPageKeys(QWidget& view, const std::array<RegionButton*, 11>& buttons) {
  RegionButton* previous = nullptr;
  for (std::size_t i = 0; i < kPageKeyOrder.size(); ++i) {
    RegionButton* button = nullptr;
    for (RegionButton* candidate : buttons) {
      if (candidate != nullptr && candidate->command() == kPageKeyOrder[i]) button = candidate;
    }
    if (button == nullptr) continue;
    const QKeySequence keys = PageShortcut(i);
    button->setFocusPolicy(Qt::TabFocus);
    button->setToolTip(PageName(button->command()) + QStringLiteral(" (") +
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

}  // namespace corvella::shell
