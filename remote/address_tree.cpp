#include "remote/address_tree.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <charconv>
#include <cmath>
#include <limits>

#include "model/scales.h"
#include "model/value_input.h"

namespace corvella::remote {
namespace {

constexpr std::array<std::string_view, 2> kInputs = {"mic", "line"};
constexpr std::array<std::string_view, 2> kOutputs = {"high", "low"};

struct BandLeaf {
  std::string_view name;
  Field input;
  Field output;
};
constexpr std::array<BandLeaf, 4> kBandLeaves = {{
    {"type", Field::InputPeqType, Field::OutputPeqType},
    {"freq", Field::InputPeqFrequency, Field::OutputPeqFrequency},
    {"gain", Field::InputPeqGain, Field::OutputPeqGain},
    {"q", Field::InputPeqQ, Field::OutputPeqQ},
}};

struct Leaf {
  std::string_view path;
  Field field;
};
constexpr std::array<Leaf, 7> kOutputLeaves = {{
    {"level", Field::OutputLevel},
    {"delay", Field::Delay},
    {"polarity", Field::Phase},
    {"hpf/type", Field::HpfType},
    {"hpf/freq", Field::HpfFrequency},
    {"lpf/type", Field::LpfType},
    {"lpf/freq", Field::LpfFrequency},
}};
constexpr std::array<Leaf, 4> kCompressorLeaves = {{
    {"threshold", Field::Threshold},
    {"ratio", Field::Ratio},
    {"attack", Field::Attack},
    {"release", Field::Release},
}};

struct NamedNode {
  std::string_view path;
  NodeKind kind;
};
constexpr std::array<NamedNode, 6> kNamedNodes = {{
    {"program/recall", NodeKind::Recall},
    {"program/store", NodeKind::Store},
    {"program/name", NodeKind::ProgramName},
    {"program/number", NodeKind::ProgramNumber},
    {"link", NodeKind::Link},
    {"device/name", NodeKind::DeviceName},
}};

constexpr int kFirstMemory = 1;
constexpr int kLastMemory = 6;

bool IsInputField(Field f) {
  return f == Field::InputLevel || f == Field::InputPeqType || f == Field::InputPeqFrequency ||
         f == Field::InputPeqGain || f == Field::InputPeqQ;
}

// "1".."count" exactly: no sign, no leading zero.
std::optional<int> BandNumber(std::string_view text, int count) {
  if (text.size() != 1 || text[0] < '1' || text[0] > '0' + count) return std::nullopt;
  return text[0] - '0';
}

std::vector<std::string_view> Split(std::string_view path) {
  std::vector<std::string_view> parts;
  while (true) {
    const std::size_t slash = path.find('/');
    parts.push_back(path.substr(0, slash));
    if (slash == std::string_view::npos) return parts;
    path.remove_prefix(slash + 1);
  }
}

std::string Join(const std::vector<std::string_view>& parts, std::size_t from) {
  std::string out;
  for (std::size_t i = from; i < parts.size(); ++i) {
    if (i > from) out += '/';
    out += parts[i];
  }
  return out;
}

std::optional<int> IndexOf(const std::array<std::string_view, 2>& names, std::string_view name) {
  const auto at = std::find(names.begin(), names.end(), name);
  if (at == names.end()) return std::nullopt;
  return static_cast<int>(at - names.begin());
}

Node ParameterNode(Field field, int channel = 0, int band = 0) {
  return {NodeKind::Parameter, {field, channel, band}};
}

std::optional<Node> BandNode(const std::vector<std::string_view>& parts, bool input, int channel) {
  // <eq>/<band>/<leaf>
  if (parts.size() != 5 || parts[2] != "eq") return std::nullopt;
  const auto band = BandNumber(parts[3], input ? kInputBands : kOutputBands);
  if (!band) return std::nullopt;
  for (const BandLeaf& leaf : kBandLeaves) {
    if (leaf.name == parts[4])
      return ParameterNode(input ? leaf.input : leaf.output, channel, *band - 1);
  }
  return std::nullopt;
}

// The stored byte of a setting (all but the delay, which is a 32-bit count), in a const set or not.
template <typename Set>
auto CodeByte(Set& p, const ParameterRef& ref) -> decltype(&p.programNumber) {
  const auto c = static_cast<std::size_t>(std::clamp(ref.channel, 0, 1));
  const auto b = static_cast<std::size_t>(std::clamp(ref.band, 0, kOutputBands - 1));
  const auto ib = std::min<std::size_t>(b, kInputBands - 1);
  switch (ref.field) {
    case Field::InputPeqType:
      return &p.inputPeq[ib][c].type;
    case Field::InputPeqFrequency:
      return &p.inputPeq[ib][c].frequency;
    case Field::InputPeqGain:
      return &p.inputPeq[ib][c].gain;
    case Field::InputPeqQ:
      return &p.inputPeq[ib][c].q;
    case Field::OutputPeqType:
      return &p.outputPeq[b][c].type;
    case Field::OutputPeqFrequency:
      return &p.outputPeq[b][c].frequency;
    case Field::OutputPeqGain:
      return &p.outputPeq[b][c].gain;
    case Field::OutputPeqQ:
      return &p.outputPeq[b][c].q;
    case Field::InputLevel:
      return &p.inputLevel[c];
    case Field::OutputLevel:
      return &p.outputLevel[c];
    case Field::HpfType:
      return &p.crossover[c].hpfType;
    case Field::HpfFrequency:
      return &p.crossover[c].hpfFrequency;
    case Field::LpfType:
      return &p.crossover[c].lpfType;
    case Field::LpfFrequency:
      return &p.crossover[c].lpfFrequency;
    case Field::Phase:
      return &p.outputPhase[c];
    case Field::Threshold:
      return &p.dynamics.threshold;
    case Field::Ratio:
      return &p.dynamics.ratio;
    case Field::Attack:
      return &p.dynamics.attackTime;
    case Field::Release:
      return &p.dynamics.releaseTime;
    case Field::AuxTime:
      return &p.dynamics.auxTime;
    case Field::ProgramNumber:
      return &p.programNumber;
    case Field::ProgramName:
    case Field::Delay:
      return nullptr;
  }
  return nullptr;
}

int CodeIn(const ProgramParameters& p, const ParameterRef& ref) {
  if (ref.field == Field::Delay) return p.outputDelay[ref.channel == 0 ? 0 : 1];
  const std::uint8_t* byte = CodeByte(p, ref);
  return byte == nullptr ? 0 : *byte;
}

bool IsIntField(Field f) {
  return f == Field::InputPeqType || f == Field::OutputPeqType || f == Field::HpfType ||
         f == Field::LpfType || f == Field::Phase;
}

// A setting's code as the value the tree shows.
Value ParameterValue(const ParameterRef& ref, int code) {
  switch (ref.field) {
    case Field::InputLevel:
    case Field::OutputLevel:
      return LevelDb(code);
    case Field::InputPeqFrequency:
    case Field::OutputPeqFrequency:
      return FrequencyHz(code);
    case Field::InputPeqGain:
    case Field::OutputPeqGain:
      return EqGainDb(code);
    case Field::InputPeqQ:
    case Field::OutputPeqQ:
      return QValue(code);
    case Field::HpfFrequency:
      return IsHpfOff(code) ? 0.0 : FrequencyHz(code);
    case Field::LpfFrequency:
      return IsLpfOff(code) ? 0.0 : FrequencyHz(code);
    case Field::Delay:
      return DelayMs(code);
    case Field::Threshold:
      return ThresholdDb(code);
    case Field::Ratio:
      return Ratio(code).value_or(std::numeric_limits<double>::infinity());
    case Field::Attack:
    case Field::Release:
    case Field::AuxTime:
      return TimeMs(code);
    default:
      return code;
  }
}

// A number's bounds, with room for the rounding a 32-bit float brings (OSC's "f").
bool Within(double v, double low, double high) {
  const double top = std::isfinite(high) ? std::fabs(high) : 0.0;
  const double slack = 1e-6 * std::max({1.0, std::fabs(low), top});
  return v >= low - slack && v <= high + slack;
}

struct Range {
  double low;
  double high;
};

std::optional<Range> RangeOf(Field f) {
  switch (f) {
    case Field::InputLevel:
    case Field::OutputLevel:
      return Range{LevelDb(1), LevelDb(205)};
    case Field::InputPeqFrequency:
    case Field::OutputPeqFrequency:
    case Field::HpfFrequency:
    case Field::LpfFrequency:
      return Range{FrequencyHz(kFirstFrequencyCode), FrequencyHz(kLastFrequencyCode)};
    case Field::InputPeqGain:
    case Field::OutputPeqGain:
      return Range{EqGainDb(0), EqGainDb(48)};
    case Field::InputPeqQ:
    case Field::OutputPeqQ:
      return Range{QValue(0), QValue(kLastQCode)};
    case Field::Delay:
      // The longest delay as the page shows it, 21.2292 ms.
      return Range{0.0, 21.2292};
    case Field::Threshold:
      return Range{ThresholdDb(0), ThresholdDb(99)};
    case Field::Ratio:
      return Range{1.0, std::numeric_limits<double>::infinity()};
    case Field::Attack:
    case Field::Release:
      return Range{0.01, 15000.0};
    case Field::InputPeqType:
    case Field::OutputPeqType:
      return Range{0, 5};
    case Field::HpfType:
    case Field::LpfType:
      return Range{0, 11};
    case Field::Phase:
      return Range{0, 1};
    default:
      return std::nullopt;
  }
}

int SnapNumber(Field f, double v) {
  switch (f) {
    case Field::InputLevel:
    case Field::OutputLevel:
      return LevelCodeOf(v);
    case Field::InputPeqFrequency:
    case Field::OutputPeqFrequency:
      return FrequencyCodeOfHz(v);
    case Field::HpfFrequency:
      return v == 0.0 ? kHpfOff : FrequencyCodeOfHz(v);
    case Field::LpfFrequency:
      return v == 0.0 ? kLpfOff : FrequencyCodeOfHz(v);
    case Field::InputPeqGain:
    case Field::OutputPeqGain:
      return EqGainCodeOf(v);
    case Field::InputPeqQ:
    case Field::OutputPeqQ:
      return QCodeOf(v);
    case Field::Delay:
      return DelayStepsOf(v, DelayUnit::Milliseconds);
    case Field::Threshold:
      return ThresholdCodeOf(v);
    case Field::Ratio:
      return RatioCodeOf(v);
    case Field::Attack:
    case Field::Release:
      return TimeCodeOf(v);
    default:
      return static_cast<int>(v);
  }
}

// A number as a person would have typed it: seven significant digits, as many as a 32-bit float
// holds. The scales that take a value down to the step at or below it (times, ratios) would
// otherwise lose a step to a float that lands a hair under the value meant.
double AsTyped(double v) {
  if (!std::isfinite(v) || v == 0.0) return v;
  char buffer[32];
  const auto written =
      std::to_chars(buffer, buffer + sizeof buffer, v, std::chars_format::scientific, 6);
  double typed = v;
  std::from_chars(buffer, written.ptr, typed);
  return typed;
}

// The number a value holds for a node of kind Number (an integer will do), or for a node of kind
// Int (a number will do when it is whole: many control surfaces send only floats).
std::optional<double> NumberOf(const Value& value) {
  if (const int* i = std::get_if<int>(&value)) return *i;
  if (const double* d = std::get_if<double>(&value)) return *d;
  return std::nullopt;
}

Checked Fail(std::string_view why) {
  Checked c;
  c.error = why;
  return c;
}

Checked CheckName(const Value& value) {
  const std::string* text = std::get_if<std::string>(&value);
  if (text == nullptr) return Fail(kWrongType);
  // The name travels inside a frame: brackets would end it early, and the unit's display knows
  // only plain ASCII.
  const bool plain = std::all_of(text->begin(), text->end(), [](char ch) {
    return ch >= 0x20 && ch <= 0x7e && ch != '(' && ch != ')';
  });
  if (text->size() > kProgramNameLength || !plain) return Fail(kOutOfRange);
  Checked c;
  c.ok = true;
  c.name = *text;
  c.name.resize(kProgramNameLength, '.');
  // As a query reads it back: a name's own trailing dots cannot be told from the padding.
  std::string shown = *text;
  while (!shown.empty() && shown.back() == '.') shown.pop_back();
  c.value = shown;
  return c;
}

std::string NameValue(const ProgramParameters& p) {
  std::string name = ProgramNameText(p);
  name = name.substr(0, name.find('\0'));
  // The dots pad the name to its 25 characters; the name a desk shows is what was typed.
  while (!name.empty() && name.back() == '.') name.pop_back();
  return name;
}

}  // namespace

bool IsUnitKey(std::string_view key) {
  return !key.empty() && key.size() <= 64 && std::all_of(key.begin(), key.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '_' || c == '.';
  });
}

