// corvella-unit-sim: virtual units on a pseudo-terminal, for trying the program and for scripted
// tests without hardware.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "model/parameters_file.h"
#include "sim/demo_unit.h"
#include "sim/tool/unit_sim_options.h"
#include "sim/virtual_unit_host.h"

namespace {

using corvella::sim::tool::Options;

// Signals and the host's hang-up all end the main loop through this pipe.
int gStopPipe[2] = {-1, -1};

void OnSignal(int) {
  const char byte = 's';
  const ssize_t ignored = ::write(gStopPipe[1], &byte, 1);
  (void)ignored;
}

int Fail(const std::string& message, int code) {
  std::fprintf(stderr, "corvella-unit-sim: %s\n", message.c_str());
  return code;
}

// Frames, answers and damaged answers can hold any byte; the log shows them as they are except
// control characters, which would break its lines.
std::string Printable(std::string_view text) {
  std::string out;
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7f) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", u);
      out += escaped;
    } else {
      out += c;
    }
  }
  return out;
}

class TrafficLog {
 public:
  bool Open(const std::string& path) {
    file_ = std::fopen(path.c_str(), "w");
    return file_ != nullptr;
  }
  ~TrafficLog() {
    if (file_) std::fclose(file_);
  }
  void Write(corvella::sim::Traffic direction, std::string_view text) {
    if (!file_) return;
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() %
        1000;
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d %H:%M:%S", &utc);
    std::lock_guard lock(mutex_);
    std::fprintf(file_, "%s.%03lld %s %s\n", stamp, static_cast<long long>(millis),
                 direction == corvella::sim::Traffic::Received ? "rx" : "tx",
                 Printable(text).c_str());
    std::fflush(file_);
  }

 private:
  std::FILE* file_ = nullptr;
  std::mutex mutex_;
};

std::vector<corvella::sim::VirtualUnit> MakeUnits(const Options& options) {
  std::vector<corvella::sim::VirtualUnit> units;
  if (options.units.empty()) {
    units.push_back(options.demo ? corvella::sim::MakeDemoUnit() : corvella::sim::VirtualUnit{});
  }
  for (const auto& wanted : options.units) {
    if (units.empty() && options.demo) {
      units.push_back(corvella::sim::MakeDemoUnit());
      units.back().SetId(wanted.id);
      if (!wanted.name.empty()) units.back().SetName(wanted.name);
      units.back().SetKind(wanted.kind);
    } else {
      units.emplace_back(wanted.id, wanted.name.empty() ? corvella::sim::kDefaultUnitName : wanted.name,
                         wanted.kind);
    }
  }
  for (auto& unit : units) unit.SetFaults(options.faults);
  return units;
}

bool PlaceLink(const std::string& linkPath, const std::string& target, std::string& error) {
  namespace fs = std::filesystem;
  std::error_code ec;
  const auto status = fs::symlink_status(linkPath, ec);
  if (!ec && fs::exists(status)) {
    if (!fs::is_symlink(status)) {
      error = "--link: " + linkPath + " exists and is not a symbolic link; not replacing it";
      return false;
    }
    fs::remove(linkPath, ec);
  }
  fs::create_symlink(target, linkPath, ec);
  if (ec) {
    error = "--link: " + linkPath + ": " + ec.message();
    return false;
  }
  return true;
}

int Run(const Options& options) {
  auto units = MakeUnits(options);
  if (!options.loadPath.empty()) {
    const auto result = corvella::LoadParametersFile(options.loadPath, units.front().Current());
    if (!result.ok) {
      const std::string why = result.failure == corvella::FileFailure::WrongLength
                                  ? "not a parameters file (it must have exactly 168 bytes)"
                                  : result.systemText;
      return Fail("--load: " + options.loadPath + ": " + why, 1);
    }
  }
  TrafficLog log;
  if (!options.logPath.empty() && !log.Open(options.logPath)) {
    return Fail("--log: " + options.logPath + ": " + std::strerror(errno), 1);
  }

  if (::pipe(gStopPipe) != 0) return Fail(std::string("pipe: ") + std::strerror(errno), 1);
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  ::signal(SIGPIPE, SIG_IGN);

  corvella::sim::VirtualUnitHost host(std::move(units));
  host.SetLineRate(options.lineRate);
  if (!options.logPath.empty()) {
    host.SetTrafficObserver([&log](corvella::sim::Traffic direction, std::string_view text) {
      log.Write(direction, text);
    });
  }
  host.SetLineClosedCallback([] { OnSignal(0); });
  // The host's thread starts with SIGINT and SIGTERM blocked, so they always reach this thread.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  ::pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
  std::string error;
  const bool started = host.Start(&error);
  ::pthread_sigmask(SIG_UNBLOCK, &stopSignals, nullptr);
  if (!started) return Fail("cannot open a pseudo-terminal: " + error, 1);
  if (!options.linkPath.empty() && !PlaceLink(options.linkPath, host.SlavePath(), error)) {
    return Fail(error, 1);
  }
  std::printf("%s\n", host.SlavePath().c_str());
  std::fflush(stdout);

  const bool watchStdin = !options.ignoreStdin;
  for (;;) {
    pollfd fds[2] = {{gStopPipe[0], POLLIN, 0}, {watchStdin ? STDIN_FILENO : -1, POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[0].revents != 0) break;
    if (fds[1].revents != 0) {
      char discard[256];
      const ssize_t n = ::read(STDIN_FILENO, discard, sizeof discard);
      if (n == 0 || (n < 0 && errno != EINTR && errno != EAGAIN)) break;
    }
  }

  const bool hungUp = host.HungUp();
  host.Stop();
  if (!options.linkPath.empty()) {
    std::error_code ec;
    std::filesystem::remove(options.linkPath, ec);
  }
  if (hungUp) std::fprintf(stderr, "corvella-unit-sim: the line was hung up\n");
  if (!options.savePath.empty()) {
    const auto unit = host.Unit(0);
    const auto result = corvella::SaveParametersFile(options.savePath, unit->Current());
    if (!result.ok) {
      return Fail("--save: " + options.savePath + ": " +
                      (result.systemText.empty() ? "write failed" : result.systemText),
                  1);
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string_view(argv[1]) == "--version") {
    std::puts("corvella-unit-sim " CORVELLA_VERSION);
    return 0;
  }
  std::vector<std::string_view> args(argv + 1, argv + argc);
  const auto parsed = corvella::sim::tool::ParseOptions(args);
  if (!parsed.options) return Fail(parsed.error, 2);
  if (parsed.options->help) {
    std::fputs(corvella::sim::tool::kUsage, stdout);
    return 0;
  }
  return Run(*parsed.options);
}
