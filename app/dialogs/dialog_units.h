// The dialogs keep their original layout in dialog units; one unit is two pixels either way.
#pragma once

#include <QRect>

namespace corvella::app {

constexpr int Dlu(int units) {
  return 2 * units;
}
inline QRect DluRect(int x, int y, int w, int h) {
  return {Dlu(x), Dlu(y), Dlu(w), Dlu(h)};
}

}  // namespace corvella::app
