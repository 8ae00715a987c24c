// Whole-program transfers: parsing the upload by position, the download with its handshake and
// acknowledgements, the factory-default chain, and units that fall silent.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

#include "link/engine_timers.h"
#include "link/frames.h"
#include "support/engine_harness.h"

namespace corvella::test {
namespace {

using namespace corvella::link;

std::size_t Count(const std::vector<std::string>& frames, const std::string& frame) {
  return static_cast<std::size_t>(std::count(frames.begin(), frames.end(), frame));
}

// The request echoed without its ")" and zeros far enough for every field of any block (and for
// the program name of "I000)").
std::string ZeroAnswer(const std::string& request) {
  return request.substr(0, request.size() - 1) + std::string(36, '0') + ")";
}

TEST(Upload, AnswersAreParsedByPosition) {
  Harness h(1);
  h.AddUnit();
  const std::string name = "Stage main program.......";
  const std::map<std::string, std::string> answers = {
      {"(01X)", "(01XVirtual Unit..00)"},
      {"(01I000)", "(01I0030000" + name + ")"},
      // Bytes after the fields are read past.
      {"(01%021100)", "(01%021100001069024046xyz)"},
      {"(01%025100)", "(01%025100999)"},  // out of range for a level
      {"(01%051100)", "(01%051100000057)"},
      {"(01%059100)", "(01%05910099010203040506077580)"},
      {"(01%0522000)", "(01%052200001)"},
  };
  h.port.script = [&answers](int, const std::string& frame) {
    const auto it = answers.find(frame);
    if (it != answers.end()) return std::vector<Answer>{{it->second}};
    if (frame.find('%') != std::string::npos) return std::vector<Answer>{{ZeroAnswer(frame)}};
    return std::vector<Answer>{{frame}};
  };
  h.session.parameters.inputPeq[1][0] = PeqBand{5, 100, 30, 60};
  h.Connect();

  const ProgramParameters& p = h.session.parameters;
  EXPECT_EQ(p.programNumber, 3);
  EXPECT_EQ(std::string(p.programName.begin(), p.programName.end()), name);
  EXPECT_EQ(p.inputPeq[0][0].type, 1);
  EXPECT_EQ(p.inputPeq[0][0].frequency, 69);
  EXPECT_EQ(p.inputPeq[0][0].gain, 24);
  EXPECT_EQ(p.inputPeq[0][0].q, 46);
  EXPECT_EQ(p.inputPeq[1][0].type, 0);
  EXPECT_EQ(p.inputPeq[1][0].frequency, 0);
  EXPECT_EQ(p.outputDelay[0], 57);
  EXPECT_EQ(p.outputDelay[1], 0);
  EXPECT_EQ(p.dynamics.auxThreshold, 99);
  EXPECT_EQ(p.dynamics.threshold, 1);
  EXPECT_EQ(p.dynamics.auxTime, 7);
  EXPECT_EQ(p.dynamics.releaseTime, 0) << "75 is out of range and repaired to 0";
  EXPECT_EQ(p.dynamics.attackTime, 74) << "80 is out of range and repaired to 74";
  EXPECT_EQ(p.outputPhase[0], 0);
  EXPECT_EQ(p.outputPhase[1], 1);
  EXPECT_EQ(p.inputLevel[0], 205) << "999 is kept as the largest code and repaired";
  EXPECT_EQ(h.view.repairWarnings, 1);
  EXPECT_EQ(h.view.LastStatus(), kTransferOk);
}

// A field that is not digits, or does not lie inside the answer, is never stored: the step asks
// once more, and a second bad answer ends the upload with the PC's set exactly as it was.
TEST(Upload, BadAnswersAreAskedAgainOnceThenEndTheUploadWithTheSetUntouched) {
  struct Case {
    const char* what;
    std::string request;  // whose answers go bad
    int badAnswers;
    std::string badAnswer;  // empty: the body garbled into "?"
  };
  const std::vector<Case> cases = {
      {"garbled once", "(01%045203)", 1, ""},
      {"garbled twice", "(01%045203)", 2, ""},
      {"envelope only", "(01%049200)", 2, "(01)"},
      {"field cut by the end", "(01%051100)", 2, "(01%05110000)"},
      {"digit field holds a sign", "(01%059100)", 2, "(01%059100-1010203040506077580)"},
      {"program information too short for its name", "(01I000)", 2, "(01I003)"},
      // All digits, but not the answer to this request: it would land in another block.
      {"another band's answer", "(01%045103)", 2, "(01%045102002110044071)"},
      {"another unit's answer", "(01%049100)", 2, "(02%049100077)"},
      {"the other output's phase", "(01%0522000)", 2, "(01%052100001)"},
      {"program information of another command", "(01I000)", 2,
       "(01R0010000" + std::string(25, '.') + ")"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Harness h(1);
    auto& unit = h.AddUnit();
    unit.Current().outputPeq[3][1] = PeqBand{2, 80, 30, 20};
    unit.Current().outputLevel[1] = 77;
    unit.SetProgramName("Unit");
    int bad = 0;
    h.port.script = [&](int, const std::string& frame) {
      std::vector<Answer> out;
      for (const char ch : frame) {
        for (auto& r : h.port.buses[1].Feed(ch).replies) {
          if (frame == c.request && bad < c.badAnswers) {
            ++bad;
            if (c.badAnswer.empty()) {
              std::fill(r.bytes.begin() + 3, r.bytes.end() - 1, '?');
            } else {
              r.bytes = c.badAnswer;
            }
          }
          out.push_back({r.bytes, r.delayMs, r.hangUp});
        }
      }
      return out;
    };
    h.session.parameters.outputLevel[1] = 12;
    const ProgramParameters before = h.session.parameters;
    h.Connect();

    const auto frames = h.port.Frames();
    EXPECT_EQ(std::count(frames.begin(), frames.end(), c.request), 2)
        << "asked once more from the same step, never a third time";
    if (c.badAnswers == 1) {
      EXPECT_EQ(h.view.LastStatus(), kTransferOk);
      EXPECT_EQ(h.session.parameters.outputPeq[3][1].frequency, 80);
      EXPECT_EQ(h.session.parameters.outputLevel[1], 77);
      EXPECT_EQ(h.view.reloads.size(), 1u);
    } else {
      EXPECT_EQ(h.view.LastStatus(), kResponseError);
      EXPECT_FALSE(h.view.SawStatus(kTransferOk));
      EXPECT_FALSE(h.view.transmittingVisible);
      EXPECT_TRUE(h.view.reloads.empty());
      EXPECT_EQ(h.view.repairWarnings, 0);
      EXPECT_EQ(h.session.parameters, before) << "never half old and half new";
      EXPECT_NE(frames.back(), "(01U00)");
      EXPECT_TRUE(h.NoTimers());
    }
  }
}

TEST(Upload, AnUploadCutOffLeavesThePcSetAsItWas) {
  Harness h(1);
  auto& unit = h.AddUnit();
  unit.SetFaults(SilentAfter(10));
  unit.Current().inputPeq[0][0].type = 3;
  h.session.parameters.outputDelay[1] = 777;
  const ProgramParameters before = h.session.parameters;
  h.Connect();
  EXPECT_EQ(h.view.LastStatus(), kConnectionLost);
  EXPECT_TRUE(h.view.reloads.empty());
  EXPECT_EQ(h.view.repairWarnings, 0);
  EXPECT_EQ(h.session.link.identityShown, 0);
  EXPECT_EQ(h.session.link.linkConnected, 1);
  // The probe, the name and eight blocks were answered; none of them reached the PC's set.
  EXPECT_EQ(h.port.sent.size(), 10u + 10u);
  EXPECT_EQ(h.session.parameters, before);
  EXPECT_TRUE(h.NoTimers());

  // Disable Communications in the middle of the next upload: likewise.
  h.port.Unit(1).SetFaults({});
  h.session.link.linkConnected = 0;
  h.session.link.searchRestart = 1;
  h.view.selectChoice = SelectChoice{0, 0};
  h.engine.EnableCommunications();
  h.clock.AdvanceUntil([&h] { return h.port.Frames().back() == "(01%045100)"; }, 60'000);
  h.engine.DisableCommunications();
  h.RunIdle();
  EXPECT_EQ(h.session.parameters, before);
}

// A unit (or an adapter) that answers every request between one and two ticks late finishes the
// transfer: an answer clears the count of empty ticks. Silence still ends one step at its 21st.
TEST(Transfer, ALateUnitCompletesAndASilentStepStillEndsAtItsLimit) {
  for (const int direction : {0, 1}) {
    SCOPED_TRACE(direction == 0 ? "upload" : "download");
    Harness h(1);
    auto& unit = h.AddUnit();
    unit.Current().outputDelay[0] = 345;
    h.session.parameters.outputDelay[1] = 543;
    h.port.latencyMs = 0;
    unit.SetFaults(Delayed(345));
    h.Connect(direction);
    EXPECT_FALSE(h.view.SawStatus(kConnectionLost));
    EXPECT_TRUE(h.view.SawStatus(kTransferOk));
    EXPECT_EQ(h.session.link.waitCount, 0);
    if (direction == 0) {
      EXPECT_EQ(h.session.parameters.outputDelay[0], 345);
    } else {
      EXPECT_EQ(h.port.Unit(1).Current().outputDelay[1], 543);
    }
  }

  Harness h(1);
  h.AddUnit();
  h.Attach();
  h.port.script = [](int, const std::string& frame) {
    if (frame == "(01R001)") return std::vector<Answer>{{frame}};
    if (frame == "(01%021201)") return std::vector<Answer>{};
    return std::vector<Answer>{{ZeroAnswer(frame), 5 * 230}};
  };
  VirtualClock::Ms lastSend = 0;
  h.engine.RecallProgram(1);
  h.clock.AdvanceUntil([&] { return h.port.Frames().back() == "(01%021201)"; }, 60'000);
  lastSend = h.clock.Now();
  h.RunIdle();
  EXPECT_EQ(h.view.LastStatus(), kConnectionLost);
  EXPECT_EQ(h.port.sent.back().frame, "(01%021201)");
  EXPECT_EQ(h.clock.Now() - lastSend, 21 * 230) << "the 21st empty tick of that one step";
}

// One chain at a time: whatever would start a second one while an upload runs is refused and
// sends nothing, so the unit's answers cannot be mixed into another chain's set.
TEST(Chains, NothingStartsWhileAChainRuns) {
  Harness h(1);
  auto& unit = h.AddUnit();
  unit.SetMemory(2, unit.Current());
  h.view.selectChoice = SelectChoice{0, 0};
  h.engine.EnableCommunications();
  h.clock.AdvanceUntil([&h] { return h.session.link.linkConnected == 1; }, 60'000);
  h.clock.Advance(4000);
  ASSERT_TRUE(h.engine.ChainRunning());
  const std::size_t sent = h.port.sent.size();
  const ProgramParameters before = h.session.parameters;

  EXPECT_FALSE(h.engine.StartFactoryDefaultDownload());
  EXPECT_FALSE(h.engine.ListPrograms());
  EXPECT_FALSE(h.engine.RecallProgram(2));
  EXPECT_FALSE(h.engine.StoreProgram(3));
  EXPECT_FALSE(h.engine.SetProgramName("Other"));
  EXPECT_FALSE(h.engine.ChangeDeviceIdentity(5, "Other"));
  EXPECT_FALSE(h.Edit(OutputPhaseFrame(1, Output::High, 1), timers::kPhase));
  EXPECT_FALSE(h.engine.CanEnableCommunications());
  h.engine.EnableCommunications();
  h.clock.Advance(460);
  // Only the upload's own read requests went out since.
  ASSERT_GT(h.port.sent.size(), sent);
  for (std::size_t i = sent; i < h.port.sent.size(); ++i)
    EXPECT_NE(h.port.sent[i].frame.find('%'), std::string::npos) << h.port.sent[i].frame;
  EXPECT_EQ(h.session.parameters, before);

  h.RunIdle();
  EXPECT_EQ(h.view.LastStatus(), kTransferOk);
  EXPECT_FALSE(h.engine.ChainRunning());
  // A page edit waiting for its answer is not a chain: the next command still starts.
  EXPECT_TRUE(h.Edit(OutputPhaseFrame(1, Output::High, 1), timers::kPhase));
  EXPECT_FALSE(h.engine.ChainRunning());
  EXPECT_TRUE(h.engine.StoreProgram(3));
  EXPECT_TRUE(h.engine.ChainRunning());
}

TEST(Download, EveryBlockAcknowledgedEndsWithReadBackAndName) {
  Harness h(1);
  auto& unit = h.AddUnit();
  unit.SetProgramName("Unit program");
  ProgramParameters& pc = h.session.parameters;
  pc.crossover[1].lpfFrequency = 99;
  pc.outputDelay[0] = 1000;
  pc.dynamics.threshold = 62;
  pc.outputPhase[1] = 1;
  const std::string pcName(pc.programName.begin(), pc.programName.end());
  h.Connect(1);

  auto frames = h.port.Frames();
  frames.erase(frames.begin(), frames.begin() + 10);  // the probes
  ASSERT_EQ(frames.size(), 37u);
  EXPECT_EQ(frames[0], "(01M00)");
  EXPECT_EQ(frames[1], InputPeqBandFrame(1, Input::Mic, 0, pc.inputPeq[0][0]));
  EXPECT_EQ(frames[33], OutputPhaseFrame(1, Output::Low, 1));
  EXPECT_EQ(frames[34], "(01I000)");
  EXPECT_EQ(frames[35], "(01U00)");
  EXPECT_EQ(frames[36], "(01N000" + pcName + ")");
  EXPECT_TRUE(h.view.boxes.empty());

  const ProgramParameters& device = h.port.Unit(1).Current();
  EXPECT_EQ(device.crossover[1].lpfFrequency, 99);
  EXPECT_EQ(device.outputDelay[0], 1000);
  EXPECT_EQ(device.dynamics.threshold, 62);
  EXPECT_EQ(device.outputPhase[1], 1);
  EXPECT_EQ(h.port.Unit(1).ProgramName(), pcName);
  EXPECT_EQ(std::string(pc.programName.begin(), pc.programName.end()), pcName)
      << "the PC keeps its own name";
  const LinkState& link = h.session.link;
  EXPECT_EQ(link.keepPcName, 0);
  EXPECT_EQ(link.downloadRequested, 0);
  EXPECT_EQ(link.uploadEnded, 1);
  EXPECT_EQ(link.infoOnly, 0);
  EXPECT_EQ(link.transferDirection, 0);
  EXPECT_TRUE(h.view.SawStatus(kTranslating));
  EXPECT_TRUE(h.view.SawStatus(kTransmitting));
  EXPECT_EQ(h.view.LastStatus(), kTransferOk);
}

TEST(Download, EveryFrameCarriesItsFieldsInTableOrder) {
  Harness h(1);
  h.AddUnit();
  // Every field a value of its own, so a field in the wrong place or block shows.
  ProgramParameters& pc = h.session.parameters;
  pc.inputPeq[0][0] = {1, 11, 21, 31};
  pc.inputPeq[1][0] = {2, 12, 22, 32};
  pc.inputPeq[0][1] = {3, 13, 23, 33};
  pc.inputPeq[1][1] = {4, 14, 24, 34};
  pc.inputLevel[0] = 101;
  pc.inputLevel[1] = 102;
  pc.crossover[0] = {5, 41, 6, 111};
  pc.crossover[1] = {7, 42, 8, 112};
  for (std::uint8_t b = 0; b < 6; ++b) {
    pc.outputPeq[b][0] = {b, static_cast<std::uint8_t>(50 + b), static_cast<std::uint8_t>(60 + b),
                          static_cast<std::uint8_t>(70 + b)};
    pc.outputPeq[b][1] = {9, static_cast<std::uint8_t>(80 + b), static_cast<std::uint8_t>(90 + b),
                          static_cast<std::uint8_t>(100 + b)};
  }
  pc.outputLevel[0] = 121;
  pc.outputLevel[1] = 122;
  pc.outputDelay[0] = 1234;
  pc.outputDelay[1] = 56;
  pc.dynamics = {15, 62, 11, 12, 13, 14, 99, 57, 59, 56};
  pc.outputPhase[0] = 1;
  pc.outputPhase[1] = 0;
  h.Connect(1);

  auto frames = h.port.Frames();
  frames.erase(frames.begin(), frames.begin() + 10);  // the probes
  frames.resize(std::min<std::size_t>(frames.size(), 35));
  const std::vector<std::string> expected = {
      "(01M00)",
      "(01$021100001011021031)",
      "(01$021101002012022032)",
      "(01$021200003013023033)",
      "(01$021201004014024034)",
      "(01$0251101)",
      "(01$0252102)",
      "(01$0411005)",
      "(01$0421041)",
      "(01$0412007)",
      "(01$0422042)",
      "(01$0431006)",
      "(01$0441111)",
      "(01$0432008)",
      "(01$0442112)",
      "(01$045100000050060070)",
      "(01$045101001051061071)",
      "(01$045102002052062072)",
      "(01$045103003053063073)",
      "(01$045104004054064074)",
      "(01$045105005055065075)",
      "(01$045200009080090100)",
      "(01$045201009081091101)",
      "(01$045202009082092102)",
      "(01$045203009083093103)",
      "(01$045204009084094104)",
      "(01$045205009085095105)",
      "(01$0491121)",
      "(01$0492122)",
      "(01$0511001234)",
      "(01$0512000056)",
      "(01$059100624848000099575956)",
      "(01$0521001)",
      "(01$0522000)",
      "(01I000)",
  };
  EXPECT_EQ(frames, expected);
  EXPECT_TRUE(h.view.boxes.empty());
}

TEST(Download, WrongAcknowledgementShowsOneBoxAndGoesOn) {
  Harness h(1);
  sim::FaultPlan faults;
  faults.garbleFor.prefixes = {"$0432"};  // the LOW low-pass type only
  h.AddUnit().SetFaults(faults);
  h.Connect(1);
  ASSERT_EQ(h.view.boxes.size(), 1u);
  EXPECT_EQ(h.view.boxes[0].caption, kWarnningCaption);
  EXPECT_EQ(h.view.boxes[0].text, kCrossoverSetFailed);
  EXPECT_EQ(h.view.boxes[0].icon, BoxIcon::Stop);
  EXPECT_EQ(Count(h.port.Frames(), OutputPhaseFrame(1, Output::Low, 0)), 1u);
  EXPECT_EQ(h.view.LastStatus(), kTransferOk);
}

TEST(Download, ShortFormUnitWithoutM00Answer) {
  Harness h(1);
  h.AddUnit(1, 1, sim::ProbeKind::Short);
  h.session.parameters.outputLevel[0] = 111;
  h.view.selectChoice = SelectChoice{0, 1};
  h.engine.EnableCommunications();
  h.clock.AdvanceUntil([&h] { return h.session.link.linkConnected == 1; }, 10'000);
  EXPECT_EQ(h.session.link.deviceKind, 1);
  // The first block goes out at the first empty tick, and the handshake timer stops there.
  h.clock.AdvanceUntil([&h] { return h.port.sent.size() == 12u; }, 1'000);
  EXPECT_EQ(h.port.sent.back().frame.substr(0, 7), "(01$021");
  EXPECT_FALSE(h.clock.IsArmed(timers::kDownloadStart));
  h.RunIdle();
  EXPECT_TRUE(h.view.boxes.empty());
  EXPECT_FALSE(h.view.SawStatus(kConnectionLost));
  EXPECT_EQ(h.view.LastStatus(), kTransferOk);
  EXPECT_EQ(h.port.Unit(1).Current().outputLevel[0], 111);
}

// Every transfer reports its steps one by one from the first to the last, each once: a request
// asked again after a bad answer is no step further.
TEST(Progress, EachTransferCountsItsStepsOneByOneUpToTheLast) {
  Harness h(1);
  auto& unit = h.AddUnit();
  unit.SetMemory(2, unit.Current());
  struct Case {
    Chain chain;
    int steps;
    std::function<bool()> start;
  };
  const Case cases[] = {
      {Chain::Download, 34,
       [&h] {
         h.Connect(1);
         return true;
       }},
      {Chain::FactoryDefault, 36, [&h] { return h.engine.StartFactoryDefaultDownload(); }},
      {Chain::Recall, 34, [&h] { return h.engine.RecallProgram(2); }},
      {Chain::ReadUnit, 34,
       [&h, &unit] {
         sim::FaultPlan plan;
         plan.garbleFor.prefixes = {"%049"};
         plan.garbleFirst = 1;
         unit.SetFaults(plan);
         return h.engine.ReadUnitProgram();
       }},
      {Chain::SendEdits, 2,
       [&h] {
         return h.engine.SendEdits(
             {{Field::OutputLevel, 0, 0}, {Field::OutputLevel, 1, 0}, {Field::OutputLevel, 0, 0}});
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.chain));
    h.view.progress.clear();
    h.view.ended.clear();
    ASSERT_TRUE(c.start());
    h.RunIdle();
    ASSERT_EQ(h.view.ended.back().chain, c.chain);
    ASSERT_EQ(h.view.ended.back().outcome, Outcome::Done);
    std::vector<int> steps;
    for (const Progress& p : h.view.progress) {
      EXPECT_EQ(p.chain, c.chain);
      EXPECT_EQ(p.steps, c.steps);
      steps.push_back(p.step);
    }
    std::vector<int> expected(static_cast<std::size_t>(c.steps));
    for (int i = 0; i < c.steps; ++i) expected[static_cast<std::size_t>(i)] = i + 1;
    EXPECT_EQ(steps, expected);
  }
}

TEST(FactoryDefault, DownloadStoreAndReadBack) {
  Harness h(1);
  h.AddUnit();
  h.Connect();
  const std::size_t start = h.port.sent.size();
  EXPECT_FALSE(h.view.transmittingVisible);

  h.session.parameters.inputLevel[1] = 150;
  ASSERT_TRUE(h.engine.StartFactoryDefaultDownload());
  h.RunIdle();
  const auto all = h.port.Frames();
  const std::vector<std::string> frames(all.begin() + static_cast<std::ptrdiff_t>(start),
                                        all.end());
  ASSERT_EQ(frames.size(), 1u + 1u + 33u + 1u + 1u + 1u);
  EXPECT_EQ(frames[0], "(01J0003factory default..........)");
  EXPECT_EQ(frames[1], "(01M00)");
  EXPECT_EQ(frames[35], "(01S000)");
  EXPECT_EQ(frames[36], "(01I000)");
  EXPECT_EQ(frames[37], "(01U00)");
  EXPECT_TRUE(h.view.SawStatus(kProgramInfoOk));
  EXPECT_TRUE(h.view.SawStatus(kSaveOk));
  EXPECT_EQ(h.view.LastStatus(), kTransferOk);
  EXPECT_EQ(h.view.transmittingShown, 1);
  EXPECT_FALSE(h.view.transmittingVisible);
  EXPECT_TRUE(h.view.boxes.empty());
  EXPECT_EQ(h.port.Unit(1).Current().inputLevel[1], 150);
  EXPECT_EQ(h.port.Unit(1).ProgramName(), "factory default..........");
  EXPECT_EQ(h.session.link.saveAfterDownload, 0);
  EXPECT_EQ(h.session.link.infoOnly, 0);

  // Not connected: nothing is sent.
  Harness off(1);
  EXPECT_FALSE(off.engine.StartFactoryDefaultDownload());
  EXPECT_TRUE(off.port.sent.empty());
}

TEST(Chains, StatusTextsComeInTheirOrder) {
  Harness h(1);
  h.AddUnit().SetMemory(2, h.port.Unit(1).Current());
  h.Connect(1);
  const std::vector<std::string> download = {std::string(kSearching),   std::string(kConnected),
                                             std::string(kTranslating), std::string(kTransmitting),
                                             std::string(kTransferOk),  std::string(kTransferOk)};
  EXPECT_EQ(h.view.statuses, download);

  h.view.statuses.clear();
  h.engine.StartFactoryDefaultDownload();
  h.RunIdle();
  const std::vector<std::string> factory = {std::string(kProgramInfoOk), std::string(kTransmitting),
                                            std::string(kTransmitting),  std::string(kTransferOk),
                                            std::string(kSaveOk),        std::string(kTransferOk)};
  EXPECT_EQ(h.view.statuses, factory);

  h.view.statuses.clear();
  h.engine.RecallProgram(2);
  h.RunIdle();
  const std::vector<std::string> recall = {std::string(kRecallOk), std::string(kUploading),
                                           std::string(kTransferOk)};
  EXPECT_EQ(h.view.statuses, recall);
}

TEST(FactoryDefault, UnansweredNameStartsTheDownloadOnceAndLossHidesTheDialog) {
  Harness h(1);
  sim::FaultPlan faults;
  faults.silentFor.prefixes = {"J0003", "M00"};
  h.AddUnit().SetFaults(faults);
  h.Connect();
  h.session.link.waitCount = 0;
  h.engine.StartFactoryDefaultDownload();
  h.RunIdle();
  const auto frames = h.port.Frames();
  EXPECT_EQ(Count(frames, "(01M00)"), 1u) << "the handshake starts once, when the name step ends";
  EXPECT_FALSE(h.view.SawStatus(kProgramInfoOk));
  EXPECT_EQ(h.view.LastStatus(), kConnectionLost);
  EXPECT_EQ(h.view.transmittingShown, 1);
  EXPECT_FALSE(h.view.transmittingVisible);
}

TEST(InfoRefresh, UnansweredClosingFrameStopsAtTheLimit) {
  Harness h(1);
  sim::FaultPlan faults;
  faults.silentFor.prefixes = {"U00"};
  h.AddUnit().SetFaults(faults);
  h.Connect(1);
  EXPECT_EQ(std::count(h.view.statuses.begin(), h.view.statuses.end(), kConnectLostShort), 21);
  EXPECT_FALSE(h.clock.IsArmed(timers::kInfoRefresh));
  EXPECT_EQ(h.session.link.waitCount, 0);
  EXPECT_EQ(h.session.link.keepPcName, 1) << "no name is sent without the answer";
}

sim::FaultPlan SilentFor(std::vector<std::string> prefixes) {
  sim::FaultPlan f;
  f.silentFor.prefixes = std::move(prefixes);
  return f;
}

// Disconnects, heals the unit and connects again with `direction`.
void Reconnect(Harness& h, int direction) {
  h.engine.DisableCommunications();
  h.RunIdle();
  h.port.Unit(1).SetFaults({});
  h.Connect(direction);
}

TEST(Connect, NewConnectStartsAfreshWhateverACutOffChainLeftBehind) {
  // A store whose read-back was cut off: the next upload still reads every block.
  {
    Harness h(1);
    h.AddUnit();
    h.Connect();
    h.port.Unit(1).SetFaults(SilentFor({"I000"}));
    h.engine.StoreProgram(2);
    h.RunIdle();
    ASSERT_EQ(h.view.LastStatus(), kConnectionLost);
    h.port.Unit(1).Current().outputLevel[0] = 77;
    Reconnect(h, 0);
    EXPECT_EQ(h.view.LastStatus(), kTransferOk);
    EXPECT_EQ(h.session.parameters.outputLevel[0], 77);
    EXPECT_EQ(h.view.reloads.size(), 2u);
  }
  // A factory default cut off half way: the next download is not stored into a memory unasked.
  {
    Harness h(1);
    h.AddUnit();
    h.Connect();
    h.port.Unit(1).SetFaults(SilentFor({"$045"}));
    ASSERT_TRUE(h.engine.StartFactoryDefaultDownload());
    h.RunIdle();
    ASSERT_EQ(h.view.LastStatus(), kConnectionLost);
    Reconnect(h, 1);
    EXPECT_EQ(Count(h.port.Frames(), "(01S000)"), 0u);
    EXPECT_EQ(h.port.Frames().back().substr(0, 7), "(01N000");
    EXPECT_EQ(h.view.LastStatus(), kTransferOk);
  }
  // A download whose closing "U00)" went unanswered: the next upload takes the unit's name.
  {
    Harness h(1);
    h.AddUnit().SetFaults(SilentFor({"U00"}));
    h.Connect(1);
    ASSERT_EQ(h.session.link.keepPcName, 1);
    h.port.Unit(1).SetProgramName("Unit program");
    Reconnect(h, 0);
    const ProgramParameters& p = h.session.parameters;
    EXPECT_EQ(std::string(p.programName.begin(), p.programName.end()),
              "Unit program" + std::string(13, '.'));
  }
}

}  // namespace
}  // namespace corvella::test
