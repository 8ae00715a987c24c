// The picture every response graph starts from: a black 580 x 224 field with the dB and frequency
// grid. Made once at start and copied under each drawing.
#pragma once

#include <QImage>

#include "graph/graph_frame.h"

namespace corvella::graph::paint {

// At `ratio` device pixels per graph pixel (a high-DPI screen) the grid lines stay one device
// pixel wide; ratio 1 is the classic picture.
QImage MakeGraphBackground(qreal ratio = 1.0);

}  // namespace corvella::graph::paint
