#include "fleet/fleet.h"

#include <algorithm>
#include <cctype>
#include <ctime>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <utility>

#ifdef __linux__
#include <fcntl.h>
#include <linux/serial.h>
#include <sys/ioctl.h>
#include <unistd.h>
#endif
#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "core/outcome_words.h"
#include "core/unit_controller.h"
#include "fleet/unit_view.h"
#include "link/journal.h"
#include "link/network_address.h"
#include "link/owner_queue.h"
#include "link/serial_port.h"
#include "link/steady_timer_host.h"
#include "model/parameter_listing.h"

namespace corvella::fleet {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

std::chrono::milliseconds Since(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
}

std::string Text(const std::array<char, kProgramNameLength>& field) {
  return {field.begin(), field.end()};
}

// Whether a device the system lists has a port behind it. Linux makes a ttyS node for every UART
// the kernel might drive; one with no chip behind it reports an unknown UART type (or does not
// open at all).
bool HasHardware(const std::string& port) {
#ifdef __linux__
  const std::string base = fs::path(port).filename().string();
  if (base.rfind("ttyS", 0) != 0) return true;
  const int fd = ::open(port.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  serial_struct info{};
  const bool known = ::ioctl(fd, TIOCGSERIAL, &info) != 0 || info.type != PORT_UNKNOWN;
  ::close(fd);
  return known;
#else
  (void)port;
  return true;
#endif
}

// "2026-12-07 08:04", local time, of a file's last write.
std::string WrittenAt(const fs::path& path) {
  std::error_code error;
  const auto written = fs::last_write_time(path, error);
  if (error) return {};
  const auto system = std::chrono::time_point_cast<std::chrono::system_clock::duration>(
      written - fs::file_time_type::clock::now() + std::chrono::system_clock::now());
  return link::LocalTimeText(system, "%Y-%m-%d %H:%M");
}

// One port's work, on its own thread: the search, then each unit in turn.
class PortWorker {
 public:
  PortWorker(std::string port, const Request& request, std::function<void(const Progress&)> sink)
      : request_(request), sink_(std::move(sink)) {
    result_.port = std::move(port);
    result_.portName = PortName(result_.port);
    progress_.port = result_.port;
    progress_.portName = result_.portName;
  }

  PortResult Run() {
    const auto start = Clock::now();
    Open();
    Work();
    core_.reset();
    serial_.reset();
    result_.elapsed = Since(start);
    Enter(Phase::Done, 0);
    return std::move(result_);
  }

 private:
  void Open() {
    serial_ = std::make_unique<link::SerialPort>(owner_, link::PortTable({result_.port}),
                                                 request_.journal);
    serial_->SetJournalName(result_.port);
    auto timers = std::make_unique<link::SteadyTimerHost>(owner_);
    timers_ = timers.get();
    view_.SetProgressReceiver([this](const link::Progress& p) { Stepped(p); });
    core_ = std::make_unique<core::UnitController>(*serial_, std::move(timers), view_, 1);
    core_->engine().SetSearchPasses(request_.searchPasses);
    core_->engine().SetFastTransfer(request_.fast);
  }

  void Work() {
    if (request_.job == Job::Download && !core_->OpenParametersFile(request_.file).ok) {
      FailPort(request_.file.string() + ": cannot be read");
      return;
    }
    if (request_.portsFromSystem && !HasHardware(result_.port)) {
      NotPresent();
      return;
    }
    std::vector<link::FoundDevice> found = Search();
    if (!result_.ok || result_.state == PortState::NotPresent) return;
    const auto isFound = [&](int id) {
      return std::any_of(found.begin(), found.end(), [&](const auto& f) { return f.id == id; });
    };
    // A unit that missed its probe while others answered ends the search early: an expected unit
    // not among those found gets one more search before it counts as missing.
    const std::vector<int> expected = IdsNamed(request_.expectUnits);
    if (std::any_of(expected.begin(), expected.end(), [&](int id) { return !isFound(id); })) {
      for (const link::FoundDevice& unit : Search()) {
        if (!isFound(unit.id)) found.push_back(unit);
      }
      std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.id < b.id; });
    }
    std::vector<link::FoundDevice> chosen;
    std::vector<int> missing;
    for (const int id : expected)
      if (!isFound(id)) missing.push_back(id);
    if (request_.job == Job::Download && !request_.units.empty()) {
      for (const int id : IdsNamed(request_.units)) {
        const auto unit = std::find_if(found.begin(), found.end(), [&](const auto& f) {
          return f.id == id;
        });
        if (unit == found.end()) {
          if (std::find(missing.begin(), missing.end(), id) == missing.end()) missing.push_back(id);
        } else {
          chosen.push_back(*unit);
        }
      }
    } else {
      chosen = found;
    }
    progress_.unitCount = static_cast<int>(chosen.size());
    for (const link::FoundDevice& unit : chosen) {
      ++progress_.unitIndex;
      result_.units.push_back(runaway_ ? Skipped(unit) : WorkUnit(unit));
    }
    for (const int id : missing) {
      UnitResult r = Blank(id);
      r.outcome = link::Outcome::NotFound;
      r.detail = "no unit with ID " + std::to_string(id) + " answered";
      result_.units.push_back(std::move(r));
    }
    if (serial_->WasLost()) {
      result_.state = PortState::Lost;
      result_.ok = false;
      result_.detail = "the port went away during the run";
    }
  }

