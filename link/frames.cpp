// Frame building, receive assembly and answer judgement.
#include "link/frames.h"

#include <algorithm>
#include <cstdio>

namespace corvella::link {

namespace {

int Channel(Input ch) {
  return static_cast<int>(ch) + 1;
}
int Channel(Output ch) {
  return static_cast<int>(ch) + 1;
}

std::string Band(const PeqBand& b) {
  return Digits(b.type, 3) + Digits(b.frequency, 3) + Digits(b.gain, 3) + Digits(b.q, 3);
}

// "$" + code + channel digit, the common head of every channel command.
std::string Head(std::string_view code, int channel) {
  std::string s = "$";
  s += code;
  s += Digits(channel, 1);
  return s;
}

std::string Banded(int id, std::string_view code, int channel, int band, int value) {
  return Frame(id, Head(code, channel) + Digits(band, 2) + Digits(value, 3));
}

std::string Single(int id, std::string_view code, int channel, int value) {
  return Frame(id, Head(code, channel) + Digits(value, 3));
}

}  // namespace

std::string DeviceIdText(int id) {
  std::string s = std::to_string(id);
  if (id >= 0 && id <= 9) s.insert(0, 1, '0');
  return s;
}

std::string Frame(int id, std::string_view body) {
  std::string s = "(";
  s += DeviceIdText(id);
  s += body;
  s += ')';
  return s;
}

std::string Digits(long value, int width) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%0*ld", width, value);
  return buf;
}

std::string InputPeqBandFrame(int id, Input ch, int band, const PeqBand& b) {
  return Frame(id, Head("021", Channel(ch)) + Digits(band, 2) + Band(b));
}
std::string InputPeqFrequencyFrame(int id, Input ch, int band, int code) {
  return Banded(id, "022", Channel(ch), band, code);
}
std::string InputPeqGainFrame(int id, Input ch, int band, int code) {
  return Banded(id, "023", Channel(ch), band, code);
}
std::string InputPeqQFrame(int id, Input ch, int band, int code) {
  return Banded(id, "024", Channel(ch), band, code);
}
std::string InputLevelFrame(int id, Input ch, int code) {
  return Single(id, "025", Channel(ch), code);
}
std::string HpfTypeFrame(int id, Output ch, int code) {
  return Single(id, "041", Channel(ch), code);
}
std::string HpfFrequencyFrame(int id, Output ch, int code) {
  return Single(id, "042", Channel(ch), code);
}
std::string LpfTypeFrame(int id, Output ch, int code) {
  return Single(id, "043", Channel(ch), code);
}
std::string LpfFrequencyFrame(int id, Output ch, int code) {
  return Single(id, "044", Channel(ch), code);
}
std::string OutputPeqBandFrame(int id, Output ch, int band, const PeqBand& b) {
  return Frame(id, Head("045", Channel(ch)) + Digits(band, 2) + Band(b));
}
std::string OutputPeqFrequencyFrame(int id, Output ch, int band, int code) {
  return Banded(id, "046", Channel(ch), band, code);
}
std::string OutputPeqGainFrame(int id, Output ch, int band, int code) {
  return Banded(id, "047", Channel(ch), band, code);
}
std::string OutputPeqQFrame(int id, Output ch, int band, int code) {
  return Banded(id, "048", Channel(ch), band, code);
}
std::string OutputLevelFrame(int id, Output ch, int code) {
  return Single(id, "049", Channel(ch), code);
}
std::string OutputDelayFrame(int id, Output ch, int steps) {
  return Frame(id, Head("051", Channel(ch)) + "00" + Digits(steps, 4));
}
std::string CompressorFrame(int id, const Dynamics& d) {
  return Frame(id, "$059100" + Digits(d.threshold, 2) + Digits(kSentAuxGain, 2) +
                       Digits(kSentAuxGain, 2) + Digits(kSentAuxRatio, 2) +
                       Digits(kSentAuxRatio, 2) + Digits(d.ratio, 2) + Digits(d.auxTime, 2) +
                       Digits(d.releaseTime, 2) + Digits(d.attackTime, 2));
}
std::string OutputPhaseFrame(int id, Output ch, int phase) {
  return Frame(id, Head("052", Channel(ch)) + "00" + Digits(phase, 1));
}