std::optional<Node> ParseNodePath(std::string_view path) {
  for (const NamedNode& named : kNamedNodes) {
    if (named.path == path) return Node{named.kind, {}};
  }
  const std::vector<std::string_view> parts = Split(path);
  if (parts.size() == 2 && parts[0] == "compressor") {
    for (const Leaf& leaf : kCompressorLeaves) {
      if (leaf.path == parts[1]) return ParameterNode(leaf.field);
    }
  }
  if (parts.size() < 3) return std::nullopt;
  if (parts[0] == "input") {
    const auto channel = IndexOf(kInputs, parts[1]);
    if (!channel) return std::nullopt;
    if (parts.size() == 3 && parts[2] == "level") {
      return ParameterNode(Field::InputLevel, *channel);
    }
    return BandNode(parts, true, *channel);
  }
  if (parts[0] == "output") {
    const auto channel = IndexOf(kOutputs, parts[1]);
    if (!channel) return std::nullopt;
    const std::string rest = Join(parts, 2);
    for (const Leaf& leaf : kOutputLeaves) {
      if (leaf.path == rest) return ParameterNode(leaf.field, *channel);
    }
    return BandNode(parts, false, *channel);
  }
  return std::nullopt;
}

std::optional<Address> ParseAddress(std::string_view address) {
  if (address.substr(0, kRoot.size()) != kRoot) return std::nullopt;
  address.remove_prefix(kRoot.size());
  if (address.empty() || address[0] != '/') return std::nullopt;
  address.remove_prefix(1);
  const std::size_t slash = address.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  const std::string_view unit = address.substr(0, slash);
  if (!IsUnitKey(unit)) return std::nullopt;
  const auto node = ParseNodePath(address.substr(slash + 1));
  if (!node) return std::nullopt;
  return Address{std::string(unit), *node};
}

