// corvella-cli's own input: arbitrary argument lists, and arbitrary parameter images through the
// offline commands. A command line that is accepted must carry only what a unit can be given (a
// memory 1..6, an ID 1..10, names that fit their field and cannot break a frame); whatever a file
// holds, "show" and every "plot" export must stay in range, and the CSV has a header and one row
// per graph point, and so has the system plot's.
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "cli/plot_curves.h"
#include "cli/show_text.h"
#include "cli/system_plot.h"
#include "fuzz_checks.h"
#include "graph/alignment.h"
#include "graph/graph_frame.h"
#include "graph/system_response.h"

namespace {

using namespace corvella;
using corvella::fuzz::Require;

bool FitsAField(const std::string& name, std::size_t width) {
  if (name.size() > width) return false;
  return name.find_first_of("()") == std::string::npos;
}

void CheckArguments(const std::uint8_t* data, std::size_t size) {
  // Arguments are separated by NUL bytes, as in an argv.
  std::vector<std::string> args(1);
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == 0) {
      args.emplace_back();
    } else {
      args.back().push_back(static_cast<char>(data[i]));
    }
  }
  const cli::ParseOutcome outcome = cli::ParseArguments(args);
  if (!outcome.invocation) {
    Require(!outcome.error.empty());
    return;
  }
  const cli::Invocation& call = *outcome.invocation;
  if (call.help) return;
  if (call.unitId) Require(*call.unitId >= 1 && *call.unitId <= 10);
  switch (call.command) {
    case cli::Command::Recall:
    case cli::Command::Store:
      Require(call.memory >= 1 && call.memory <= 6);
      break;
    case cli::Command::Rename:
      Require(FitsAField(call.name, cli::kMaxProgramNameLength));
      break;
    case cli::Command::SetIdentity:
      Require(call.newId >= 1 && call.newId <= 10);
      Require(FitsAField(call.name, cli::kMaxDeviceNameLength));
      break;
    case cli::Command::Plot:
      Require(call.channel >= 0 && call.channel <= 3);
      break;
    default:
      break;
  }
}

void CheckOffline(const std::uint8_t* data, std::size_t size) {
  std::array<std::uint8_t, kParameterImageSize> image{};
  std::memcpy(image.data(), data, std::min(size, image.size()));
  const ProgramParameters p = FromImage(image);
  Require(!cli::ShowText(p).empty());
  for (const auto graph : {cli::GraphKind::InputPeq, cli::GraphKind::OutputPeq,
                           cli::GraphKind::Crossover, cli::GraphKind::Level}) {
    const int channels = graph == cli::GraphKind::Level ? 4 : 2;
    for (int channel = 0; channel < channels; ++channel) {
      const auto curves = cli::PlotCurves(p, graph, channel);
      Require(!curves.empty());
      const std::string csv = cli::CsvText(curves);
      Require(std::count(csv.begin(), csv.end(), '\n') == graph::kGraphPoints + 1);
    }
  }
  // The system plot of any image: a header and one row per point, every value a number or left
  // out (an exact null has no phase slope), never an infinity.
  constexpr int kSystemPoints = 64;
  const std::string system = graph::SystemCsvText(
      graph::ComputeSystemCurves(p, {}, cli::SystemPlotFrequencies(kSystemPoints)));
  Require(std::count(system.begin(), system.end(), '\n') == kSystemPoints + 1);
  Require(system.find("inf") == std::string::npos && system.find("nan") == std::string::npos);
  std::string why;
  (void)graph::ScoreAlignment(p, {}, why);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  if (data[0] & 1) {
    CheckOffline(data + 1, size - 1);
  } else {
    CheckArguments(data + 1, size - 1);
  }
  return 0;
}
