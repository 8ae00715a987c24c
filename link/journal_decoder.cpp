#include "link/journal_decoder.h"

#include <algorithm>
#include <utility>

#include "link/edit_table.h"
#include "link/frames.h"
#include "link/transfer_blocks.h"
#include "model/parameter_listing.h"

namespace corvella::link {
namespace {

// Days from 1970-01-01 to the given date (proleptic Gregorian calendar).
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
  y -= m <= 2 ? 1 : 0;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const auto yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Undoes the journal's escapes: "\\" and "\xNN".
std::optional<std::string> Unescape(std::string_view text) {
  std::string bytes;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      bytes += text[i];
      continue;
    }
    if (i + 1 < text.size() && text[i + 1] == '\\') {
      bytes += '\\';
      ++i;
      continue;
    }
    if (i + 3 >= text.size() || text[i + 1] != 'x') return std::nullopt;
    const int high = HexDigit(text[i + 2]);
    const int low = HexDigit(text[i + 3]);
    if (high < 0 || low < 0) return std::nullopt;
    bytes += static_cast<char>(high * 16 + low);
    i += 3;
  }
  return bytes;
}

bool IsBandField(Field f) {
  switch (f) {
    case Field::InputPeqType:
    case Field::InputPeqFrequency:
    case Field::InputPeqQ:
    case Field::InputPeqGain:
    case Field::OutputPeqType:
    case Field::OutputPeqFrequency:
    case Field::OutputPeqQ:
    case Field::OutputPeqGain:
      return true;
    default:
      return false;
  }
}

std::uint8_t Byte(int v) {
  return static_cast<std::uint8_t>(std::clamp(v, 0, 255));
}

// The values a write frame carries for `ref`, read by position into `p`. Whether they were read
// right is judged by building the frame again.
void ReadWriteValues(std::string_view f, const ParameterRef& ref, ProgramParameters& p) {
  const auto num = [f](std::size_t pos, std::size_t len) { return Byte(NumberAt(f, pos, len)); };
  const auto c = static_cast<std::size_t>(ref.channel);
  const auto b = static_cast<std::size_t>(ref.band);
  const auto band = [&num] { return PeqBand{num(10, 3), num(13, 3), num(16, 3), num(19, 3)}; };
  switch (ref.field) {
    case Field::ProgramNumber:
      break;
    case Field::ProgramName: {
      const std::string name = TextAt(f, 8, kProgramNameLength);
      std::copy_n(name.begin(), kProgramNameLength, p.programName.begin());
      break;
    }
    case Field::InputPeqType:
      p.inputPeq[b][c] = band();
      break;
    case Field::InputPeqFrequency:
      p.inputPeq[b][c].frequency = num(10, 3);
      break;
    case Field::InputPeqQ:
      p.inputPeq[b][c].q = num(10, 3);
      break;
    case Field::InputPeqGain:
      p.inputPeq[b][c].gain = num(10, 3);
      break;
    case Field::OutputPeqType:
      p.outputPeq[b][c] = band();
      break;
    case Field::OutputPeqFrequency:
      p.outputPeq[b][c].frequency = num(10, 3);
      break;
    case Field::OutputPeqQ:
      p.outputPeq[b][c].q = num(10, 3);
      break;
    case Field::OutputPeqGain:
      p.outputPeq[b][c].gain = num(10, 3);
      break;
    case Field::HpfType:
      p.crossover[c].hpfType = num(8, 3);
      break;
    case Field::HpfFrequency:
      p.crossover[c].hpfFrequency = num(8, 3);
      break;
    case Field::LpfType:
      p.crossover[c].lpfType = num(8, 3);
      break;
    case Field::LpfFrequency:
      p.crossover[c].lpfFrequency = num(8, 3);
      break;
    case Field::InputLevel:
      p.inputLevel[c] = num(8, 3);
      break;
    case Field::OutputLevel:
      p.outputLevel[c] = num(8, 3);
      break;
    case Field::Delay:
      p.outputDelay[c] = NumberAt(f, 10, 4);
      break;
    case Field::Threshold:
    case Field::Ratio:
    case Field::Release:
    case Field::Attack:
    case Field::AuxTime:
      p.dynamics.threshold = num(10, 2);
      p.dynamics.ratio = num(20, 2);
      p.dynamics.auxTime = num(22, 2);
      p.dynamics.releaseTime = num(24, 2);
      p.dynamics.attackTime = num(26, 2);
      break;
    case Field::Phase:
      p.outputPhase[c] = num(10, 1);
      break;
  }
}

