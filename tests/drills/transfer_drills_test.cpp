// Fault drills on whole-program transfers: at every step of an upload and of a download the unit
// stays silent, answers without ")", or garbles its answer. Each run must end with a clear status,
// leave nothing running, hide the transmitting dialog, and keep both parameter sets free of
// values that neither side had.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "drill_support.h"
#include "link/protocol_engine.h"

namespace corvella::drills {
namespace {

using namespace corvella::link;

constexpr int kUpload = 0;
constexpr int kDownload = 1;

// Answers that nobody waits for: the name sent after a download's read-back, and the closing
// "U00)" of an upload (its timer stops at the first tick whatever comes).
bool Awaited(const std::string& body, int direction) {
  if (body.rfind("N000", 0) == 0) return false;
  if (direction == kUpload && body == "U00") return false;
  return true;
}

bool IsLossStatus(const std::string& status) {
  return status == kConnectionLost || status == kConnectLostShort;
}

enum class Fault { Silence, NoClose };

// The transfer's one typed result (a connect also reports its search first).
Outcome TransferOutcome(const Drill& d, int direction) {
  const Chain chain = direction == kUpload ? Chain::Upload : Chain::Download;
  std::vector<Outcome> seen;
  for (const auto& e : d.h.view.ended)
    if (e.chain == chain) seen.push_back(e.outcome);
  EXPECT_EQ(seen.size(), 1u) << "a transfer ends exactly once";
  return seen.empty() ? Outcome::Refused : seen.back();
}

void LoseAnswerAtEveryStep(int direction, Fault fault) {
  const std::vector<std::string> steps = CleanTransfer(direction);
  ASSERT_GE(steps.size(), 35u);
  for (std::size_t k = 0; k < steps.size(); ++k) {
    const std::string body = Body(steps[k]);
    SCOPED_TRACE("step " + std::to_string(k) + " " + steps[k]);
    Drill d;
    sim::FaultPlan plan;
    (fault == Fault::Silence ? plan.silentFor : plan.unterminatedFor).prefixes = {body};
    d.unit.SetFaults(plan);
    d.Run(direction);

    EXPECT_TRUE(d.h.NoTimers()) << "still running after the hang limit";
    EXPECT_FALSE(d.h.view.transmittingVisible);
    EXPECT_TRUE(d.h.view.boxes.empty());
    EXPECT_EQ(d.h.session.link.linkConnected, 1);
    const std::string last = d.h.view.LastStatus();
    if (Awaited(body, direction)) {
      EXPECT_TRUE(IsLossStatus(last)) << last;
      EXPECT_EQ(TransferOutcome(d, direction), Outcome::NoAnswer);
      // Nothing after the lost answer was sent.
      EXPECT_EQ(d.TransferFrames().size(), k + 1);
    } else {
      EXPECT_TRUE(d.h.view.SawStatus(kTransferOk)) << last;
      EXPECT_FALSE(IsLossStatus(last)) << last;
    }
    if (direction == kUpload) {
      EXPECT_TRUE(OnlyKnownBytes(d.h.session.parameters, d.pcBefore, d.unitBefore));
      EXPECT_TRUE(d.unit.Current().programNumber == d.unitBefore.programNumber &&
                  SameParameters(d.unit.Current(), d.unitBefore))
          << "an upload changed the unit";
    } else {
      // Only the read-back at the very end may touch the PC's set (number, never the name).
      ProgramParameters pc = d.h.session.parameters;
      pc.programNumber = d.pcBefore.programNumber;
      EXPECT_TRUE(SameParameters(pc, d.pcBefore));
      EXPECT_TRUE(OnlyKnownBytes(d.unit.Current(), d.unitBefore, d.pcBefore));
    }
  }
}

TEST(TransferDrills, SilenceAtEveryStepOfAnUpload) {
  LoseAnswerAtEveryStep(kUpload, Fault::Silence);
}

TEST(TransferDrills, SilenceAtEveryStepOfADownload) {
  LoseAnswerAtEveryStep(kDownload, Fault::Silence);
}

TEST(TransferDrills, AnswerWithoutCloseAtEveryStep) {
  LoseAnswerAtEveryStep(kUpload, Fault::NoClose);
  LoseAnswerAtEveryStep(kDownload, Fault::NoClose);
}

// A garbled upload answer, or a stale one (the answer to the step before), is asked for once
// more: bad again, the upload ends with "-> Response Error" and the PC's set exactly as it was;
// bad once, the upload completes with the unit's values. Nothing bad is ever stored as a value,
// whether the step waits for its tick or goes on as soon as an answer is in.
enum class Bad { Garbled, Stale };

void BadAnswerAtEveryStepOfAnUpload(Bad bad, bool fast) {
  const std::vector<std::string> steps = CleanTransfer(kUpload);
  for (std::size_t k = 0; k < steps.size(); ++k) {
    const std::string body = Body(steps[k]);
    for (const bool once : {false, true}) {
      SCOPED_TRACE("step " + std::to_string(k) + " " + steps[k] + (once ? " once" : " twice") +
                   (fast ? ", fast" : ""));
      Drill d;
      sim::FaultPlan plan;
      (bad == Bad::Stale ? plan.staleFor : plan.garbleFor).prefixes = {body};
      if (once) (bad == Bad::Stale ? plan.staleFirst : plan.garbleFirst) = 1;
      d.unit.SetFaults(plan);
      d.h.engine.SetFastTransfer(fast);
      d.Run(kUpload);

      EXPECT_TRUE(d.h.NoTimers());
      EXPECT_TRUE(d.h.view.boxes.empty());
      EXPECT_EQ(d.h.view.repairWarnings, 0);
      EXPECT_FALSE(d.h.view.transmittingVisible);
      EXPECT_EQ(TransferOutcome(d, kUpload),
                once || !Awaited(body, kUpload) ? Outcome::Done : Outcome::WrongAnswer);
      if (once || !Awaited(body, kUpload)) {
        EXPECT_TRUE(d.h.view.SawStatus(kTransferOk));
        EXPECT_FALSE(d.h.view.SawStatus(kResponseError));
        EXPECT_TRUE(SameParameters(d.h.session.parameters, d.unitBefore));
      } else {
        EXPECT_EQ(d.h.view.LastStatus(), kResponseError);
        EXPECT_FALSE(d.h.view.SawStatus(kTransferOk));
        EXPECT_TRUE(SameParameters(d.h.session.parameters, d.pcBefore));
        EXPECT_EQ(d.h.session.parameters.programNumber, d.pcBefore.programNumber);
        // The step's request went out twice, and nothing after it.
        EXPECT_EQ(d.TransferFrames().size(), k + 2);
      }
    }
  }
}

TEST(TransferDrills, GarbledAnswerAtEveryStepOfAnUpload) {
  BadAnswerAtEveryStepOfAnUpload(Bad::Garbled, false);
}

TEST(TransferDrills, StaleAnswerAtEveryStepOfAnUpload) {
  BadAnswerAtEveryStepOfAnUpload(Bad::Stale, false);
  BadAnswerAtEveryStepOfAnUpload(Bad::Stale, true);
}

// A garbled acknowledgement during a download: at most one "Warnning" box, and the download goes
// on; the unit ends up with the PC's program all the same.
TEST(TransferDrills, GarbledAnswerAtEveryStepOfADownload) {
  const std::vector<std::string> steps = CleanTransfer(kDownload);
  for (std::size_t k = 0; k < steps.size(); ++k) {
    const std::string body = Body(steps[k]);
    SCOPED_TRACE("step " + std::to_string(k) + " " + steps[k]);
    Drill d;
    sim::FaultPlan plan;
    plan.garbleFor.prefixes = {body};
    d.unit.SetFaults(plan);
    d.Run(kDownload);

    EXPECT_TRUE(d.h.NoTimers());
    EXPECT_FALSE(d.h.view.transmittingVisible);
    ASSERT_LE(d.h.view.boxes.size(), 1u);
    if (!d.h.view.boxes.empty()) {
      EXPECT_EQ(d.h.view.boxes[0].caption, kWarnningCaption);
    }
    if (body == "M00") {
      // A wrong handshake ends the chain before any block, and says so; the unit keeps its own
      // program.
      EXPECT_EQ(d.h.view.LastStatus(), kResponseError);
      EXPECT_TRUE(SameParameters(d.unit.Current(), d.unitBefore));
      continue;
    }
    EXPECT_TRUE(d.h.view.SawStatus(kTransferOk)) << d.h.view.LastStatus();
    ProgramParameters unit = d.unit.Current();
    unit.programNumber = d.pcBefore.programNumber;
    unit.programName = d.pcBefore.programName;
    EXPECT_TRUE(SameParameters(unit, d.pcBefore));
  }
}

// The factory-default chain ("J0003", the handshake, the download, the store, the read-back) with
// each answer withheld or garbled in turn. The program name's answer is only waited for briefly and
// the chain goes on without it; every other silence ends the chain with a loss report. A garbled
// answer costs at most one box; the store's refusal is that box.
TEST(TransferDrills, FactoryDefaultChainAtEveryStep) {
  std::vector<std::string> steps;
  {
    Drill d;
    d.Run(kUpload);
    const std::size_t before = d.h.port.sent.size();
    ResetParameters(d.h.session.parameters);
    ASSERT_TRUE(d.h.engine.StartFactoryDefaultDownload());
    d.h.RunIdle(kHangLimitMs);
    for (std::size_t i = before; i < d.h.port.sent.size(); ++i) {
      steps.push_back(d.h.port.sent[i].frame);
    }
    ASSERT_TRUE(d.h.view.SawStatus(kSaveOk));
  }
  for (const bool garble : {false, true}) {
    for (const std::string& frame : steps) {
      const std::string body = Body(frame);
      SCOPED_TRACE((garble ? "garbled " : "silent ") + frame);
      Drill d;
      d.Run(kUpload);
      sim::FaultPlan plan;
      (garble ? plan.garbleFor : plan.silentFor).prefixes = {body};
      d.unit.SetFaults(plan);
      d.h.view.statuses.clear();
      ResetParameters(d.h.session.parameters);  // the file's program, unlike the unit's
      ASSERT_TRUE(d.h.engine.StartFactoryDefaultDownload());
      const ProgramParameters pc = d.h.session.parameters;
      d.h.RunIdle(kHangLimitMs);

      EXPECT_TRUE(d.h.NoTimers());
      EXPECT_FALSE(d.h.view.transmittingVisible);
      ASSERT_LE(d.h.view.boxes.size(), 1u);
      EXPECT_TRUE(OnlyKnownBytes(d.unit.Current(), d.unitBefore, pc));
      const bool nameStep = body.rfind("J0003", 0) == 0;
      const bool closing = body == "U00";
      if (!garble && !nameStep) {
        EXPECT_TRUE(IsLossStatus(d.h.view.LastStatus())) << d.h.view.LastStatus();
      } else if (garble && body == "M00") {
        EXPECT_EQ(d.h.view.LastStatus(), kResponseError);
      } else if (garble && body.rfind("S000", 0) == 0) {
        ASSERT_EQ(d.h.view.boxes.size(), 1u);
        EXPECT_EQ(d.h.view.boxes[0].text, kProgramRestoreFailed);
        EXPECT_FALSE(d.h.view.SawStatus(kSaveOk));
      } else if (closing) {
        EXPECT_EQ(d.h.view.LastStatus(), kConnectLostShort);
      } else {
        EXPECT_TRUE(d.h.view.SawStatus(kSaveOk)) << d.h.view.LastStatus();
      }
    }
  }
}

// "Disable Communications" pressed at any moment of a transfer gives the transfer up and ends the
// link at the first press, and the unit is then found and read again as if nothing had happened.
TEST(TransferDrills, DisconnectAtAnyMomentOfATransfer) {
  for (const int direction : {kUpload, kDownload}) {
    for (int at = 0; at <= 8'000; at += 250) {
      SCOPED_TRACE((direction == kUpload ? "upload, " : "download, ") + std::to_string(at) + " ms");
      Drill d;
      d.h.view.selectChoice = link::SelectChoice{0, direction};
      d.h.engine.EnableCommunications();
      d.h.clock.AdvanceUntil([&d] { return d.h.session.link.linkConnected == 1; }, kHangLimitMs);
      d.h.clock.Advance(at);
      ASSERT_TRUE(d.h.engine.CanDisableCommunications());
      d.h.engine.DisableCommunications();
      d.h.RunIdle(kHangLimitMs);
      ASSERT_TRUE(d.h.NoTimers());
      EXPECT_FALSE(d.h.port.IsOpen());
      EXPECT_EQ(d.h.session.link.linkConnected, 0);
      EXPECT_EQ(d.h.view.LastStatus(), link::kDisconnected);
      EXPECT_FALSE(d.h.view.transmittingVisible);
      EXPECT_LE(d.h.view.boxes.size(), 1u);

      d.h.view.selectChoice = link::SelectChoice{0, kUpload};
      ASSERT_TRUE(d.h.engine.CanEnableCommunications());
      d.h.view.statuses.clear();
      d.h.engine.EnableCommunications();
      d.h.RunIdle(kHangLimitMs);
      EXPECT_EQ(d.h.view.LastStatus(), kTransferOk);
    }
  }
}

// Line noise around the answers of a transfer: bytes before an answer are dropped by its "(",
// bytes after it are read past by the position parser. The upload brings the unit's program
// unchanged; a download with noise only before each answer is acknowledged throughout. (Noise after
// an acknowledgement makes it differ from the expected text, which is one "Warnning" box per
// step by design.)
TEST(TransferDrills, JunkBytesAroundEveryAnswer) {
  Drill d;
  d.Run(kUpload, [&d] {
    sim::FaultPlan plan;
    plan.junkBefore = std::string("\x00\xff~?\r\n", 6);
    plan.junkAfter = "zz\r\n";
    d.unit.SetFaults(plan);
  });
  EXPECT_EQ(d.h.view.LastStatus(), kTransferOk);
  EXPECT_EQ(d.h.view.repairWarnings, 0);
  EXPECT_TRUE(SameParameters(d.h.session.parameters, d.unitBefore));

  Drill before;
  before.Run(kDownload, [&before] {
    sim::FaultPlan plan;
    plan.junkBefore = "))(junk";
    before.unit.SetFaults(plan);
  });
  EXPECT_TRUE(before.h.view.boxes.empty());
  EXPECT_TRUE(before.h.view.SawStatus(kTransferOk));
  ProgramParameters unit = before.unit.Current();
  unit.programNumber = before.pcBefore.programNumber;
  unit.programName = before.pcBefore.programName;
  EXPECT_TRUE(SameParameters(unit, before.pcBefore));
}

}  // namespace
}  // namespace corvella::drills
