// The graph painter's pixels: background grid, curves, markers and clipping.
#include <QTest>

#include "graph/crossover_response.h"
#include "graph/page_curves.h"
#include "graph/paint/graph_background.h"
#include "graph/paint/graph_painter.h"
#include "graph/peq_response.h"

using namespace corvella;
using namespace corvella::graph;

namespace {

const QColor kBlack{0, 0, 0};
const QColor kGrey{128, 128, 128};

QImage Canvas() {
  return QImage(kGraphWidth, kGraphHeight, QImage::Format_RGB32);
}

int CountColour(const QImage& image, const QColor& colour, int x0, int y0, int x1, int y1) {
  int n = 0;
  for (int x = x0; x <= x1; ++x) {
    for (int y = y0; y <= y1; ++y) n += image.pixelColor(x, y) == colour ? 1 : 0;
  }
  return n;
}

// The input page's graph of `input` with the two given bands, band `current` highlighted.
QImage InputGraph(const PeqBand& first, const PeqBand& second, int input, int current) {
  ProgramParameters p{};
  ResetParameters(p);
  p.inputPeq[0][input] = first;
  p.inputPeq[1][input] = second;
  const PeqBand bands[] = {first, second};
  QImage image = Canvas();
  QPainter painter(&image);
  paint::DrawPeqGraph(painter, paint::MakeGraphBackground(), bands, InputPageCurves(p, input),
                      current, kInputPeqPixelsPerDb, paint::ChannelPenColor(input));
  return image;
}

}  // namespace

class GraphPaintTest : public QObject {
  Q_OBJECT

 private slots:
  void BackgroundIsABlackFieldWithTheGrid() {
    const QImage bg = paint::MakeGraphBackground();
    QCOMPARE(bg.size(), QSize(580, 224));
    // 0, -20 and -40 dB across; 30 Hz, 100 Hz, 1 kHz and 10 kHz among the columns.
    for (int y : {56, 112, 168}) QCOMPARE(CountColour(bg, kGrey, 0, y, 579, y), 580);
    for (int x : {34, 135, 328, 522}) QCOMPARE(CountColour(bg, kGrey, x, 0, x, 223), 224);
    // Nothing else: every other pixel is black.
    const int grid = 3 * 580 + 26 * 224 - 3 * 26;
    QCOMPARE(CountColour(bg, kGrey, 0, 0, 579, 223), grid);
    QCOMPARE(CountColour(bg, kBlack, 0, 0, 579, 223), 580 * 224 - grid);
  }

  void CurrentBandIsGreenAndTheSumIsDrawnOverIt() {
    // Two +6 dB bands at 1 kHz on LINE add up to +12 dB.
    const PeqBand six{1, 69, 36, 20};
    const QImage image = InputGraph(six, six, 1, 0);
    QCOMPARE(image.pixelColor(328, 23), paint::kWhitePen);
    // Half-way up the slope the band's own curve shows beside the sum; on the centre column the
    // band's marker, drawn after its curve, covers it.
    const Curve band = BandCurve(six);
    Curve sum = band;
    for (double& db : sum) db *= 2;
    QCOMPARE(image.pixelColor(GraphPointX[64], RowForDb(band[64], kInputPeqPixelsPerDb)),
             paint::kBandPen);
    QCOMPARE(image.pixelColor(GraphPointX[64], RowForDb(sum[64], kInputPeqPixelsPerDb)),
             paint::kWhitePen);
    QVERIFY(image.pixelColor(328, RowForDb(6.0, kInputPeqPixelsPerDb)) != paint::kBandPen);
  }

  void CrossoverCurveMarkersAndClipping() {
    const QImage bg = paint::MakeGraphBackground();
    // Both filters off: one flat line at row 56; the markers fall off the edges, except their
    // ticks on row 56, which reach into the graph at columns 0..14 and 570..579.
    CrossoverSettings off{2, kHpfOff, 2, kLpfOff};
    QImage image = Canvas();
    QPainter painter(&image);
    paint::DrawCrossoverGraph(painter, bg, off, ComputeCrossover(off).data(), paint::kYellowPen);
    painter.end();
    QCOMPARE(CountColour(image, paint::kYellowPen, 15, 56, 569, 56), 555);
    QCOMPARE(CountColour(image, paint::kYellowPen, 0, 0, 579, 55), 0);
    QVERIFY(CountColour(image, paint::kMarkerPen, 0, 56, 14, 56) > 0);
    QVERIFY(CountColour(image, paint::kMarkerPen, 570, 56, 579, 56) > 0);
    QCOMPARE(CountColour(image, paint::kMarkerPen, 0, 0, 579, 55), 0);

    // A -24 dB Linkwitz-Riley high-pass at 1 kHz: -6.02 dB at its cut-off column is row 72; the
    // low-pass at 10 kHz is -3.01 dB, row 64. Each marker starts at row 10.
    CrossoverSettings on{11, 69, 2, 109};
    const Curve db = ComputeCrossover(on);
    image = Canvas();
    painter.begin(&image);
    paint::DrawCrossoverGraph(painter, bg, on, db.data(), paint::kWhitePen);
    painter.end();
    const int lpfX = GraphPointX[109];
    QCOMPARE(CountColour(image, paint::kMarkerPen, 328, 0, 328, 9), 0);
    QVERIFY(CountColour(image, paint::kMarkerPen, 328, 10, 328, 223) > 100);
    QVERIFY(CountColour(image, paint::kMarkerPen, 308, 72, 347, 72) > 20);
    QVERIFY(CountColour(image, paint::kMarkerPen, lpfX - 20, 64, lpfX + 19, 64) > 20);
    // Between the cut-offs the curve runs near 0 dB; far below the high-pass it leaves the graph.
    QCOMPARE(image.pixelColor(GraphPointX[89], RowForDb(db[89], kOutputPixelsPerDb)),
             paint::kWhitePen);
    QCOMPARE(CountColour(image, paint::kWhitePen, 0, 0, 60, 223), 0);
  }

  void InputLevelLineOnWholeDecibels() {
    const QImage bg = paint::MakeGraphBackground();
    const struct {
      int code;
      int row;
    } cases[] = {{181, 56}, {182, 56}, {205, 23}, {121, 56 + 83}};
    for (const auto& c : cases) {
      QImage image = Canvas();
      QPainter painter(&image);
      paint::DrawInputLevelGraph(painter, bg, c.code, paint::ChannelPenColor(1));
      painter.end();
      QCOMPARE(CountColour(image, paint::kWhitePen, 0, c.row, 579, c.row), 580);
      QCOMPARE(CountColour(image, paint::kWhitePen, 0, 0, 579, 223), 580);
    }
    // Code 1 (-90 dB) is below the graph: nothing but the background.
    QImage image = Canvas();
    QPainter painter(&image);
    paint::DrawInputLevelGraph(painter, bg, 1, paint::kYellowPen);
    painter.end();
    QCOMPARE(image, bg);
    QCOMPARE(paint::ChannelPenColor(2), paint::kYellowPen);
    QCOMPARE(paint::ChannelPenColor(3), paint::kWhitePen);
  }
};

QTEST_MAIN(GraphPaintTest)
#include "graph_paint_test.moc"
