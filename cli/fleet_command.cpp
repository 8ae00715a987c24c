#include "cli/fleet_command.h"

#ifndef _WIN32
#include <unistd.h>
#endif

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "cli/unit_commands.h"
#include "fleet/fleet.h"
#include "fleet/manifest.h"
#include "link/journal.h"
#include "sim/demo_unit.h"

namespace corvella::cli {
namespace {

namespace fs = std::filesystem;
// A port list in the environment counts as named by the user, as --ports does.
bool PortsFromEnvironment() {
  const char* list = std::getenv(link::kPortsEnvironmentVariable);
  return list != nullptr && link::PortTable::Parse(list).has_value();
}

// Progress lines are redrawn in place only where the escape sequences are sure to work: a POSIX
// terminal. A Windows console gets the plain lines a log gets.
bool RedrawsInPlace(std::FILE* stream) {
#ifdef _WIN32
  (void)stream;
  return false;
#else
  return ::isatty(::fileno(stream)) == 1;
#endif
}

std::string PhaseWords(fleet::Phase phase) {
  switch (phase) {
    case fleet::Phase::Search:
      return "searching IDs 1..10";
    case fleet::Phase::ProgramInfo:
      return "reading the program information";
    case fleet::Phase::Upload:
      return "upload";
    case fleet::Phase::Download:
      return "download";
    case fleet::Phase::Verify:
      return "verify";
    case fleet::Phase::Disconnect:
      return "goodbye";
    case fleet::Phase::Done:
      return "done";
  }
  return {};
}

bool Stepped(fleet::Phase phase) {
  return phase == fleet::Phase::Upload || phase == fleet::Phase::Download ||
         phase == fleet::Phase::Verify;
}

std::string ProgressLine(const fleet::Progress& p, bool withSteps) {
  std::string line = p.portName + ":";
  if (p.id != 0) {
    line += " ID " + std::to_string(p.id);
    if (p.unitCount > 1) {
      line += " (" + std::to_string(p.unitIndex) + "/" + std::to_string(p.unitCount) + ")";
    }
  }
  line += " " + PhaseWords(p.phase);
  if (withSteps && Stepped(p.phase)) {
    const int percent = p.steps > 0 ? p.step * 100 / p.steps : 0;
    line += " step " + std::to_string(p.step) + " of " + std::to_string(p.steps) + " " +
            std::to_string(percent) + "%";
  }
  return line;
}

// One line per port: redrawn in place on a terminal, else a plain line whenever a port starts
// something new (steps are not repeated line by line into a log).
class ProgressDisplay {
 public:
  ProgressDisplay(std::FILE* err, bool terminal, bool quiet, std::vector<std::string> ports)
      : err_(err), terminal_(terminal), quiet_(quiet), ports_(std::move(ports)),
        lines_(ports_.size()) {}

  void Show(const fleet::Progress& p) {
    if (quiet_) return;
    const auto at = std::find(ports_.begin(), ports_.end(), p.port);
    if (at == ports_.end()) return;
    const auto index = static_cast<std::size_t>(at - ports_.begin());
    if (!terminal_) {
      if (p.step == 0) std::fprintf(err_, "%s\n", ProgressLine(p, false).c_str());
      std::fflush(err_);
      return;
    }
    lines_[index] = ProgressLine(p, true);
    if (drawn_) std::fprintf(err_, "\x1b[%zuA", lines_.size());
    for (const std::string& line : lines_) std::fprintf(err_, "\r\x1b[2K%s\n", line.c_str());
    drawn_ = true;
    std::fflush(err_);
  }

