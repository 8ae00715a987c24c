// What a screen reader learns of the pages' own controls: the band buttons as radio buttons it can
// press, the spinners and the level slider as values it can read and set, the response graphs
// with what they show in words.
#pragma once

#include <QString>

namespace corvella::pages {

// A slider or spinner the operator may also set through a screen reader. Its position grows
// downwards (the value grows as the thumb goes up); the screen reader's value grows with the value.
class OperatorSlider {
 public:
  virtual ~OperatorSlider() = default;
  // Moves to `position` (held to the range) and applies it as a released thumb does.
  virtual void MoveAsOperator(int position) = 0;
  // The value as the page shows it in words ("+3.0dB"); empty when the page shows none.
  virtual QString ValueText() const = 0;
};

// Makes the interfaces above known to Qt's accessibility; once is enough, more does no harm.
void InstallPageAccessibility();

}  // namespace corvella::pages