  // The IDs of `choices` that name this port, each once, in order.
  std::vector<int> IdsNamed(const std::vector<UnitChoice>& choices) const {
    std::vector<int> ids;
    for (const UnitChoice& choice : choices) {
      if (NamesPort(choice, result_.port) &&
          std::find(ids.begin(), ids.end(), choice.id) == ids.end()) {
        ids.push_back(choice.id);
      }
    }
    return ids;
  }

  void NotPresent() {
    result_.state = PortState::NotPresent;
    result_.detail = "not present";
  }

  std::vector<link::FoundDevice> Search() {
    Enter(Phase::Search, 0);
    const int guardMs = core::UnitController::SearchLimitMs(1, request_.searchPasses);
    const auto end = RunChain([this] {
      core_->Search();
      return true;
    }, link::Chain::Search, guardMs);
    if (!end) {
      FailPort("the search did not end within " + std::to_string(guardMs / 1000) + " s");
      return {};
    }
    // A device that would not open is passed over by the search; say so instead of calling the
    // port empty. One the system lists but that is not there is no failure.
    if (view_.Found().empty() && !serial_->IsOpen() && !serial_->WasLost()) {
      if (request_.portsFromSystem) {
        NotPresent();
      } else {
        FailPort("cannot open the port");
      }
    }
    return view_.Found();
  }

  UnitResult WorkUnit(const link::FoundDevice& unit) {
    const auto start = Clock::now();
    UnitResult r = Blank(unit.id);
    r.deviceName = unit.name;
    r.kind = unit.kind;
    Session& session = core_->session();
    const int repairsBefore = view_.Repairs();
    bool ok = false;
    switch (request_.job) {
      case Job::Scan:
        ok = Chain(r, Phase::ProgramInfo, link::Chain::ProgramInfo, [&] {
          return core_->engine().ConnectTo(unit, link::kConnectProgramInfo);
        });
        break;
      case Job::Backup:
        ok = Chain(r, Phase::Upload, link::Chain::Upload,
                   [&] { return core_->engine().ConnectTo(unit, 0); });
        break;
      case Job::Download:
        ok = Chain(r, Phase::Download, link::Chain::Download,
                   [&] { return core_->engine().ConnectTo(unit, 1); });
        break;
    }
    // Each of the three ends with the unit's program number and name in the PC's set (after a
    // download: the number read back and the file's name, which the unit takes).
    if (ok) {
      r.programNumber = session.parameters.programNumber;
      r.programName = Text(session.parameters.programName);
    }
    if (ok && request_.job == Job::Backup && view_.Repairs() > repairsBefore) {
      // A script only sees the result: a garbled program is not kept as if it were sound.
      ok = false;
      r.outcome = link::Outcome::WrongAnswer;
      r.detail = std::string(kRepairWarningCaption) + ": " + std::string(kRepairWarningText);
    }
    if (ok && request_.job == Job::Download && request_.verify) ok = Verify(r);
    if (!runaway_ && session.link.linkConnected != 0) {
      UnitResult bye = r;
      if (!Chain(bye, Phase::Disconnect, link::Chain::Disconnect,
                 [&] {
                   core_->Disconnect();
                   return true;
                 }) &&
          ok) {
        ok = false;
        r.outcome = bye.outcome;
        r.detail = "the unit did not confirm the goodbye: " + bye.detail;
      }
    }
    // The file is written only once everything, the goodbye included, went well.
    if (ok && request_.job == Job::Backup) ok = Save(r);
    if (!ok && request_.job == Job::Backup) {
      // An earlier run's file of this unit stays; it must not pass for this run's.
      const fs::path older = request_.folder / BackupFileName(result_.portName, r.id, r.deviceName);
      std::error_code error;
      if (fs::exists(older, error)) {
        r.olderFile = older;
        r.olderFileTime = WrittenAt(older);
      }
    }
    r.ok = ok;
    r.elapsed = Since(start);
    return r;
  }

