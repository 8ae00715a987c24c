// The Qt glue of the engine: timers by ID on Qt's event loop, and work handed over from other
// threads without the poster ever waiting.
#include <QThread>
#include <QtTest>
#include <atomic>
#include <map>
#include <thread>
#include <vector>

#include "app/qt/qt_owner_thread.h"
#include "app/qt/qt_timer_host.h"

using namespace corvella;

namespace {

class TickLog : public link::TimerClient {
 public:
  explicit TickLog(QtTimerHost& host) : host_(host) {}
  void OnTimer(int id) override {
    ++ticks[id];
    if (id == killOnTick) host_.KillTimer(id);
    if (id == rearmAs) {
      host_.KillTimer(id);
      host_.ArmTimer(id + 1, 1);
    }
  }
  std::map<int, int> ticks;
  int killOnTick = -1;
  int rearmAs = -1;

 private:
  QtTimerHost& host_;
};

}  // namespace

class RuntimeTest : public QObject {
  Q_OBJECT

 private slots:
  void timersTickByIdUntilKilled() {
    QtTimerHost host;
    TickLog log(host);
    host.SetClient(&log);

    host.ArmTimer(11, 1);
    host.ArmTimer(11, 2);  // re-arming a running ID restarts it: still one timer
    host.ArmTimer(20, 1);
    QVERIFY(host.IsArmed(11));
    QVERIFY(host.IsArmed(20));
    QVERIFY(!host.IsArmed(12));
    QVERIFY(QTest::qWaitFor([&] { return log.ticks[11] >= 3 && log.ticks[20] >= 3; }, 5000));

    host.KillTimer(11);
    host.KillTimer(11);  // killing twice is harmless
    QVERIFY(!host.IsArmed(11));
    const int frozen = log.ticks[11];
    QVERIFY(QTest::qWaitFor([&] { return log.ticks[20] >= frozen + 5; }, 5000));
    QCOMPARE(log.ticks[11], frozen);
    host.KillAll();
    QVERIFY(!host.IsArmed(20));
  }

  void aTickMayKillOrArmTimers() {
    QtTimerHost host;
    TickLog log(host);
    host.SetClient(&log);
    log.killOnTick = 3;
    log.rearmAs = 60;
    host.ArmTimer(3, 1);
    host.ArmTimer(60, 1);
    QVERIFY(QTest::qWaitFor([&] { return log.ticks[61] >= 2; }, 5000));
    QCOMPARE(log.ticks[3], 1);
    QCOMPARE(log.ticks[60], 1);
    QVERIFY(!host.IsArmed(3));
    QVERIFY(!host.IsArmed(60));
    QVERIFY(host.IsArmed(61));
  }

  void postedTasksRunOnTheOwnerThreadInOrder() {
    QtOwnerThread owner;
    constexpr int kThreads = 4;
    constexpr int kTasks = 2000;
    std::vector<std::vector<int>> seen(kThreads);
    std::atomic<int> offThread{0};
    QThread* const ownerThread = QThread::currentThread();
    std::atomic<int> posted{0};
    {
      std::vector<std::thread> posters;
      for (int t = 0; t < kThreads; ++t) {
        posters.emplace_back([&, t] {
          for (int i = 0; i < kTasks; ++i) {
            owner.Post([&, t, i] {
              if (QThread::currentThread() != ownerThread) ++offThread;
              seen[static_cast<std::size_t>(t)].push_back(i);
            });
            ++posted;
          }
        });
      }
      // Every poster finishes while the owner thread is busy joining, not running the loop: a
      // post that waited for the owner would hang here.
      for (std::thread& poster : posters) poster.join();
    }
    QCOMPARE(posted.load(), kThreads * kTasks);
    QVERIFY(QTest::qWaitFor(
        [&] {
          std::size_t total = 0;
          for (const auto& s : seen) total += s.size();
          return total == std::size_t{kThreads * kTasks};
        },
        10000));
    QCOMPARE(offThread.load(), 0);
    for (const std::vector<int>& s : seen) {
      QVERIFY(std::is_sorted(s.begin(), s.end()));
      QCOMPARE(s.size(), std::size_t{kTasks});
    }
    owner.Post({});  // an empty task is ignored
  }

  void tasksLeftWhenTheOwnerGoesAreDropped() {
    int ran = 0;
    {
      QtOwnerThread owner;
      owner.Post([&] { ++ran; });
    }
    QCoreApplication::processEvents();
    QCOMPARE(ran, 0);
  }
};

QTEST_GUILESS_MAIN(RuntimeTest)
#include "runtime_test.moc"