std::string NodePath(const Node& node) {
  for (const NamedNode& named : kNamedNodes) {
    if (named.kind == node.kind && node.kind != NodeKind::Parameter) return std::string(named.path);
  }
  const ParameterRef& r = node.ref;
  const std::size_t c = static_cast<std::size_t>(std::clamp(r.channel, 0, 1));
  for (const Leaf& leaf : kCompressorLeaves) {
    if (leaf.field == r.field) return "compressor/" + std::string(leaf.path);
  }
  const bool input = IsInputField(r.field);
  std::string path =
      input ? "input/" + std::string(kInputs[c]) : "output/" + std::string(kOutputs[c]);
  if (r.field == Field::InputLevel) return path + "/level";
  for (const Leaf& leaf : kOutputLeaves) {
    if (leaf.field == r.field) return path + "/" + std::string(leaf.path);
  }
  for (const BandLeaf& leaf : kBandLeaves) {
    if (leaf.input == r.field || leaf.output == r.field) {
      return path + "/eq/" + std::to_string(r.band + 1) + "/" + std::string(leaf.name);
    }
  }
  return path;
}

std::string AddressOf(std::string_view unit, const Node& node) {
  return std::string(kRoot) + "/" + std::string(unit) + "/" + NodePath(node);
}

const std::vector<Node>& AllNodes() {
  static const std::vector<Node> nodes = [] {
    std::vector<Node> all;
    for (int c = 0; c < kInputCount; ++c) {
      all.push_back(ParameterNode(Field::InputLevel, c));
      for (int b = 0; b < kInputBands; ++b) {
        for (const BandLeaf& leaf : kBandLeaves) all.push_back(ParameterNode(leaf.input, c, b));
      }
    }
    for (int c = 0; c < kOutputCount; ++c) {
      for (const Leaf& leaf : kOutputLeaves) all.push_back(ParameterNode(leaf.field, c));
      for (int b = 0; b < kOutputBands; ++b) {
        for (const BandLeaf& leaf : kBandLeaves) all.push_back(ParameterNode(leaf.output, c, b));
      }
    }
    for (const Leaf& leaf : kCompressorLeaves) all.push_back(ParameterNode(leaf.field));
    for (const NamedNode& named : kNamedNodes) all.push_back({named.kind, {}});
    return all;
  }();
  return nodes;
}

