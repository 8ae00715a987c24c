// What corvella-cli prints with --json: one JSON document per command, shaped here so the commands
// only gather their results. docs/cli-json.md describes every shape.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/plot_curves.h"
#include "graph/alignment.h"
#include "graph/system_response.h"
#include "model/parameter_listing.h"
#include "model/program_parameters.h"

namespace corvella::cli {

// [{"section", "parameter", "a": {"code", "text"}, "b": {...}}, ...]; the name's code is null.
std::string DiffJson(const std::vector<ParameterDifference>& differences);

// scan: the units that answered, as the Select dialog lists them.
struct ScannedUnit {
  std::string port;  // the device path
  int id = 0;
  int kind = 0;
  std::string deviceName;  // as the unit sent it (Latin-1)
};
std::string ScanJson(const std::vector<ScannedUnit>& units);

// programs: memory n is element n-1; an unused memory has no name.
struct ProgramSlot {
  bool used = false;
  std::string name;  // as the unit sent it (Latin-1)
};
std::string ProgramsJson(const std::array<ProgramSlot, 6>& slots);

// show: every parameter's row, in listing order.
std::string ShowJson(const ProgramParameters& p);

// download and sync: what the repair changed in the file, what sync sent, and how the unit read
// back differed (nothing when it was not read back).
struct TransferRecord {
  std::vector<ParameterDifference> repaired;
  enum class Sent { Nothing, Edits, File } sent = Sent::Nothing;
  std::vector<ParameterDifference> edits;
  std::optional<std::vector<ParameterDifference>> differences;
};
std::string DownloadJson(const TransferRecord& record);
std::string SyncJson(const TransferRecord& record);

// plot of a page's graph: the file written and each curve's extremes.
std::string PlotJson(const std::string& file, PlotFormat format, GraphKind graph, int channel,
                     const std::vector<NamedCurve>& curves);

// plot --graph system: the file written, each curve's extremes and the crossover's figure (null
// when the outputs share no frequencies).
struct SystemPlotFacts {
  std::string file;
  PlotFormat format = PlotFormat::Png;
  bool micInput = false;
  std::optional<std::string> highDriver;
  std::optional<std::string> lowDriver;
  std::optional<graph::AlignmentScore> crossover;
};
std::string SystemPlotJson(const SystemPlotFacts& facts, const graph::SystemCurves& curves);

// align: the suggestion, its figures and the file it was written to (null without -o).
std::string AlignJson(const graph::AlignmentSuggestion& suggestion,
                      const std::optional<std::string>& file);

}  // namespace corvella::cli
