// Injected faults and the line itself: delays, silence, damaged answers, hang-ups, reopening,
// and frames arriving in pieces or among noise.
#include <gtest/gtest.h>

#include <filesystem>

#include "sim/pty_client.h"
#include "sim/virtual_unit_host.h"

namespace corvella::sim {
namespace {

using testing::PtyClient;
using namespace std::chrono_literals;

// Unit 1 takes the faults; unit 9 stays healthy so that its answer shows what unit 1 sent first.
class FaultyUnit : public ::testing::Test {
 protected:
  FaultyUnit() : host_({VirtualUnit(1), VirtualUnit(9)}) {}
  void SetUp() override {
    ASSERT_TRUE(host_.Start());
    client_ = std::make_unique<PtyClient>(host_.SlavePath());
  }
  // A fresh plan for unit 1, as `edit` sets it.
  template <typename Edit>
  void Faults(Edit edit) {
    FaultPlan plan;
    edit(plan);
    host_.SetFaults(0, std::move(plan));
  }
  std::string Ask(std::string_view frame) { return client_->Exchange(frame); }
  std::string AskThenWitness(std::string_view frame) { return Ask(std::string(frame) + "(09U00)"); }

  VirtualUnitHost host_;
  std::unique_ptr<PtyClient> client_;
};

TEST_F(FaultyUnit, DelayedAnswerWaitsInTheQueueThenArrives) {
  Faults([](FaultPlan& f) { f.answerDelayMs = 1500; });
  client_->Write("(01U00)");
  ASSERT_TRUE(host_.WaitForFrames(1, 3s));
  EXPECT_EQ(host_.PendingAnswers(), 1u);
  EXPECT_EQ(client_->ReadFrame(5s), "(01U00)");

  // Limited to chosen commands, the others are answered at once.
  Faults([](FaultPlan& f) {
    f.answerDelayMs = 1500;
    f.delayFor.prefixes = {"U00"};
  });
  EXPECT_EQ(Ask("(01bye)"), "(01bye)");
  EXPECT_EQ(host_.PendingAnswers(), 0u);
  client_->Write("(01U00)");
  ASSERT_TRUE(host_.WaitForFrames(3, 3s));
  EXPECT_EQ(host_.PendingAnswers(), 1u);
  EXPECT_EQ(client_->ReadFrame(5s), "(01U00)");
}

TEST_F(FaultyUnit, SilenceAlwaysAfterNFramesOrForChosenCommands) {
  Faults([](FaultPlan& f) { f.silentAfterFrames = 2; });
  EXPECT_EQ(Ask("(01U00)"), "(01U00)");
  EXPECT_EQ(Ask("(01bye)"), "(01bye)");
  EXPECT_EQ(AskThenWitness("(01U00)"), "(09U00)");

  host_.WithUnit(0, [](VirtualUnit& u) { u = VirtualUnit(1); });
  Faults([](FaultPlan& f) { f.silentFor.prefixes = {"$022", "I00"}; });
  EXPECT_EQ(AskThenWitness("(01$022100080)"), "(09U00)");
  EXPECT_EQ(AskThenWitness("(01I000)"), "(09U00)");
  EXPECT_EQ(Ask("(01$023100030)"), "(01$023)");
  // The frame was acted on; only its answer was lost.
  EXPECT_EQ(host_.Unit(0)->Current().inputPeq[0][0].frequency, 80);

  Faults([](FaultPlan& f) { f.silent = true; });
  EXPECT_EQ(AskThenWitness("(01X)"), "(09U00)");
}

TEST_F(FaultyUnit, DamagedAnswersGarbledUnterminatedOrAmongJunk) {
  Faults([](FaultPlan& f) {
    f.garbleFor.prefixes = {"I000"};
    f.unterminatedFor.prefixes = {"U00"};
  });
  EXPECT_EQ(Ask("(01I000)"), "(01" + std::string(33, '?') + ")");
  EXPECT_EQ(Ask("(01U00)(01bye)"), "(01U00(01bye)");

  Faults([](FaultPlan& f) {
    f.junkBefore = "x";
    f.junkAfter = "\r\n~";
  });
  EXPECT_EQ(Ask("(01M00)"), "x(01M00)");
  EXPECT_EQ(Ask("(09M00)"), "\r\n~(09M00)");
}

TEST_F(FaultyUnit, StaleAnswersFromTheNthReadOnRepeatTheAnswerGivenBefore) {
  Faults([](FaultPlan& f) { f.staleFromRead = 2; });
  const std::string first = Ask("(01%041100)");
  ASSERT_EQ(first.substr(0, 10), "(01%041100");
  EXPECT_EQ(Ask("(01%042100)"), first);
  EXPECT_EQ(Ask("(01U00)"), "(01U00)") << "only reads are stale";
  EXPECT_EQ(Ask("(01%043100)"), "(01U00)");
}

TEST_F(FaultyUnit, HangUpAfterNFramesClosesTheLine) {
  Faults([](FaultPlan& f) { f.hangUpAfterFrames = 2; });
  EXPECT_EQ(Ask("(01U00)"), "(01U00)");
  EXPECT_EQ(Ask("(09U00)"), "(09U00)");  // another unit's frame does not count
  client_->Write("(01bye)");
  EXPECT_TRUE(client_->WaitHangUp());
  EXPECT_TRUE(host_.HungUp());
  EXPECT_EQ(host_.ReceivedFrames().size(), 3u);
  EXPECT_FALSE(host_.WaitForFrames(4, 10s));  // returns at once: nothing more can come
}

TEST_F(FaultyUnit, FramesAreAssembledAcrossPiecesAndNoiseAndLoggedInOrder) {
  client_->Write("(01U");
  EXPECT_EQ(Ask("00)"), "(01U00)");
  EXPECT_EQ(Ask("zz)(01bye)"), "(01bye)");
  EXPECT_EQ(Ask("(01U(01M00)"), "(01M00)");                              // a "(" restarts the frame
  EXPECT_EQ(Ask("(01" + std::string(400, '7') + "(09U00)"), "(09U00)");  // overlong: dropped
  ASSERT_TRUE(host_.WaitForFrames(4, 3s));
  EXPECT_EQ(host_.ReceivedFrames(),
            (std::vector<std::string>{"(01U00)", "(01bye)", "(01M00)", "(09U00)"}));
}

TEST_F(FaultyUnit, LineSurvivesTheProgramClosingAndReopeningIt) {
  EXPECT_EQ(Ask("(01U00)"), "(01U00)");
  client_->Close();
  client_ = std::make_unique<PtyClient>(host_.SlavePath());
  EXPECT_EQ(Ask("(01bye)"), "(01bye)");
  EXPECT_FALSE(host_.HungUp());

  const std::string path = host_.SlavePath();
  client_.reset();
  host_.Stop();
  EXPECT_FALSE(host_.Running());
  EXPECT_FALSE(std::filesystem::exists(path));
}

}  // namespace
}  // namespace corvella::sim
