#include "cli/cli_options.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "model/bounded_number.h"

namespace corvella::cli {

const char* const kUsage =
    R"usage(Usage: corvella-cli [--ports LIST] [--id N] [--log FILE] [--quiet] [--demo] COMMAND [ARGS]

  --ports LIST   comma-separated serial devices: the first is COM1, the second COM2, ...
                 (default: the CORVELLA_PORTS variable, else the serial devices found)
  --id N         connect to the unit whose ID is N (1..10; default: the first found)
  --log FILE     append every frame sent and received to FILE, each line naming its port
  --quiet        do not echo status lines
  --demo         run against an in-process virtual unit on COM1 (fleet: two virtual lines
                 with two units each)
  --version      print the version and end

Commands that talk to a unit:
  scan                   list the units found: ID, name and port, one per line
  upload FILE [--accept-repaired] [--fast]
                         read the unit's program into a parameters file; a program with
                         out-of-range values is refused unless --accept-repaired is given
                         (it is then saved repaired, with the warning); --fast: each step
                         of the transfer goes on as soon as the unit's answer is in, not at
                         the protocol's next 230 ms tick (a silent unit meets the same limits)
  download FILE [--verify] [--accept-repaired] [--fast]
                         write a parameters file into the unit; --verify reads it back and
                         compares (a file with out-of-range values is then refused unless
                         --accept-repaired is given: it is sent and compared repaired)
  load-default [FILE] [--fast]
                         load the factory default (or FILE) into the unit and store it
  programs               list the six program memories
  recall N [-o FILE] [--accept-repaired]
                         recall memory N (1..6); -o saves the recalled program
  store N                store the current program as memory N (1..6)
  rename NAME            rename the current program (up to 25 characters)
  set-identity ID NAME   give the unit a new ID (1..10) and name (up to 14 characters)
  verify FILE [--json] [--fast]
                         read the unit's program and list how FILE differs from it
  sync FILE [--accept-repaired] [--fast]
                         send only what differs from FILE (or all of FILE when that is
                         quicker), then read the unit back and compare; a file with
                         out-of-range values is refused unless --accept-repaired is given

Commands for every unit on every port at once (the ports are worked in parallel):
  fleet scan [--json] [--expect N|PORT:ID,...]
                         one row per unit: port, ID, device name, kind, program number and
                         program name
  fleet backup DIR [--fast] [--expect N|PORT:ID,...]
                         every unit's program into DIR/<port>-<ID>-<device name>.asc, with
                         DIR/manifest.json saying how each unit went; DIR is created when
                         missing (one level)
  fleet download FILE [--all] [--units PORT:ID[,PORT:ID...]] [--verify] [--fast] [--expect ...]
                         write a parameters file into every unit found (--all) or into the
                         units named (PORT: the device, its base name such as ttyUSB0, or
                         COMn); --verify reads each one back and compares; --fast as for
                         upload and download
                         Every fleet action takes --expect N (at least N units must be
                         found, or the run fails) or --expect PORT:ID,... (each unit named
                         must be; its port is searched again before the unit counts as
                         missing). Without --ports, a port the system lists but that has
                         nothing behind it is "not present", no failure; a line with several
                         names is worked once.

Serving the units to show control and building automation:
  serve [--osc-udp PORT] [--osc-tcp PORT] [--http PORT] [--listen ADDR] [--fast]
  serve [--mqtt HOST[:PORT]] [--mqtt-prefix P] [--mqtt-user U --mqtt-password-file F] [--mqtt-cafile F]
                         find every unit on every port (as fleet scan), read each one's
                         program, then serve them over OSC (UDP, TCP), MQTT and a web page
                         (--http; its token is printed at start) until SIGINT or SIGTERM,
                         when every unit gets its goodbye; on 127.0.0.1 unless --listen
                         says otherwise (docs/remote-control.md, docs/web-page.md); --demo
                         serves the demo unit

Offline commands:
  show FILE              every parameter of a parameters file with its display text
  diff A B [--json]      every parameter that differs between two parameters files
  journal FILE           a protocol journal (--log) read back: each frame with its time since
                         the first, its answer time and what it means
  plot FILE --graph input-peq|output-peq|crossover|level --channel mic|line|high|low -o OUT
                         a page's response graph; OUT ends in .png, .svg or .csv
  plot FILE --graph system [--input line|mic] [--high-driver F] [--low-driver F] [--points N] -o OUT
                         the loudspeaker's response: HIGH, LOW and their sum in magnitude,
                         phase and group delay, optionally on measured drivers (text files of
                         frequency, dB and phase); 1/48 octave from 10 Hz to 24 kHz, or N points
  align FILE [--input line|mic] [--high-driver F] [--low-driver F] [-o OUT.asc]
                         the delay and polarity that make HIGH + LOW smoothest across the
                         crossover, with the figure before and after; -o writes the set with it
  autoeq FILE --measurement M --stage high|low|input-mic|input-line [--from HZ] [--to HZ]
         [--smoothing N] [--max-boost DB] [--json] -o OUT.asc
                         the stage's bands, on the unit's steps, that flatten measurement M
                         (taken with those bands flat) from HZ to HZ (20..20000) smoothed to
                         1/N octave (12; 0 none), boosting at most DB (6; 0 cuts only); writes
                         FILE with those bands to OUT.asc and prints the residual's RMS and
                         largest deviation before and after, and the bands
  import-filters FILE F --stage high|low|input-mic|input-line -o OUT.asc
                         the stage's bands from filter text F ("Filter 1: ON PK Fc 100 Hz
                         Gain -3.0 dB Q 1.41"; PK, LS, HS, NO, BP), each snapped to the unit's
                         steps; prints each band's snapping and the largest curve difference
  export-filters FILE --stage high|low|input-mic|input-line [-o F]
                         the stage's bands as filter text, to F or to the standard output

Exit status: 0 success, 1 the unit did not answer or answered wrongly (diff, verify, sync:
the programs differ; fleet: any unit failed, the others still done and reported), 2 usage
error or an unreadable or invalid file.
)usage";

