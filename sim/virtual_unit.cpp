#include "sim/virtual_unit.h"

#include <algorithm>
#include <cstdio>

namespace corvella::sim {
namespace {

// A fixed-width decimal field of `text`; nullopt unless every character is a digit.
std::optional<int> Digits(std::string_view text, std::size_t pos, std::size_t len) {
  if (pos + len > text.size()) return std::nullopt;
  int value = 0;
  for (std::size_t i = pos; i < pos + len; ++i) {
    const char c = text[i];
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

// Zero-padded to `width` digits. A stored code wider than its field (possible only in an image
// loaded from a file) is capped so that every later field keeps its position.
std::string Fixed(long value, int width) {
  long cap = 1;
  for (int i = 0; i < width; ++i) cap *= 10;
  value = std::clamp(value, 0L, cap - 1);
  char text[24];
  std::snprintf(text, sizeof text, "%0*ld", width, value);
  return text;
}

std::optional<std::uint8_t> Byte(std::optional<int> value) {
  if (!value || *value > 255) return std::nullopt;
  return static_cast<std::uint8_t>(*value);
}

// The channel digit ("1" or "2") as an index; nullopt for anything else.
std::optional<int> Channel(std::string_view body, std::size_t pos) {
  const auto digit = Digits(body, pos, 1);
  if (!digit || *digit < 1 || *digit > 2) return std::nullopt;
  return *digit - 1;
}

// How the blocks of one command code travel.
enum class Shape { WholeBand, BandField, Single, Delay, Phase, Dynamics };

struct Command {
  int code;
  Shape shape;
  bool input;  // input (MIC/LINE) or output (HIGH/LOW) channel
};

constexpr Command kCommands[] = {
    {21, Shape::WholeBand, true},  {22, Shape::BandField, true},  {23, Shape::BandField, true},
    {24, Shape::BandField, true},  {25, Shape::Single, true},     {41, Shape::Single, false},
    {42, Shape::Single, false},    {43, Shape::Single, false},    {44, Shape::Single, false},
    {45, Shape::WholeBand, false}, {46, Shape::BandField, false}, {47, Shape::BandField, false},
    {48, Shape::BandField, false}, {49, Shape::Single, false},    {51, Shape::Delay, false},
    {52, Shape::Phase, false},     {59, Shape::Dynamics, false},
};

std::optional<Command> FindCommand(std::string_view body) {
  const auto code = Digits(body, 1, 3);
  if (!code) return std::nullopt;
  for (const Command& c : kCommands) {
    if (c.code == *code) return c;
  }
  return std::nullopt;
}

PeqBand* FindBand(ProgramParameters& p, const Command& c, int channel, std::optional<int> band) {
  if (!band) return nullptr;
  if (c.input) return *band < kInputBands ? &p.inputPeq[*band][channel] : nullptr;
  return *band < kOutputBands ? &p.outputPeq[*band][channel] : nullptr;
}

std::uint8_t& BandField(PeqBand& band, int code) {
  switch (code % 4) {  // 22/46 frequency, 23/47 gain, 24/48 q
    case 2:
      return band.frequency;
    case 3:
      return band.gain;
    default:
      return band.q;
  }
}

std::uint8_t& SingleField(ProgramParameters& p, int code, int channel) {
  switch (code) {
    case 25:
      return p.inputLevel[channel];
    case 41:
      return p.crossover[channel].hpfType;
    case 42:
      return p.crossover[channel].hpfFrequency;
    case 43:
      return p.crossover[channel].lpfType;
    case 44:
      return p.crossover[channel].lpfFrequency;
    default:
      return p.outputLevel[channel];
  }
}

// Dynamics bytes 1..9 in the order of the write frame; byte 0 (auxThreshold) is never written.
std::uint8_t* DynamicsByte(Dynamics& d, int index) {
  std::uint8_t* const bytes[] = {&d.auxThreshold, &d.threshold, &d.auxGain1, &d.auxGain2,
                                 &d.auxRatio1,    &d.auxRatio2, &d.ratio,    &d.auxTime,
                                 &d.releaseTime,  &d.attackTime};
  return bytes[index];
}

}  // namespace

bool CommandMatch::Matches(std::string_view body) const {
  if (all) return true;
  return std::any_of(prefixes.begin(), prefixes.end(),
                     [body](const std::string& p) { return body.substr(0, p.size()) == p; });
}

std::string FormatDeviceId(int id) {
  // "%d" with a "0" in front for 0..9, as every sender writes it.
  std::string text = std::to_string(id);
  if (id >= 0 && id <= 9) text.insert(0, 1, '0');
  return text;
}

std::string PadName(std::string_view name, std::size_t width) {
  std::string text(name.substr(0, width));
  text.resize(width, '.');
  return text;
}

VirtualUnit::VirtualUnit(int id, std::string_view name, ProbeKind kind)
    : id_(id), name_(PadName(name, kDeviceNameLength)), kind_(kind) {
  ResetParameters(current_);
  current_.programNumber = 1;
}

std::optional<Reply> VirtualUnit::Feed(char byte) {
  auto frame = assembler_.Feed(byte);
  if (!frame) return std::nullopt;
  return HandleFrame(*frame);
}

std::optional<Reply> VirtualUnit::HandleFrame(std::string_view frame) {
  if (frame.size() < 4 || frame.front() != '(' || frame.back() != ')') return std::nullopt;
  if (frame.substr(1, 2) != FormatDeviceId(id_)) return std::nullopt;
  ++framesReceived_;
  const std::string_view body = frame.substr(3, frame.size() - 4);
  // The faults look at the command as received, before an identity change renames the unit.
  const std::string received(body);
  Reply reply = ApplyFaults(received, Answer(body));
  if (reply.bytes.empty() && !reply.hangUp) return std::nullopt;
  return reply;
}

bool VirtualUnit::Stale(std::string_view body) const {
  if (faults_.staleFirst && staled_ >= *faults_.staleFirst) return false;
  const bool fromRead =
      faults_.staleFromRead && body.substr(0, 1) == "%" && reads_ >= *faults_.staleFromRead;
  return fromRead || faults_.staleFor.Matches(body);
}

Reply VirtualUnit::ApplyFaults(std::string_view body, std::optional<std::string> answer) {
  if (body.substr(0, 1) == "%") ++reads_;
  const bool probe = body == "X";
  if (probe) ++probes_;
  Reply reply;
  if (!faults_.delayFor.Any() || faults_.delayFor.Matches(body)) reply.delayMs = faults_.answerDelayMs;
  reply.hangUp = faults_.hangUpAfterFrames && framesReceived_ >= *faults_.hangUpAfterFrames;
  const bool silent = faults_.silent ||
                      (faults_.silentAfterFrames && framesReceived_ > *faults_.silentAfterFrames) ||
                      faults_.silentFor.Matches(body) ||
                      (probe && probes_ <= faults_.ignoreProbes);
  // Closing the line discards what the far side has not read yet, so the frame that triggers the
  // hang-up stays unanswered, like a cable pulled while the command was on its way.
  if (!answer || silent || reply.hangUp) return reply;
  std::string text = std::move(*answer);
  if (Stale(body) && !lastAnswer_.empty()) {
    text = lastAnswer_;
    ++staled_;
  }
  if (faults_.garbleFor.Matches(body) && text.size() > 4 &&
      (!faults_.garbleFirst || garbled_ < *faults_.garbleFirst)) {
    std::fill(text.begin() + 3, text.end() - 1, '?');
    ++garbled_;
  }
  if (faults_.unterminatedFor.Matches(body)) text.pop_back();
  lastAnswer_ = text;
  reply.bytes = faults_.junkBefore + text + faults_.junkAfter;
  return reply;
}

std::string VirtualUnit::Frame(std::string_view body) const {
  return "(" + FormatDeviceId(id_) + std::string(body) + ")";
}

std::string VirtualUnit::NameField(std::string_view name) {
  // Frames cannot carry "(" or ")": a name given to the unit from a file or by a test could hold
  // them, and the answer would then fall apart on the receiving side.
  std::string text(name);
  std::replace_if(
      text.begin(), text.end(), [](char c) { return c == '(' || c == ')'; }, '.');
  return text;
}

std::optional<std::string> VirtualUnit::Answer(std::string_view body) {
  if (body.empty()) return std::nullopt;
  switch (body.front()) {
    case '$': {
      if (faults_.ignoreWritesFor.Matches(body)) {
        const ProgramParameters kept = current_;
        auto answer = AnswerWrite(body);
        current_ = kept;  // acknowledged as if applied, but not applied
        return answer;
      }
      return AnswerWrite(body);
    }
    case '%':
      return AnswerRead(body);
    default:
      return AnswerLetter(body);
  }
}

std::optional<std::string> VirtualUnit::AnswerWrite(std::string_view body) {
  const auto command = FindCommand(body);
  if (!command) return std::nullopt;
  const auto channel = Channel(body, 4);
  if (!channel) return std::nullopt;
  const int ch = *channel;
  const int code = command->code;
  ProgramParameters& p = current_;
  switch (command->shape) {
    case Shape::WholeBand: {
      if (body.size() != 19) return std::nullopt;
      PeqBand* band = FindBand(p, *command, ch, Digits(body, 5, 2));
      const auto type = Byte(Digits(body, 7, 3));
      const auto frequency = Byte(Digits(body, 10, 3));
      const auto gain = Byte(Digits(body, 13, 3));
      const auto q = Byte(Digits(body, 16, 3));
      if (!band || !type || !frequency || !gain || !q) return std::nullopt;
      *band = PeqBand{*type, *frequency, *gain, *q};
      break;
    }
    case Shape::BandField: {
      if (body.size() != 10) return std::nullopt;
      PeqBand* band = FindBand(p, *command, ch, Digits(body, 5, 2));
      const auto value = Byte(Digits(body, 7, 3));
      if (!band || !value) return std::nullopt;
      BandField(*band, code) = *value;
      break;
    }
    case Shape::Single: {
      if (body.size() != 8) return std::nullopt;
      const auto value = Byte(Digits(body, 5, 3));
      if (!value) return std::nullopt;
      SingleField(p, code, ch) = *value;
      break;
    }
    case Shape::Delay: {
      const auto value = Digits(body, 7, 4);
      if (body.size() != 11 || body.substr(5, 2) != "00" || !value) return std::nullopt;
      p.outputDelay[ch] = *value;
      break;
    }
    case Shape::Phase: {
      const auto value = Byte(Digits(body, 7, 1));
      if (body.size() != 8 || body.substr(5, 2) != "00" || !value) return std::nullopt;
      p.outputPhase[ch] = *value;
      break;
    }
    case Shape::Dynamics: {
      if (body.size() != 25 || body.substr(4, 3) != "100") return std::nullopt;
      std::uint8_t values[9];
      for (std::size_t i = 0; i < 9; ++i) {
        const auto value = Byte(Digits(body, 7 + 2 * i, 2));
        if (!value) return std::nullopt;
        values[i] = *value;
      }
      for (int i = 0; i < 9; ++i) *DynamicsByte(p.dynamics, i + 1) = values[i];
      break;
    }
  }
  return Frame(body.substr(0, 4));
}

std::optional<std::string> VirtualUnit::AnswerRead(std::string_view body) {
  const auto command = FindCommand(body);
  if (!command) return std::nullopt;
  const auto channel = Channel(body, 4);
  if (!channel) return std::nullopt;
  const int ch = *channel;
  ProgramParameters& p = current_;
  // The request is echoed without its ")" and the values follow; the padding after the echo puts
  // each value where the upload reads it (delay at 12..15, phase at 12).
  std::string values;
  switch (command->shape) {
    case Shape::WholeBand: {
      if (body.size() != 7) return std::nullopt;
      const PeqBand* band = FindBand(p, *command, ch, Digits(body, 5, 2));
      if (!band) return std::nullopt;
      values = Fixed(band->type, 3) + Fixed(band->frequency, 3) + Fixed(band->gain, 3) +
               Fixed(band->q, 3);
      break;
    }
    case Shape::Single:
      if (body.size() != 7 || body.substr(5, 2) != "00") return std::nullopt;
      values = Fixed(SingleField(p, command->code, ch), 3);
      break;
    case Shape::Delay:
      if (body.size() != 7 || body.substr(5, 2) != "00") return std::nullopt;
      values = "00" + Fixed(p.outputDelay[ch], 4);
      break;
    case Shape::Phase:
      if (body.size() != 8 || body.substr(5, 3) != "000") return std::nullopt;
      values = "0" + Fixed(p.outputPhase[ch], 1);
      break;
    case Shape::Dynamics:
      if (body.size() != 7 || body.substr(4, 3) != "100") return std::nullopt;
      for (int i = 0; i < 10; ++i) values += Fixed(*DynamicsByte(p.dynamics, i), 2);
      break;
    case Shape::BandField:
      return std::nullopt;  // single band fields are only ever written
  }
  return Frame(std::string(body) + values);
}

std::string VirtualUnit::InfoAnswer(int number, const ProgramParameters& image) const {
  return Frame("I" + Fixed(number, 3) + "0000" +
               NameField({image.programName.data(), image.programName.size()}));
}

std::optional<std::string> VirtualUnit::AnswerLetter(std::string_view body) {
  if (body == "X") {
    return Frame("X" + NameField(name_) + (kind_ == ProbeKind::Long ? "00" : ""));
  }
  if (body == "bye" || body == "U00") return Frame(body);
  if (body == "M00") {
    if (kind_ == ProbeKind::Short) return std::nullopt;
    return Frame(body);
  }
  const char letter = body.front();
  const std::string_view rest = body.substr(1);
  if ((letter == 'I' || letter == 'R' || letter == 'S') && rest.size() == 3) {
    const auto number = Digits(rest, 0, 3);
    if (!number || *number > kMemoryCount) return std::nullopt;
    if (letter == 'I') {
      if (*number == 0) return InfoAnswer(current_.programNumber, current_);
      const auto& memory = memories_[static_cast<std::size_t>(*number - 1)];
      if (!memory) return std::nullopt;
      return InfoAnswer(*number, *memory);
    }
    if (letter == 'R') {
      if (*number == 0) return std::nullopt;
      const auto& memory = memories_[static_cast<std::size_t>(*number - 1)];
      if (!memory) return std::nullopt;
      current_ = *memory;
      current_.programNumber = static_cast<std::uint8_t>(*number);
      return Frame(body);
    }
    int target = *number;
    if (target == 0) {
      // Storing "the program" without a number keeps it where it came from; a program that came
      // from no memory has nowhere to go, and acknowledging it would report a store that never was.
      target = current_.programNumber;
      if (target < 1 || target > kMemoryCount) return std::nullopt;
    }
    current_.programNumber = static_cast<std::uint8_t>(target);
    memories_[static_cast<std::size_t>(target - 1)] = current_;
    return Frame(body);
  }
  if (body.substr(0, 5) == "J0003" && body.size() == 5 + kProgramNameLength) {
    SetProgramName(body.substr(5));
    return Frame("J0003");
  }
  if (body.substr(0, 4) == "N000" && body.size() == 4 + kProgramNameLength) {
    SetProgramName(body.substr(4));
    return std::nullopt;
  }
  if (letter == 'Z' && body.size() == 3 + kDeviceNameLength) {
    const auto newId = Digits(body, 1, 2);
    if (!newId || *newId < kMinDeviceId || *newId > kMaxDeviceId) return std::nullopt;
    id_ = *newId;
    name_ = std::string(body.substr(3));
    return Frame("Z");
  }
  if (letter == 'Y' && body.size() == 1 + kDeviceNameLength) {
    name_ = std::string(rest);
    return Frame("Y");
  }
  return std::nullopt;
}

std::string VirtualUnit::ProgramName() const {
  return std::string(current_.programName.begin(), current_.programName.end());
}

void VirtualUnit::SetProgramName(std::string_view name) {
  const std::string padded = PadName(name, kProgramNameLength);
  std::copy(padded.begin(), padded.end(), current_.programName.begin());
}

const std::optional<ProgramParameters>& VirtualUnit::Memory(int number) const {
  static const std::optional<ProgramParameters> none;
  if (number < 1 || number > kMemoryCount) return none;
  return memories_[static_cast<std::size_t>(number - 1)];
}

void VirtualUnit::SetMemory(int number, const ProgramParameters& image) {
  if (number < 1 || number > kMemoryCount) return;
  auto& memory = memories_[static_cast<std::size_t>(number - 1)];
  memory = image;
  memory->programNumber = static_cast<std::uint8_t>(number);
}

void VirtualUnit::ClearMemory(int number) {
  if (number < 1 || number > kMemoryCount) return;
  memories_[static_cast<std::size_t>(number - 1)].reset();
}

}  // namespace corvella::sim