 private:
  std::FILE* err_;
  bool terminal_;
  bool quiet_;
  std::vector<std::string> ports_;
  std::vector<std::string> lines_;
  bool drawn_ = false;
};

// A name as it came from the unit, with control characters (a tab or line end would break the
// rows) shown as "?".
std::string Printable(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  return text;
}

// A name field from the unit or a file without its padding ("." or a file's zero bytes), for the
// tables.
std::string Trimmed(std::string text) {
  text = text.substr(0, text.find('\0'));
  while (!text.empty() && (text.back() == '.' || text.back() == ' ')) text.pop_back();
  return Printable(text);
}

double Seconds(std::chrono::milliseconds elapsed) {
  return std::round(static_cast<double>(elapsed.count()) / 10.0) / 100.0;
}

// The table after a backup or download, in columns.
void PrintSummary(const fleet::Report& report, bool backup, std::FILE* out) {
  std::vector<std::vector<std::string>> rows = {
      {"PORT", "ID", "DEVICE", "PROGRAM", "RESULT", "TIME", backup ? "FILE" : "DETAIL"}};
  for (const fleet::UnitResult& u : report.Units()) {
    const std::string program =
        u.programNumber ? std::to_string(*u.programNumber) + " " + Trimmed(u.programName) : "-";
    char time[32];
    std::snprintf(time, sizeof time, "%.1f s", Seconds(u.elapsed));
    std::string last = u.ok ? (backup ? u.file.filename().string() : u.detail) : u.detail;
    if (u.ok && u.differences) last = "verified";
    if (!u.olderFile.empty()) {
      last += "; " + u.olderFile.filename().string() + " is older, from " + u.olderFileTime;
    }
    rows.push_back({u.portName, std::to_string(u.id), Trimmed(u.deviceName), program,
                    u.ok ? "ok" : "FAILED", time, last});
  }
  std::vector<std::size_t> widths(rows.front().size(), 0);
  for (const auto& row : rows)
    for (std::size_t c = 0; c < row.size(); ++c) widths[c] = std::max(widths[c], row[c].size());
  for (const auto& row : rows) {
    std::string line;
    for (std::size_t c = 0; c < row.size(); ++c) {
      line += row[c];
      if (c + 1 < row.size()) line += std::string(widths[c] - row[c].size() + 2, ' ');
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    std::fprintf(out, "%s\n", line.c_str());
  }
}

void PrintScan(const fleet::Report& report, bool asJson, std::FILE* out) {
  if (asJson) {
    std::fputs(fleet::UnitsJson(report).c_str(), out);
    return;
  }
  for (const fleet::UnitResult& u : report.Units()) {
    const std::string number = u.programNumber ? std::to_string(*u.programNumber) : "-";
    std::fprintf(out, "%s\t%d\t%s\t%d\t%s\t%s\n", u.port.c_str(), u.id,
                 Printable(u.deviceName).c_str(), u.kind, number.c_str(),
                 u.programNumber ? Printable(u.programName).c_str() : "-");
  }
}

// --units names a port by its device, the device's base name or COMn; the fleet gets the device.
bool ResolveUnits(const std::vector<FleetUnit>& named, std::string_view option,
                  const link::PortTable& ports, std::vector<fleet::UnitChoice>& units,
                  std::string& error) {
  for (const FleetUnit& wanted : named) {
    std::optional<std::string> path;
    for (const std::string& candidate : ports.Paths()) {
      if (candidate == wanted.port || fleet::NamesPort({wanted.port, wanted.id}, candidate)) {
        path = candidate;
        break;
      }
    }
    if (!path && wanted.port.size() > 3 && wanted.port.compare(0, 3, "COM") == 0) {
      try {
        path = ports.PathFor(std::stoi(wanted.port.substr(3)));
      } catch (const std::exception&) {
        path.reset();
      }
    }
    if (!path) {
      error = std::string(option) + ": no port " + wanted.port + " among the ports searched";
      return false;
    }
    units.push_back({*path, wanted.id});
  }
  return true;
}

}  // namespace

int RunFleetCommand(const Invocation& inv, link::PortTable ports, std::FILE* out,
                    std::FILE* err) {
  const auto say = [err](const std::string& line) {
    std::fprintf(err, "corvella-cli: %s\n", line.c_str());
    std::fflush(err);
  };
  fleet::Request request;
  request.fast = inv.fast;
  request.job = inv.fleetAction == FleetAction::Scan     ? fleet::Job::Scan
                : inv.fleetAction == FleetAction::Backup ? fleet::Job::Backup
                                                         : fleet::Job::Download;
  if (request.job == fleet::Job::Backup) {
    std::error_code ec;
    if (fs::exists(inv.file, ec) && !fs::is_directory(inv.file, ec)) {
      say(inv.file + ": not a folder");
      return kExitUsage;
    }
    request.folder = inv.file;  // created (one level) when missing
  }
  // Ports nobody named are the system's list: one with nothing behind it is not a failure.
  request.portsFromSystem = !inv.portsList && !inv.demo && !PortsFromEnvironment();
  if (request.portsFromSystem) ports = link::PortTable::PresentPorts();
  request.expectCount = inv.expectCount;
  request.file = inv.file;
  request.verify = inv.verify;

  std::vector<std::unique_ptr<sim::VirtualUnitHost>> demo;
  if (inv.demo) {
    std::string error;
    demo = sim::StartDemoInstallation(&error);
    if (demo.empty()) {
      say("cannot start the virtual units: " + error);
      return kExitUnit;
    }
    for (auto line = demo.rbegin(); line != demo.rend(); ++line) ports.PutFirst((*line)->SlavePath());
  }
  if (ports.Size() == 0) {
    say("fleet " + std::string(request.job == fleet::Job::Scan ? "scan" : "") +
        ": no serial ports to search (--ports LIST)");
    return kExitUnit;
  }
  std::string error;
  if (!ResolveUnits(inv.fleetUnits, "--units", ports, request.units, error) ||
      !ResolveUnits(inv.expectUnits, "--expect", ports, request.expectUnits, error)) {
    std::fprintf(err, "corvella-cli: %s\nTry 'corvella-cli --help'.\n", error.c_str());
    return kExitUsage;
  }
  link::Journal journal;
  if (inv.logPath) {
    if (!journal.Open(*inv.logPath)) {
      say(journal.LastError());
      return kExitUsage;
    }
    request.journal = &journal;
  }

  ProgressDisplay display(err, RedrawsInPlace(err), inv.quiet,
                          fleet::PortsToWork(ports, request));
  const fleet::Report report =
      fleet::Run(ports, request, [&display](const fleet::Progress& p) { display.Show(p); });

  if (request.job == fleet::Job::Scan) {
    PrintScan(report, inv.json, out);
  } else if (inv.json) {
    // What a backup leaves in manifest.json, for a download too.
    std::fputs(fleet::ManifestJson(report).c_str(), out);
  } else {
    PrintSummary(report, request.job == fleet::Job::Backup, out);
  }
  std::fflush(out);
  int status = report.AllOk() ? kExitOk : kExitUnit;
  if (request.job == fleet::Job::Backup && fs::is_directory(request.folder) &&
      !fleet::WriteManifest(report, request.folder, error)) {
    say(error);
    status = kExitUnit;
  }
  for (const std::string& problem : report.problems) say("fleet: " + problem);
  for (const fleet::PortResult& port : report.ports) {
    if (!port.ok) say("fleet: " + port.port + ": " + port.detail);
    for (const fleet::UnitResult& u : port.units) {
      if (!u.ok) say("fleet: " + port.port + " ID " + std::to_string(u.id) + ": " + u.detail);
    }
  }
  if (report.Units().empty() && report.problems.empty()) {
    say("fleet: no unit found");
    status = kExitUnit;
  }
  journal.Close();
  return status;
}

}  // namespace corvella::cli