  bool Verify(UnitResult& r) {
    if (!Chain(r, Phase::Verify, link::Chain::ReadUnit,
               [&] { return core_->ReadBack(core_->parameters()); })) {
      return false;
    }
    const auto differences = core_->ReadBackDifferences();
    r.differences = differences.size();
    if (differences.empty()) return true;
    r.outcome = link::Outcome::WrongAnswer;
    r.detail = std::to_string(differences.size()) + " parameter" +
               (differences.size() == 1 ? "" : "s") + " differ from the file";
    return false;
  }

  bool Save(UnitResult& r) {
    const fs::path path =
        request_.folder / BackupFileName(result_.portName, r.id, r.deviceName);
    view_.Clear();
    const FileResult saved = core_->SaveParametersFile(path);
    if (saved.ok) {
      r.file = path;
      return true;
    }
    r.detail = path.string() + ": " +
               (saved.systemText.empty() ? std::string(kFileSaveFailedText) : saved.systemText);
    return false;
  }

  // Runs one chain to its end; false, with the reason in `r`, when it did not end well.
  bool Chain(UnitResult& r, Phase phase, link::Chain chain, const std::function<bool()>& start) {
    Enter(phase, r.id);
    const auto end = RunChain(start, chain, core::UnitController::ChainLimitMs());
    if (end && end->outcome == link::Outcome::Done) return true;
    if (!end) {
      r.outcome = link::Outcome::NoAnswer;
      r.detail = runaway_ ? "no end within " +
                                std::to_string(core::UnitController::ChainLimitMs() / 1000) + " s"
                          : core::OutcomeWords(link::Outcome::Refused);
      return false;
    }
    r.outcome = end->outcome;
    r.detail = end->detail.empty() ? core::OutcomeWords(end->outcome) : end->detail;
    // A box says more than the status line alone ("Warnning: Phase Set Failed!").
    if (!view_.LastBox().empty() && view_.LastBox().find(r.detail) != std::string::npos) {
      r.detail = view_.LastBox();
    }
    return false;
  }

  // Nothing when `start` was refused or the guard ran out (runaway_ then tells which).
  std::optional<UnitView::Ended> RunChain(const std::function<bool()>& start, link::Chain chain,
                                          int guardMs) {
    // Bytes that came in since the last chain are taken first.
    owner_.RunPending();
    view_.Clear();
    if (!start()) return std::nullopt;
    const auto ended = [&] { return view_.LastEnded() && view_.LastEnded()->chain == chain; };
    if (!timers_->RunUntil(ended, guardMs)) {
      runaway_ = true;
      return std::nullopt;
    }
    return view_.LastEnded();
  }

  UnitResult Blank(int id) const {
    UnitResult r;
    r.port = result_.port;
    r.portName = result_.portName;
    r.id = id;
    return r;
  }

  UnitResult Skipped(const link::FoundDevice& unit) const {
    UnitResult r = Blank(unit.id);
    r.deviceName = unit.name;
    r.kind = unit.kind;
    r.outcome = link::Outcome::NoAnswer;
    r.detail = "not tried: an earlier unit on this port never ended its exchange";
    return r;
  }

  void FailPort(std::string detail) {
    result_.state = PortState::Failed;
    result_.ok = false;
    result_.detail = std::move(detail);
  }

  void Enter(Phase phase, int id) {
    progress_.phase = phase;
    progress_.id = id;
    progress_.step = 0;
    progress_.steps = phase == Phase::ProgramInfo ? 1 : kTransferSteps;
    sink_(progress_);
  }

  // The engine's step of the chain this phase runs.
  void Stepped(const link::Progress& p) {
    progress_.step = p.step;
    progress_.steps = p.steps;
    sink_(progress_);
  }

  const Request& request_;
  std::function<void(const Progress&)> sink_;
  PortResult result_;
  Progress progress_;
  bool runaway_ = false;

  link::OwnerQueue owner_;
  UnitView view_;
  link::SteadyTimerHost* timers_ = nullptr;  // owned by the core
  // The core (which closes the port) goes before the port.
  std::unique_ptr<link::SerialPort> serial_;
  std::unique_ptr<core::UnitController> core_;
};

}  // namespace

std::vector<UnitResult> Report::Units() const {
  std::vector<UnitResult> all;
  for (const PortResult& port : ports) all.insert(all.end(), port.units.begin(), port.units.end());
  return all;
}

bool Report::AllOk() const {
  return problems.empty() && std::all_of(ports.begin(), ports.end(), [](const PortResult& port) {
    return port.ok && std::all_of(port.units.begin(), port.units.end(),
                                  [](const UnitResult& unit) { return unit.ok; });
  });
}

