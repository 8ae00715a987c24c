// The command line of corvella-cli: global options, the command and its arguments, checked in
// full before anything is opened, so a mistyped call never reaches a unit.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/eq_stage.h"
#include "model/program_parameters.h"

namespace corvella::cli {

enum class Command {
  Scan,
  Upload,
  Download,
  LoadDefault,
  Programs,
  Recall,
  Store,
  Rename,
  SetIdentity,
  Show,
  Plot,
  Diff,
  Verify,
  Sync,
  Align,
  Fleet,
  AutoEq,
  ImportFilters,
  ExportFilters,
  Serve,
  Journal,
};

// What `fleet` does on every port at once.
enum class FleetAction { Scan, Backup, Download };

// One unit of `fleet download --units`: a port (its device, the device's base name or COMn) and
// the unit's ID.
struct FleetUnit {
  std::string port;
  int id = 0;
};

enum class GraphKind { InputPeq, OutputPeq, Crossover, Level };
enum class PlotFormat { Png, Svg, Csv };

inline constexpr std::size_t kMaxProgramNameLength = kProgramNameLength;
inline constexpr std::size_t kMaxDeviceNameLength = kDeviceNameLength;

struct Invocation {
  std::optional<std::string> portsList;  // --ports, as given
  std::optional<int> unitId;             // --id
  std::optional<std::string> logPath;    // --log: the protocol journal
  bool quiet = false;
  bool demo = false;
  bool help = false;
  std::string helpText;  // with `help`: the whole usage, or one command's options

  Command command = Command::Scan;
  std::string file;                   // the command's FILE (empty for load-default without one)
  std::optional<std::string> output;  // -o OUT of recall and plot
  // fleet --expect: units that must be found, in all and by port and ID.
  std::optional<int> expectCount;
  std::vector<FleetUnit> expectUnits;
  bool acceptRepaired = false;        // upload / recall -o: keep a program that needed the repair;
                                      // sync / download --verify: send and compare a repaired file
  std::string secondFile;             // diff: the file compared with `file`
  bool json = false;                  // the result as one JSON document
  bool verify = false;                // download: read the unit back and compare
  bool fast = false;                  // transfers go on as soon as each answer is in
  int memory = 0;                     // recall / store: 1..6
  int newId = 0;                      // set-identity: 1..10
  std::string name;                   // rename / set-identity

  GraphKind graph = GraphKind::InputPeq;
  // The page's channel: 0 MIC / 1 LINE for an input graph, 0 HIGH / 1 LOW for an output graph,
  // and the level page's own numbering 0 MIC, 1 LINE, 2 HIGH, 3 LOW.
  int channel = 0;
  PlotFormat format = PlotFormat::Png;

  // plot --graph system and align: the loudspeaker's response through both outputs.
  bool systemGraph = false;
  bool micInput = false;                  // --input mic (default line)
  std::optional<std::string> highDriver;  // --high-driver F: a measured driver's text file
  std::optional<std::string> lowDriver;   // --low-driver F
  int points = 0;                         // --points N; 0: 1/48 octave from 10 Hz to 24 kHz

  // autoeq: the measurement, the stage it corrects and the fit's limits.
  std::optional<std::string> measurement;
  EqStage stage = EqStage::High;
  double fromHz = 20.0;
  double toHz = 20000.0;
  int smoothing = 12;
  double maxBoostDb = 6.0;

  // fleet: the action (scan [--json], backup DIR in `file`, download FILE in `file`).
  FleetAction fleetAction = FleetAction::Scan;
  bool fleetAll = false;              // fleet download --all
  std::vector<FleetUnit> fleetUnits;  // fleet download --units PORT:ID,...

  // serve: at least one of the servers.
  std::optional<int> oscUdp;              // --osc-udp PORT
  std::optional<int> oscTcp;              // --osc-tcp PORT
  std::optional<int> httpPort;            // --http PORT
  std::optional<std::string> mqttBroker;  // --mqtt HOST[:PORT]
  std::string mqttPrefix = "corvella";    // --mqtt-prefix P
  std::optional<std::string> mqttUser;    // --mqtt-user U
  std::optional<std::string> mqttPasswordFile;
  std::optional<std::string> mqttCaFile;
  std::string listen = "127.0.0.1";  // --listen ADDR
};

inline constexpr int kMaxSystemPoints = 100000;

struct ParseOutcome {
  std::optional<Invocation> invocation;
  std::string error;  // set when invocation is empty
};

// `arguments` without the program name.
ParseOutcome ParseArguments(const std::vector<std::string>& arguments);

// Whether the command talks to a unit (and so needs a port).
bool TalksToUnit(Command command);

extern const char* const kUsage;

}  // namespace corvella::cli