namespace {

struct CommandName {
  std::string_view text;
  Command command;
};

constexpr CommandName kCommands[] = {{"scan", Command::Scan},
                                     {"upload", Command::Upload},
                                     {"download", Command::Download},
                                     {"load-default", Command::LoadDefault},
                                     {"programs", Command::Programs},
                                     {"recall", Command::Recall},
                                     {"store", Command::Store},
                                     {"rename", Command::Rename},
                                     {"set-identity", Command::SetIdentity},
                                     {"show", Command::Show},
                                     {"plot", Command::Plot},
                                     {"diff", Command::Diff},
                                     {"verify", Command::Verify},
                                     {"sync", Command::Sync},
                                     {"align", Command::Align},
                                     {"fleet", Command::Fleet},
                                     {"autoeq", Command::AutoEq},
                                     {"import-filters", Command::ImportFilters},
                                     {"export-filters", Command::ExportFilters},
                                     {"serve", Command::Serve},
                                     {"journal", Command::Journal}};

std::optional<int> Number(std::string_view text, int min, int max) {
  return BoundedNumber(text, min, max);
}

// A whole decimal number within min..max.
std::optional<double> Decimal(std::string_view text, double min, double max) {
  double value = 0.0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || !(value >= min && value <= max)) {
    return std::nullopt;
  }
  return value;
}

// Splits "--opt=value" into its two halves; a plain "--opt" gives no value.
bool MatchOption(std::string_view argument, std::string_view option,
                 std::optional<std::string_view>& inlineValue) {
  inlineValue.reset();
  if (argument == option) return true;
  if (argument.size() > option.size() && argument.substr(0, option.size()) == option &&
      argument[option.size()] == '=') {
    inlineValue = argument.substr(option.size() + 1);
    return true;
  }
  return false;
}

// Walks the arguments; options that take a value accept "--opt value" and "--opt=value".
class Cursor {
 public:
  explicit Cursor(const std::vector<std::string>& arguments) : arguments_(arguments) {}
  bool AtEnd() const { return index_ >= arguments_.size(); }
  const std::string& Peek() const { return arguments_[index_]; }
  std::string Next() { return arguments_[index_++]; }
  // The value of an option just matched: its inline part, else the next argument.
  std::optional<std::string> Value(const std::optional<std::string_view>& inlineValue) {
    if (inlineValue) return std::string(*inlineValue);
    if (AtEnd()) return std::nullopt;
    return Next();
  }

 private:
  const std::vector<std::string>& arguments_;
  std::size_t index_ = 0;
};

bool HasBracket(std::string_view text) {
  return text.find_first_of("()") != std::string_view::npos;
}

