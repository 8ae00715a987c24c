// corvella-cli: the window's engine, frames and timers from the command line, for scripts and
// batch set-up of many units.
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "cli/autoeq_command.h"
#include "cli/cli_options.h"
#include "cli/diff_output.h"
#include "cli/filter_commands.h"
#include "cli/fleet_command.h"
#include "cli/json_results.h"
#include "cli/plot_curves.h"
#include "cli/plot_image.h"
#include "model/output_file.h"
#if CORVELLA_SERVE
#include "cli/serve_command.h"
#endif
#include "cli/show_text.h"
#include "cli/system_plot.h"
#include "cli/unit_commands.h"
#include "link/journal_decoder.h"
#include "link/network_address.h"
#include "link/port_table.h"
#include "model/parameters_file.h"

namespace {

using namespace corvella;
using namespace corvella::cli;
namespace fs = std::filesystem;

int UsageError(const std::string& message) {
  std::fprintf(stderr, "corvella-cli: %s\nTry 'corvella-cli --help'.\n", message.c_str());
  return kExitUsage;
}

int FileError(const std::string& message) {
  std::fprintf(stderr, "corvella-cli: %s\n", message.c_str());
  return kExitUsage;
}

// Why a parameters file cannot be taken, or nothing when it can.
std::optional<std::string> CheckParametersFile(const fs::path& path) {
  ProgramParameters scratch{};
  const FileResult loaded = LoadParametersFile(path, scratch);
  if (loaded.ok) return std::nullopt;
  if (loaded.failure == FileFailure::WrongLength) {
    return path.string() + ": " + std::string(kFileInvalidText) +
           " (a parameters file has exactly 168 bytes)";
  }
  return path.string() + ": " + (loaded.systemText.empty() ? "cannot be read" : loaded.systemText);
}

// A file for the offline commands, taken as the window opens it: over the start-up values, then
// repaired, with the window's warning when anything had to be.
std::optional<ProgramParameters> OpenOffline(const fs::path& path) {
  ProgramParameters p{};
  ResetParameters(p);
  if (!LoadParametersFile(path, p).ok) return std::nullopt;
  if (RepairParameters(p)) {
    std::fprintf(stderr, "%s: %s\n", std::string(kRepairWarningCaption).c_str(),
                 std::string(kRepairWarningText).c_str());
  }
  return p;
}

// --ports, else CORVELLA_PORTS, else the devices present; with --demo and neither of the first
// two, the demo unit alone, so a try-out never probes real lines.
std::optional<link::PortTable> PortsFor(const Invocation& inv, std::string& error) {
  if (inv.portsList) {
    auto table = link::PortTable::Parse(*inv.portsList);
    if (!table) {
      error = "--ports needs a comma-separated list of serial devices";
      if (auto bad = link::BadNetworkEntry(*inv.portsList)) error = "--ports: " + *bad;
    }
    return table;
  }
  // An empty or unusable variable is passed over, as the window passes over it.
  if (const char* environment = std::getenv(link::kPortsEnvironmentVariable)) {
    if (auto table = link::PortTable::Parse(environment)) return table;
  }
  if (inv.demo) return link::PortTable{};
  return link::PortTable::FromSystem();
}

// The parameters file a command sends, checked before any port is opened.
std::optional<fs::path> InputFor(const Invocation& inv, std::string& error) {
  fs::path path;
  if (inv.command == Command::Download || inv.command == Command::Verify ||
      inv.command == Command::Sync ||
      (inv.command == Command::Fleet && inv.fleetAction == FleetAction::Download)) {
    path = inv.file;
  } else if (inv.command == Command::LoadDefault) {
    if (!inv.file.empty()) {
      path = inv.file;
    } else if (const auto found = FindFactoryDefault(ExecutableDirectory())) {
      path = *found;
    } else {
      error = std::string(kFactoryDefaultMissingCaption) + ": " +
              std::string(kFactoryDefaultMissingText) + " (" +
              std::string(kFactoryDefaultFileName) + ")";
      return std::nullopt;
    }
  } else {
    return std::nullopt;
  }
  if (const auto why = CheckParametersFile(path)) {
    error = *why;
    return std::nullopt;
  }
  return path;
}

// Two files compared as they are stored, not repaired: an out-of-range code is a difference too.
int RunDiff(const Invocation& inv) {
  ProgramParameters sets[2]{};
  const std::string* files[2] = {&inv.file, &inv.secondFile};
  for (int i = 0; i < 2; ++i) {
    if (const auto why = CheckParametersFile(*files[i])) return FileError(*why);
    ResetParameters(sets[i]);
    if (!LoadParametersFile(*files[i], sets[i]).ok)
      return FileError(*files[i] + ": cannot be read");
  }
  const auto differences = DiffParameters(sets[0], sets[1]);
  const std::string out = inv.json ? DiffJson(differences) : DiffText(differences);
  std::fputs(out.c_str(), stdout);
  return differences.empty() ? kExitOk : kExitUnit;
}

// A journal written by --log, each frame decoded as the window's journal shows it.
int RunJournal(const Invocation& inv) {
  std::FILE* file = std::fopen(inv.file.c_str(), "rb");
  if (file == nullptr) return FileError(inv.file + ": " + std::strerror(errno));
  link::JournalReader reader;
  std::string line;
  const auto print = [&reader, &line] {
    const auto decoded = reader.Next(line);
    const std::string out = decoded ? link::FormatDecodedLine(*decoded) : line;
    std::fputs((out + "\n").c_str(), stdout);
    line.clear();
  };
  for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) {
    if (c == '\n') {
      print();
    } else {
      line += static_cast<char>(c);
    }
  }
  // A journal cut off in the middle of its last line still shows that line.
  if (!line.empty()) print();
  const bool failed = std::ferror(file) != 0;
  std::fclose(file);
  return failed ? FileError(inv.file + ": cannot be read") : kExitOk;
}

