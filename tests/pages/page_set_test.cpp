// The page set as the view drives it: page commands and the reload after a whole-set change.
#include "pages/page_set.h"

#include <QComboBox>
#include <QRadioButton>
#include <QTest>

#include "graph/page_curves.h"
#include "graph/paint/graph_painter.h"
#include "pages/crossover_page.h"
#include "pages/delay_page.h"
#include "pages/filtered_edit.h"
#include "pages/input_peq_page.h"
#include "pages/level_page.h"
#include "pages/output_peq_page.h"
#include "pages/page_decor.h"
#include "support/page_harness.h"

using namespace corvella;
using namespace corvella::pages;
using corvella::pages::testing::PageHarness;

namespace {

struct View : PageHarness {
  PageSet pages{context, &window};

  View() { window.setFocusPolicy(Qt::StrongFocus); }
  std::vector<QWidget*> Shown() const {
    std::vector<QWidget*> shown;
    for (PageKind k : {PageKind::InputPeq, PageKind::Level, PageKind::Crossover,
                       PageKind::OutputPeq, PageKind::DelayCompressor}) {
      if (!pages.Page(k)->isHidden()) shown.push_back(pages.Page(k));
    }
    return shown;
  }
};

}  // namespace

class PageSetTest : public QObject {
  Q_OBJECT

 private slots:
  void PagesStartHiddenAtThePagePosition() {
    View v;
    QVERIFY(v.Shown().empty());
    QCOMPARE(v.pages.VisiblePage(), nullptr);
    for (PageKind k : {PageKind::InputPeq, PageKind::Level, PageKind::Crossover,
                       PageKind::OutputPeq, PageKind::DelayCompressor}) {
      QCOMPARE(v.pages.Page(k)->pos(), QPoint(20, 275));
      QCOMPARE(v.pages.Page(k)->parentWidget(), &v.window);
    }
    QVERIFY(!FindPageCommand(1000) && !FindPageCommand(1014));
    QVERIFY(!v.pages.ShowPage(1014));
    QVERIFY(v.Shown().empty());
  }

  void CommandsShowOnePageAndLoadTheirChannel() {
    View v;
    QVERIFY(v.Activate());
    QVERIFY(v.pages.ShowPage(1002));
    QCOMPARE(v.Shown(), std::vector<QWidget*>{&v.pages.InputPeq()});
    QCOMPARE(v.pages.InputPeq().Channel(), 1);
    QVERIFY(v.pages.InputPeq().isAncestorOf(QApplication::focusWidget()));

    // HIGH then LOW output PEQ: one page window, reloaded for LOW (band 1 of LOW: 80.0 Hz).
    QVERIFY(v.pages.ShowPage(1007));
    QWidget* outputPage = v.pages.VisiblePage();
    QVERIFY(v.pages.ShowPage(1008));
    QCOMPARE(v.pages.VisiblePage(), outputPage);
    QCOMPARE(v.pages.OutputPeq().Channel(), 1);
    QCOMPARE(v.pages.OutputPeq().ControlAs<FilteredEdit>(kOutputFrequencyEdit)->text(),
             QString("80.0Hz"));

    // HIGH crossover (1005) takes the focus; LOW (1006) does not.
    QVERIFY(v.pages.ShowPage(1005));
    QVERIFY(v.pages.Crossover().isAncestorOf(QApplication::focusWidget()));
    v.window.setFocus();
    QVERIFY(v.pages.ShowPage(1006));
    QCOMPARE(v.pages.Crossover().Channel(), 1);
    QVERIFY(v.window.hasFocus());

    // Output levels show the phase controls, input levels hide them.
    auto* inverse = v.pages.Level().ControlAs<QRadioButton>(kPhaseInverseId);
    QVERIFY(v.pages.ShowPage(1010));
    QCOMPARE(v.pages.Level().Channel(), 3);
    QVERIFY(!inverse->isHidden());
    QVERIFY(v.pages.ShowPage(1004));
    QCOMPARE(v.pages.Level().Channel(), 1);
    QVERIFY(inverse->isHidden());

    // The compressor command keeps the delay page's channel.
    QVERIFY(v.pages.ShowPage(1011));
    QVERIFY(v.pages.ShowPage(1013));
    QCOMPARE(v.Shown(), std::vector<QWidget*>{&v.pages.DelayCompressor()});
    QCOMPARE(v.pages.DelayCompressor().Channel(), 1);
    QCOMPARE(FindPageCommand(1011)->outputChannel, 1);
    QCOMPARE(FindPageCommand(1003)->inputChannel, 0);
    QVERIFY(v.TakeFrames().empty());
  }

