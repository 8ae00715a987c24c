// The journal read back: every frame the edit table and the transfer build, and every letter
// command, decoded in the program's words, with the virtual unit's own answers judged.
#include "link/journal_decoder.h"

#include <gtest/gtest.h>

#include "link/edit_table.h"
#include "link/frames.h"
#include "link/transfer_blocks.h"
#include "model/parameter_listing.h"
#include "sim/demo_unit.h"
#include "sim/virtual_unit.h"

namespace corvella::link {
namespace {

// The virtual unit's answer to `frame`.
std::string Reply(sim::VirtualUnit& unit, const std::string& frame) {
  const std::optional<sim::Reply> reply = unit.HandleFrame(frame);
  return reply ? reply->bytes : std::string();
}

// A set with every kind of value away from its start-up value.
ProgramParameters Sample() {
  ProgramParameters p{};
  ResetParameters(p);
  p.outputPeq[2][0] = PeqBand{1, 70, 18, 30};
  p.inputPeq[1][1] = PeqBand{3, 40, 30, 20};
  p.crossover[1] = {5, 20, 11, 90};
  p.outputDelay[1] = 321;
  p.dynamics.threshold = 40;
  p.outputPhase[0] = 1;
  SetProgramName(p, "Stage left");
  return p;
}

TEST(JournalDecoder, EveryEditFrameReadsAsItsParameterAndItsAnswerIsJudged) {
  const ProgramParameters p = Sample();
  int checked = 0;
  for (const ParameterRow& row : ListParameters(p)) {
    if (!FindEdit(row.ref.field)) continue;  // the program number: no command sets it
    const std::string frame = EditFrame(3, p, row.ref);
    const DecodedFrame sent = DecodeFrame(frame, true, {});
    EXPECT_FALSE(sent.error) << frame;
    EXPECT_EQ(sent.kind, JournalKind::Write) << frame;
    if (row.ref.field != Field::ProgramName) {
      EXPECT_NE(sent.meaning.find(row.section), std::string::npos) << frame << " " << sent.meaning;
      EXPECT_NE(sent.meaning.find(row.parameter + " " + row.text), std::string::npos)
          << frame << ": " << sent.meaning;
    }
    const DecodedFrame ok = DecodeFrame(EditAcknowledgement(3, row.ref.field), false, frame);
    EXPECT_EQ(ok.meaning, "answer: Response Ok") << frame;
    const DecodedFrame wrong = DecodeFrame(EditAcknowledgement(2, row.ref.field), false, frame);
    EXPECT_EQ(wrong.meaning, "answer: Response Error") << frame;
    EXPECT_TRUE(wrong.error);
    ++checked;
  }
  EXPECT_GT(checked, 80);
  // A band's gain in the listing's words, and a frame no builder makes.
  EXPECT_EQ(DecodeFrame(OutputPeqGainFrame(1, Output::High, 2, 18), true, {}).meaning,
            "Output PEQ HIGH band 3 gain -3.0dB");
  EXPECT_TRUE(DecodeFrame("(01$0479)", true, {}).error);
}

TEST(JournalDecoder, EveryTransferBlockReadsBothWaysWithTheUnitsAnswers) {
  sim::VirtualUnit unit = sim::MakeDemoUnit();
  unit.Current() = Sample();
  const ProgramParameters& held = unit.Current();
  const std::vector<ParameterRow> rows = ListParameters(held);
  for (int k = 0; k < TransferBlockCount(); ++k) {
    // Upload: the read request and the unit's answer with its values.
    const std::string request = TransferReadRequest(1, k);
    const DecodedFrame asked = DecodeFrame(request, true, {});
    EXPECT_EQ(asked.kind, JournalKind::Read) << request;
    EXPECT_EQ(asked.meaning.rfind("read ", 0), 0u) << request << ": " << asked.meaning;
    const std::string answer = Reply(unit, request);
    const DecodedFrame read = DecodeFrame(answer, false, request);
    EXPECT_FALSE(read.error) << answer;
    const std::string written = TransferWriteFrame(1, held, k);
    const DecodedFrame sent = DecodeFrame(written, true, {});
    // What the answer brought is what a download of the same set writes.
    EXPECT_EQ(read.meaning, "answer: " + sent.meaning) << answer;
    EXPECT_FALSE(sent.error) << written;
    EXPECT_EQ(DecodeFrame(Reply(unit, written), false, written).meaning, "answer: Response Ok");
  }
  EXPECT_EQ(DecodeFrame(TransferReadRequest(1, 0), false, TransferReadRequest(1, 0)).meaning,
            "answer: Response Error");
}

TEST(JournalDecoder, LetterCommandsAndTheirAnswers) {
  sim::VirtualUnit unit(3, "Stage right");
  struct Case {
    std::string frame;
    std::string meaning;
    std::string answered;  // the meaning of the unit's answer
  };
  const Case cases[] = {
      {ProbeFrame(3), "probe of unit 3", "answer: unit 3 \"Stage right...\""},
      {ProgramInfoRequestFrame(3, 0), "read the current program's number and name", ""},
      {ProgramNameFrame(3, "Evening"), "program name \"Evening..................\"",
       "answer: Response Ok"},
      {SaveFrame(3, 2), "store as program memory 2", "answer: Response Ok"},
      {RecallFrame(3, 2), "recall program memory 2", "answer: Response Ok"},
      {DownloadBeginFrame(3), "download begins", "answer: Response Ok"},
      {TransferEndFrame(3), "transfer ends", "answer: Response Ok"},
      {IdentityChangeFrame(3, 4, "Front"), "new identity: ID 4, name \"Front.........\"",
       "answer: Response Ok"},
      {ByeFrame(4), "goodbye to unit 4", "answer: Response Ok"},
  };
  for (const Case& c : cases) {
    const DecodedFrame sent = DecodeFrame(c.frame, true, {});
    EXPECT_EQ(sent.meaning, c.meaning) << c.frame;
    const DecodedFrame answer = DecodeFrame(Reply(unit, c.frame), false, c.frame);
    EXPECT_FALSE(answer.error) << c.frame << " -> " << answer.meaning;
    if (!c.answered.empty()) {
      EXPECT_EQ(answer.meaning, c.answered) << c.frame;
    }
  }
  EXPECT_TRUE(DecodeFrame("(03Q)", true, {}).error);
  EXPECT_TRUE(DecodeFrame("(03X)", false, {}).error);  // an answer to nothing sent
}

TEST(JournalDecoder, LinesGiveTimesSinceTheFirstAndAnswerTimesPerPort) {
  JournalReader reader;
  const auto first = reader.Next("2026-12-07 23:59:59.990 COM1 TX (01X)");
  const auto other = reader.Next("2026-12-08 00:00:00.000 COM2 TX (02X)");
  const auto answer = reader.Next("2026-12-08 00:00:00.015 COM1 RX (01X\\x0d\\\\)");
  ASSERT_TRUE(first && other && answer);
  EXPECT_EQ(other->sinceFirstMs, 10);
  EXPECT_EQ(answer->sinceFirstMs, 25);
  EXPECT_EQ(answer->answerMs, 25);  // to COM1's probe, not COM2's
  EXPECT_EQ(answer->entry.frame, "(01X\r\\)");
  EXPECT_EQ(answer->decoded.meaning, "answer: Response Error");
  EXPECT_EQ(FormatDecodedLine(*first), "       0 ms COM1 TX (01X)  probe of unit 1");
  for (const char* junk :
       {"... 3 entries dropped: the disk could not keep up", "",
        "2026-12-07 23:59:59.990 COM1 XX (01X)", "2026-12-07 23:59:59.990 COM1 TX (01\\xZZ)"}) {
    EXPECT_FALSE(reader.Next(junk)) << junk;
  }
}

}  // namespace
}  // namespace corvella::link
