// Fast transfer against the same faulty units as the default mode: whatever the unit does, a fast
// run sends the same frames in the same order, shows the same texts and boxes, ends every chain
// the same way and leaves both programs as the default run does. Only the waits shrink, and only
// where the right answer is already in; a step whose answer does not come still meets its limit.
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
using Ms = VirtualClock::Ms;

constexpr int kUpload = 0;
constexpr int kDownload = 1;
// The harness's port delivers an answer this long after its frame.
constexpr Ms kLineMs = 20;

struct Case {
  Case(std::string caseName, int transferDirection, sim::FaultPlan plan = {},
       std::function<void(test::Harness&)> after = {},
       sim::ProbeKind probeKind = sim::ProbeKind::Long)
      : name(std::move(caseName)),
        direction(transferDirection),
        faults(std::move(plan)),
        then(std::move(after)),
        kind(probeKind) {}

  std::string name;
  int direction;
  sim::FaultPlan faults;
  std::function<void(test::Harness&)> then;  // a chain run after the connect's transfer
  sim::ProbeKind kind;
};

// Everything a run shows or leaves behind.
struct Trace {
  std::vector<std::string> frames;
  std::vector<Ms> sentAt;
  std::vector<std::string> statuses;
  std::vector<std::string> boxes;
  std::vector<std::string> ends;
  Outcome lastOutcome = Outcome::Done;
  Ms endedAt = 0;
  Image pc{};
  Image unit{};
  bool transmittingVisible = false;
  bool idle = false;
};

Trace RunMode(const Case& c, bool fast) {
  Drill d;
  d.unit.SetKind(c.kind);
  d.unit.SetFaults(c.faults);
  d.h.engine.SetFastTransfer(fast);
  Trace t;
  d.h.view.onEnded = [&] { t.endedAt = d.h.clock.Now(); };
  d.Run(c.direction);
  if (c.then) {
    c.then(d.h);
    d.h.RunIdle(kHangLimitMs);
  }
  for (const auto& s : d.h.port.sent) {
    t.frames.push_back(s.frame);
    t.sentAt.push_back(s.at);
  }
  t.statuses = d.h.view.statuses;
  for (const auto& b : d.h.view.boxes) t.boxes.push_back(b.caption + ": " + b.text);
  for (const auto& e : d.h.view.ended) {
    t.ends.push_back(std::to_string(static_cast<int>(e.chain)) + " " +
                     std::to_string(static_cast<int>(e.outcome)) + " " + e.detail);
  }
  if (!d.h.view.ended.empty()) t.lastOutcome = d.h.view.ended.back().outcome;
  t.pc = ToImage(d.h.session.parameters);
  t.unit = ToImage(d.unit.Current());
  t.transmittingVisible = d.h.view.transmittingVisible;
  t.idle = d.h.NoTimers();
  return t;
}

// The two modes agree on everything but time; a run that ended for want of an answer waited as
// long after its last frame in both.
void ExpectSameRun(const Case& c) {
  SCOPED_TRACE(c.name);
  const Trace slow = RunMode(c, false);
  const Trace fast = RunMode(c, true);
  EXPECT_TRUE(fast.idle);
  EXPECT_EQ(fast.frames, slow.frames);
  EXPECT_EQ(fast.statuses, slow.statuses);
  EXPECT_EQ(fast.boxes, slow.boxes);
  EXPECT_EQ(fast.ends, slow.ends);
  EXPECT_TRUE(fast.pc == slow.pc) << "the PC's program differs";
  EXPECT_TRUE(fast.unit == slow.unit) << "the unit's program differs";
  EXPECT_EQ(fast.transmittingVisible, slow.transmittingVisible);
  if (slow.lastOutcome == Outcome::NoAnswer && !slow.sentAt.empty() && !fast.sentAt.empty()) {
    EXPECT_EQ(fast.endedAt - fast.sentAt.back(), slow.endedAt - slow.sentAt.back());
  }
}

sim::FaultPlan Late(int ms, std::string command = {}) {
  sim::FaultPlan f;
  f.answerDelayMs = ms;
  if (!command.empty()) f.delayFor.prefixes = {std::move(command)};
  return f;
}

sim::FaultPlan Garbled(std::string command, std::optional<int> first = std::nullopt) {
  sim::FaultPlan f;
  f.garbleFor.prefixes = {std::move(command)};
  f.garbleFirst = first;
  return f;
}

// From the n-th read request on, every read gets the answer to the one before.
sim::FaultPlan StaleFromRead(int n, std::optional<int> first = std::nullopt) {
  sim::FaultPlan f;
  f.staleFromRead = n;
  f.staleFirst = first;
  return f;
}

sim::FaultPlan SilentFor(std::string command) {
  sim::FaultPlan f;
  f.silentFor.prefixes = {std::move(command)};
  return f;
}