std::string SafeFileName(std::string_view text) {
  std::string out;
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    out += (std::isalnum(u) != 0 && u < 0x80) || c == '-' || c == '_' || c == '.' ? c : '_';
  }
  while (!out.empty() && (out.back() == '.' || out.back() == '_')) out.pop_back();
  // A leading dot would hide the file.
  if (!out.empty() && out.front() == '.') out.front() = '_';
  return out.empty() ? std::string("unit") : out;
}

std::string PortName(const std::string& port) {
  const fs::path path(port);
  std::string base = path.filename().string();
  if (base.empty()) return SafeFileName(port);
  // A pseudo-terminal's bare number says too little on its own: "/dev/pts/3" is "pts3".
  if (std::all_of(base.begin(), base.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    base = path.parent_path().filename().string() + base;
  }
  return SafeFileName(base);
}

std::string BackupFileName(const std::string& port, int id, std::string_view deviceName) {
  return SafeFileName(port) + "-" + std::to_string(id) + "-" + SafeFileName(deviceName) + ".asc";
}

bool NamesPort(const UnitChoice& choice, const std::string& port) {
  return choice.port == port || choice.port == PortName(port) ||
         choice.port == fs::path(port).filename().string();
}

std::string_view PortStateWord(PortState state) {
  switch (state) {
    case PortState::Ok:
      return "ok";
    case PortState::NotPresent:
      return "not present";
    case PortState::Failed:
      return "failed";
    case PortState::Lost:
      return "lost";
  }
  return "failed";
}

std::string PortIdentity(const std::string& port) {
  if (link::IsNetworkEntry(port)) return port;
#ifndef _WIN32
  struct stat info {};
  if (::stat(port.c_str(), &info) == 0 && S_ISCHR(info.st_mode)) {
    return "device " + std::to_string(static_cast<unsigned long long>(info.st_rdev));
  }
#endif
  std::error_code error;
  const fs::path canonical = fs::canonical(port, error);
  return error ? port : canonical.string();
}

std::vector<std::string> PortsToWork(const link::PortTable& ports, const Request& request) {
  std::vector<std::string> worked;
  std::set<std::string> lines;
  for (const std::string& port : ports.Paths()) {
    const bool named = request.job != Job::Download || request.units.empty() ||
                       std::any_of(request.units.begin(), request.units.end(),
                                   [&](const UnitChoice& c) { return NamesPort(c, port); });
    // A line is worked once, under the first of its names: two workers on one line would mix
    // their frames (and an exclusive open does not stop a second one run as root).
    if (named && lines.insert(PortIdentity(port)).second) worked.push_back(port);
  }
  return worked;
}

Report Run(const link::PortTable& ports, const Request& request,
           const ProgressCallback& progress) {
  const auto start = Clock::now();
  Report report;
  if (request.job == Job::Backup) {
    // A cron line names a new folder for each day; its parent must be there already.
    std::error_code error;
    if (!fs::is_directory(request.folder, error) &&
        !fs::create_directory(request.folder, error)) {
      report.problems.push_back(request.folder.string() + ": cannot create the folder" +
                                (error ? ": " + error.message() : std::string()));
      return report;
    }
  }
  const std::vector<std::string> worked = PortsToWork(ports, request);
  std::mutex progressMutex;
  const auto sink = [&](const Progress& p) {
    if (!progress) return;
    const std::lock_guard<std::mutex> lock(progressMutex);
    progress(p);
  };
  report.ports.resize(worked.size());
  std::vector<std::thread> threads;
  threads.reserve(worked.size());
  for (std::size_t i = 0; i < worked.size(); ++i) {
    threads.emplace_back([&, i] { report.ports[i] = PortWorker(worked[i], request, sink).Run(); });
  }
  for (std::thread& thread : threads) thread.join();
  for (const UnitChoice& expected : request.expectUnits) {
    if (std::none_of(worked.begin(), worked.end(),
                     [&](const std::string& port) { return NamesPort(expected, port); })) {
      report.problems.push_back("expected unit " + expected.port + ":" +
                                std::to_string(expected.id) + ": no such port was searched");
    }
  }
  if (request.expectCount) {
    const std::vector<UnitResult> units = report.Units();
    const auto found = std::count_if(units.begin(), units.end(), [](const UnitResult& u) {
      return u.outcome != link::Outcome::NotFound;
    });
    if (found < *request.expectCount) {
      report.problems.push_back("expected " + std::to_string(*request.expectCount) + " unit" +
                                (*request.expectCount == 1 ? "" : "s") + ", found " +
                                std::to_string(found));
    }
  }
  report.elapsed = Since(start);
  return report;
}

}  // namespace corvella::fleet