// "<section> <parameter> <text>" for each listed row that `frame` carries, the section once.
std::string Describe(const ProgramParameters& p, int id, std::string_view frame,
                     bool (*carried)(const ParameterRow&, int, const ProgramParameters&,
                                     std::string_view)) {
  std::string section;
  std::string words;
  for (const ParameterRow& row : ListParameters(p)) {
    if (!carried(row, id, p, frame)) continue;
    if (section.empty()) {
      section = row.section;
      words = section;
    } else {
      words += ",";
    }
    words += " " + row.parameter + " " + row.text;
  }
  return words;
}

// A write frame: a row is carried when its own edit frame is this frame, or, for a band's type
// frame, when it is a value of that band (the frame carries the whole band).
bool CarriedByWrite(const ParameterRow& row, int id, const ProgramParameters& p,
                    std::string_view frame) {
  if (row.ref.field == Field::ProgramNumber) return false;
  if (EditFrame(id, p, row.ref) == frame) return true;
  const Field typeField = IsBandField(row.ref.field) && row.ref.field >= Field::OutputPeqType
                              ? Field::OutputPeqType
                              : Field::InputPeqType;
  return IsBandField(row.ref.field) &&
         EditFrame(id, p, {typeField, row.ref.channel, row.ref.band}) == frame;
}

std::optional<std::string> DecodeWrite(std::string_view frame, int id) {
  for (const EditRow& row : EditRows()) {
    const std::string head =
        row.field == Field::ProgramName ? std::string(row.code) : "$" + std::string(row.code);
    if (frame.substr(3, head.size()) != head) continue;
    ParameterRef ref{row.field, 0, 0};
    const bool channelled = row.field != Field::ProgramName && row.field != Field::Threshold &&
                            row.field != Field::Ratio && row.field != Field::Release &&
                            row.field != Field::Attack && row.field != Field::AuxTime;
    if (channelled) ref.channel = NumberAt(frame, 7, 1) - 1;
    if (IsBandField(row.field)) ref.band = NumberAt(frame, 8, 2);
    const int bands = row.field >= Field::OutputPeqType && row.field <= Field::OutputPeqGain
                          ? kOutputBands
                          : kInputBands;
    if (ref.channel < 0 || ref.channel > 1 || ref.band < 0 ||
        (IsBandField(row.field) && ref.band >= bands)) {
      continue;
    }
    ProgramParameters p{};
    ResetParameters(p);
    ReadWriteValues(frame, ref, p);
    if (EditFrame(id, p, ref) != frame) continue;
    if (row.field == Field::ProgramName) {
      return "program name \"" + TextAt(frame, 8, kProgramNameLength) + "\"";
    }
    return Describe(p, id, frame, &CarriedByWrite);
  }
  return std::nullopt;
}

// The block whose read request is `request`, or -1.
int BlockOfRequest(std::string_view request, int id) {
  for (int k = 0; k < TransferBlockCount(); ++k) {
    if (TransferReadRequest(id, k) == request) return k;
  }
  return -1;
}

// What block `k` holds, by the rows its download frame carries.
std::string BlockWords(const ProgramParameters& p, int id, int k) {
  const std::string frame = TransferWriteFrame(id, p, k);
  return Describe(p, id, frame, &CarriedByWrite);
}

std::string Number(int n) {
  return std::to_string(n);
}

