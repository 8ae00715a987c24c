// The command line of corvella-unit-sim.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "sim/virtual_unit.h"

namespace corvella::sim::tool {

struct UnitOption {
  int id = 1;
  std::string name;  // empty: the unit's default name
  ProbeKind kind = ProbeKind::Long;
};

struct Options {
  std::vector<UnitOption> units;  // empty: one unit with ID 1
  bool demo = false;
  bool ignoreStdin = false;
  bool lineRate = false;
  bool help = false;
  std::string linkPath;
  std::string loadPath;
  std::string savePath;
  std::string logPath;
  FaultPlan faults;
};

struct ParseResult {
  std::optional<Options> options;
  std::string error;  // set when options is empty
};

ParseResult ParseOptions(const std::vector<std::string_view>& args);

extern const char* const kUsage;

}  // namespace corvella::sim::tool