ValueKind KindOf(const Node& node) {
  switch (node.kind) {
    case NodeKind::Parameter:
      return IsIntField(node.ref.field) ? ValueKind::Int : ValueKind::Number;
    case NodeKind::ProgramNumber:
    case NodeKind::Recall:
    case NodeKind::Store:
      return ValueKind::Int;
    case NodeKind::ProgramName:
    case NodeKind::Link:
    case NodeKind::DeviceName:
      return ValueKind::Text;
  }
  return ValueKind::Text;
}

bool IsWritable(const Node& node) {
  return node.kind == NodeKind::Parameter || node.kind == NodeKind::ProgramName ||
         node.kind == NodeKind::Recall || node.kind == NodeKind::Store;
}

std::optional<Value> ValueIn(const ProgramParameters& p, const Node& node) {
  switch (node.kind) {
    case NodeKind::Parameter:
      return ParameterValue(node.ref, CodeIn(p, node.ref));
    case NodeKind::ProgramName:
      return NameValue(p);
    case NodeKind::ProgramNumber:
    case NodeKind::Recall:
    case NodeKind::Store:
      return static_cast<int>(p.programNumber);
    case NodeKind::Link:
    case NodeKind::DeviceName:
      return std::nullopt;
  }
  return std::nullopt;
}

