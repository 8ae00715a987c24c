// The window on a real X server with a window manager, as a desktop user meets it: the frame the
// manager puts round the window is known only some time after the window shows.
#include <QScreen>
#include <QtTest>

#include "app_harness.h"

using corvella::app::test::Window;

class X11WindowTest : public QObject {
  Q_OBJECT

 private slots:
  void windowAndItsFrameFitTheScreen() {
    Window w;
    w.frame.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.frame));
    const QRect available = w.frame.screen()->availableGeometry();
    QTRY_VERIFY(w.frame.frameGeometry() != w.frame.geometry());
    const auto shown = [&] {
      const QRect f = w.frame.frameGeometry();
      return QStringLiteral("%1,%2 %3x%4 in %5x%6")
          .arg(f.x())
          .arg(f.y())
          .arg(f.width())
          .arg(f.height())
          .arg(available.width())
          .arg(available.height());
    };
    QTRY_VERIFY2(available.contains(w.frame.frameGeometry()), qPrintable(shown()));
    QCOMPARE(w.frame.frameGeometry().width(), available.width());
  }
};

QTEST_MAIN(X11WindowTest)
#include "x11_window_test.moc"