std::string Lower(std::string_view text) {
  std::string out(text);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

std::optional<PlotFormat> FormatOf(std::string_view path) {
  const std::string lower = Lower(path);
  const auto endsWith = [&lower](std::string_view suffix) {
    return lower.size() > suffix.size() &&
           lower.compare(lower.size() - suffix.size(), suffix.size(), suffix) == 0;
  };
  if (endsWith(".png")) return PlotFormat::Png;
  if (endsWith(".svg")) return PlotFormat::Svg;
  if (endsWith(".csv")) return PlotFormat::Csv;
  return std::nullopt;
}

// The channel names each graph takes, in the page's own numbering.
std::optional<int> ChannelFor(GraphKind graph, std::string_view name) {
  const bool input = name == "mic" || name == "line";
  const bool output = name == "high" || name == "low";
  const int pairIndex = (name == "line" || name == "low") ? 1 : 0;
  switch (graph) {
    case GraphKind::InputPeq:
      return input ? std::optional<int>(pairIndex) : std::nullopt;
    case GraphKind::OutputPeq:
    case GraphKind::Crossover:
      return output ? std::optional<int>(pairIndex) : std::nullopt;
    case GraphKind::Level:
      if (input) return pairIndex;
      if (output) return 2 + pairIndex;
      return std::nullopt;
  }
  return std::nullopt;
}

std::optional<GraphKind> GraphOf(std::string_view name) {
  if (name == "input-peq") return GraphKind::InputPeq;
  if (name == "output-peq") return GraphKind::OutputPeq;
  if (name == "crossover") return GraphKind::Crossover;
  if (name == "level") return GraphKind::Level;
  return std::nullopt;
}

class Parser {
 public:
  explicit Parser(const std::vector<std::string>& arguments) : cursor_(arguments) {}

  ParseOutcome Run() {
    if (!GlobalOptions()) return Fail();
    if (inv_.help) return Done();
    if (cursor_.AtEnd()) return Fail("no command given");
    const std::string name = cursor_.Next();
    const auto* found = std::find_if(std::begin(kCommands), std::end(kCommands),
                                     [&name](const CommandName& c) { return c.text == name; });
    if (found == std::end(kCommands)) return Fail("unknown command: " + name);
    inv_.command = found->command;
    if (!CommandArguments(name)) return Fail();
    if (inv_.command == Command::Fleet && inv_.unitId) {
      return Fail("--id picks one unit; fleet download takes --units PORT:ID");
    }
    return Done();
  }

 private:
  bool GlobalOptions() {
    while (!cursor_.AtEnd() && cursor_.Peek().rfind("-", 0) == 0) {
      const std::string argument = cursor_.Next();
      std::optional<std::string_view> inlineValue;
      if (MatchOption(argument, "--ports", inlineValue)) {
        const auto value = cursor_.Value(inlineValue);
        if (!value || value->empty()) return Error("--ports needs a comma-separated device list");
        inv_.portsList = *value;
      } else if (MatchOption(argument, "--id", inlineValue)) {
        const auto value = cursor_.Value(inlineValue);
        const auto id = value ? Number(*value, 1, 10) : std::nullopt;
        if (!id) return Error("--id must be a unit ID from 1 to 10");
        inv_.unitId = id;
      } else if (MatchOption(argument, "--log", inlineValue)) {
        const auto value = cursor_.Value(inlineValue);
        if (!value || value->empty()) return Error("--log needs the name of the journal file");
        inv_.logPath = std::string(*value);
      } else if (argument == "--quiet") {
        inv_.quiet = true;
      } else if (argument == "--demo") {
        inv_.demo = true;
      } else if (argument == "--help" || argument == "-h") {
        inv_.help = true;
        return true;
      } else {
        return Error("unknown option: " + argument);
      }
    }
    return true;
  }

  bool CommandArguments(const std::string& name) {
    switch (inv_.command) {
      case Command::Scan:
      case Command::Programs:
        return NoMore(name);
      case Command::Upload:
        return UploadArguments();
      case Command::Download:
        return FlagsAndFile(name, {{"--verify", &inv_.verify},
                                   {"--accept-repaired", &inv_.acceptRepaired},
                                   {"--fast", &inv_.fast}});
      case Command::Verify:
        return FlagsAndFile(name, {{"--json", &inv_.json}, {"--fast", &inv_.fast}});
      case Command::Diff:
        if (!FlagsAndFile(name, {{"--json", &inv_.json}}, true)) return false;
        if (inv_.secondFile.empty()) return Error("diff needs two files A and B");
        return true;
      case Command::Sync:
        return FlagsAndFile(name,
                            {{"--accept-repaired", &inv_.acceptRepaired}, {"--fast", &inv_.fast}});
      case Command::Show:
      case Command::Journal:
        return FileArgument(name) && NoMore(name);
      case Command::LoadDefault:
        return LoadDefaultArguments();
      case Command::Recall:
        return RecallArguments();
      case Command::Store:
        return MemoryArgument(name) && NoMore(name);
      case Command::Rename:
        return RenameArguments();
      case Command::SetIdentity:
        return IdentityArguments();
      case Command::Plot:
        return PlotArguments();
      case Command::Align:
        return AlignArguments();
      case Command::Fleet:
        return FleetArguments();
      case Command::AutoEq:
        return AutoEqArguments();
      case Command::ImportFilters:
      case Command::ExportFilters:
        return FilterArguments(name);
      case Command::Serve:
        return ServeArguments();
    }
    return false;
  }

  // --expect N (units in all) or --expect PORT:ID[,PORT:ID...]; true when `argument` was it.
  bool ExpectOption(const std::string& argument, bool& failed) {
    std::optional<std::string_view> inlineValue;
    if (!MatchOption(argument, "--expect", inlineValue)) return false;
    const auto value = cursor_.Value(inlineValue);
    const auto count = value ? Number(*value, 1, 10 * 256) : std::nullopt;
    if (count) {
      inv_.expectCount = count;
    } else if (!value || !UnitsList(*value, inv_.expectUnits, "--expect")) {
      failed = !Error(error_.empty() ? "--expect needs N or PORT:ID[,PORT:ID...]" : error_);
    }
    return true;
  }

  bool ServeArguments() {
    while (!cursor_.AtEnd()) {
      const std::string argument = cursor_.Next();
      std::optional<std::string_view> inlineValue;
      const auto text = [&](std::string_view option) -> std::optional<std::string> {
        if (!MatchOption(argument, option, inlineValue)) return std::nullopt;
        auto value = cursor_.Value(inlineValue);
        if (!value || value->empty()) {
          Error(std::string(option) + " needs a value");
          return std::string();
        }
        return value;
      };
      const auto port = [&](std::optional<int>& target, std::string_view option) {
        const auto value = text(option);
        if (!value) return false;
        target = Number(*value, 0, 65535);
        if (!target) Error(std::string(option) + " needs a port number 0..65535");
        return true;
      };
      if (port(inv_.oscUdp, "--osc-udp") || port(inv_.oscTcp, "--osc-tcp") ||
          port(inv_.httpPort, "--http")) {
        if (!error_.empty()) return false;
        continue;
      }
      std::optional<std::string>* targets[] = {&inv_.mqttBroker, &inv_.mqttUser,
                                               &inv_.mqttPasswordFile, &inv_.mqttCaFile};
      const std::string_view names[] = {"--mqtt", "--mqtt-user", "--mqtt-password-file",
                                        "--mqtt-cafile"};
      bool taken = false;
      for (std::size_t i = 0; i < std::size(names) && !taken; ++i) {
        if (auto value = text(names[i])) {
          if (!error_.empty()) return false;
          *targets[i] = std::move(value);
          taken = true;
        }
      }
      if (taken) continue;
      if (auto value = text("--mqtt-prefix")) {
        if (!error_.empty()) return false;
        inv_.mqttPrefix = *value;
      } else if (auto address = text("--listen")) {
        if (!error_.empty()) return false;
        inv_.listen = *address;
      } else if (argument == "--fast") {
        inv_.fast = true;
      } else if (argument == "--mqtt-password") {
        return Error("--mqtt-password: the password is read from a file (--mqtt-password-file F)");
      } else {
        return Error("unexpected argument to serve: " + argument);
      }
    }
    if (!inv_.oscUdp && !inv_.oscTcp && !inv_.httpPort && !inv_.mqttBroker) {
      return Error(
          "serve needs --osc-udp PORT, --osc-tcp PORT, --http PORT or --mqtt HOST[:PORT]");
    }
    if (inv_.mqttUser.has_value() != inv_.mqttPasswordFile.has_value()) {
      return Error("--mqtt-user and --mqtt-password-file go together");
    }
    if ((inv_.mqttUser || inv_.mqttCaFile) && !inv_.mqttBroker) {
      return Error("--mqtt-user and --mqtt-cafile need --mqtt HOST[:PORT]");
    }
    if (inv_.mqttPrefix.find_first_of("+#") != std::string::npos) {
      return Error("--mqtt-prefix must not hold + or #");
    }
    return true;
  }

  bool FleetArguments() {
    if (cursor_.AtEnd()) return Error("fleet needs scan, backup DIR or download FILE");
    const std::string action = cursor_.Next();
    if (action == "scan") {
      inv_.fleetAction = FleetAction::Scan;
      while (!cursor_.AtEnd()) {
        const std::string argument = cursor_.Next();
        bool failed = false;
        if (ExpectOption(argument, failed)) {
          if (failed) return false;
        } else if (argument == "--json") {
          inv_.json = true;
        } else {
          return Error("unexpected argument to fleet scan: " + argument);
        }
      }
      return true;
    }
    if (action == "backup") {
      inv_.fleetAction = FleetAction::Backup;
      while (!cursor_.AtEnd()) {
        const std::string argument = cursor_.Next();
        bool failed = false;
        if (ExpectOption(argument, failed)) {
          if (failed) return false;
        } else if (argument == "--fast") {
          inv_.fast = true;
        } else if (argument.empty()) {
          return Error("fleet backup needs a DIR");
        } else if (inv_.file.empty() && argument.front() != '-') {
          inv_.file = argument;
        } else {
          return Error("unexpected argument to fleet backup: " + argument);
        }
      }
      if (inv_.file.empty()) return Error("fleet backup needs a DIR");
      return true;
    }
    if (action != "download") return Error("unknown fleet action: " + action);
    inv_.fleetAction = FleetAction::Download;
    bool unitsGiven = false;
    while (!cursor_.AtEnd()) {
      const std::string argument = cursor_.Next();
      std::optional<std::string_view> inlineValue;
      bool failed = false;
      if (ExpectOption(argument, failed)) {
        if (failed) return false;
      } else if (argument == "--all") {
        inv_.fleetAll = true;
      } else if (argument == "--verify") {
        inv_.verify = true;
      } else if (argument == "--fast") {
        inv_.fast = true;
      } else if (MatchOption(argument, "--units", inlineValue)) {
        const auto value = cursor_.Value(inlineValue);
        if (!value || !UnitsList(*value, inv_.fleetUnits, "--units")) {
          return Error(error_.empty() ? "--units needs PORT:ID[,PORT:ID...]" : error_);
        }
        unitsGiven = true;
      } else if (inv_.file.empty() && !argument.empty() && argument.front() != '-') {
        inv_.file = argument;
      } else {
        return Error("unexpected argument to fleet download: " + argument);
      }
    }
    if (inv_.file.empty()) return Error("fleet download needs a FILE");
    if (inv_.fleetAll == unitsGiven) {
      return Error("fleet download needs either --all or --units PORT:ID[,PORT:ID...]");
    }
    return true;
  }

  // "PORT:ID,PORT:ID"; a port may hold ":" itself (tcp://host:port), so the ID is after the last.
  bool UnitsList(std::string_view list, std::vector<FleetUnit>& into, std::string_view option) {
    std::size_t begin = 0;
    while (begin <= list.size()) {
      std::size_t end = list.find(',', begin);
      if (end == std::string_view::npos) end = list.size();
      const std::string_view item = list.substr(begin, end - begin);
      const std::size_t colon = item.rfind(':');
      const auto id =
          colon == std::string_view::npos ? std::nullopt : Number(item.substr(colon + 1), 1, 10);
      if (colon == 0 || !id) {
        return Error(std::string(option) + ": each unit is PORT:ID with an ID from 1 to 10: " +
                     std::string(item));
        return Error("--units: each unit is PORT:ID with an ID from 1 to 10: " + std::string(item));
      }
      into.push_back({std::string(item.substr(0, colon)), *id});
      begin = end + 1;
    }
    return true;
  }

  bool FileArgument(const std::string& name) {
    if (cursor_.AtEnd() || cursor_.Peek().empty()) return Error(name + " needs a FILE");
    inv_.file = cursor_.Next();
    return true;
  }

  bool MemoryArgument(const std::string& name) {
    if (cursor_.AtEnd()) return Error(name + " needs a program memory number N (1..6)");
    const std::string text = cursor_.Next();
    const auto n = Number(text, 1, 6);
    if (!n) return Error("the program memory number must be 1..6: " + text);
    inv_.memory = *n;
    return true;
  }

  struct Flag {
    std::string_view text;
    bool* value;
  };
  // FILE (and, with `second`, a second file) among the given flags, in any order.
  bool FlagsAndFile(const std::string& name, std::initializer_list<Flag> flags,
                    bool second = false) {
    while (!cursor_.AtEnd()) {
      const std::string argument = cursor_.Next();
      const auto flag = std::find_if(flags.begin(), flags.end(),
                                     [&argument](const Flag& f) { return f.text == argument; });
      if (flag != flags.end()) {
        *flag->value = true;
      } else if (inv_.file.empty() && !argument.empty()) {
        inv_.file = argument;
      } else if (second && inv_.secondFile.empty() && !argument.empty()) {
        inv_.secondFile = argument;
      } else {
        return Error("unexpected argument: " + argument);
      }
    }
    if (inv_.file.empty()) return Error(name + " needs a FILE");
    return true;
  }

  bool UploadArguments() {
    while (!cursor_.AtEnd()) {
      const std::string argument = cursor_.Next();
      if (argument == "--accept-repaired") {
        inv_.acceptRepaired = true;
      } else if (argument == "--fast") {
        inv_.fast = true;
      } else if (inv_.file.empty() && !argument.empty()) {
        inv_.file = argument;
      } else {
        return Error("unexpected argument: " + argument);
      }
    }
    if (inv_.file.empty()) return Error("upload needs a FILE");
    return true;
  }

  // An optional FILE and --fast, in either order.
  bool LoadDefaultArguments() {
    while (!cursor_.AtEnd()) {
      const std::string argument = cursor_.Next();
      if (argument == "--fast") {
        inv_.fast = true;
      } else if (inv_.file.empty() && !argument.empty()) {
        inv_.file = argument;
      } else {
        return Error("unexpected argument to load-default: " + argument);
      }
    }
    return true;
  }

  bool RecallArguments() {
    bool haveMemory = false;
    while (!cursor_.AtEnd()) {
      const std::string argument = cursor_.Next();
      std::optional<std::string_view> inlineValue;
      if (MatchOption(argument, "-o", inlineValue) ||
          MatchOption(argument, "--output", inlineValue)) {
        const auto value = cursor_.Value(inlineValue);
        if (!value || value->empty()) return Error("-o needs a FILE");
        inv_.output = *value;
      } else if (argument == "--accept-repaired") {
        inv_.acceptRepaired = true;
      } else if (!haveMemory) {
        const auto n = Number(argument, 1, 6);
        if (!n) return Error("the program memory number must be 1..6: " + argument);
        inv_.memory = *n;
        haveMemory = true;
      } else {
        return Error("unexpected argument: " + argument);
      }
    }
    if (!haveMemory) return Error("recall needs a program memory number N (1..6)");
    return true;
  }

  bool RenameArguments() {
    if (cursor_.AtEnd()) return Error("rename needs a program NAME");
    return NameArgument("program", kMaxProgramNameLength) && NoMore("rename");
  }

  // A name the unit keeps in a fixed field, inside a frame that brackets end.
  bool NameArgument(const std::string& what, std::size_t maxLength) {
    inv_.name = cursor_.Next();
    if (inv_.name.size() <= maxLength && !HasBracket(inv_.name)) return true;
    return Error("a " + what + " name has at most " + std::to_string(maxLength) +
                 " characters and no \"(\" or \")\": " + inv_.name);
  }

  bool IdentityArguments() {
    if (cursor_.AtEnd()) return Error("set-identity needs an ID (1..10) and a NAME");
    const std::string idText = cursor_.Next();
    const auto id = Number(idText, 1, 10);
    if (!id) return Error("the unit ID must be 1..10: " + idText);
    inv_.newId = *id;
    if (cursor_.AtEnd()) return Error("set-identity needs a NAME after the ID");
    return NameArgument("device", kMaxDeviceNameLength) && NoMore("set-identity");
  }

  bool PlotArguments() {
    std::optional<std::string> graphName;
    std::optional<std::string> channelName;
    bool systemOptions = false;
    while (!cursor_.AtEnd()) {
      const std::string argument = cursor_.Next();
      std::optional<std::string_view> inlineValue;
      if (MatchOption(argument, "--graph", inlineValue)) {
        graphName = cursor_.Value(inlineValue);
        if (!graphName) return Error("--graph needs input-peq, output-peq, crossover or level");
      } else if (MatchOption(argument, "--channel", inlineValue)) {
        channelName = cursor_.Value(inlineValue);
        if (!channelName) return Error("--channel needs mic, line, high or low");
      } else if (MatchOption(argument, "-o", inlineValue) ||
                 MatchOption(argument, "--output", inlineValue)) {
        const auto value = cursor_.Value(inlineValue);
        if (!value || value->empty())
          return Error("-o needs a file name ending in .png, .svg or .csv");
        inv_.output = *value;
      } else if (const auto taken = SystemOption(argument)) {
        if (!*taken) return false;
        systemOptions = true;
      } else if (inv_.file.empty() && !argument.empty() && argument.front() != '-') {
        inv_.file = argument;
      } else {
        return Error("unexpected argument to plot: " + argument);
      }
    }
    if (inv_.file.empty()) return Error("plot needs a FILE");
    if (!graphName) return Error("plot needs --graph input-peq|output-peq|crossover|level|system");
    if (*graphName == "system") return SystemPlotArguments(channelName.has_value());
    if (systemOptions) {
      return Error("--input, --high-driver, --low-driver and --points go with --graph system");
    }
    const auto graph = GraphOf(*graphName);
    if (!graph) return Error("unknown graph: " + *graphName);
    inv_.graph = *graph;
    if (!channelName) return Error("plot needs --channel mic|line|high|low");
    const auto channel = ChannelFor(*graph, *channelName);
    if (!channel) {
      return Error("the " + *graphName + " graph has no channel \"" + *channelName + "\"");
    }
    inv_.channel = *channel;
    return PlotOutput();
  }

  // The options of the system response: nothing when `argument` is none of them, else whether
  // its value was good.
  std::optional<bool> SystemOption(const std::string& argument) {
    std::optional<std::string_view> inlineValue;
    if (MatchOption(argument, "--input", inlineValue)) {
      const auto value = cursor_.Value(inlineValue);
      if (!value || (*value != "line" && *value != "mic"))
        return Error("--input needs line or mic");
      inv_.micInput = *value == "mic";
      return true;
    }
    for (const auto& [option, target] : {std::pair{"--high-driver", &inv_.highDriver},
                                         std::pair{"--low-driver", &inv_.lowDriver}}) {
      if (MatchOption(argument, option, inlineValue)) {
        const auto value = cursor_.Value(inlineValue);
        if (!value || value->empty()) {
          return Error(std::string(option) + " needs a measurement file");
        }
        *target = *value;
        return true;
      }
    }
    if (MatchOption(argument, "--points", inlineValue)) {
      const auto value = cursor_.Value(inlineValue);
      const auto n = value ? Number(*value, 2, kMaxSystemPoints) : std::nullopt;
      if (!n) return Error("--points needs a number from 2 to " + std::to_string(kMaxSystemPoints));
      inv_.points = *n;
      return true;
    }
    return std::nullopt;
  }

  // The plot's -o OUT and the format its name ends in.
  bool PlotOutput() {
    if (!inv_.output) return Error("plot needs -o OUT (.png, .svg or .csv)");
    const auto format = FormatOf(*inv_.output);
    if (!format) return Error("the plot file must end in .png, .svg or .csv: " + *inv_.output);
    inv_.format = *format;
    return true;
  }

  bool SystemPlotArguments(bool channelGiven) {
    if (channelGiven) return Error("the system graph shows both outputs: it takes no --channel");
    inv_.systemGraph = true;
    return PlotOutput();
  }

  bool AlignArguments() {
    while (!cursor_.AtEnd()) {
      const std::string argument = cursor_.Next();
      std::optional<std::string_view> inlineValue;
      if (const auto output = OutputOption(argument, "-o needs a parameters FILE to write")) {
        if (!*output) return false;
      } else if (MatchOption(argument, "--points", inlineValue)) {
        return Error("align scores its own points; --points goes with plot");
      } else if (const auto taken = SystemOption(argument)) {
        if (!*taken) return false;
      } else if (inv_.file.empty() && !argument.empty() && argument.front() != '-') {
        inv_.file = argument;
      } else {
        return Error("unexpected argument to align: " + argument);
      }
    }
    if (inv_.file.empty()) return Error("align needs a FILE");
    return true;
  }

  // import-filters FILE F --stage S -o OUT, export-filters FILE --stage S [-o F].
  bool FilterArguments(const std::string& name) {
    const bool importing = inv_.command == Command::ImportFilters;
    bool stageGiven = false;
    while (!cursor_.AtEnd()) {
      const std::string argument = cursor_.Next();
      if (const auto output = OutputOption(argument, "-o needs a FILE to write")) {
        if (!*output) return false;
      } else if (const auto stage = StageOption(argument)) {
        if (!*stage) return false;
        stageGiven = true;
      } else if (inv_.file.empty() && !argument.empty() && argument.front() != '-') {
        inv_.file = argument;
      } else if (importing && inv_.secondFile.empty() && !argument.empty() &&
                 argument.front() != '-') {
        inv_.secondFile = argument;
      } else {
        return Error("unexpected argument to " + name + ": " + argument);
      }
    }
    if (inv_.file.empty()) return Error(name + " needs a FILE");
    if (importing && inv_.secondFile.empty()) return Error(name + " needs a filter text file");
    if (!stageGiven) return Error(name + " needs --stage high|low|input-mic|input-line");
    if (importing && !inv_.output) return Error(name + " needs -o OUT.asc");
    return true;
  }

  // "--stage S": nothing when `argument` is not it, else whether S names a stage.
  std::optional<bool> StageOption(const std::string& argument) {
    std::optional<std::string_view> inlineValue;
    if (!MatchOption(argument, "--stage", inlineValue)) return std::nullopt;
    const auto value = cursor_.Value(inlineValue);
    const auto stage = value ? EqStageNamed(*value) : std::nullopt;
    if (!stage) return Error("--stage needs high, low, input-mic or input-line");
    inv_.stage = *stage;
    return true;
  }

  bool AutoEqArguments() {
    bool stageGiven = false;
    while (!cursor_.AtEnd()) {
      const std::string argument = cursor_.Next();
      std::optional<std::string_view> inlineValue;
      if (const auto output = OutputOption(argument, "-o needs a parameters FILE to write")) {
        if (!*output) return false;
      } else if (MatchOption(argument, "--measurement", inlineValue)) {
        const auto value = cursor_.Value(inlineValue);
        if (!value || value->empty()) return Error("--measurement needs a measurement file");
        inv_.measurement = *value;
      } else if (const auto stage = StageOption(argument)) {
        if (!*stage) return false;
        stageGiven = true;
      } else if (MatchOption(argument, "--from", inlineValue) ||
                 MatchOption(argument, "--to", inlineValue)) {
        const bool from = argument.rfind("--from", 0) == 0;
        const auto value = cursor_.Value(inlineValue);
        const auto hz = value ? Decimal(*value, 1.0, 100000.0) : std::nullopt;
        if (!hz) return Error(std::string(from ? "--from" : "--to") + " needs a frequency in Hz");
        (from ? inv_.fromHz : inv_.toHz) = *hz;
      } else if (MatchOption(argument, "--smoothing", inlineValue)) {
        const auto value = cursor_.Value(inlineValue);
        const auto n = value ? Number(*value, 0, 96) : std::nullopt;
        if (!n) return Error("--smoothing needs N from 0 (none) to 96 (1/N octave)");
        inv_.smoothing = *n;
      } else if (MatchOption(argument, "--max-boost", inlineValue)) {
        const auto value = cursor_.Value(inlineValue);
        const auto db = value ? Decimal(*value, 0.0, 12.0) : std::nullopt;
        if (!db) return Error("--max-boost needs a gain from 0 to 12 dB");
        inv_.maxBoostDb = *db;
      } else if (argument == "--json") {
        inv_.json = true;
      } else if (inv_.file.empty() && !argument.empty() && argument.front() != '-') {
        inv_.file = argument;
      } else {
        return Error("unexpected argument to autoeq: " + argument);
      }
    }
    if (inv_.file.empty()) return Error("autoeq needs a FILE");
    if (!inv_.measurement) return Error("autoeq needs --measurement M");
    if (!stageGiven) return Error("autoeq needs --stage high|low|input-mic|input-line");
    if (!inv_.output) return Error("autoeq needs -o OUT.asc");
    if (inv_.toHz <= inv_.fromHz) return Error("--to must lie above --from");
    return true;
  }

  // "-o OUT" or "--output OUT": nothing when `argument` is neither, else whether a name came.
  std::optional<bool> OutputOption(const std::string& argument, const std::string& missing) {
    std::optional<std::string_view> inlineValue;
    if (!MatchOption(argument, "-o", inlineValue) &&
        !MatchOption(argument, "--output", inlineValue)) {
      return std::nullopt;
    }
    const auto value = cursor_.Value(inlineValue);
    if (!value || value->empty()) return Error(missing);
    inv_.output = *value;
    return true;
  }

  bool NoMore(const std::string& name) {
    if (cursor_.AtEnd()) return true;
    return Error("unexpected argument to " + name + ": " + cursor_.Peek());
  }

  bool Error(std::string text) {
    error_ = std::move(text);
    return false;
  }
  ParseOutcome Fail(std::string text = {}) {
    ParseOutcome outcome;
    outcome.error = text.empty() ? error_ : std::move(text);
    return outcome;
  }
  ParseOutcome Done() {
    ParseOutcome outcome;
    outcome.invocation = std::move(inv_);
    return outcome;
  }

  Cursor cursor_;
  Invocation inv_;
  std::string error_;
};

}  // namespace

ParseOutcome ParseArguments(const std::vector<std::string>& arguments) {
  return Parser(arguments).Run();
}

bool TalksToUnit(Command command) {
  return command != Command::Show && command != Command::Plot && command != Command::Diff &&
         command != Command::Align && command != Command::AutoEq &&
         command != Command::ImportFilters && command != Command::ExportFilters && command != Command::Journal;
}

}  // namespace corvella::cli
