// Frame building, receive assembly and answer judgement.
#include "link/frames.h"

#include <gtest/gtest.h>

#include <string>

namespace corvella::link {
namespace {

void Feed(LinkState& link, std::string_view bytes) {
  for (const char c : bytes) AssembleByte(link, static_cast<std::uint8_t>(c));
}

TEST(Frames, ParameterFramesHaveFixedWidthFields) {
  EXPECT_EQ(HpfFrequencyFrame(1, Output::High, 40), "(01$0421040)");
  EXPECT_EQ(InputPeqFrequencyFrame(1, Input::Mic, 3, 100), "(01$022103100)");
  EXPECT_EQ(InputPeqBandFrame(1, Input::Mic, 0, PeqBand{0, 69, 24, 46}), "(01$021100000069024046)");
  EXPECT_EQ(OutputPeqQFrame(2, Output::Low, 5, 7), "(02$048205007)");
  EXPECT_EQ(OutputDelayFrame(1, Output::Low, 57), "(01$0512000057)");
  EXPECT_EQ(OutputPhaseFrame(1, Output::High, 1), "(01$0521001)");
  EXPECT_EQ(InputLevelFrame(4, Input::Line, 183), "(04$0252183)");
  // The four aux codes never travel; the fixed text stands in for them.
  Dynamics d{};
  d.threshold = 62;
  d.ratio = 99;
  d.auxTime = 57;
  d.releaseTime = 59;
  d.attackTime = 56;
  d.auxGain1 = 3;
  d.auxRatio2 = 77;
  d.auxThreshold = 11;
  EXPECT_EQ(CompressorFrame(1, d), "(01$059100624848000099575956)");
  EXPECT_EQ(Acknowledgement(1, "022"), "(01$022)");
}

TEST(Frames, DeviceIdsAreTwoDigits) {
  EXPECT_EQ(ProbeFrame(7), "(07X)");
  EXPECT_EQ(ProbeFrame(10), "(10X)");
  EXPECT_EQ(ByeFrame(3), "(03bye)");
  EXPECT_EQ(DeviceIdText(0), "00");
  EXPECT_EQ(ProgramInfoRequestFrame(10, 0), "(10I000)");
  EXPECT_EQ(ProgramInfoRequestFrame(1, 6), "(01I006)");
  EXPECT_EQ(RecallFrame(1, 3), "(01R003)");
  EXPECT_EQ(SaveFrame(1, 4), "(01S004)");
  EXPECT_EQ(ReadRequestFrame(3, "0521000"), "(03%0521000)");
}

TEST(Frames, NamesArePaddedAndCannotBreakTheFrame) {
  EXPECT_EQ(ProgramNameFrame(1, "abc"), "(01J0003abc" + std::string(22, '.') + ")");
  const std::string full = "1234567890123456789012345";
  EXPECT_EQ(ProgramNameFrame(1, full + "overflow"), "(01J0003" + full + ")");
  EXPECT_EQ(ProgramNameFrame(1, "factory default.........."), "(01J0003factory default..........)");
  EXPECT_EQ(IdentityChangeFrame(1, 7, "Stage left"), "(01Z07Stage left....)");
  EXPECT_EQ(DeviceNameFrame(7, "Stage left"), "(07YStage left....)");
  // Parentheses and control bytes would end or restart the frame on the unit's side.
  EXPECT_EQ(LineText("a(b)c\nd\x7f", 10), "a.b.c.d...");
  EXPECT_EQ(ProgramNameAfterDownloadFrame(2, std::string("x\0y", 3)),
            "(02N000x" + std::string(24, '.') + ")");
}

TEST(ReceiveAssembly, FramesStartAtParenthesisAndCompleteAtClose) {
  LinkState link;
  Feed(link, "(01$0");
  EXPECT_EQ(link.frameComplete, 0);
  Feed(link, "22)");
  EXPECT_EQ(link.rxFrame, "(01$022)");
  EXPECT_EQ(link.frameComplete, 1);

  LinkState junk;
  Feed(junk, "x(01$022)");
  EXPECT_EQ(junk.rxFrame, "(01$022)");

  LinkState two;
  Feed(two, "(01$022)(01$023)");
  EXPECT_EQ(two.rxFrame, "(01$023)");
  EXPECT_EQ(two.frameComplete, 1);

  // Bytes after ")" join the finished frame, so it no longer matches.
  LinkState trailing;
  Feed(trailing, "(01$022)zz");
  EXPECT_EQ(trailing.rxFrame, "(01$022)zz");
  EXPECT_EQ(trailing.frameComplete, 1);
}

TEST(ReceiveAssembly, OverlongFrameIsDroppedUntilTheNextStart) {
  LinkState link;
  Feed(link, "(");
  Feed(link, std::string(kRxFrameCap + 100, '7'));
  Feed(link, ")");
  EXPECT_TRUE(link.rxFrame.empty());
  EXPECT_EQ(link.frameComplete, 0);
  // The noise ends; the next frame is taken whole.
  Feed(link, "(01$022)");
  EXPECT_EQ(link.rxFrame, "(01$022)");
  EXPECT_EQ(link.frameComplete, 1);
  // A frame just at the cap is still taken.
  LinkState edge;
  Feed(edge, "(" + std::string(kRxFrameCap - 2, '1') + ")");
  EXPECT_EQ(edge.rxFrame.size(), kRxFrameCap);
  EXPECT_EQ(edge.frameComplete, 1);
}

TEST(AnswerJudgement, SaveAndProbeAnswers) {
  EXPECT_TRUE(IsSaveAcknowledgement("(01S004)", 1));
  EXPECT_TRUE(IsSaveAcknowledgement("(01Sgarbage", 1));
  EXPECT_FALSE(IsSaveAcknowledgement("(02S004)", 1));
  EXPECT_FALSE(IsSaveAcknowledgement("(01", 1));

  const std::string name = "Stage left....";
  const auto longForm = ParseProbeAnswer("(03X" + name + "00)");
  ASSERT_TRUE(longForm);
  EXPECT_EQ(longForm->id, 3);
  EXPECT_EQ(longForm->kind, 0);
  EXPECT_EQ(longForm->name, name);
  const auto shortForm = ParseProbeAnswer("(10X" + name + ")");
  ASSERT_TRUE(shortForm);
  EXPECT_EQ(shortForm->id, 10);
  EXPECT_EQ(shortForm->kind, 1);
  EXPECT_FALSE(ParseProbeAnswer("(03X" + name + "0)"));  // 20 characters
  EXPECT_FALSE(ParseProbeAnswer("(03X)"));
}

TEST(AnswerJudgement, FieldsByPosition) {
  const std::string rx = "(01%021100001069024046)";
  EXPECT_EQ(NumberAt(rx, 10, 3), 1);
  EXPECT_EQ(NumberAt(rx, 13, 3), 69);
  EXPECT_EQ(NumberAt(rx, 19, 3), 46);
  EXPECT_EQ(NumberAt("(01%051100000057)", 12, 4), 57);
  // Leading digits only, 0 without any, nothing past the end.
  EXPECT_EQ(NumberAt("(0112x4", 3, 4), 12);
  EXPECT_EQ(NumberAt("(01)", 10, 3), 0);
  EXPECT_EQ(NumberAt("(01%0211000)", 10, 3), 0);
  EXPECT_EQ(NumberAt("(01abc)", 3, 3), 0);
  // Text past the end of a short answer reads as ".", never beyond the answer.
  EXPECT_EQ(TextAt("(01I0010000Live)", 11, 6), "Live).");
  EXPECT_EQ(TextAt("(01)", 11, 3), "...");
}

}  // namespace
}  // namespace corvella::link
