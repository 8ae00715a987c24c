// The remote-control address tree: every setting a page edits, the program memories and the link
// state of a served unit, as addresses with values in engineering units. OSC, MQTT and any later
// front end map their messages through this one tree, so a value is checked and snapped to the
// unit's scale in exactly one way, the way the pages snap a typed value.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "model/parameter_listing.h"
#include "model/program_parameters.h"

namespace corvella::remote {

inline constexpr std::string_view kRoot = "/corvella";

// What an address names below its unit.
enum class NodeKind {
  Parameter,      // a stored setting (ref says which)
  ProgramName,    // the current program's name, set like a page's rename
  ProgramNumber,  // the current program's number; read only
  Recall,         // set: recall memory 1..6; read: the current program's number
  Store,          // set: store the current settings as memory 1..6; read: the program's number
  Link,           // "online" or "offline"; read only
  DeviceName,     // the unit's 14-character name; read only
};

struct Node {
  NodeKind kind = NodeKind::Parameter;
  ParameterRef ref;  // Parameter only

  friend bool operator==(const Node&, const Node&) = default;
};

// The three kinds of value on the wire: integers (types, polarity, memories), numbers in
// engineering units (Hz, dB, Q, ms, ratio), and text.
using Value = std::variant<int, double, std::string>;
enum class ValueKind { Int, Number, Text };

inline constexpr std::string_view kOnline = "online";
inline constexpr std::string_view kOffline = "offline";

// "/corvella/<unit>/<path>" split into the unit's key and its node; nullopt when it names nothing.
struct Address {
  std::string unit;
  Node node;
};
std::optional<Address> ParseAddress(std::string_view address);
// The node of a path below the unit ("output/high/level"), as MQTT topics carry it.
std::optional<Node> ParseNodePath(std::string_view path);
std::string NodePath(const Node& node);
std::string AddressOf(std::string_view unit, const Node& node);
// A unit key may go into an OSC address and an MQTT topic: letters, digits, "-", "_" and ".".
bool IsUnitKey(std::string_view key);

// Every node of a unit, in the order of the documentation.
const std::vector<Node>& AllNodes();
ValueKind KindOf(const Node& node);
bool IsWritable(const Node& node);

// The value of a parameter, the program name or the program number in a set. Recall and Store
// read as the program number. Link and DeviceName are not in a set (nullopt).
std::optional<Value> ValueIn(const ProgramParameters& p, const Node& node);

// A value checked against a node: its kind, its range, and snapped to the unit's scale as a page
// snaps a typed value. `code` is what goes into the set (a memory number for Recall and Store),
// `value` the snapped value in engineering units as it is echoed; `error` says why not.
struct Checked {
  bool ok = false;
  int code = 0;
  std::string name;  // ProgramName: the 25 characters as stored
  Value value;
  std::string error;
};
Checked Check(const Node& node, const Value& value);
// Stores a checked parameter or program name into the set; false for the other nodes.
bool Store(ProgramParameters& p, const Node& node, const Checked& checked);

// Every value a setting takes, in the order of its codes (a control that steps through them
// steps as the unit does); each reads back to its own step through Check. Empty for every node
// that is not a setting.
std::vector<Value> StepValues(const Node& node);

// A value as text in its node's units (MQTT payloads): numbers in the shortest form that reads
// back the same ("-6", "1250", "4.33"), an infinite ratio as "inf".
std::string ValueText(const Value& value);
// Text in a node's kind; nullopt when it is not one (the error then says "wrong type").
std::optional<Value> ParseValueText(ValueKind kind, std::string_view text);

// Texts of the errors a front end sends back, so every front end says the same.
inline constexpr std::string_view kUnknownAddress = "unknown address";
inline constexpr std::string_view kUnknownUnit = "no such unit";
inline constexpr std::string_view kWrongType = "wrong type";
inline constexpr std::string_view kOutOfRange = "out of range";
inline constexpr std::string_view kReadOnly = "read only";

}  // namespace corvella::remote
