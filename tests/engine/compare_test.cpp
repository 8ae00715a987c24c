// Comparing with the unit: reading its program aside, and sending single parameters with the
// frames the pages send.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/edit_table.h"
#include "link/engine_timers.h"
#include "link/frames.h"
#include "model/parameter_listing.h"
#include "support/engine_harness.h"

namespace corvella::test {
namespace {

using namespace corvella::link;

// A value unlike `p`'s for the row's field, still in range.
void Change(ProgramParameters& p, const ParameterRef& r) {
  const auto c = static_cast<std::size_t>(r.channel);
  const auto b = static_cast<std::size_t>(r.band);
  const auto bump = [](std::uint8_t& v, int max) {
    v = static_cast<std::uint8_t>((v + 1) % (max + 1));
  };
  switch (r.field) {
    case Field::ProgramNumber:
      break;
    case Field::ProgramName:
      p.programName.fill('Z');
      break;
    case Field::InputPeqType:
      bump(p.inputPeq[b][c].type, 5);
      break;
    case Field::InputPeqFrequency:
      bump(p.inputPeq[b][c].frequency, 121);
      break;
    case Field::InputPeqQ:
      bump(p.inputPeq[b][c].q, 72);
      break;
    case Field::InputPeqGain:
      bump(p.inputPeq[b][c].gain, 48);
      break;
    case Field::HpfType:
      bump(p.crossover[c].hpfType, 11);
      break;
    case Field::HpfFrequency:
      bump(p.crossover[c].hpfFrequency, 121);
      break;
    case Field::LpfType:
      bump(p.crossover[c].lpfType, 11);
      break;
    case Field::LpfFrequency:
      bump(p.crossover[c].lpfFrequency, 121);
      break;
    case Field::OutputPeqType:
      bump(p.outputPeq[b][c].type, 5);
      break;
    case Field::OutputPeqFrequency:
      bump(p.outputPeq[b][c].frequency, 121);
      break;
    case Field::OutputPeqQ:
      bump(p.outputPeq[b][c].q, 72);
      break;
    case Field::OutputPeqGain:
      bump(p.outputPeq[b][c].gain, 48);
      break;
    case Field::Delay:
      p.outputDelay[c] = (p.outputDelay[c] + 7) % 1020;
      break;
    case Field::Threshold:
      bump(p.dynamics.threshold, 20);
      break;
    case Field::Ratio:
      bump(p.dynamics.ratio, 20);
      break;
    case Field::Release:
      bump(p.dynamics.releaseTime, 20);
      break;
    case Field::Attack:
      bump(p.dynamics.attackTime, 20);
      break;
    case Field::AuxTime:
      bump(p.dynamics.auxTime, 20);
      break;
    case Field::InputLevel:
      bump(p.inputLevel[c], 200);
      break;
    case Field::OutputLevel:
      bump(p.outputLevel[c], 200);
      break;
    case Field::Phase:
      bump(p.outputPhase[c], 1);
      break;
  }
}

// Every parameter but the number has an edit, and the unit takes its frame for exactly that one
// parameter: after it, the only difference left is gone and nothing else moved.
TEST(EditTable, EveryEditSetsExactlyItsParameterOnTheUnit) {
  ProgramParameters start{};
  ResetParameters(start);
  for (const ParameterRow& row : ListParameters(start)) {
    if (row.ref.field == Field::ProgramNumber) {
      EXPECT_FALSE(FindEdit(row.ref.field).has_value());
      continue;
    }
    SCOPED_TRACE(row.section + " " + row.parameter);
    ASSERT_TRUE(FindEdit(row.ref.field).has_value());
    sim::VirtualUnit unit(3);
    unit.Current() = start;
    ProgramParameters pc = start;
    Change(pc, row.ref);
    ASSERT_EQ(DiffParameters(pc, unit.Current()).size(), 1u);
    const std::string frame = EditFrame(3, pc, row.ref);
    const auto reply = unit.HandleFrame(frame);
    ASSERT_TRUE(reply.has_value()) << frame;
    EXPECT_EQ(reply->bytes, EditAcknowledgement(3, row.ref.field));
    EXPECT_TRUE(DiffParameters(pc, unit.Current()).empty()) << frame;
  }
}

TEST(EditTable, ParametersSharingAFrameGoOnceAndTheNumberNever) {
  const std::vector<ParameterRef> edits = {{Field::Threshold, 0, 0},   {Field::ProgramNumber, 0, 0},
                                           {Field::OutputLevel, 0, 0}, {Field::Ratio, 0, 0},
                                           {Field::OutputLevel, 1, 0}, {Field::Attack, 0, 0}};
  EXPECT_EQ(DistinctEdits(edits),
            (std::vector<ParameterRef>{
                {Field::Threshold, 0, 0}, {Field::OutputLevel, 0, 0}, {Field::OutputLevel, 1, 0}}));
  EXPECT_EQ(EditsMinimumMs(edits), timers::kCompressorMs + 2 * timers::kPageEditMs);

  // A few edits beat a whole download; every parameter does not.
  EXPECT_FALSE(EditsTakeLongerThanADownload(edits));
  std::vector<ParameterRef> all;
  for (const auto& row : ListParameters(ProgramParameters{})) all.push_back(row.ref);
  EXPECT_TRUE(EditsTakeLongerThanADownload(all));
}

TEST(Compare, TheUnitIsReadAsideAndOnlyTheListedEditsAreSent) {
  Harness h(1);
  auto& unit = h.AddUnit();
  h.Connect(0);
  ProgramParameters& pc = h.session.parameters;
  pc.crossover[1].hpfFrequency = 12;
  pc.outputPeq[2][0].gain = 30;
  pc.dynamics.ratio = 4;
  pc.programName.fill('Q');
  const ProgramParameters before = pc;
  h.view.reloads.clear();
  h.view.ended.clear();

  ASSERT_TRUE(h.engine.ReadUnitProgram());
  h.RunIdle();
  ASSERT_EQ(h.view.ended.size(), 1u);
  EXPECT_EQ(h.view.ended[0].chain, Chain::ReadUnit);
  EXPECT_EQ(h.view.ended[0].outcome, Outcome::Done);
  EXPECT_EQ(pc, before) << "the PC's set is not touched";
  EXPECT_TRUE(h.view.reloads.empty());
  const auto diff = DiffParameters(pc, h.engine.UnitProgram());
  ASSERT_EQ(diff.size(), 4u);

  std::vector<ParameterRef> refs;
  for (const auto& d : diff) refs.push_back(d.a.ref);
  const std::size_t sent = h.port.sent.size();
  h.view.ended.clear();
  ASSERT_TRUE(h.engine.SendEdits(refs));
  h.RunIdle();
  EXPECT_EQ(h.view.ended.at(0).outcome, Outcome::Done);
  const auto frames = h.port.Frames();
  EXPECT_EQ(std::vector<std::string>(frames.begin() + static_cast<long>(sent), frames.end()),
            (std::vector<std::string>{
                ProgramNameFrame(1, std::string(25, 'Q')), HpfFrequencyFrame(1, Output::Low, 12),
                OutputPeqGainFrame(1, Output::High, 2, 30), CompressorFrame(1, pc.dynamics)}));
  EXPECT_TRUE(DiffParameters(pc, unit.Current()).empty());
}

TEST(Compare, AUnitThatAcknowledgesButIgnoresAWriteIsCaughtByReadingItBack) {
  Harness h(1);
  auto& unit = h.AddUnit();
  sim::FaultPlan plan;
  plan.ignoreWritesFor.prefixes = {"$049"};
  unit.SetFaults(plan);
  h.Connect(0);
  h.session.parameters.outputLevel[0] = 90;
  h.view.ended.clear();
  ASSERT_TRUE(h.engine.SendEdits({{Field::OutputLevel, 0, 0}}));
  h.RunIdle();
  EXPECT_EQ(h.view.ended.at(0).outcome, Outcome::Done) << "the unit said it took it";
  ASSERT_TRUE(h.engine.ReadUnitProgram());
  h.RunIdle();
  const auto diff = DiffParameters(h.session.parameters, h.engine.UnitProgram());
  ASSERT_EQ(diff.size(), 1u);
  EXPECT_EQ(diff[0].a.parameter, "HIGH level");
}

TEST(Compare, SilenceStopsTheEditsAndAReadStaysAside) {
  Harness h(1);
  auto& unit = h.AddUnit();
  h.Connect(0);
  const ProgramParameters before = h.session.parameters;
  unit.SetFaults(SilentAfter(unit.FramesReceived() + 10));
  h.view.ended.clear();
  ASSERT_TRUE(h.engine.ReadUnitProgram());
  h.RunIdle();
  EXPECT_EQ(h.view.ended.at(0).outcome, Outcome::NoAnswer);
  EXPECT_EQ(h.session.parameters, before);

  h.session.parameters.outputLevel[0] = 90;
  h.session.parameters.outputLevel[1] = 91;
  const std::size_t sent = h.port.sent.size();
  h.view.ended.clear();
  ASSERT_TRUE(h.engine.SendEdits({{Field::OutputLevel, 0, 0}, {Field::OutputLevel, 1, 0}}));
  h.RunIdle();
  EXPECT_EQ(h.view.ended.at(0).outcome, Outcome::NoAnswer);
  EXPECT_EQ(h.port.sent.size(), sent + 1) << "nothing after the unanswered edit";
  EXPECT_FALSE(h.engine.ChainRunning());
}

// A front end that confirms each value as the unit takes it learns which value each answer was
// for: a level moved again while its frame was on the way goes once more, and only the second
// answer is for the value the set holds now.
TEST(EngineQueue, EachEditOfAListIsAnsweredWithTheFrameThatCarriedIt) {
  Harness h(1);
  auto& unit = h.AddUnit();
  sim::FaultPlan plan;
  plan.garbleFor.prefixes = {"$0492"};
  unit.SetFaults(plan);
  h.Connect(0);
  const ParameterRef high{Field::OutputLevel, 0, 0};
  const ParameterRef low{Field::OutputLevel, 1, 0};
  h.session.parameters.outputLevel[0] = 90;
  ASSERT_TRUE(h.engine.SendEdits({high}));
  const std::string first = link::EditFrame(1, h.session.parameters, high);
  h.session.parameters.outputLevel[0] = 100;
  ASSERT_TRUE(h.engine.SendEdits({high, low}));
  h.RunIdle();
  ASSERT_EQ(h.view.answered.size(), 3u);
  EXPECT_EQ(h.view.answered[0].frame, first);
  EXPECT_TRUE(h.view.answered[0].right);
  EXPECT_EQ(h.view.answered[1].frame, link::EditFrame(1, h.session.parameters, high));
  EXPECT_NE(first, h.view.answered[1].frame);
  EXPECT_EQ(h.view.answered[2].ref, low);
  EXPECT_FALSE(h.view.answered[2].right) << "a garbled acknowledgement is no acknowledgement";
  EXPECT_EQ(unit.Current().outputLevel[0], 100);
}

// The unit has one answer buffer: a list or a read asked while a page edit waits for its answer
// waits in the engine's queue, and an edit asked while a list runs joins the list.
TEST(EngineQueue, WorkAskedWhileAnAnswerIsAwaitedWaitsForIt) {
  struct Case {
    const char* what;
    void (*ask)(Harness&);
    std::vector<Chain> ends;
  };
  const Case cases[] = {
      {"a delay and the polarity gathered (an alignment)",
       [](Harness& h) {
         h.engine.GatherEdits();
         h.engine.SendEdit({Field::Delay, 0, 0});
         h.engine.SendEdit({Field::Phase, 0, 0});
         EXPECT_TRUE(h.engine.SendGatheredEdits());
       },
       {Chain::SendEdits}},
      {"a page edit, then a list",
       [](Harness& h) {
         h.engine.SendEdit({Field::Delay, 0, 0});
         EXPECT_TRUE(h.engine.SendEdits({{Field::Phase, 0, 0}}));
       },
       {Chain::PageEdit, Chain::SendEdits}},
      {"a list, then a page edit and another list joining it",
       [](Harness& h) {
         EXPECT_TRUE(h.engine.SendEdits({{Field::Delay, 0, 0}}));
         EXPECT_TRUE(h.engine.SendEdit({Field::Phase, 0, 0}));
         EXPECT_TRUE(h.engine.SendEdits({{Field::Phase, 0, 0}, {Field::Delay, 0, 0}}));
       },
       {Chain::SendEdits}},
      {"two page edits of one kind, then a read aside",
       [](Harness& h) {
         h.session.parameters.outputPhase[0] = 0;
         h.engine.SendEdit({Field::Phase, 0, 0});
         h.session.parameters.outputPhase[0] = 1;
         h.engine.SendEdit({Field::Phase, 0, 0});
         EXPECT_TRUE(h.engine.ReadUnitProgram());
         h.session.parameters.outputDelay[0] = 480;  // the unit holds it already
       },
       {Chain::PageEdit, Chain::ReadUnit}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Harness h(1);
    sim::VirtualUnit& unit = h.AddUnit();
    unit.Current().outputDelay[0] = 480;
    h.Connect(0);
    h.session.parameters.outputPhase[0] = 1;
    h.session.parameters.outputDelay[0] = 480;
    h.view.ended.clear();
    h.view.statuses.clear();
    c.ask(h);
    h.RunIdle();
    std::vector<Chain> ends;
    for (const auto& e : h.view.ended) {
      ends.push_back(e.chain);
      EXPECT_EQ(e.outcome, Outcome::Done);
    }
    EXPECT_EQ(ends, c.ends);
    for (const std::string& status : h.view.statuses) {
      EXPECT_NE(status, kResponseError);
      EXPECT_NE(status, kConnectionLost);
    }
    EXPECT_EQ(unit.Current().outputPhase[0], 1);
    EXPECT_TRUE(DiffParameters(h.session.parameters, unit.Current()).empty());
  }
}

TEST(EngineQueue, WorkThatWaitedEndsCancelledWhenTheLinkIsGivenUp) {
  Harness h(1);
  h.AddUnit();
  h.Connect(0);
  h.engine.SendEdit({Field::Delay, 0, 0});
  ASSERT_TRUE(h.engine.SendEdits({{Field::Phase, 0, 0}}));
  EXPECT_TRUE(h.engine.WorkQueued());
  h.view.ended.clear();
  h.engine.DisableCommunications();
  h.RunIdle();
  ASSERT_GE(h.view.ended.size(), 2u);
  EXPECT_EQ(h.view.ended[0].chain, Chain::SendEdits);
  EXPECT_EQ(h.view.ended[0].outcome, Outcome::Cancelled);
  EXPECT_FALSE(h.engine.WorkQueued());
}

}  // namespace
}  // namespace corvella::test
