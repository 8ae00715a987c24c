// The picture every response graph starts from: a black 580 x 224 field with the dB and frequency
// grid. Made once at start and copied under each drawing.
#pragma once

#include <QImage>

#include "graph/graph_frame.h"

namespace corvella::graph::paint {

QImage MakeGraphBackground();

}  // namespace corvella::graph::paint