DecodedFrame DecodeSent(std::string_view f, int id) {
  const std::string unit = " of unit " + Number(id);
  if (f == ProbeFrame(id)) return {"probe" + unit, JournalKind::Read, false};
  if (f == ByeFrame(id)) return {"goodbye to unit " + Number(id), JournalKind::Other, false};
  if (f == DownloadBeginFrame(id)) return {"download begins", JournalKind::Other, false};
  if (f == TransferEndFrame(id)) return {"transfer ends", JournalKind::Other, false};
  for (int n = 0; n <= 6; ++n) {
    if (f == ProgramInfoRequestFrame(id, n)) {
      return {n == 0 ? "read the current program's number and name"
                     : "read the name of program memory " + Number(n),
              JournalKind::Read, false};
    }
    if (f == RecallFrame(id, n))
      return {"recall program memory " + Number(n), JournalKind::Write, false};
    if (f == SaveFrame(id, n))
      return {"store as program memory " + Number(n), JournalKind::Write, false};
  }
  if (const int k = BlockOfRequest(f, id); k >= 0) {
    ProgramParameters p{};
    ResetParameters(p);
    // The block's section, and its band where it is one band's.
    const std::string frame = TransferWriteFrame(id, p, k);
    for (const ParameterRow& row : ListParameters(p)) {
      if (!CarriedByWrite(row, id, p, frame)) continue;
      const std::string band =
          IsBandField(row.ref.field) ? " band " + Number(row.ref.band + 1) : std::string();
      return {"read " + row.section + band, JournalKind::Read, false};
    }
  }
  if (f.size() == 8 + kProgramNameLength && f.substr(3, 4) == "N000") {
    return {"program name after the download \"" + TextAt(f, 7, kProgramNameLength) + "\"",
            JournalKind::Write, false};
  }
  if (f.size() > 6 && f[3] == 'Z') {
    return {"new identity: ID " + Number(NumberAt(f, 4, 2)) + ", name \"" +
                TextAt(f, 6, kDeviceNameLength) + "\"",
            JournalKind::Write, false};
  }
  if (f.size() > 4 && f[3] == 'Y') {
    return {"device name \"" + TextAt(f, 4, kDeviceNameLength) + "\"", JournalKind::Write, false};
  }
  if (const std::optional<std::string> words = DecodeWrite(f, id)) {
    return {*words, JournalKind::Write, false};
  }
  return {"not a frame the program sends", JournalKind::Other, true};
}

DecodedFrame Answer(bool right, JournalKind kind, std::string words = {}) {
  if (!right) return {"answer: Response Error", kind, true};
  return {words.empty() ? "answer: Response Ok" : "answer: " + words, kind, false};
}

DecodedFrame DecodeReceived(std::string_view f, std::string_view request, int id) {
  if (request.empty()) return {"answer to nothing sent", JournalKind::Other, true};
  const DecodedFrame asked = DecodeSent(request, id);
  const JournalKind kind = asked.kind;
  if (request == ProbeFrame(id)) {
    const std::optional<ProbeAnswer> probe = ParseProbeAnswer(f);
    return Answer(probe.has_value(), kind,
                  probe ? "unit " + Number(probe->id) + " \"" + probe->name + "\"" : "");
  }
  if (request[3] == '$') {
    const std::string code(request.substr(4, 3));
    return Answer(f == Acknowledgement(id, code), kind);
  }
  if (request.substr(3, 5) == "J0003") return Answer(f == Frame(id, "J0003"), kind);
  if (request[3] == 'S') return Answer(IsSaveAcknowledgement(f, id), kind);
  if (request[3] == 'Z') return Answer(f == Frame(NumberAt(request, 4, 2), "Z"), kind);
  if (request[3] == 'I') {
    const bool right = f.substr(0, 4) == Frame(id, "I").substr(0, 4) && DigitsAt(f, 4, 3);
    return Answer(right, kind,
                  right ? "program " + Number(NumberAt(f, 4, 3)) + " \"" +
                              TextAt(f, 11, kProgramNameLength) + "\""
                        : "");
  }
  if (const int k = BlockOfRequest(request, id); k >= 0) {
    ProgramParameters p{};
    ResetParameters(p);
    const bool echoes = f.substr(0, request.size() - 1) == request.substr(0, request.size() - 1);
    const bool right = echoes && TransferReadAnswer(p, k, f);
    return Answer(right, kind, right ? BlockWords(p, id, k) : "");
  }
  if (request[3] == 'Y') {
    return Answer(f == Frame(NumberAt(request, 1, 2), "Y"), kind);
  }
  // The rest are echoed: recall, the handshake, the closing exchange, goodbye.
  return Answer(f == request, kind);
}

}  // namespace

