// The picture every response graph starts from: a black 580 x 224 field with the dB and frequency
// grid. Made once at start and copied under each drawing.
#pragma once

#include <QImage>

namespace corvella::graph::paint {

inline constexpr int kGraphWidth = 580;
inline constexpr int kGraphHeight = 224;

QImage MakeGraphBackground();

}  // namespace corvella::graph::paint
