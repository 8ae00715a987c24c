// Tools > Remote Control... on the real window: an OSC desk on the loopback address sets the
// connected unit's values; the virtual unit on a pseudo-terminal receives the frames, the pages
// follow and each change is an undo step, as a page edit is.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include "app/remote/remote_control_window.h"
#include "app/window/commands.h"
#include "app_harness.h"
#include "pages/level_page.h"
#include "pages/page_set.h"
#include "remote/osc_packet.h"

using namespace corvella;
using namespace corvella::app;
using corvella::app::test::ConnectedWindow;
using corvella::app::test::Window;

namespace {

constexpr int kWaitMs = 20000;

// A desk: one UDP socket on the loopback address that sends to the window and hears its answers.
class Desk {
 public:
  explicit Desk(int serverPort) : fd_(::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK, 0)) {
    to_.sin_family = AF_INET;
    to_.sin_port = htons(static_cast<std::uint16_t>(serverPort));
    to_.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  }
  ~Desk() { ::close(fd_); }
  void Send(const std::string& path, const std::vector<remote::Value>& args) {
    const auto packet = remote::EncodeMessage(path, args);
    ::sendto(fd_, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&to_),
             sizeof to_);
  }
  // Waits (the window's events going on) for a message to `path`; its arguments.
  std::optional<std::vector<remote::Value>> Await(const std::string& path) {
    std::optional<std::vector<remote::Value>> found;
    (void)QTest::qWaitFor(
        [&] {
          std::uint8_t buffer[2048];
          ssize_t n;
          while (!found && (n = ::recv(fd_, buffer, sizeof buffer, 0)) > 0) {
            const auto messages = remote::DecodePacket(buffer, static_cast<std::size_t>(n));
            if (messages && messages->front().path == path) found = messages->front().args;
          }
          return found.has_value();
        },
        kWaitMs);
    return found;
  }

 private:
  int fd_;
  sockaddr_in to_{};
};

}  // namespace

class RemoteControlTest : public QObject {
  Q_OBJECT

 private slots:
  void aRemoteSetIsAPageEditTheUnitTakesAndTheHistoryUndoes() {
    ConnectedWindow c;
    QVERIFY(c.opened);
    MainView& view = c.window.view();
    view.ShowPage(cmd::kHighLevel);
    RemoteControlWindow* remote = c.window.frame.ShowRemoteControl();
    remote->udpPortBox()->setValue(0);
    QTest::mouseClick(remote->startButton(), Qt::LeftButton);
    QVERIFY2(remote->Serving(), qPrintable(remote->statusLabel()->text()));
    QCOMPARE(remote->startButton()->text(), QStringLiteral("Stop"));
    Desk desk(remote->UdpPort());

    desk.Send("/corvella/1/output/high/level", {-6.3});
    // The unit takes the page's step nearest the value, and the desk hears it once taken.
    const auto echo = desk.Await("/corvella/1/output/high/level");
    QVERIFY(echo.has_value());
    QCOMPARE(std::get<double>(echo->front()), -6.5);
    QCOMPARE(static_cast<int>(c.UnitProgram().outputLevel[0]), 168);
    QCOMPARE(view.pageSet().Level().LevelEdit()->text(), QStringLiteral("-6.5"));
    c.window.frame.UpdateCommandStates();
    QVERIFY(c.window.frame.action(cmd::kEditUndo)->text().contains(QStringLiteral("HIGH")));

    // Undo puts the PC's set and the unit back, as for a page's edit.
    c.window.frame.action(cmd::kEditUndo)->trigger();
    QTRY_COMPARE_WITH_TIMEOUT(static_cast<int>(c.UnitProgram().outputLevel[0]), 176, kWaitMs);
    QCOMPARE(view.pageSet().Level().LevelEdit()->text(), QStringLiteral("-2.5"));

    // A bad value is refused with a reason and sends nothing.
    const std::size_t frames = c.Frames().size();
    desk.Send("/corvella/1/output/high/level", {13.0});
    const auto error = desk.Await("/corvella/error");
    QVERIFY(error.has_value());
    QCOMPARE(std::get<std::string>(error->front()),
             std::string("/corvella/1/output/high/level: out of range"));
    QCOMPARE(c.Frames().size(), frames);

    // A subscriber hears the window's own page edits too, once the unit took them (and before
    // them the undo above, a change the window made as well).
    desk.Send("/corvella/subscribe", {});
    // Clicked on the page as a person would: the window active.
    c.window.frame.show();
    QApplication::setActiveWindow(&c.window.frame);
    QVERIFY(QTest::qWaitForWindowActive(&c.window.frame));
    QTest::mouseClick(view.pageSet().Level().InverseButton(), Qt::LeftButton);
    const auto heard = desk.Await("/corvella/1/output/high/polarity");
    QVERIFY(heard.has_value());
    QCOMPARE(std::get<int>(heard->front()), 1);
    QCOMPARE(static_cast<int>(c.UnitProgram().outputPhase[0]), 1);

    // Stopped, nothing is served.
    QTest::mouseClick(remote->startButton(), Qt::LeftButton);
    QVERIFY(!remote->Serving());
  }

  void withoutAConnectedUnitNothingIsServed() {
    Window w;
    RemoteControlWindow* remote = w.frame.ShowRemoteControl();
    QVERIFY(!remote->Start());
    QCOMPARE(remote->statusLabel()->text(), QString::fromLatin1(kConnectFirstText));
  }
};

QTEST_MAIN(RemoteControlTest)
#include "remote_control_test.moc"