std::optional<JournalEntry> ParseJournalLine(std::string_view line) {
  // "YYYY-MM-DD HH:MM:SS.mmm COMn TX frame"
  if (line.size() < 33 || line[4] != '-' || line[10] != ' ' || line[19] != '.') return std::nullopt;
  const auto n = [line](std::size_t pos, std::size_t len) { return NumberAt(line, pos, len); };
  for (std::size_t pos : {0u, 5u, 8u, 11u, 14u, 17u, 20u}) {
    if (!DigitsAt(line, pos, pos == 0 ? 4 : pos == 20 ? 3 : 2)) return std::nullopt;
  }
  JournalEntry entry;
  const std::int64_t days =
      DaysFromCivil(n(0, 4), static_cast<unsigned>(n(5, 2)), static_cast<unsigned>(n(8, 2)));
  entry.ms = ((days * 24 + n(11, 2)) * 60 + n(14, 2)) * 60000 + n(17, 2) * 1000 + n(20, 3);
  std::string_view rest = line.substr(24);
  if (rest.substr(0, 3) != "COM") return std::nullopt;
  const std::size_t blank = rest.find(' ');
  if (blank == std::string_view::npos || blank < 4) return std::nullopt;
  entry.port = NumberAt(rest, 3, blank - 3);
  rest = rest.substr(blank + 1);
  if (rest.substr(0, 3) != "TX " && rest.substr(0, 3) != "RX ") return std::nullopt;
  entry.sent = rest[0] == 'T';
  std::optional<std::string> frame = Unescape(rest.substr(3));
  if (!frame) return std::nullopt;
  entry.frame = std::move(*frame);
  return entry;
}

DecodedFrame DecodeFrame(std::string_view frame, bool sent, std::string_view request) {
  if (frame.size() < 4 || frame.front() != '(' || frame.back() != ')' || !DigitsAt(frame, 1, 2)) {
    return {"not a frame", JournalKind::Other, true};
  }
  if (sent) return DecodeSent(frame, NumberAt(frame, 1, 2));
  if (request.size() < 4) return DecodeReceived(frame, {}, 0);
  return DecodeReceived(frame, request, NumberAt(request, 1, 2));
}

std::optional<DecodedLine> JournalReader::Next(std::string_view text) {
  std::optional<JournalEntry> entry = ParseJournalLine(text);
  if (!entry) return std::nullopt;
  DecodedLine line;
  if (!first_) first_ = entry->ms;
  line.sinceFirstMs = entry->ms - *first_;
  auto last = std::find_if(lastSent_.begin(), lastSent_.end(),
                           [&](const auto& p) { return p.first == entry->port; });
  if (entry->sent) {
    line.decoded = DecodeFrame(entry->frame, true, {});
    if (last == lastSent_.end()) {
      lastSent_.push_back({entry->port, {entry->frame, entry->ms}});
    } else {
      last->second = {entry->frame, entry->ms};
    }
  } else {
    const std::string request = last == lastSent_.end() ? std::string() : last->second.frame;
    line.decoded = DecodeFrame(entry->frame, false, request);
    if (last != lastSent_.end()) line.answerMs = entry->ms - last->second.ms;
  }
  line.entry = std::move(*entry);
  return line;
}

std::string FormatDecodedLine(const DecodedLine& line) {
  std::string time = std::to_string(line.sinceFirstMs);
  if (time.size() < 8) time.insert(0, 8 - time.size(), ' ');
  std::string text =
      time + " ms COM" + std::to_string(line.entry.port) + (line.entry.sent ? " TX " : " RX ");
  for (const char c : line.entry.frame) {
    const auto byte = static_cast<unsigned char>(c);
    text += byte < 0x20 || byte >= 0x7f ? '.' : c;
  }
  text += "  " + line.decoded.meaning;
  if (line.answerMs >= 0) text += "  (answer after " + std::to_string(line.answerMs) + " ms)";
  return text;
}

}  // namespace corvella::link
