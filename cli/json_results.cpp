#include "cli/json_results.h"

#include <cmath>
#include <nlohmann/json.hpp>
#include <span>

#include "fleet/fleet.h"
#include "graph/graph_frame.h"
#include "model/latin1.h"
#include "model/scales.h"

namespace corvella::cli {
namespace {

// Keys in the order written, as a reader expects them.
using json = nlohmann::ordered_json;

std::string Dump(const json& value) {
  return value.dump(2) + "\n";
}

// Figures are computed in full precision; a script wants them as the window shows them, not with
// seventeen digits of noise.
double Rounded(double value, int decimals) {
  const double scale = std::pow(10.0, decimals);
  // Adding zero turns a rounded -0.0 into 0.
  return std::round(value * scale) / scale + 0.0;
}

json Side(const ParameterRow& row) {
  return {{"code", row.isText ? json(nullptr) : json(row.code)}, {"text", Latin1ToUtf8(row.text)}};
}

json Differences(const std::vector<ParameterDifference>& differences) {
  json all = json::array();
  for (const ParameterDifference& d : differences) {
    all.push_back({{"section", d.a.section},
                   {"parameter", d.a.parameter},
                   {"a", Side(d.a)},
                   {"b", Side(d.b)}});
  }
  return all;
}

json OptionalText(const std::optional<std::string>& text) {
  return text ? json(*text) : json(nullptr);
}

std::string FormatName(PlotFormat format) {
  switch (format) {
    case PlotFormat::Png:
      return "png";
    case PlotFormat::Svg:
      return "svg";
    case PlotFormat::Csv:
      return "csv";
  }
  return {};
}

std::string GraphName(GraphKind graph) {
  switch (graph) {
    case GraphKind::InputPeq:
      return "input-peq";
    case GraphKind::OutputPeq:
      return "output-peq";
    case GraphKind::Crossover:
      return "crossover";
    case GraphKind::Level:
      return "level";
  }
  return {};
}

// The --channel word for a page's own numbering (see Invocation::channel).
std::string ChannelName(GraphKind graph, int channel) {
  static constexpr const char* kInputs[] = {"mic", "line"};
  static constexpr const char* kOutputs[] = {"high", "low"};
  if (graph == GraphKind::Level) return channel < 2 ? kInputs[channel] : kOutputs[channel - 2];
  return graph == GraphKind::InputPeq ? kInputs[channel] : kOutputs[channel];
}

// A curve's highest and lowest point; a point not drawn (NaN) is passed over, and a curve drawn
// nowhere has null figures.
json Extremes(const std::string& name, std::span<const double> db, std::span<const double> hz) {
  std::optional<std::size_t> high;
  std::optional<std::size_t> low;
  for (std::size_t k = 0; k < db.size() && k < hz.size(); ++k) {
    if (std::isnan(db[k])) continue;
    if (!high || db[k] > db[*high]) high = k;
    if (!low || db[k] < db[*low]) low = k;
  }
  const auto figure = [](const std::optional<std::size_t>& at, std::span<const double> values,
                         int decimals) {
    return at ? json(Rounded(values[*at], decimals)) : json(nullptr);
  };
  return {{"name", name},
          {"maxDb", figure(high, db, 2)},
          {"maxHz", figure(high, hz, 1)},
          {"minDb", figure(low, db, 2)},
          {"minHz", figure(low, hz, 1)}};
}

json Score(const graph::AlignmentScore& score) {
  return {{"crossoverHz", Rounded(score.crossoverHz, 1)},
          {"fromHz", Rounded(score.fromHz, 1)},
          {"toHz", Rounded(score.toHz, 1)},
          {"rmsDb", Rounded(score.rmsDb, 2)}};
}

}  // namespace

std::string DiffJson(const std::vector<ParameterDifference>& differences) {
  return Dump(Differences(differences));
}

std::string ScanJson(const std::vector<ScannedUnit>& units) {
  json all = json::array();
  for (const ScannedUnit& u : units) {
    all.push_back({{"port", u.port},
                   {"portName", fleet::PortName(u.port)},
                   {"id", u.id},
                   {"deviceName", Latin1ToUtf8(u.deviceName)},
                   {"kind", u.kind}});
  }
  return Dump(all);
}

std::string ProgramsJson(const std::array<ProgramSlot, 6>& slots) {
  json all = json::array();
  for (std::size_t n = 0; n < slots.size(); ++n) {
    all.push_back({{"memory", n + 1},
                   {"used", slots[n].used},
                   {"name", slots[n].used ? json(Latin1ToUtf8(slots[n].name)) : json(nullptr)}});
  }
  return Dump(all);
}

std::string ShowJson(const ProgramParameters& p) {
  json all = json::array();
  for (const ParameterRow& row : ListParameters(p)) {
    json entry = {{"section", row.section}, {"parameter", row.parameter}};
    entry.update(Side(row));
    entry["sentAs"] = row.sentAs.empty() ? json(nullptr) : json(Latin1ToUtf8(row.sentAs));
    all.push_back(std::move(entry));
  }
  return Dump(all);
}

std::string DownloadJson(const TransferRecord& record) {
  const json document = {
      {"repaired", Differences(record.repaired)},
      {"differences", record.differences ? Differences(*record.differences) : json(nullptr)}};
  return Dump(document);
}

std::string SyncJson(const TransferRecord& record) {
  const char* sent = record.sent == TransferRecord::Sent::File    ? "file"
                     : record.sent == TransferRecord::Sent::Edits ? "edits"
                                                                  : "nothing";
  const json document = {
      {"repaired", Differences(record.repaired)},
      {"sent", sent},
      {"edits", Differences(record.edits)},
      {"differences", record.differences ? Differences(*record.differences) : json(nullptr)}};
  return Dump(document);
}

std::string PlotJson(const std::string& file, PlotFormat format, GraphKind graph, int channel,
                     const std::vector<NamedCurve>& curves) {
  json named = json::array();
  for (const NamedCurve& c : curves) {
    named.push_back(Extremes(c.name, c.db, graph::GraphFrequencyList));
  }
  const json document = {{"file", file},
                         {"format", FormatName(format)},
                         {"graph", GraphName(graph)},
                         {"channel", ChannelName(graph, channel)},
                         {"points", graph::kGraphPoints},
                         {"curves", named}};
  return Dump(document);
}

std::string SystemPlotJson(const SystemPlotFacts& facts, const graph::SystemCurves& curves) {
  json named = json::array();
  static constexpr const char* kNames[] = {"high", "low", "sum"};
  for (int c = 0; c < 3; ++c) named.push_back(Extremes(kNames[c], curves.Of(c).db, curves.hz));
  const json document = {{"file", facts.file},
                         {"format", FormatName(facts.format)},
                         {"graph", "system"},
                         {"input", facts.micInput ? "mic" : "line"},
                         {"highDriver", OptionalText(facts.highDriver)},
                         {"lowDriver", OptionalText(facts.lowDriver)},
                         {"points", curves.hz.size()},
                         {"curves", named},
                         {"crossover", facts.crossover ? Score(*facts.crossover) : json(nullptr)}};
  return Dump(document);
}

std::string AlignJson(const graph::AlignmentSuggestion& s, const std::optional<std::string>& file) {
  const json document = {{"output", s.output == Output::High ? "HIGH" : "LOW"},
                         {"delaySteps", s.delaySteps},
                         {"delayMs", Rounded(DelayMs(s.delaySteps), 4)},
                         {"polarity", std::string(PhaseText(s.polarity))},
                         {"before", Score(s.before)},
                         {"after", Score(s.after)},
                         {"file", OptionalText(file)}};
  return Dump(document);
}

}  // namespace corvella::cli
