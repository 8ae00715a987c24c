#include "pages/hand_cursor.h"

namespace corvella::pages {

// The system's pointing hand has its hot spot at the fingertip, as the buttons need.
QCursor HandCursor() {
  return QCursor(Qt::PointingHandCursor);
}

}  // namespace corvella::pages
