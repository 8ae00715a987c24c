// The pointing-hand cursor shown over the program's own buttons.
#pragma once

#include <QCursor>

namespace corvella::pages {

QCursor HandCursor();

}  // namespace corvella::pages