TEST(FastTransferDrills, SameFramesTextsAndProgramsAsTheDefaultMode) {
  // The limit of one step: past it the unit counts as lost.
  const int pastLimit = (timers::kWaitLimit + 1) * timers::kTransferStepMs + 100;
  sim::FaultPlan junk;
  junk.junkBefore = "))(junk";
  sim::FaultPlan hangUp;
  hangUp.hangUpAfterFrames = 20;
  sim::FaultPlan silentAfter;
  silentAfter.silentAfterFrames = 25;
  const auto factoryDefault = [](test::Harness& h) {
    ASSERT_TRUE(h.engine.StartFactoryDefaultDownload());
  };
  const auto readAside = [](test::Harness& h) { ASSERT_TRUE(h.engine.ReadUnitProgram()); };
  const Case cases[] = {
      {"clean upload", kUpload},
      {"clean download", kDownload},
      {"every answer late, upload", kUpload, Late(300)},
      {"every answer late, download", kDownload, Late(300)},
      {"one block past the limit", kUpload, Late(pastLimit, "%045")},
      {"handshake past the limit", kDownload, Late(pastLimit, "M00")},
      {"program information garbled", kUpload, Garbled("I00")},
      {"block garbled once, read again", kUpload, Garbled("%025", 1)},
      {"block garbled twice", kUpload, Garbled("%025")},
      {"wrong acknowledgement", kDownload, Garbled("$041")},
      {"read-back garbled", kDownload, Garbled("I00")},
      {"noise before every answer, upload", kUpload, junk},
      {"noise before every answer, download", kDownload, junk},
      {"unit that never answers the handshake", kDownload, {}, {}, sim::ProbeKind::Short},
      {"closing exchange silent, upload", kUpload, SilentFor("U00")},
      {"closing exchange silent, download", kDownload, SilentFor("U00")},
      {"hang-up in a download", kDownload, hangUp},
      {"silent from the middle of an upload", kUpload, silentAfter},
      {"factory default", kUpload, {}, factoryDefault},
      {"factory default, name garbled", kUpload, Garbled("J00"), factoryDefault},
      {"factory default, store silent", kUpload, SilentFor("S00"), factoryDefault},
      {"read aside, late blocks", kUpload, Late(400, "%05"), readAside},
      {"one block answered with the one before", kUpload, StaleFromRead(12, 1)},
      {"blocks one behind from the twelfth", kUpload, StaleFromRead(12)},
      {"read aside, one block behind", kUpload, StaleFromRead(40, 1), readAside},
  };
  for (const Case& c : cases) ExpectSameRun(c);
}

TEST(FastTransferDrills, SilenceAtEveryStepEndsAtTheSameLimit) {
  for (const int direction : {kUpload, kDownload}) {
    const std::vector<std::string> steps = CleanTransfer(direction);
    ASSERT_GE(steps.size(), 35u);
    for (const std::string& step : steps) {
      ExpectSameRun(
          {(direction == kUpload ? "upload, no answer to " : "download, no answer to ") + step,
           direction, SilentFor(Body(step))});
    }
  }
}

// What fast mode is for: the next request leaves as soon as the answer is in, not at the tick.
TEST(FastTransferDrills, EachStepGoesOnWhenItsAnswerIsIn) {
  for (const int direction : {kUpload, kDownload}) {
    SCOPED_TRACE(direction == kUpload ? "upload" : "download");
    const Trace fast = RunMode({"clean", direction}, true);
    // The transfer's frames, from the first request after the search up to the closing "U00)".
    std::size_t first = 0;
    while (first < fast.frames.size() && Body(fast.frames[first]) == "X") ++first;
    std::size_t last = first;
    while (last < fast.frames.size() && Body(fast.frames[last]) != "U00") ++last;
    ASSERT_LT(last, fast.frames.size());
    ASSERT_GE(last - first, 34u);
    for (std::size_t i = first + 1; i <= last; ++i) {
      EXPECT_EQ(fast.sentAt[i] - fast.sentAt[i - 1], kLineMs) << fast.frames[i];
    }
  }
}

// Stores, recalls and page edits are not transfers: they keep the protocol's pace either way.
TEST(FastTransferDrills, StoreAndPageEditKeepTheirPace) {
  Drill d;
  d.h.engine.SetFastTransfer(true);
  d.Run(kUpload);
  ASSERT_TRUE(d.h.view.SawStatus(kTransferOk));

  Ms answeredAt = -1;
  d.h.view.onStatus = [&](const std::string& text) {
    if (text == kResponseOk) answeredAt = d.h.clock.Now();
  };
  const Ms editAt = d.h.clock.Now();
  ASSERT_TRUE(d.h.Edit(HpfFrequencyFrame(1, Output::High, 40), timers::kHpfFrequency));
  d.h.RunIdle();
  EXPECT_EQ(answeredAt - editAt, timers::kPageEditMs);

  const std::size_t before = d.h.port.sent.size();
  ASSERT_TRUE(d.h.engine.StoreProgram(2));
  d.h.RunIdle();
  ASSERT_GE(d.h.port.sent.size(), before + 2);
  EXPECT_EQ(Body(d.h.port.sent[before].frame), "S002");
  EXPECT_EQ(Body(d.h.port.sent[before + 1].frame), "I000");
  EXPECT_EQ(d.h.port.sent[before + 1].at - d.h.port.sent[before].at, timers::kSaveMs);
}

}  // namespace
}  // namespace corvella::drills
