#include "cli/system_plot.h"

#include <array>

#include "cli/json_results.h"
#include "cli/unit_commands.h"
#include "graph/alignment.h"
#include "graph/driver_response.h"
#include "model/output_file.h"
#include "model/parameters_file.h"

namespace corvella::cli {

namespace {

constexpr int kPointsPerOctave = 48;

int Fail(std::FILE* err, const std::string& message) {
  std::fprintf(err, "corvella-cli: %s\n", message.c_str());
  return kExitUsage;
}

}  // namespace

std::vector<double> SystemPlotFrequencies(int points) {
  if (points >= 2) return graph::LogGrid(graph::kSystemLowestHz, graph::kSystemHighestHz, points);
  return graph::FractionalOctaveGrid(graph::kSystemLowestHz, graph::kSystemHighestHz,
                                     kPointsPerOctave);
}

int RunSystemCommand(const Invocation& inv, const ProgramParameters& p, std::FILE* out,
                     std::FILE* err) {
  std::array<std::optional<graph::DriverResponse>, 2> drivers;
  const std::array<const std::optional<std::string>*, 2> files = {&inv.highDriver, &inv.lowDriver};
  for (std::size_t o = 0; o < 2; ++o) {
    if (!*files[o]) continue;
    std::string error;
    drivers[o] = graph::DriverResponse::Load(**files[o], error);
    if (!drivers[o]) return Fail(err, error);
    if (!drivers[o]->HasPhase()) {
      // Without phase the driver adds no phase of its own, so the sum and an alignment rest on the
      // electrical phase alone.
      std::fprintf(err, "corvella-cli: warning: %s driver %s: no phase; taken as 0 degrees\n",
                   o == 0 ? "HIGH" : "LOW", (*files[o])->c_str());
    }
  }
  graph::SystemSetup setup;
  setup.input = inv.micInput ? Input::Mic : Input::Line;
  setup.highDriver = drivers[0] ? &*drivers[0] : nullptr;
  setup.lowDriver = drivers[1] ? &*drivers[1] : nullptr;

  std::string error;
  if (inv.output && !OutputDirectoryExists(*inv.output, error)) return Fail(err, error);
  if (inv.command == Command::Align) {
    const auto suggestion = graph::SuggestAlignment(p, setup, error);
    if (!suggestion) return Fail(err, "no alignment: " + error);
    // The JSON names the file written, so it waits for the file.
    if (!inv.json) std::fputs(graph::AlignmentText(*suggestion).c_str(), out);
    if (inv.output) {
      ProgramParameters aligned = p;
      graph::ApplyAlignment(aligned, *suggestion);
      if (!SaveParametersWhole(*inv.output, aligned, error)) return Fail(err, error);
    }
    if (inv.json) std::fputs(AlignJson(*suggestion, inv.output).c_str(), out);
    return kExitOk;
  }

  const graph::SystemCurves curves =
      graph::ComputeSystemCurves(p, setup, SystemPlotFrequencies(inv.points));
  bool written = false;
  if (inv.format == PlotFormat::Csv) {
    written = WriteTextWhole(*inv.output, graph::SystemCsvText(curves), error);
  } else {
#if CORVELLA_CLI_IMAGES
    written = WriteSystemImage(curves, inv.format, *inv.output, error);
#else
    error = *inv.output +
            ": this build of corvella-cli cannot write images (PNG or SVG); plot to a .csv file "
            "instead";
#endif
  }
  if (!written) return Fail(err, error);
  if (inv.json) {
    std::string unscored;
    const SystemPlotFacts facts{.file = *inv.output,
                                .format = inv.format,
                                .micInput = inv.micInput,
                                .highDriver = inv.highDriver,
                                .lowDriver = inv.lowDriver,
                                .crossover = graph::ScoreAlignment(p, setup, unscored)};
    std::fputs(SystemPlotJson(facts, curves).c_str(), out);
  }
  return kExitOk;
}

}  // namespace corvella::cli
