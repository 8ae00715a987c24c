#include "graph/paint/graph_background.h"

#include <QColor>
#include <cmath>

namespace corvella::graph::paint {
namespace {

// 0, -20 and -40 dB.
constexpr int kGridRows[] = {56, 112, 168};
// 30..90 Hz, 100..900 Hz and 1..10 kHz.
constexpr int kGridColumns[] = {34,  58,  77,  93,  106, 116, 126, 135, 193, 228, 252, 270, 286,
                                299, 310, 320, 328, 387, 421, 445, 464, 479, 492, 503, 513, 522};

}  // namespace

QImage MakeGraphBackground(qreal ratio) {
  if (!(ratio > 1.0)) ratio = 1.0;
  const auto device = [ratio](int graphPixels) {
    return static_cast<int>(std::lround(graphPixels * ratio));
  };
  QImage image(device(kGraphWidth), device(kGraphHeight), QImage::Format_RGB32);
  image.setDevicePixelRatio(ratio);
  image.fill(QColor(0, 0, 0));
  const QRgb grey = qRgb(128, 128, 128);
  for (int y : kGridRows) {
    for (int x = 0; x < image.width(); ++x) image.setPixel(x, device(y), grey);
  }
  for (int x : kGridColumns) {
    for (int y = 0; y < image.height(); ++y) image.setPixel(device(x), y, grey);
  }
  return image;
}

}  // namespace corvella::graph::paint
