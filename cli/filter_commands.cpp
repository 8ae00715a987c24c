#include "cli/filter_commands.h"

#include <fstream>
#include <string>

#include "model/output_file.h"
#include "cli/unit_commands.h"
#include "graph/filter_import.h"
#include "model/eq_stage.h"
#include "model/filter_text.h"
#include "model/parameter_listing.h"
#include "model/parameters_file.h"
#include "model/scales.h"

namespace corvella::cli {

namespace {

// Filter text is a few lines; anything much larger is not one.
constexpr std::size_t kMaxFilterTextBytes = 1u << 20;

int Fail(std::FILE* err, const std::string& message) {
  std::fprintf(err, "corvella-cli: %s\n", message.c_str());
  return kExitUsage;
}

std::optional<std::string> ReadText(const std::string& path, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + ": cannot be read";
    return std::nullopt;
  }
  std::string text;
  char buffer[4096];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    text.append(buffer, static_cast<std::size_t>(in.gcount()));
    if (text.size() > kMaxFilterTextBytes) {
      error = path + ": too large for filter text";
      return std::nullopt;
    }
  }
  return text;
}

std::string BandText(const PeqBand& band) {
  return std::string(PeqTypeName(band.type)) + " " + std::string(FrequencyText(band.frequency)) +
         std::string(FrequencyUnit(band.frequency)) + " " + EqGainText(band.gain) + "dB Q " +
         std::string(QText(band.q));
}

}  // namespace

int RunImportFilters(const Invocation& inv, std::FILE* out, std::FILE* err) {
  ProgramParameters p{};
  ResetParameters(p);
  if (!LoadParametersFile(inv.file, p).ok) return Fail(err, inv.file + ": cannot be read");
  std::string error;
  const auto text = ReadText(inv.secondFile, error);
  if (!text) return Fail(err, error);
  const FilterTextRead read = ParseFilterText(*text);
  if (!read.filters) return Fail(err, inv.secondFile + ": " + read.error);
  const auto imported = graph::ImportFilters(*read.filters, StageBandCount(inv.stage), error);
  if (!imported) return Fail(err, inv.secondFile + ": " + error);
  if (!OutputDirectoryExists(*inv.output, error)) return Fail(err, error);
  SetStageBands(p, inv.stage, imported->bands);
  if (!SaveParametersWhole(*inv.output, p, error)) return Fail(err, error);
  // Each filter as read, then the band it became.
  for (std::size_t i = 0; i < read.filters->size(); ++i) {
    const TextFilter& f = (*read.filters)[i];
    std::fprintf(out, "band %zu: %s %g Hz %s dB Q %g -> %s\n", i + 1,
                 std::string(PeqTypeName(f.type)).c_str(), f.hz, FormatFixed(f.gainDb, 1).c_str(),
                 f.q, BandText(imported->bands[i]).c_str());
  }
  std::fprintf(out, "largest curve difference: %s dB\n",
               FormatFixed(imported->largestDifferenceDb, 2).c_str());
  return kExitOk;
}

int RunExportFilters(const Invocation& inv, std::FILE* out, std::FILE* err) {
  ProgramParameters p{};
  ResetParameters(p);
  if (!LoadParametersFile(inv.file, p).ok) return Fail(err, inv.file + ": cannot be read");
  const std::string text = FilterText(StageBands(p, inv.stage));
  if (!inv.output) {
    std::fputs(text.c_str(), out);
    return kExitOk;
  }
  std::string error;
  if (!OutputDirectoryExists(*inv.output, error) || !WriteTextWhole(*inv.output, text, error)) {
    return Fail(err, error);
  }
  return kExitOk;
}

}  // namespace corvella::cli