  // The page buttons take no focus, so an edit still holds a typed value when its page is switched
  // to the other channel: it commits to the channel it was typed for, not to the one loaded next.
  void SwitchingChannelCommitsTheEditBeingTypedIn() {
    View v;
    QVERIFY(v.Activate());
    QVERIFY(v.pages.ShowPage(1007));
    auto* frequency = v.pages.OutputPeq().ControlAs<FilteredEdit>(kOutputFrequencyEdit);
    QTest::mouseClick(frequency, Qt::LeftButton);
    QTest::keyClicks(frequency, "2k");
    v.TakeFrames();
    QVERIFY(v.pages.ShowPage(1008));
    QCOMPARE(v.session.parameters.outputPeq[0][0].frequency, 81);
    QCOMPARE(v.session.parameters.outputPeq[0][1].frequency, 25);
    QCOMPARE(frequency->text(), QString("80.0Hz"));
    QCOMPARE(v.TakeFrames(), std::vector<std::string>{"(01$046100081)"});

    // The compressor is the same for both outputs; its typed threshold is kept and sent.
    QVERIFY(v.pages.ShowPage(1012));
    QLineEdit* threshold = v.pages.DelayCompressor().ThresholdEdit();
    QTest::mouseClick(threshold, Qt::LeftButton);
    QTest::keyClicks(threshold, "-20");
    v.TakeFrames();
    QVERIFY(v.pages.ShowPage(1011));
    QCOMPARE(v.session.parameters.dynamics.threshold, 59);
    QCOMPARE(threshold->text(), QString("-20.0 dB"));
    QCOMPARE(v.TakeFrames(), std::vector<std::string>{"(01$059100594848000099575956)"});

    // A page hidden under the edit commits it too.
    QLineEdit* ratio = v.pages.DelayCompressor().RatioEdit();
    QTest::mouseClick(ratio, Qt::LeftButton);
    QTest::keyClicks(ratio, "4");
    v.TakeFrames();
    QVERIFY(v.pages.ShowPage(1005));
    QCOMPARE(v.session.parameters.dynamics.ratio, 74);
    QCOMPARE(v.TakeFrames(), std::vector<std::string>{"(01$059100594848000074575956)"});
  }

  void ReloadBringsEveryPageInLineWithTheParameters() {
    View v;
    v.pages.ShowPage(1002);
    v.pages.ReloadAllPages(link::ReloadForm::Startup);
    ProgramParameters& p = v.session.parameters;
    p.inputPeq[0][1] = PeqBand{1, 81, 30, 20};
    p.crossover[0].hpfType = 11;
    v.pages.ReloadAllPages(link::ReloadForm::FileLoad);
    QCOMPARE(v.pages.InputPeq().ControlAs<FilteredEdit>(kInputFrequencyEdit)->text(),
             QString("2.00kHz"));
    QCOMPARE(v.pages.InputPeq().ControlAs<QComboBox>(kInputTypeList)->currentIndex(), 1);
    QCOMPARE(v.pages.Crossover().ControlAs<QComboBox>(kHpfTypeListId)->currentIndex(), 11);
    // The visible page's graph was redrawn from the new values: the LINE sum now peaks above 0 dB.
    const QImage graph = v.pages.InputPeq().Graph().Picture();
    QCOMPARE(graph.pixelColor(graph::GraphPointX[81], graph::RowForDb(3.0, 2.8)),
             graph::paint::kWhitePen);
    QVERIFY(v.TakeFrames().empty());
  }

  void OutputCurveAfterUploadUsesTheShownOutputsCrossover() {
    View v;
    v.pages.ShowPage(1008);
    // The shared table holds something else (another output, or the crossover before the upload).
    for (double& db : v.crossover.db[1]) db = -30.0;
    v.session.parameters.crossover[1] = CrossoverSettings{10, 40, 10, 90};
    v.pages.ReloadAllPages(link::ReloadForm::Upload);

    QImage expected(graph::kGraphWidth, graph::kGraphHeight, QImage::Format_RGB32);
    {
      QPainter painter(&expected);
      const ProgramParameters& p = v.session.parameters;
      std::vector<PeqBand> bands;
      for (const auto& band : p.outputPeq) bands.push_back(band[1]);
      graph::paint::DrawPeqGraph(painter, v.background, bands, graph::OutputPageCurves(p, 1), 0,
                                 graph::kOutputPixelsPerDb, graph::paint::kWhitePen);
    }
    const QImage shown =
        v.pages.OutputPeq().Graph().Picture().copy(0, 0, graph::kGraphWidth, graph::kGraphHeight);
    QCOMPARE(shown, expected);
  }
};

QTEST_MAIN(PageSetTest)
#include "page_set_test.moc"
