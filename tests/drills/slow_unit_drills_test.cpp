// A slow unit: every kind of answer timer gets its answer just inside its bound (the last tick
// before the limit gives up) and just outside it. Inside, the command succeeds; outside, it ends
// the way that timer ends, with nothing left running. The bound of a single command is
// (limit + 1) x interval: the ticks before the answer are empty and add up to the limit.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "drill_support.h"
#include "link/engine_timers.h"
#include "link/frames.h"
#include "link/protocol_engine.h"

namespace corvella::drills {
namespace {

using namespace corvella::link;

// The harness's port delivers an answer this long after the frame, before the unit's own delay.
constexpr int kLineMs = 20;

struct SlowCase {
  const char* name;
  std::string slowPrefix;  // frames whose body begins so are answered late
  int boundMs;             // the answer must be there by this long after the frame
  int direction;           // of the connect before the command
  std::function<void(test::Harness&)> command;  // empty: the connect's transfer is the command
  std::function<void(const Drill&)> inside;
  std::function<void(const Drill&)> outside;
};

// Runs one case with the slow answers arriving `lateByMs` after their bound (0: exactly at it).
void RunSlow(const SlowCase& c, int lateByMs, bool expectInside) {
  SCOPED_TRACE(std::string(c.name) + (expectInside ? " inside" : " outside"));
  Drill d;
  const int delay = c.boundMs - kLineMs + lateByMs;
  bool armed = !c.command;  // the transfer's own frames are slow from the connect on
  d.h.port.script = [&](int, const std::string& frame) {
    std::vector<test::Answer> out;
    for (const char ch : frame) {
      if (auto r = d.unit.Feed(ch)) out.push_back({r->bytes, r->delayMs, r->hangUp});
    }
    if (armed && Body(frame).rfind(c.slowPrefix, 0) == 0) {
      for (auto& a : out) a.delayMs += delay;
    }
    return out;
  };
  d.Run(c.direction);
  if (c.command) {
    ASSERT_TRUE(d.h.view.SawStatus(kTransferOk));
    ASSERT_TRUE(d.h.NoTimers());
    d.h.view.statuses.clear();
    armed = true;
    c.command(d.h);
    d.h.RunIdle(kHangLimitMs);
  }
  EXPECT_TRUE(d.h.NoTimers());
  (expectInside ? c.inside : c.outside)(d);
}

void Drive(const SlowCase& c) {
  RunSlow(c, 0, true);
  RunSlow(c, 1, false);
}

void LastStatusIs(const Drill& d, std::string_view text) {
  EXPECT_EQ(d.h.view.LastStatus(), text);
}

TEST(SlowUnitDrills, PageEditsDelayAndCompressor) {
  // Page edits wait 300 ms a tick, the delay 200, the compressor 500; all give up after 20.
  const struct {
    const char* name;
    std::string frame;
    int timer;
    int ms;
  } edits[] = {
      {"crossover", HpfFrequencyFrame(1, Output::High, 40), timers::kHpfFrequency,
       timers::kPageEditMs},
      {"phase", OutputPhaseFrame(1, Output::Low, 1), timers::kPhase, timers::kPageEditMs},
      {"delay", OutputDelayFrame(1, Output::High, 480), timers::kDelay, timers::kDelayMs},
      {"compressor", CompressorFrame(1, UnitProgram().dynamics), timers::kCompressor,
       timers::kCompressorMs},
  };
  for (const auto& e : edits) {
    Drive({e.name, Body(e.frame).substr(0, 4), (timers::kWaitLimit + 1) * e.ms, 0,
           [&e](test::Harness& h) { ASSERT_TRUE(h.Edit(e.frame, e.timer, e.ms)); },
           [](const Drill& d) { LastStatusIs(d, kResponseOk); },
           [](const Drill& d) { LastStatusIs(d, kConnectionLost); }});
  }
}

TEST(SlowUnitDrills, EveryTransferStepHasTheWholeLimitForALateUnit) {
  // An answer clears the count of empty ticks: every block may come as late as a single
  // command's answer may, even when all of them are that late.
  for (const int direction : {0, 1}) {
    Drive({direction == 0 ? "upload" : "download",
           direction == 0 ? "%" : "$",
           (timers::kWaitLimit + 1) * timers::kTransferStepMs,
           direction,
           {},
           [](const Drill& d) { EXPECT_TRUE(d.h.view.SawStatus(kTransferOk)); },
           [](const Drill& d) {
             EXPECT_FALSE(d.h.view.SawStatus(kTransferOk));
             LastStatusIs(d, kConnectionLost);
           }});
  }
  Drive({"download handshake",
         "M00",
         (timers::kWaitLimit + 1) * timers::kDownloadStartMs,
         1,
         {},
         [](const Drill& d) { EXPECT_TRUE(d.h.view.SawStatus(kTransferOk)); },
         [](const Drill& d) { LastStatusIs(d, kConnectionLost); }});
}

TEST(SlowUnitDrills, MemoriesNamesAndIdentity) {
  const auto limitOf = [](int ms) { return (timers::kWaitLimit + 1) * ms; };
  Drive({"store", "S", limitOf(timers::kSaveMs), 0,
         [](test::Harness& h) { ASSERT_TRUE(h.engine.StoreProgram(2)); },
         [](const Drill& d) {
           EXPECT_TRUE(d.h.view.SawStatus(kSaveOk));
           EXPECT_TRUE(d.unit.Memory(2).has_value());
         },
         [](const Drill& d) {
           EXPECT_FALSE(d.h.view.SawStatus(kSaveOk));
           LastStatusIs(d, kConnectionLost);
         }});
  Drive({"recall", "R", limitOf(timers::kRecallMs), 0,
         [](test::Harness& h) { h.engine.RecallProgram(1); },
         [](const Drill& d) {
           EXPECT_TRUE(d.h.view.SawStatus(kRecallOk));
           LastStatusIs(d, kTransferOk);
           EXPECT_EQ(d.h.session.parameters.outputDelay[0], kMemoryOneDelay);
         },
         [](const Drill& d) { LastStatusIs(d, kConnectionLost); }});
  Drive({"program name", "J0003", limitOf(timers::kProgramNameMs), 0,
         [](test::Harness& h) { ASSERT_TRUE(h.engine.SetProgramName("late")); },
         [](const Drill& d) { LastStatusIs(d, kProgramInfoOk); },
         [](const Drill& d) {
           LastStatusIs(d, kConnectionLost);
           EXPECT_EQ(d.h.session.link.waitCount, 0);
         }});
  Drive({"identity", "Z", limitOf(timers::kIdentityMs), 0,
         [](test::Harness& h) { ASSERT_TRUE(h.engine.ChangeDeviceIdentity(3, "renamed")); },
         [](const Drill& d) {
           LastStatusIs(d, kIdentityOk);
           EXPECT_EQ(d.h.session.link.deviceId, 3);
         },
         [](const Drill& d) {
           LastStatusIs(d, kConnectionLost);
           EXPECT_EQ(d.h.session.link.deviceId, 1) << "the unit never confirmed the new ID";
         }});
  // The list gives each name four ticks.
  Drive({"program list", "I001", (timers::kListWaitLimit + 1) * timers::kListMs, 0,
         [](test::Harness& h) { h.engine.ListPrograms(); },
         [](const Drill& d) {
           EXPECT_EQ(d.h.view.listLines.at(1).first.find("No Used"), std::string::npos);
         },
         [](const Drill& d) {
           EXPECT_NE(d.h.view.listLines.at(1).first.find("No Used"), std::string::npos);
         }});
}

TEST(SlowUnitDrills, DisconnectClosesThePortAtTheFirstTick) {
  Drive({"disconnect", "bye", timers::kDisconnectMs, 0,
         [](test::Harness& h) { h.engine.DisableCommunications(); },
         [](const Drill& d) {
           LastStatusIs(d, kDisconnected);
           EXPECT_EQ(d.h.session.link.linkConnected, 0);
         },
         [](const Drill& d) {
           LastStatusIs(d, kIgnorDisconnected);
           EXPECT_EQ(d.h.session.link.linkConnected, 0);
         }});
}

}  // namespace
}  // namespace corvella::drills