int RunOffline(const Invocation& inv) {
  if (inv.command == Command::Diff) return RunDiff(inv);
  if (inv.command == Command::AutoEq || inv.command == Command::ImportFilters ||
      inv.command == Command::ExportFilters) {
    // These keep every byte of the set but the stage's bands: it is read as stored, not repaired.
    if (const auto why = CheckParametersFile(inv.file)) return FileError(*why);
    if (inv.command == Command::AutoEq) return RunAutoEq(inv, stdout, stderr);
    if (inv.command == Command::ImportFilters) return RunImportFilters(inv, stdout, stderr);
    return RunExportFilters(inv, stdout, stderr);
  }
  if (inv.command == Command::Journal) return RunJournal(inv);
  if (const auto why = CheckParametersFile(inv.file)) return FileError(*why);
  const auto p = OpenOffline(inv.file);
  if (!p) return FileError(inv.file + ": cannot be read");
  if (inv.systemGraph || inv.command == Command::Align) {
    return RunSystemCommand(inv, *p, stdout, stderr);
  }
  if (inv.command == Command::Show) {
    std::fputs((inv.json ? ShowJson(*p) : ShowText(*p)).c_str(), stdout);
    return kExitOk;
  }
  std::string error;
  if (!OutputDirectoryExists(*inv.output, error)) return FileError(error);
  // Images and SVG are drawn without a screen or a window system: no application object needed.
  if (!WritePlot(*p, inv.graph, inv.channel, inv.format, *inv.output, error)) {
    return FileError(error);
  }
  if (inv.json) {
    const auto curves = PlotCurves(*p, inv.graph, inv.channel);
    std::fputs(PlotJson(*inv.output, inv.format, inv.graph, inv.channel, curves).c_str(), stdout);
  }
  return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string_view(argv[1]) == "--version") {
    std::puts("corvella-cli " CORVELLA_VERSION);
    return kExitOk;
  }
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.emplace_back(argv[i]);
  const ParseOutcome parsed = ParseArguments(arguments);
  if (!parsed.invocation) return UsageError(parsed.error);
  const Invocation& inv = *parsed.invocation;
  if (inv.help) {
    std::fputs(inv.helpText.c_str(), stdout);
    return kExitOk;
  }
  if (!TalksToUnit(inv.command)) return RunOffline(inv);

  std::string error;
  auto ports = PortsFor(inv, error);
  if (!ports) return UsageError(error);
  const auto input = InputFor(inv, error);
  if (!error.empty()) return FileError(error);
  for (const auto& target :
       {inv.command == Command::Upload ? std::optional(inv.file) : std::optional<std::string>(),
        inv.output}) {
    if (target && !OutputDirectoryExists(*target, error)) return FileError(error);
  }

  if (inv.command == Command::Fleet) return RunFleetCommand(inv, std::move(*ports), stdout, stderr);
  if (inv.command == Command::Serve) {
#if CORVELLA_SERVE
    return RunServeCommand(inv, std::move(*ports), stderr);
#else
    return UsageError("serve is not part of this build (it needs liblo and libmosquitto)");
#endif
  }
  return RunUnitCommand(inv, std::move(*ports), input, stdout, stderr);
}