Checked Check(const Node& node, const Value& value) {
  if (!IsWritable(node)) return Fail(kReadOnly);
  if (node.kind == NodeKind::ProgramName) return CheckName(value);
  const auto number = NumberOf(value);
  if (!number) return Fail(kWrongType);
  const double v = *number;
  const bool whole = std::isfinite(v) && v == std::trunc(v);
  if (node.kind == NodeKind::Recall || node.kind == NodeKind::Store) {
    if (!whole) return Fail(std::isfinite(v) ? kWrongType : kOutOfRange);
    if (v < kFirstMemory || v > kLastMemory) return Fail(kOutOfRange);
    Checked c;
    c.ok = true;
    c.code = static_cast<int>(v);
    c.value = c.code;
    return c;
  }
  const Field f = node.ref.field;
  const auto range = RangeOf(f);
  if (!range) return Fail(kReadOnly);
  if (IsIntField(f) && !whole) return Fail(std::isfinite(v) ? kWrongType : kOutOfRange);
  const bool off = (f == Field::HpfFrequency || f == Field::LpfFrequency) && v == 0.0;
  const bool infinite = f == Field::Ratio && v == std::numeric_limits<double>::infinity();
  if (std::isnan(v) ||
      (!off && !infinite && (!std::isfinite(v) || !Within(v, range->low, range->high)))) {
    return Fail(kOutOfRange);
  }
  Checked c;
  c.ok = true;
  c.code = SnapNumber(f, AsTyped(v));
  c.value = ParameterValue(node.ref, c.code);
  return c;
}

