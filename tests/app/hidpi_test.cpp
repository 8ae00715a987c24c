// The window on a 200 % screen: the graphs and the page buttons are drawn at the screen's own
// resolution, so a curve or a caption is a fine line, not a chain of enlarged pixels, and the
// curve lies where the classic picture has it.
#include <QtTest>

#include "app/window/commands.h"
#include "app/window/region_button.h"
#include "app_harness.h"
#include "graph/crossover_response.h"
#include "graph/page_curves.h"
#include "graph/paint/graph_background.h"
#include "graph/paint/graph_painter.h"
#include "pages/output_peq_page.h"
#include "pages/page_decor.h"
#include "pages/page_set.h"

using namespace corvella;
using namespace corvella::app;
using corvella::app::test::Window;

namespace {

// Aligned 2 x 2 blocks of `image` whose four pixels all have `color`, within `area`.
int WholeBlocks(const QImage& image, const QRect& area, const QColor& color) {
  int blocks = 0;
  for (int y = area.top(); y + 1 <= area.bottom(); y += 2) {
    for (int x = area.left(); x + 1 <= area.right(); x += 2) {
      if (image.pixelColor(x, y) == color && image.pixelColor(x + 1, y) == color &&
          image.pixelColor(x, y + 1) == color && image.pixelColor(x + 1, y + 1) == color) {
        ++blocks;
      }
    }
  }
  return blocks;
}

int Count(const QImage& image, const QRect& area, const QColor& color) {
  int count = 0;
  for (int y = area.top(); y <= area.bottom(); ++y) {
    for (int x = area.left(); x <= area.right(); ++x) count += image.pixelColor(x, y) == color;
  }
  return count;
}

}  // namespace

class HiDpiTest : public QObject {
  Q_OBJECT

 private slots:
  void graphsAndButtonsAreDrawnAtTheScreensResolution() {
    Window w;
    w.frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.frame));
    QCOMPARE(w.frame.devicePixelRatio(), 2.0);
    MainView& view = w.view();
    view.OnCommand(cmd::kHighPeq);
    pages::GraphControl& graph = view.pageSet().OutputPeq().Graph();
    QTRY_VERIFY(graph.HasGraph());
    const QImage fine = graph.Picture();
    QCOMPARE(fine.devicePixelRatio(), 2.0);
    QCOMPARE(fine.size(), graph.size() * 2);

    // The same graph drawn the classic way.
    QImage classic(graph.size(), QImage::Format_RGB32);
    classic.fill(Qt::black);
    {
      const Session& s = view.session();
      std::vector<PeqBand> bands;
      for (int b = 0; b < kOutputBands; ++b) bands.push_back(s.parameters.outputPeq[b][0]);
      const graph::Curve crossover = graph::ComputeCrossover(s.parameters.crossover[0]);
      QPainter painter(&classic);
      graph::paint::DrawPeqGraph(painter, graph::paint::MakeGraphBackground(), bands,
                                 graph::OutputPageCurves(s.parameters, 0, crossover.data()),
                                 view.selection().outputPeqBand - 1, graph::kOutputPixelsPerDb,
                                 graph::paint::kYellowPen);
    }
    const QRect classicArea(0, 0, graph::kGraphWidth, graph::kGraphHeight);
    const QRect fineArea(0, 0, 2 * graph::kGraphWidth, 2 * graph::kGraphHeight);
    const QColor curve = graph::paint::kYellowPen;
    QVERIFY(Count(classic, classicArea, curve) > 300);
    // Scaled up, the classic curve would be nothing but whole blocks; the fine one has none.
    QCOMPARE(WholeBlocks(fine, fineArea, curve), 0);
    QCOMPARE(WholeBlocks(fine, fineArea, QColor(128, 128, 128)), 0);  // the grid
    // It follows the classic curve: every fine curve pixel lies on or beside a classic one.
    int far = 0;
    for (int y = fineArea.top(); y <= fineArea.bottom(); ++y) {
      for (int x = fineArea.left(); x <= fineArea.right(); ++x) {
        if (fine.pixelColor(x, y) != curve) continue;
        bool near = false;
        for (int dy = -1; dy <= 1 && !near; ++dy) {
          for (int dx = -1; dx <= 1 && !near; ++dx) {
            const QPoint p(x / 2 + dx, y / 2 + dy);
            near = classicArea.contains(p) && classic.pixelColor(p) == curve;
          }
        }
        far += near ? 0 : 1;
      }
    }
    QCOMPARE(far, 0);
    QVERIFY(Count(fine, fineArea, curve) > Count(classic, classicArea, curve));

    // A page button's caption: white strokes one device pixel fine somewhere, which an enlarged
    // classic picture could not have.
    RegionButton* button = view.pageButton(cmd::kCompressor);
    const QImage shot = button->grab().toImage();
    QCOMPARE(shot.size(), button->size() * 2);
    int mixed = 0;
    for (int y = 0; y + 1 < shot.height(); y += 2) {
      for (int x = 0; x + 1 < shot.width(); x += 2) {
        const QColor a = shot.pixelColor(x, y);
        if (a != Qt::white && shot.pixelColor(x + 1, y) != Qt::white) continue;
        const bool uniform = shot.pixelColor(x + 1, y) == a && shot.pixelColor(x, y + 1) == a &&
                             shot.pixelColor(x + 1, y + 1) == a;
        mixed += uniform ? 0 : 1;
      }
    }
    QVERIFY(mixed > 20);

    // The arrow's slanted edges follow its outline in device pixels: enlarged layout pixels would
    // change colour only at even device columns. Looked at right of the caption, towards the tip.
    RegionButton* arrow = view.pageButton(cmd::kHighLevel);
    const QImage head = arrow->grab().toImage();
    QCOMPARE(head.size(), arrow->size() * 2);
    int oddSteps = 0;
    for (int y = 0; y < head.height(); ++y) {
      for (int x = 2 * 70 + 1; x < head.width(); x += 2) {
        oddSteps += head.pixel(x, y) != head.pixel(x - 1, y) ? 1 : 0;
      }
    }
    QVERIFY2(oddSteps > 10, qPrintable(QString::number(oddSteps)));
    // Clicks still count only inside the shape.
    QVERIFY(arrow->containsPoint(QPoint(60, 24)));
    QVERIFY(!arrow->containsPoint(QPoint(80, 2)));

    // The pill's round ends are filled where they meet its middle, as everywhere else.
    const QImage pill = view.pageButton(cmd::kLinePeq)->grab().toImage();
    for (const QPoint inside : {QPoint(16, 16), QPoint(24, 8), QPoint(24, 24), QPoint(80, 16),
                                QPoint(72, 8), QPoint(72, 24)}) {
      QCOMPARE(pill.pixelColor(inside * 2), QColor(128, 128, 128));
    }
  }
};

int main(int argc, char** argv) {
  // Set before the application starts: every screen is a 200 % one.
  qputenv("QT_SCALE_FACTOR", "2");
  QApplication app(argc, argv);
  HiDpiTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "hidpi_test.moc"
