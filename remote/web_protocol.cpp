#include "remote/web_protocol.h"

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cmath>
#include <limits>
#include <nlohmann/json.hpp>

#include "graph/crossover_response.h"
#include "graph/page_curves.h"
#include "graph/system_response.h"
#include "model/parameter_listing.h"

namespace corvella::remote::web {
namespace {

using Json = nlohmann::json;

// The system graph's points: a twelfth of an octave over the range the pages draw.
const std::vector<double>& SystemHz() {
  static const std::vector<double> hz = graph::FractionalOctaveGrid(20.0, 20000.0, 12);
  return hz;
}

// A device name or a program name may hold bytes that are not UTF-8: they are shown replaced,
// never refused.
std::string Dump(const Json& j) {
  return j.dump(-1, ' ', false, Json::error_handler_t::replace);
}

Json ValueJson(const Value& value) {
  if (const int* i = std::get_if<int>(&value)) return *i;
  if (const std::string* s = std::get_if<std::string>(&value)) return *s;
  const double d = std::get<double>(value);
  // JSON has no infinity: the ratio's is spelled as MQTT spells it.
  if (!std::isfinite(d)) return ValueText(value);
  return d;
}

// A curve to a tenth of a dB, which is finer than a phone's pixel; a point not drawn is null.
Json CurveJson(const double* db, std::size_t count) {
  Json out = Json::array();
  for (std::size_t i = 0; i < count; ++i) {
    if (std::isfinite(db[i])) {
      out.push_back(std::round(db[i] * 10.0) / 10.0);
    } else {
      out.push_back(nullptr);
    }
  }
  return out;
}

Json StepsJson(const Node& node) {
  Json out = Json::array();
  for (const Value& v : StepValues(node)) out.push_back(ValueJson(v));
  return out;
}

Node ParameterNode(Field field) {
  return {NodeKind::Parameter, {field, 0, 0}};
}

// A JSON value in the node's kind: numbers as they are, text read as the address tree reads an
// MQTT payload (so "inf" is the infinite ratio). Anything else stays out of every kind.
std::optional<Value> ValueOf(const Json& j, const Node& node) {
  if (j.is_number_integer()) {
    const auto v = j.get<long long>();
    if (v >= std::numeric_limits<int>::min() && v <= std::numeric_limits<int>::max()) {
      return static_cast<int>(v);
    }
    return static_cast<double>(v);
  }
  if (j.is_number()) return j.get<double>();
  if (j.is_string()) return ParseValueText(KindOf(node), j.get_ref<const std::string&>());
  return std::nullopt;
}

std::string TextField(const Json& j, const char* name) {
  const auto at = j.find(name);
  return at != j.end() && at->is_string() ? at->get<std::string>() : std::string();
}

Decoded Refuse(std::string path, std::string_view why, std::string unit = {}) {
  Decoded d;
  d.unit = std::move(unit);
  d.error = path.empty() ? std::string(why) : path + ": " + std::string(why);
  d.path = std::move(path);
  return d;
}

}  // namespace

Decoded DecodeMessage(std::string_view text) {
  if (text.size() > kMaxMessageBytes) return Refuse({}, kTooLong);
  const Json j = Json::parse(text.begin(), text.end(), nullptr, false);
  if (j.is_discarded() || !j.is_object()) return Refuse({}, kNotJson);
  const std::string op = TextField(j, "op");
  const std::string unit = TextField(j, "unit");
  if (op == "undo") {
    if (!IsUnitKey(unit)) return Refuse({}, kUnknownUnit);
    return {UndoRequest{unit}, unit, {}, {}};
  }
  if (op != "set") return Refuse({}, kUnknownMessage);
  const std::string path = TextField(j, "path");
  const auto node = ParseNodePath(path);
  // An address is echoed back only when it is one: a page's error line shows no junk.
  if (!node) return Refuse(path.size() <= 64 ? path : std::string(), kUnknownAddress);
  if (!IsUnitKey(unit)) return Refuse(path, kUnknownUnit);
  const auto value = j.find("value");
  if (value == j.end()) return Refuse(path, kWrongType, unit);
  const auto v = ValueOf(*value, *node);
  if (!v) return Refuse(path, kWrongType, unit);
  SetRequest set{unit, *node, *v, 0};
  if (const auto gesture = j.find("gesture"); gesture != j.end() && gesture->is_number_integer()) {
    set.gesture = gesture->get<long long>();
  }
  return {set, unit, path, {}};
}

std::string HelloMessage(const std::vector<UnitInfo>& units) {
  Json u = Json::array();
  for (const UnitInfo& unit : units) {
    u.push_back(
        {{"key", unit.key}, {"name", unit.name}, {"link", unit.online ? kOnline : kOffline}});
  }
  // One step list per scale; the page picks the list by the address's last part.
  const Json steps = {
      {"level", StepsJson(ParameterNode(Field::OutputLevel))},
      {"freq", StepsJson(ParameterNode(Field::OutputPeqFrequency))},
      {"gain", StepsJson(ParameterNode(Field::OutputPeqGain))},
      {"q", StepsJson(ParameterNode(Field::OutputPeqQ))},
      {"delay", StepsJson(ParameterNode(Field::Delay))},
      {"hpf", StepsJson(ParameterNode(Field::HpfFrequency))},
      {"lpf", StepsJson(ParameterNode(Field::LpfFrequency))},
      {"threshold", StepsJson(ParameterNode(Field::Threshold))},
      {"ratio", StepsJson(ParameterNode(Field::Ratio))},
      {"time", StepsJson(ParameterNode(Field::Attack))},
  };
  Json eqTypes = Json::array();
  for (int t = 0; t <= 5; ++t) eqTypes.push_back(std::string(PeqTypeName(t)));
  Json filterTypes = Json::array();
  for (int t = 0; t < graph::kCrossoverTypeCount; ++t) {
    filterTypes.push_back(std::string(CrossoverTypeName(t)));
  }
  const Json names = {{"eqType", eqTypes},
                      {"filterType", filterTypes},
                      {"polarity", {kPhaseNormalText, kPhaseInverseText}}};
  Json graphHz = Json::array();
  for (const double hz : graph::GraphFrequencyList) graphHz.push_back(hz);
  Json systemHz = Json::array();
  for (const double hz : SystemHz()) systemHz.push_back(std::round(hz * 100.0) / 100.0);
  return Dump(Json{{"op", "hello"},
                   {"units", u},
                   {"steps", steps},
                   {"names", names},
                   {"graphHz", graphHz},
                   {"systemHz", systemHz}});
}

std::string StateMessage(std::string_view unit, const std::vector<std::pair<Node, Value>>& values) {
  Json v = Json::object();
  for (const auto& [node, value] : values) v[NodePath(node)] = ValueJson(value);
  return Dump(Json{{"op", "state"}, {"unit", unit}, {"values", v}});
}

std::string ChangedMessage(std::string_view unit, const Node& node, const Value& value) {
  return Dump(Json{
      {"op", "changed"}, {"unit", unit}, {"path", NodePath(node)}, {"value", ValueJson(value)}});
}

std::string CurvesMessage(std::string_view unit, const ProgramParameters& p) {
  Json groups = Json::object();
  constexpr std::array<std::string_view, 2> kInputNames = {"mic", "line"};
  constexpr std::array<std::string_view, 2> kOutputNames = {"high", "low"};
  for (int c = 0; c < kInputCount; ++c) {
    const auto curves = graph::InputPageCurves(p, c);
    groups["input/" + std::string(kInputNames[static_cast<std::size_t>(c)])] =
        CurveJson(curves.sum.data(), curves.sum.size());
  }
  for (int c = 0; c < kOutputCount; ++c) {
    const std::string name(kOutputNames[static_cast<std::size_t>(c)]);
    const auto curves = graph::OutputPageCurves(p, c);
    groups["output/" + name] = CurveJson(curves.sum.data(), curves.sum.size());
    groups["crossover/" + name] = CurveJson(curves.crossover.data(), curves.crossover.size());
  }
  graph::SystemSetup setup;
  const graph::SystemCurves system = graph::ComputeSystemCurves(p, setup, SystemHz());
  const Json sys = {{"high", CurveJson(system.high.db.data(), system.high.db.size())},
                    {"low", CurveJson(system.low.db.data(), system.low.db.size())},
                    {"sum", CurveJson(system.sum.db.data(), system.sum.db.size())}};
  return Dump(Json{{"op", "curves"}, {"unit", unit}, {"groups", groups}, {"system", sys}});
}

std::string ErrorMessage(std::string_view path, std::string_view text) {
  return Dump(Json{{"op", "error"}, {"path", path}, {"text", text}});
}

std::string NewToken() {
  static constexpr std::string_view kAlphabet = "abcdefghijkmnpqrstuvwxyz23456789";
  static_assert(kAlphabet.size() == 32);
  std::array<unsigned char, 20> bytes{};
  const int fd = ::open("/dev/urandom", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return {};
  std::size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
    if (n <= 0) break;
    got += static_cast<std::size_t>(n);
  }
  ::close(fd);
  if (got != bytes.size()) return {};
  std::string token;
  // 256 is a multiple of 32: every character is equally likely.
  for (const unsigned char b : bytes) token += kAlphabet[b % kAlphabet.size()];
  return token;
}

bool TokenMatches(std::string_view expected, std::string_view given) {
  if (expected.empty()) return false;
  // Every character of `expected` is looked at whatever `given` holds, so the time tells nothing.
  unsigned difference = expected.size() == given.size() ? 0U : 1U;
  for (std::size_t i = 0; i < expected.size(); ++i) {
    const char g = i < given.size() ? given[i] : '\0';
    difference |= static_cast<unsigned char>(expected[i] ^ g);
  }
  return difference == 0;
}

std::string TokenOfTarget(std::string_view target) {
  const std::size_t query = target.find('?');
  if (query == std::string_view::npos) return {};
  std::string_view rest = target.substr(query + 1);
  while (!rest.empty()) {
    const std::size_t amp = rest.find('&');
    const std::string_view pair = rest.substr(0, amp);
    if (pair.substr(0, 6) == "token=") return std::string(pair.substr(6));
    if (amp == std::string_view::npos) break;
    rest.remove_prefix(amp + 1);
  }
  return {};
}

}  // namespace corvella::remote::web