bool Store(ProgramParameters& p, const Node& node, const Checked& checked) {
  if (!checked.ok) return false;
  if (node.kind == NodeKind::ProgramName) {
    SetProgramName(p, checked.name);
    return true;
  }
  if (node.kind != NodeKind::Parameter) return false;
  if (node.ref.field == Field::Delay) {
    p.outputDelay[node.ref.channel == 0 ? 0 : 1] = checked.code;
    return true;
  }
  std::uint8_t* byte = CodeByte(p, node.ref);
  if (byte == nullptr) return false;
  *byte = static_cast<std::uint8_t>(checked.code);
  return true;
}

std::vector<Value> StepValues(const Node& node) {
  if (node.kind != NodeKind::Parameter) return {};
  const Field f = node.ref.field;
  int first = 0;
  int last = 0;
  switch (f) {
    case Field::InputLevel:
    case Field::OutputLevel:
      first = 1;
      last = 205;
      break;
    case Field::InputPeqFrequency:
    case Field::OutputPeqFrequency:
      first = kFirstFrequencyCode;
      last = kLastFrequencyCode;
      break;
    case Field::HpfFrequency:
      first = kHpfOff;
      last = kLastFrequencyCode;
      break;
    case Field::LpfFrequency:
      first = kFirstFrequencyCode;
      last = kLpfOff;
      break;
    case Field::InputPeqGain:
    case Field::OutputPeqGain:
      last = 48;
      break;
    case Field::InputPeqQ:
    case Field::OutputPeqQ:
      last = kLastQCode;
      break;
    case Field::Delay:
      last = kMaxDelaySteps;
      break;
    case Field::Threshold:
    case Field::Ratio:
      last = 99;
      break;
    case Field::Attack:
    case Field::Release:
      last = kLastTimeCode;
      break;
    case Field::InputPeqType:
    case Field::OutputPeqType:
      last = 5;
      break;
    case Field::HpfType:
    case Field::LpfType:
      last = 11;
      break;
    case Field::Phase:
      last = 1;
      break;
    default:
      return {};
  }
  std::vector<Value> steps;
  for (int code = first; code <= last; ++code) steps.push_back(ParameterValue(node.ref, code));
  return steps;
}

std::string ValueText(const Value& value) {
  if (const int* i = std::get_if<int>(&value)) return std::to_string(*i);
  if (const std::string* s = std::get_if<std::string>(&value)) return *s;
  const double d = std::get<double>(value);
  if (std::isinf(d)) return d > 0 ? "inf" : "-inf";
  // Six significant digits: every value of the scales reads back to its own code.
  char buffer[32];
  const auto result =
      std::to_chars(buffer, buffer + sizeof buffer, d + 0.0, std::chars_format::general, 6);
  return std::string(buffer, result.ptr);
}

std::optional<Value> ParseValueText(ValueKind kind, std::string_view text) {
  if (kind == ValueKind::Text) return std::string(text);
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\n' ||
                           text.back() == '\r')) {
    text.remove_suffix(1);
  }
  if (text.empty()) return std::nullopt;
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (kind == ValueKind::Number && (lower == "inf" || lower == "infinity" || lower == "+inf")) {
    return std::numeric_limits<double>::infinity();
  }
  if (lower.front() == '+') lower.erase(0, 1);
  double d = 0.0;
  const auto result = std::from_chars(lower.data(), lower.data() + lower.size(), d);
  if (result.ec != std::errc() || result.ptr != lower.data() + lower.size()) return std::nullopt;
  if (kind == ValueKind::Int) {
    if (!std::isfinite(d) || d != std::trunc(d) || std::fabs(d) > 1e9) return std::nullopt;
    return static_cast<int>(d);
  }
  return d;
}

}  // namespace corvella::remote