std::string Acknowledgement(int id, std::string_view code) {
  std::string body = "$";
  body += code;
  return Frame(id, body);
}

std::string ProbeFrame(int id) {
  return Frame(id, "X");
}
std::string ByeFrame(int id) {
  return Frame(id, "bye");
}
std::string ProgramNameFrame(int id, std::string_view name) {
  return Frame(id, "J0003" + LineText(name, kProgramNameLength));
}
std::string SaveFrame(int id, int program) {
  return Frame(id, "S" + Digits(program, 3));
}
std::string ProgramInfoRequestFrame(int id, int program) {
  return Frame(id, "I" + Digits(program, 3));
}
std::string RecallFrame(int id, int program) {
  return Frame(id, "R" + Digits(program, 3));
}
std::string DownloadBeginFrame(int id) {
  return Frame(id, "M00");
}
std::string TransferEndFrame(int id) {
  return Frame(id, "U00");
}
std::string ProgramNameAfterDownloadFrame(int id, std::string_view name) {
  return Frame(id, "N000" + LineText(name, kProgramNameLength));
}
std::string IdentityChangeFrame(int currentId, int newId, std::string_view name) {
  return Frame(currentId, "Z" + DeviceIdText(newId) + LineText(name, kDeviceNameLength));
}
std::string DeviceNameFrame(int newId, std::string_view name) {
  return Frame(newId, "Y" + LineText(name, kDeviceNameLength));
}
std::string ReadRequestFrame(int id, std::string_view address) {
  std::string body = "%";
  body += address;
  return Frame(id, body);
}

void AssembleByte(LinkState& link, std::uint8_t byte) {
  if (byte == '(') {
    link.rxFrame.assign(1, '(');
    link.rxOverflow = false;
    return;
  }
  if (link.rxOverflow) return;
  if (link.rxFrame.size() >= kRxFrameCap) {
    link.rxFrame.clear();
    link.frameComplete = 0;
    link.rxOverflow = true;
    return;
  }
  link.rxFrame.push_back(static_cast<char>(byte));
  if (byte == ')') link.frameComplete = 1;
}

bool IsSaveAcknowledgement(std::string_view rx, int id) {
  const std::string head = "(" + DeviceIdText(id) + "S";
  return rx.substr(0, 4) == head;
}

std::optional<ProbeAnswer> ParseProbeAnswer(std::string_view rx) {
  if (rx.size() != 19 && rx.size() != 21) return std::nullopt;
  ProbeAnswer a;
  a.id = NumberAt(rx, 1, 2);
  a.kind = rx.size() == 19 ? 1 : 0;
  a.name = std::string(rx.substr(4, kDeviceNameLength));
  return a;
}

int NumberAt(std::string_view rx, std::size_t pos, std::size_t len) {
  if (pos >= rx.size()) return 0;
  const std::string_view field = rx.substr(pos, len);
  int value = 0;
  for (const char c : field) {
    if (c < '0' || c > '9') break;
    value = value * 10 + (c - '0');
  }
  return value;
}

bool FieldInside(std::string_view rx, std::size_t pos, std::size_t len) {
  const std::size_t end = !rx.empty() && rx.back() == ')' ? rx.size() - 1 : rx.size();
  return pos <= end && len <= end - pos;
}

bool DigitsAt(std::string_view rx, std::size_t pos, std::size_t len) {
  if (len == 0 || !FieldInside(rx, pos, len)) return false;
  const std::string_view field = rx.substr(pos, len);
  return std::all_of(field.begin(), field.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string TextAt(std::string_view rx, std::size_t pos, std::size_t len) {
  std::string s(len, '.');
  for (std::size_t i = 0; i < len && pos + i < rx.size(); ++i) s[i] = rx[pos + i];
  return s;
}

}  // namespace corvella::link
