// The web page's messages over its WebSocket, as JSON text: what a page may ask (a set, an undo)
// decoded and checked against the address tree, and what the server tells it (the units, their
// values, the response curves the window draws, errors), encoded. docs/web-page.md lists them.
// No sockets here, so the decoder can be fuzzed and the texts tested on their own.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "model/program_parameters.h"
#include "remote/address_tree.h"

namespace corvella::remote::web {

// Far above any message a page sends; a larger one is refused before it is read.
inline constexpr std::size_t kMaxMessageBytes = 16 * 1024;

// Why a message was not taken (besides the address tree's reasons).
inline constexpr std::string_view kNotJson = "not a JSON object";
inline constexpr std::string_view kUnknownMessage = "unknown message";
inline constexpr std::string_view kTooLong = "message too long";
inline constexpr std::string_view kNothingToUndo = "nothing to undo";

// {"op":"set","unit":"1","path":"output/high/level","value":-6.5,"gesture":7}: a run of sets
// with one gesture number (a finger's drag) is one step of undo.
struct SetRequest {
  std::string unit;
  Node node;
  Value value;
  long long gesture = 0;
};
// {"op":"undo","unit":"1"}: takes back the last change made from a page.
struct UndoRequest {
  std::string unit;
};
using Request = std::variant<SetRequest, UndoRequest>;

struct Decoded {
  std::optional<Request> request;
  std::string unit;  // the unit and the address a refused set named, when it named them
  std::string path;
  std::string error;  // "output/high/level: wrong type", or a reason of its own
};
Decoded DecodeMessage(std::string_view text);

// What the server sends.
struct UnitInfo {
  std::string key;
  std::string name;
  bool online = false;
};
// The units, every step list and name list the controls use, and the frequencies of the curves.
std::string HelloMessage(const std::vector<UnitInfo>& units);
// Every value of one unit.
std::string StateMessage(std::string_view unit, const std::vector<std::pair<Node, Value>>& values);
std::string ChangedMessage(std::string_view unit, const Node& node, const Value& value);
// The curves of every page's graph and of the system (HIGH, LOW and their sum) for a set.
std::string CurvesMessage(std::string_view unit, const ProgramParameters& p);
std::string ErrorMessage(std::string_view path, std::string_view text);

// ---- Access ------------------------------------------------------------------------------------

// A new token: 20 characters from 32 that cannot be mistaken for each other (100 bits from the
// system's random source); empty when there is no random source.
std::string NewToken();
// Whether `given` is `expected`, in a time that does not depend on where they differ.
bool TokenMatches(std::string_view expected, std::string_view given);
// The token a request's target carries ("/ws?token=abc" gives "abc"); empty without one.
std::string TokenOfTarget(std::string_view target);

}  // namespace corvella::remote::web
