// The answer check shared by every timer: page edits, the shared empty-tick counter, disconnect
// timing and port events.
#include <gtest/gtest.h>

#include "support/engine_harness.h"
#include "link/engine_timers.h"
#include "link/frames.h"

namespace corvella::test {
namespace {

using namespace corvella::link;

// Notes the virtual time of every status text.
struct StatusTimes {
  explicit StatusTimes(Harness& h) {
    h.view.onStatus = [this, &h](const std::string& s) { at.push_back({h.clock.Now(), s}); };
  }
  VirtualClock::Ms First(std::string_view text) const {
    for (const auto& [t, s] : at)
      if (s == text) return t;
    return -1;
  }
  std::vector<std::pair<VirtualClock::Ms, std::string>> at;
};

TEST(AnswerCheck, PageEditIsJudgedAtItsFirstTick) {
  Harness h;
  h.AddUnit();
  EXPECT_FALSE(h.Edit(HpfFrequencyFrame(1, Output::High, 40), timers::kHpfFrequency))
      << "nothing is sent while not connected";
  EXPECT_TRUE(h.port.sent.empty());

  h.Attach();
  ASSERT_TRUE(h.Edit(HpfFrequencyFrame(1, Output::High, 40), timers::kHpfFrequency));
  h.clock.Advance(300);
  EXPECT_EQ(h.view.LastStatus(), kResponseOk);
  EXPECT_EQ(h.session.link.waitCount, 0);
  EXPECT_FALSE(h.clock.IsArmed(timers::kHpfFrequency));
  EXPECT_EQ(h.port.Unit(1).Current().crossover[0].hpfFrequency, 40);

  // An answer for another command is an error, and the timer stops all the same.
  h.port.script = [](int, const std::string&) { return std::vector<Answer>{{"(01$041)"}}; };
  h.Edit(HpfFrequencyFrame(1, Output::High, 41), timers::kHpfFrequency);
  h.clock.Advance(300);
  EXPECT_EQ(h.view.LastStatus(), kResponseError);
  EXPECT_FALSE(h.clock.IsArmed(timers::kHpfFrequency));
}

TEST(AnswerCheck, SilenceIsGivenUpOnTheTwentyFirstTick) {
  Harness h;
  h.AddUnit().SetFaults(Silent());
  h.Attach();
  StatusTimes times(h);
  h.Edit(InputLevelFrame(1, Input::Mic, 100), timers::kInputLevel);
  h.RunIdle();
  EXPECT_EQ(times.First(kConnectionLost), 21 * 300);
  EXPECT_EQ(h.view.statuses.size(), 1u);
  EXPECT_EQ(h.session.link.waitCount, 0);
  EXPECT_EQ(h.session.link.linkConnected, 1) << "silence does not disconnect";
}

TEST(AnswerCheck, AnAnswerClearsTheEmptyTicksSoOnlySilenceCounts) {
  Harness h;
  // Each answer lands between the first and second tick.
  h.AddUnit().SetFaults(Delayed(380));
  h.Attach();
  for (int i = 0; i < 25; ++i) {
    h.Edit(OutputLevelFrame(1, Output::Low, 100 + i), timers::kOutputLevel);
    h.RunIdle();
    ASSERT_EQ(h.view.LastStatus(), kResponseOk) << "late answer " << i;
  }
  EXPECT_EQ(h.session.link.waitCount, 0);

  h.port.Unit(1).SetFaults(Silent());
  StatusTimes times(h);
  const auto start = h.clock.Now();
  h.Edit(OutputLevelFrame(1, Output::Low, 50), timers::kOutputLevel);
  h.RunIdle();
  EXPECT_EQ(times.First(kConnectionLost) - start, 21 * 300);
  EXPECT_EQ(h.session.link.waitCount, 0);
}

TEST(AnswerCheck, RunningTimersShareOneAnswer) {
  Harness h;
  h.AddUnit();
  h.Attach();
  // Only the first frame is answered; the second timer then counts empty ticks.
  h.port.script = [](int, const std::string& frame) {
    return frame.find("$022") != std::string::npos ? std::vector<Answer>{{"(01$022)"}}
                                                   : std::vector<Answer>{};
  };
  h.Edit(InputPeqFrequencyFrame(1, Input::Line, 0, 69), timers::kInputPeqFrequency);
  h.clock.Advance(10);
  h.Edit(InputPeqQFrame(1, Input::Line, 0, 46), timers::kInputPeqQ);
  h.clock.AdvanceTo(300);
  EXPECT_EQ(h.view.LastStatus(), kResponseOk);
  h.clock.AdvanceTo(310);
  EXPECT_EQ(h.session.link.waitCount, 1);
  EXPECT_TRUE(h.clock.IsArmed(timers::kInputPeqQ));
}

TEST(AnswerCheck, LevelFramesWaitTheirPauseAndKeepTheirOrder) {
  Harness h;
  h.AddUnit();
  h.Attach();
  // A newer LINE level replaces the one waiting, in its place before MIC's; the output levels
  // have their own place.
  h.engine.SendParameterAfterPause(InputLevelFrame(1, Input::Line, 150), timers::kInputLevel, 300);
  h.engine.SendParameterAfterPause(InputLevelFrame(1, Input::Mic, 20), timers::kInputLevel, 300);
  h.engine.SendParameterAfterPause(OutputLevelFrame(1, Output::High, 150), timers::kOutputLevel,
                                   300);
  h.engine.SendParameterAfterPause(InputLevelFrame(1, Input::Line, 151), timers::kInputLevel, 300);
  h.clock.Advance(99);
  EXPECT_TRUE(h.port.sent.empty());
  h.clock.Advance(1);
  ASSERT_EQ(h.port.sent.size(), 1u);
  EXPECT_EQ(h.port.sent[0].frame, "(01$0252151)");
  h.clock.Advance(100);
  ASSERT_EQ(h.port.sent.size(), 2u);
  EXPECT_EQ(h.port.sent[1].frame, "(01$0251020)");
  // A LINE level set after its frame left waits behind the output's, a pause after the last.
  h.engine.SendParameterAfterPause(InputLevelFrame(1, Input::Line, 152), timers::kInputLevel, 300);
  h.clock.Advance(100);
  h.clock.Advance(100);
  ASSERT_EQ(h.port.sent.size(), 4u);
  EXPECT_EQ(h.port.sent[2].frame, "(01$0491150)");
  EXPECT_EQ(h.port.sent[3].frame, "(01$0252152)");
  EXPECT_EQ(h.port.sent[3].at - h.port.sent[2].at, 100);
  h.RunIdle();
  EXPECT_EQ(h.port.Unit(1).Current().inputLevel[1], 152);

  // A frame whose pause ends after the link went down is not sent.
  h.engine.SendParameterAfterPause(InputLevelFrame(1, Input::Mic, 1), timers::kInputLevel, 300);
  h.session.link.linkConnected = 0;
  h.RunIdle();
  EXPECT_EQ(h.port.sent.size(), 4u);
}

TEST(Disconnect, SilentUnitClosesThePortAtOnceAndGivesUpAfterTwentyOneTicks) {
  Harness h;
  h.AddUnit();
  h.Connect();
  ASSERT_EQ(h.session.link.linkConnected, 1);
  h.port.Unit(1).SetFaults(Silent());
  StatusTimes times(h);
  const auto start = h.clock.Now();
  h.engine.DisableCommunications();
  EXPECT_EQ(h.port.sent.back().frame, "(01bye)");
  EXPECT_FALSE(h.engine.CanEnableCommunications());
  h.clock.Advance(200);
  EXPECT_FALSE(h.port.IsOpen()) << "closed at the first tick";
  EXPECT_EQ(h.session.link.linkConnected, 1);
  h.RunIdle();
  EXPECT_EQ(times.First(kIgnorDisconnected) - start, 4200);
  EXPECT_EQ(h.session.link.linkConnected, 0);
  EXPECT_EQ(h.session.link.identityShown, 0);
  EXPECT_EQ(h.session.link.deviceInfoEditable, 0);
  EXPECT_TRUE(h.engine.CanEnableCommunications());
  EXPECT_FALSE(h.engine.CanDisableCommunications());
}

TEST(Disconnect, AnsweredByeDisconnectsAtTheFirstTick) {
  Harness h;
  h.AddUnit();
  h.Connect();
  const int repaints = h.view.headerRepaints;
  h.engine.DisableCommunications();
  h.clock.Advance(200);
  EXPECT_EQ(h.view.LastStatus(), kDisconnected);
  EXPECT_EQ(h.session.link.linkConnected, 0);
  EXPECT_EQ(h.session.link.searchRestart, 1);
  EXPECT_EQ(h.view.headerRepaints, repaints + 1);
  EXPECT_FALSE(h.port.IsOpen());
  EXPECT_FALSE(h.clock.IsArmed(timers::kDisconnect));
}

TEST(Disconnect, AGarbledAnswerStillEndsTheLinkItClosed) {
  Harness h;
  sim::FaultPlan faults;
  faults.garbleFor.prefixes = {"bye"};
  h.AddUnit().SetFaults(faults);
  h.Connect();
  h.engine.DisableCommunications();
  h.clock.Advance(200);
  EXPECT_EQ(h.view.LastStatus(), kIgnorDisconnected);
  EXPECT_FALSE(h.port.IsOpen());
  EXPECT_EQ(h.session.link.linkConnected, 0);
  EXPECT_EQ(h.session.link.identityShown, 0);
  EXPECT_FALSE(h.clock.IsArmed(timers::kDisconnect));
  EXPECT_TRUE(h.engine.CanEnableCommunications());
}

TEST(PortEvents, FailureIsShownAsApplicationError) {
  Harness h;
  h.engine.OnPortFailure(1, "WARNING:  ReadFile() Failed with the following error: \nx\nPort: 1\n");
  ASSERT_EQ(h.view.boxes.size(), 1u);
  EXPECT_EQ(h.view.boxes[0].caption, kApplicationErrorCaption);
  EXPECT_EQ(h.view.boxes[0].icon, BoxIcon::Stop);
}

}  // namespace
}  // namespace corvella::test
