#include "cli/autoeq_command.h"

#include <string>

#include "model/output_file.h"
#include "cli/unit_commands.h"
#include "graph/stepped_eq_fit.h"
#include "model/eq_stage.h"
#include "model/measurement_file.h"
#include "model/parameter_listing.h"
#include "model/parameters_file.h"
#include "model/scales.h"

namespace corvella::cli {

namespace {

int Fail(std::FILE* err, const std::string& message) {
  std::fprintf(err, "corvella-cli: %s\n", message.c_str());
  return kExitUsage;
}

std::string Fixed(double value, int decimals) {
  return FormatFixed(value, decimals);
}

std::string FiguresJson(const graph::ResidualFigures& f) {
  return "{\"rms_db\":" + Fixed(f.rmsDb, 3) + ",\"max_db\":" + Fixed(f.maxDb, 3) + "}";
}

std::string Json(const graph::StageFit& fit) {
  std::string text = "{\"before\":" + FiguresJson(fit.before) +
                     ",\"after\":" + FiguresJson(fit.after) + ",\"bands\":[";
  for (std::size_t b = 0; b < fit.bands.size(); ++b) {
    const PeqBand& band = fit.bands[b];
    text += (b == 0 ? "{" : ",{");
    text += "\"type\":\"" + std::string(PeqTypeName(band.type)) + "\"";
    text += ",\"frequency_hz\":" + Fixed(FrequencyHz(band.frequency), 1);
    text += ",\"gain_db\":" + Fixed(EqGainDb(band.gain), 1);
    text += ",\"q\":" + Fixed(QValue(band.q), 2) + "}";
  }
  return text + "]}\n";
}

std::string Text(const graph::StageFit& fit) {
  std::string text = "before: RMS " + Fixed(fit.before.rmsDb, 2) + " dB, largest deviation " +
                     Fixed(fit.before.maxDb, 2) + " dB\n";
  text += "after:  RMS " + Fixed(fit.after.rmsDb, 2) + " dB, largest deviation " +
          Fixed(fit.after.maxDb, 2) + " dB\n";
  for (std::size_t b = 0; b < fit.bands.size(); ++b) {
    const PeqBand& band = fit.bands[b];
    text += "band " + std::to_string(b + 1) + ": " + std::string(PeqTypeName(band.type));
    if (band.type != 0) {
      text += " " + std::string(FrequencyText(band.frequency)) +
              std::string(FrequencyUnit(band.frequency)) + " " + EqGainText(band.gain) + "dB Q " +
              std::string(QText(band.q));
    }
    text += "\n";
  }
  return text;
}

}  // namespace

int RunAutoEq(const Invocation& inv, std::FILE* out, std::FILE* err) {
  ProgramParameters p{};
  ResetParameters(p);
  if (!LoadParametersFile(inv.file, p).ok) return Fail(err, inv.file + ": cannot be read");
  const MeasurementRead read = LoadMeasurement(*inv.measurement);
  if (!read.measurement) return Fail(err, read.error);
  std::string error;
  const graph::FitOptions options{inv.fromHz, inv.toHz, inv.smoothing, inv.maxBoostDb};
  const auto target = graph::SmoothedOnGrid(*read.measurement, options, error);
  if (!target) return Fail(err, *inv.measurement + ": " + error);
  if (!OutputDirectoryExists(*inv.output, error)) return Fail(err, error);

  const graph::StageFit fit = graph::FitStage(*target, StageBandCount(inv.stage), inv.maxBoostDb);
  SetStageBands(p, inv.stage, fit.bands);
  const bool saved = SaveParametersWhole(*inv.output, p, error);
  if (!saved) return Fail(err, error);
  std::fputs((inv.json ? Json(fit) : Text(fit)).c_str(), out);
  return kExitOk;
}

}  // namespace corvella::cli
