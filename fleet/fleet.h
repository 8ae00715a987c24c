// Many units at once: every port of a port table worked in parallel, one worker thread per port,
// each with its own event loop, timers, serial port and application core. On one port the units
// are worked one after the other, as the line allows; different ports never wait for each other.
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/link_view.h"
#include "link/port_table.h"

namespace corvella::link {
class Journal;
}

namespace corvella::fleet {

// A whole program transfer as the progress counts it: the program-information step and the 33
// parameter blocks.
inline constexpr int kTransferSteps = 34;

enum class Job {
  Scan,      // find the units and read each one's program number and name
  Backup,    // read each unit's program into a file of its own
  Download,  // write one parameters file into each chosen unit
};

// A unit named on the command line or picked in a list: its port (the device as the table names
// it, or that device's base name) and its ID.
struct UnitChoice {
  std::string port;
  int id = 0;
};

struct Request {
  Job job = Job::Scan;
  std::filesystem::path folder;  // Backup: where the files go (one level is created if missing)
  std::filesystem::path file;    // Download: the parameters file, already checked
  bool verify = false;           // Download: read each unit back and compare with the file
  // Download: the units to write; empty means every unit found.
  std::vector<UnitChoice> units;
  // Passes over IDs 1..10 per port before a port counts as empty (a pass that finds a unit ends
  // the search). A unit may miss one probe; a port is searched again before it is called empty.
  int searchPasses = 2;
  // Backup, Download: each transfer step goes on as soon as its answer is in.
  bool fast = false;
  // The ports are the system's list, not the user's: one that does not open (or a ttyS node with
  // no UART behind it) is "not present", not a failure. A port the user named must open.
  bool portsFromSystem = false;
  // Units that must be found: at least this many in all, and each of these. A port that names an
  // expected unit it did not find is searched once more before the unit counts as missing.
  std::optional<int> expectCount;
  std::vector<UnitChoice> expectUnits;
  // Where every port's traffic is written, each line naming its port (may be null).
  link::Journal* journal = nullptr;
};

struct UnitResult {
  std::string port;      // the device as the port table names it
  std::string portName;  // its base name, e.g. "ttyUSB0"
  int id = 0;
  std::string deviceName;  // as the unit gave it: 14 characters, "."-padded
  int kind = 0;            // 0 or 1, as the probe answer told
  std::optional<int> programNumber;
  std::string programName;  // 25 characters, "."-padded
  bool ok = false;
  link::Outcome outcome = link::Outcome::Done;
  std::string detail;  // why it failed; empty when it did not
  std::chrono::milliseconds elapsed{0};
  std::filesystem::path file;  // Backup: the file written (empty when none was)
  // Backup that failed: an older file of the unit's name in the folder, and when it was written,
  // so that it does not pass for this run's ("2026-12-07 08:04").
  std::filesystem::path olderFile;
  std::string olderFileTime;
  // Download with verify: how many parameters the unit holds differently from the file.
  std::optional<std::size_t> differences;
};

enum class PortState {
  Ok,          // searched (a port without units is not a failure)
  NotPresent,  // from the system's list, but nothing behind it; not a failure
  Failed,      // could not be searched
  Lost,        // went away during the run
};

struct PortResult {
  std::string port;
  std::string portName;
  PortState state = PortState::Ok;
  bool ok = true;  // state is Ok or NotPresent
  std::string detail;
  std::chrono::milliseconds elapsed{0};
  std::vector<UnitResult> units;  // in the order the search found them (by ID)
};

struct Report {
  std::vector<PortResult> ports;  // in the port table's order
  std::chrono::milliseconds elapsed{0};
  // What went wrong for the run as a whole: a folder that cannot be created, an expectation not
  // met ("expected 4 units, found 3"; a missing expected unit is also listed among its port's
  // units, as not found).
  std::vector<std::string> problems;

  std::vector<UnitResult> Units() const;
  // Every port searched, every unit worked as asked and no problem for the run as a whole.
  bool AllOk() const;
};

// "ok", "not present", "failed", "lost".
std::string_view PortStateWord(PortState state);

enum class Phase { Search, ProgramInfo, Upload, Download, Verify, Disconnect, Done };

// Where one port stands.
struct Progress {
  std::string port;
  std::string portName;
  int id = 0;  // 0 while searching
  Phase phase = Phase::Search;
  int step = 0;  // 1..steps during a transfer or read-back, else 0
  int steps = kTransferSteps;
  int unitIndex = 0;  // 1-based among the units this port works, 0 while searching
  int unitCount = 0;
};

// Called on the port's worker thread; calls never overlap, so the receiver needs no lock of its
// own but must not block for long (the port's timers wait meanwhile). A window posts it on to
// its own thread.
using ProgressCallback = std::function<void(const Progress&)>;

// The base name of a port's device ("/dev/ttyUSB0" -> "ttyUSB0", "/dev/pts/3" -> "pts3"); a
// network line keeps its host and port, with the characters a file name cannot hold replaced.
std::string PortName(const std::string& port);
// A name from the unit made safe for any file system: letters, digits, "-", "_" and inner "."
// kept, everything else "_", trailing dots and blanks dropped; "unit" when nothing is left.
std::string SafeFileName(std::string_view text);
// "<port>-<ID>-<device name>.asc"
std::string BackupFileName(const std::string& port, int id, std::string_view deviceName);
// Whether `choice` names `port` (its device or that device's base name).
bool NamesPort(const UnitChoice& choice, const std::string& port);

// What makes two names of a port one line: a character device's device number (so a symbolic link
// and a /dev/serial/by-id/ name are the device they point to), else its canonical path; a network
// line is its address.
std::string PortIdentity(const std::string& port);

// The ports `request` works, in the table's order, each line once however many names it has:
// every one, except that a download to named units opens only the ports they name.
std::vector<std::string> PortsToWork(const link::PortTable& ports, const Request& request);

// Runs `request` on every port of `ports` at once and returns when every port is done. Ports
// that no chosen unit names are not opened. A backup's folder is created (one level) when missing;
// when it cannot be, every port fails with the reason.
Report Run(const link::PortTable& ports, const Request& request,
           const ProgressCallback& progress = {});

}  // namespace corvella::fleet
