// Every chain of the engine ends with exactly one typed result, once nothing of it is left
// running, whatever the status line showed on the way.
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "support/engine_harness.h"
#include "link/engine_timers.h"
#include "link/frames.h"

namespace corvella::test {
namespace {

using namespace corvella::link;
using Ended = RecordingView::Ended;

std::vector<std::pair<Chain, Outcome>> Results(const RecordingView& view) {
  std::vector<std::pair<Chain, Outcome>> out;
  for (const Ended& e : view.ended) out.emplace_back(e.chain, e.outcome);
  return out;
}

// A harness that checks, at every reported end, that the engine is idle.
struct Watched : Harness {
  Watched() : Harness(1) {
    view.onEnded = [this] {
      const Ended& e = view.ended.back();
      if (e.chain != Chain::PageEdit && e.outcome != Outcome::Refused && engine.ChainRunning())
        stillRunning = true;
    };
  }
  bool stillRunning = false;
};

TEST(Outcomes, EveryChainThatSucceedsEndsDoneOnce) {
  Watched h;
  auto& unit = h.AddUnit();
  unit.SetMemory(2, unit.Current());
  h.Connect(0);
  EXPECT_EQ(Results(h.view), (std::vector<std::pair<Chain, Outcome>>{
                                 {Chain::Search, Outcome::Done}, {Chain::Upload, Outcome::Done}}));

  const auto run = [&h](Chain chain, const std::function<bool()>& start) {
    h.view.ended.clear();
    ASSERT_TRUE(start());
    h.RunIdle(120'000);
    ASSERT_EQ(h.view.ended.size(), 1u);
    EXPECT_EQ(h.view.ended[0].chain, chain);
    EXPECT_EQ(h.view.ended[0].outcome, Outcome::Done) << h.view.ended[0].detail;
    EXPECT_TRUE(h.view.ended[0].detail.empty());
  };
  run(Chain::PageEdit, [&] { return h.Edit(OutputPhaseFrame(1, Output::Low, 1), timers::kPhase); });
  run(Chain::Rename, [&] { return h.engine.SetProgramName("Evening"); });
  run(Chain::ProgramList, [&] { return h.engine.ListPrograms(); });
  run(Chain::Recall, [&] { return h.engine.RecallProgram(2); });
  run(Chain::Store, [&] { return h.engine.StoreProgram(3); });
  run(Chain::FactoryDefault, [&] { return h.engine.StartFactoryDefaultDownload(); });
  run(Chain::Identity, [&] { return h.engine.ChangeDeviceIdentity(4, "Four"); });
  run(Chain::Disconnect, [&] {
    h.engine.DisableCommunications();
    return true;
  });
  EXPECT_FALSE(h.stillRunning) << "a chain was reported ended while its timers still ran";

  // A download.
  Watched d;
  d.AddUnit();
  d.Connect(1);
  EXPECT_EQ(Results(d.view), (std::vector<std::pair<Chain, Outcome>>{
                                 {Chain::Search, Outcome::Done}, {Chain::Download, Outcome::Done}}));
  EXPECT_FALSE(d.stillRunning);
}

TEST(Outcomes, FailuresAreTypedWithTheTextTheyShowed) {
  {
    SCOPED_TRACE("no unit anywhere");
    Watched h;
    h.port.buses[1];  // a port, but nobody on it
    h.engine.EnableCommunications();
    h.RunIdle(600'000);
    EXPECT_EQ(Results(h.view),
              (std::vector<std::pair<Chain, Outcome>>{{Chain::Search, Outcome::NotFound}}));
  }
  {
    SCOPED_TRACE("Select cancelled");
    Watched h;
    h.AddUnit();
    h.view.selectChoice.reset();
    h.engine.EnableCommunications();
    h.RunIdle();
    EXPECT_EQ(Results(h.view),
              (std::vector<std::pair<Chain, Outcome>>{{Chain::Search, Outcome::Cancelled}}));
  }
  {
    SCOPED_TRACE("port gone before the connect");
    Watched h;
    h.AddUnit();
    h.view.duringSelect = [&h] { h.port.buses.clear(); };
    h.engine.EnableCommunications();
    h.RunIdle();
    EXPECT_EQ(Results(h.view), (std::vector<std::pair<Chain, Outcome>>{
                                   {Chain::Search, Outcome::Done},
                                   {Chain::Upload, Outcome::PortFailed}}));
    EXPECT_EQ(h.view.ended.back().detail, kCannotOpen);
  }
  {
    SCOPED_TRACE("unit falls silent in the upload");
    Watched h;
    h.AddUnit().SetFaults(SilentAfter(15));
    h.Connect(0);
    ASSERT_EQ(h.view.ended.size(), 2u);
    EXPECT_EQ(h.view.ended[1].outcome, Outcome::NoAnswer);
    EXPECT_EQ(h.view.ended[1].detail, kConnectionLost);
    EXPECT_FALSE(h.stillRunning);
  }
  {
    SCOPED_TRACE("an acknowledgement wrong, the download goes on and ends wrong");
    Watched h;
    sim::FaultPlan plan;
    plan.garbleFor.prefixes = {"$041"};
    h.AddUnit().SetFaults(plan);
    h.Connect(1);
    ASSERT_EQ(h.view.ended.size(), 2u);
    EXPECT_EQ(h.view.ended[1].chain, Chain::Download);
    EXPECT_EQ(h.view.ended[1].outcome, Outcome::WrongAnswer);
    EXPECT_EQ(h.view.ended[1].detail, kCrossoverSetFailed);
    EXPECT_TRUE(h.view.SawStatus(kTransferOk)) << "the window's texts are unchanged";
  }
  {
    SCOPED_TRACE("garbled twice");
    Watched h;
    sim::FaultPlan plan;
    plan.garbleFor.prefixes = {"%049"};
    h.AddUnit().SetFaults(plan);
    h.Connect(0);
    ASSERT_EQ(h.view.ended.size(), 2u);
    EXPECT_EQ(h.view.ended[1].outcome, Outcome::WrongAnswer);
    EXPECT_EQ(h.view.ended[1].detail, kResponseError);
  }
  {
    SCOPED_TRACE("read aside, the unit one answer behind");
    Watched h;
    h.AddUnit();
    h.Connect(0);
    sim::FaultPlan plan;
    plan.staleFor.prefixes = {"%042200"};  // all digits, like the answer before it
    h.port.Unit(1).SetFaults(plan);
    h.view.ended.clear();
    ASSERT_TRUE(h.engine.ReadUnitProgram());
    h.RunIdle();
    EXPECT_EQ(Results(h.view),
              (std::vector<std::pair<Chain, Outcome>>{{Chain::ReadUnit, Outcome::WrongAnswer}}));
    EXPECT_EQ(h.view.ended[0].detail, kResponseError);
    EXPECT_FALSE(h.stillRunning);
  }
}

TEST(Outcomes, ARefusedStartIsReportedAndDisableCancelsTheRunningChain) {
  Watched h;
  h.AddUnit();
  h.view.selectChoice = SelectChoice{0, 0};
  h.engine.EnableCommunications();
  h.clock.AdvanceUntil([&h] { return h.session.link.linkConnected == 1; }, 60'000);
  h.clock.Advance(2000);
  EXPECT_FALSE(h.engine.StoreProgram(2));
  EXPECT_FALSE(h.engine.ListPrograms());
  ASSERT_EQ(h.view.ended.size(), 3u);
  EXPECT_EQ(h.view.ended[1].chain, Chain::Store);
  EXPECT_EQ(h.view.ended[1].outcome, Outcome::Refused);
  EXPECT_EQ(h.view.ended[2].chain, Chain::ProgramList);
  EXPECT_EQ(h.view.ended[2].outcome, Outcome::Refused);

  h.engine.DisableCommunications();
  h.RunIdle();
  EXPECT_EQ(Results(h.view), (std::vector<std::pair<Chain, Outcome>>{
                                 {Chain::Search, Outcome::Done},
                                 {Chain::Store, Outcome::Refused},
                                 {Chain::ProgramList, Outcome::Refused},
                                 {Chain::Upload, Outcome::Cancelled},
                                 {Chain::Disconnect, Outcome::Done}}));
  EXPECT_FALSE(h.stillRunning);
}

}  // namespace
}  // namespace corvella::test
