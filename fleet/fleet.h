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
  std::filesystem::path folder;  // Backup: where the files go (it must exist)
  std::filesystem::path file;    // Download: the parameters file, already checked
  bool verify = false;           // Download: read each unit back and compare with the file
  // Download: the units to write; empty means every unit found.
  std::vector<UnitChoice> units;
  // Passes over IDs 1..10 per port before a port counts as empty.
  int searchPasses = 1;
  // Backup, Download: each transfer step goes on as soon as its answer is in.
  bool fast = false;
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
  // Download with verify: how many parameters the unit holds differently from the file.
  std::optional<std::size_t> differences;
};

struct PortResult {
  std::string port;
  std::string portName;
  // The port could be searched (a port without units is not a failure).
  bool ok = true;
  std::string detail;
  std::chrono::milliseconds elapsed{0};
  std::vector<UnitResult> units;  // in the order the search found them (by ID)
};

struct Report {
  std::vector<PortResult> ports;  // in the port table's order
  std::chrono::milliseconds elapsed{0};

  std::vector<UnitResult> Units() const;
  // Every port searched and every unit worked as asked.
  bool AllOk() const;
};

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

// The ports `request` works, in the table's order, each once: every one, except that a download
// to named units opens only the ports they name.
std::vector<std::string> PortsToWork(const link::PortTable& ports, const Request& request);

// Runs `request` on every port of `ports` at once and returns when every port is done. Ports
// that no chosen unit names are not opened.
Report Run(const link::PortTable& ports, const Request& request,
           const ProgressCallback& progress = {});

}  // namespace corvella::fleet
