// The command line is read by CLI11 (it splits options from their values and writes each command's
// --help); what the values mean, and every refusal, is checked here with the tool's own words.
#include "cli/cli_options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cctype>
#include <charconv>
#include <memory>
#include <utility>

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
  scan [--json]          list the units found: ID, name and port, one per line
  upload FILE [--accept-repaired] [--fast]
                         read the unit's program into a parameters file; a program with
                         out-of-range values is refused unless --accept-repaired is given
                         (it is then saved repaired, with the warning); --fast: each step
                         of the transfer goes on as soon as the unit's answer is in, not at
                         the protocol's next 230 ms tick (a silent unit meets the same limits)
  download FILE [--verify] [--accept-repaired] [--fast] [--json]
                         write a parameters file into the unit; --verify reads it back and
                         compares (a file with out-of-range values is then refused unless
                         --accept-repaired is given: it is sent and compared repaired)
  load-default [FILE] [--fast]
                         load the factory default (or FILE) into the unit and store it
  programs [--json]      list the six program memories
  recall N [-o FILE] [--accept-repaired]
                         recall memory N (1..6); -o saves the recalled program
  store N                store the current program as memory N (1..6)
  rename NAME            rename the current program (up to 25 characters)
  set-identity ID NAME   give the unit a new ID (1..10) and name (up to 14 characters)
  verify FILE [--json] [--fast]
                         read the unit's program and list how FILE differs from it
  sync FILE [--accept-repaired] [--fast] [--json]
                         send only what differs from FILE (or all of FILE when that is
                         quicker), then read the unit back and compare; a file with
                         out-of-range values is refused unless --accept-repaired is given

Commands for every unit on every port at once (the ports are worked in parallel):
  fleet scan [--json] [--expect N|PORT:ID,...]
                         one row per unit: port, ID, device name, kind, program number and
                         program name
  fleet backup DIR [--fast] [--json] [--expect N|PORT:ID,...]
                         every unit's program into DIR/<port>-<ID>-<device name>.asc, with
                         DIR/manifest.json saying how each unit went; DIR is created when
                         missing (one level)
  fleet download FILE [--all] [--units PORT:ID[,PORT:ID...]] [--verify] [--fast] [--json] [--expect ...]
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
  show FILE [--json]     every parameter of a parameters file with its display text
  diff A B [--json]      every parameter that differs between two parameters files
  journal FILE           a protocol journal (--log) read back: each frame with its time since
                         the first, its answer time and what it means
  plot FILE --graph input-peq|output-peq|crossover|level --channel mic|line|high|low -o OUT [--json]
                         a page's response graph; OUT ends in .png, .svg or .csv
  plot FILE --graph system [--input line|mic] [--high-driver F] [--low-driver F] [--points N] -o OUT [--json]
                         the loudspeaker's response: HIGH, LOW and their sum in magnitude,
                         phase and group delay, optionally on measured drivers (text files of
                         frequency, dB and phase); 1/48 octave from 10 Hz to 24 kHz, or N points
  align FILE [--input line|mic] [--high-driver F] [--low-driver F] [-o OUT.asc] [--json]
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

--json (on the commands that show it) prints the result as one JSON document on the standard
output instead (docs/cli-json.md); the exit status is the same.

`corvella-cli COMMAND --help` and `corvella-cli fleet ACTION --help` list the options of each.

Exit status: 0 success, 1 the unit did not answer or answered wrongly (diff, verify, sync:
the programs differ; fleet: any unit failed, the others still done and reported), 2 usage
error or an unreadable or invalid file.
)usage";

namespace {

struct CommandName {
  const char* text;
  Command command;
  const char* summary;  // the first line of the command's --help
};

constexpr CommandName kCommands[] = {
    {"scan", Command::Scan, "List the units found: ID, name and port, one per line."},
    {"upload", Command::Upload, "Read the unit's program into a parameters file."},
    {"download", Command::Download, "Write a parameters file into the unit."},
    {"load-default", Command::LoadDefault,
     "Load the factory default (or FILE) into the unit and store it."},
    {"programs", Command::Programs, "List the six program memories."},
    {"recall", Command::Recall, "Recall program memory N (1..6)."},
    {"store", Command::Store, "Store the current program as memory N (1..6)."},
    {"rename", Command::Rename, "Rename the current program (up to 25 characters)."},
    {"set-identity", Command::SetIdentity,
     "Give the unit a new ID (1..10) and name (up to 14 characters)."},
    {"show", Command::Show, "Every parameter of a parameters file with its display text."},
    {"plot", Command::Plot,
     "A page's response graph, or with --graph system the loudspeaker's response."},
    {"diff", Command::Diff, "Every parameter that differs between two parameters files."},
    {"verify", Command::Verify, "Read the unit's program and list how FILE differs from it."},
    {"sync", Command::Sync,
     "Send only what differs from FILE, then read the unit back and compare."},
    {"align", Command::Align,
     "The delay and polarity that make HIGH + LOW smoothest across the crossover."},
    {"fleet", Command::Fleet, "Every unit on every port at once."},
    {"autoeq", Command::AutoEq,
     "The stage's bands, on the unit's steps, that flatten a measurement."},
    {"import-filters", Command::ImportFilters,
     "The stage's bands from filter text, each snapped to the unit's steps."},
    {"export-filters", Command::ExportFilters, "The stage's bands as filter text."},
    {"serve", Command::Serve, "Serve every unit over OSC and MQTT until SIGINT or SIGTERM."},
    {"journal", Command::Journal, "A protocol journal (--log) read back, each frame decoded."},
};

struct FleetActionName {
  const char* text;
  FleetAction action;
  const char* summary;
};

constexpr FleetActionName kFleetActions[] = {
    {"scan", FleetAction::Scan, "One row per unit: port, ID, device name, kind and program."},
    {"backup", FleetAction::Backup,
     "Every unit's program into DIR/<port>-<ID>-<device name>.asc, with DIR/manifest.json."},
    {"download", FleetAction::Download,
     "Write a parameters file into every unit found (--all) or the units named (--units)."},
};

constexpr const char* kCommandFooter =
    "The options --ports, --id, --log, --quiet and --demo go before the command "
    "(corvella-cli --help).";

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

// The last value given to an option (or a positional), nothing when it was not given.
std::optional<std::string> ValueOf(const CLI::App& app, const std::string& name) {
  const CLI::Option* option = app.get_option_no_throw(name);
  if (option == nullptr || option->count() == 0) return std::nullopt;
  return option->results().back();
}

bool Given(const CLI::App& app, const std::string& name) {
  const CLI::Option* option = app.get_option_no_throw(name);
  return option != nullptr && option->count() > 0;
}

// What CLI11 left over: arguments no option or positional took ("--" only marks the end of the
// options), and a flag given a value ("--fast=no"), which CLI11 takes but this tool never did.
std::optional<std::string> FirstLeftOver(const CLI::App& app) {
  for (const std::string& argument : app.remaining()) {
    if (argument != "--") return argument;
  }
  const auto flags =
      app.get_options([](const CLI::Option* o) { return o->get_expected_max() == 0; });
  for (const CLI::Option* flag : flags) {
    for (const std::string& result : flag->results()) {
      if (result != "true") return flag->get_name() + "=" + result;
    }
  }
  return std::nullopt;
}

// Each command's --help as CLI11 writes it, but with a positional shown bracketed only where the
// command may go without it.
class HelpFormatter : public CLI::Formatter {
 public:
  void MayBeLeftOut(const CLI::Option* positional) { optional_.push_back(positional); }

  std::string make_option_usage(const CLI::Option* option) const override {
    const std::string name = option->get_name(true, false);
    const bool optional = std::find(optional_.begin(), optional_.end(), option) != optional_.end();
    return optional ? "[" + name + "]" : name;
  }

  std::string make_help(const CLI::App* app, std::string name,
                        CLI::AppFormatMode mode) const override {
    // An option kept off the list still leaves its group's blank line behind.
    std::string text = CLI::Formatter::make_help(app, std::move(name), mode);
    for (std::size_t at = text.find("\n\n\n"); at != std::string::npos; at = text.find("\n\n\n")) {
      text.erase(at, 1);
    }
    return text;
  }

 private:
  std::vector<const CLI::Option*> optional_;
};

// The command line's shape for CLI11: every command and fleet action with its options. Values are
// kept as text, so each one is judged below and refused in this tool's words.
class Grammar {
 public:
  Grammar() {
    app_.set_help_flag();
    app_.formatter(formatter_);
    app_.allow_windows_style_options(false);  // "/dev/ttyUSB0" is a value, never an option
    app_.allow_extras();
    app_.require_subcommand(0, 1);
    // Given twice, an option's last value counts (the lists of --expect and --units add up).
    app_.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
    Flag(app_, "-h,--help", "print the usage and every command, and end");
    Value(app_, "--ports", "LIST", "comma-separated serial devices: COM1, COM2, ...");
    Value(app_, "--id", "N", "the unit whose ID is N (1..10)");
    Value(app_, "--log", "FILE", "append every frame sent and received to FILE");
    Flag(app_, "--quiet", "do not echo status lines");
    Flag(app_, "--demo", "run against an in-process virtual unit");
    for (const CommandName& command : kCommands) {
      CLI::App* sub = Sub(app_, command.text, command.summary);
      commands_.emplace_back(sub, command.command);
      Declare(*sub, command.command);
    }
  }

  CLI::App& App() { return app_; }

  std::optional<Command> CommandOf(const CLI::App* sub) const {
    for (const auto& [app, command] : commands_) {
      if (app == sub) return command;
    }
    return std::nullopt;
  }

  std::optional<FleetAction> ActionOf(const CLI::App* sub) const {
    for (const auto& [app, action] : actions_) {
      if (app == sub) return action;
    }
    return std::nullopt;
  }

 private:
  CLI::App* Sub(CLI::App& parent, const char* name, const char* summary) {
    CLI::App* sub = parent.add_subcommand(name, summary);
    sub->allow_extras();
    sub->footer(kCommandFooter);
    Flag(*sub, "-h,--help", "print this command's options and end");
    return sub;
  }

  void Flag(CLI::App& app, const std::string& names, const std::string& description) {
    app.add_flag(names, description);
  }

  void Value(CLI::App& app, const std::string& names, const std::string& type,
             const std::string& description) {
    app.add_option(names, description)->type_name(type);
  }

  // An option kept off the --help that is only there to be refused with a reason.
  void Refused(CLI::App& app, const std::string& name) { app.add_option(name)->group(""); }

  void Positional(CLI::App& app, const std::string& name, const std::string& description) {
    app.add_option(name, description)->type_name("");
  }
  void OptionalPositional(CLI::App& app, const std::string& name, const std::string& description) {
    formatter_->MayBeLeftOut(app.add_option(name, description)->type_name(""));
  }

  void Output(CLI::App& app, const std::string& type, const std::string& description) {
    Value(app, "-o,--output", type, description);
  }

  void Fast(CLI::App& app) {
    Flag(app, "--fast", "each step goes on as soon as the unit's answer is in");
  }
  void AcceptRepaired(CLI::App& app, const std::string& description) {
    Flag(app, "--accept-repaired", description);
  }
  void Json(CLI::App& app) { Flag(app, "--json", "print the result as JSON"); }

  void Stage(CLI::App& app) {
    Value(app, "--stage", "high|low|input-mic|input-line", "the stage whose bands are meant");
  }

  // The loudspeaker's response (plot --graph system, align).
  void SystemOptions(CLI::App& app) {
    Value(app, "--input", "line|mic", "the input the response starts at (line)");
    Value(app, "--high-driver", "F", "the HIGH driver's measured response (text file)");
    Value(app, "--low-driver", "F", "the LOW driver's measured response (text file)");
  }

  void Expect(CLI::App& app) {
    Value(app, "--expect", "N|PORT:ID,...",
          "at least N units must be found, or each unit named must be");
  }

  void Declare(CLI::App& sub, Command command) {
    switch (command) {
      case Command::Scan:
      case Command::Programs:
        Json(sub);
        return;
      case Command::Upload:
        Positional(sub, "FILE", "the parameters file to write");
        AcceptRepaired(sub, "keep a program that needed the range repair, repaired");
        Fast(sub);
        return;
      case Command::Download:
        Positional(sub, "FILE", "the parameters file to send");
        Flag(sub, "--verify", "read the unit back and compare");
        AcceptRepaired(sub, "with --verify: send and compare a file that needed the repair");
        Fast(sub);
        Json(sub);
        return;
      case Command::LoadDefault:
        OptionalPositional(sub, "FILE",
                           "the parameters file to load (default: the factory default)");
        Fast(sub);
        return;
      case Command::Recall:
        Positional(sub, "N", "the program memory (1..6)");
        Output(sub, "FILE", "save the recalled program");
        AcceptRepaired(sub, "with -o: keep a program that needed the range repair, repaired");
        return;
      case Command::Store:
        Positional(sub, "N", "the program memory (1..6)");
        return;
      case Command::Rename:
        Positional(sub, "NAME", "the program's new name");
        return;
      case Command::SetIdentity:
        Positional(sub, "ID", "the unit's new ID (1..10)");
        Positional(sub, "NAME", "the unit's new name");
        return;
      case Command::Show:
        Positional(sub, "FILE", "a parameters file");
        Json(sub);
        return;
      case Command::Journal:
        Positional(sub, "FILE", "a journal written by --log");
        return;
      case Command::Plot:
        Positional(sub, "FILE", "a parameters file");
        Value(sub, "--graph", "input-peq|output-peq|crossover|level|system", "the graph to draw");
        Value(sub, "--channel", "mic|line|high|low", "the page's channel (not for system)");
        Output(sub, "OUT", "the file to write, ending in .png, .svg or .csv");
        SystemOptions(sub);
        Value(sub, "--points", "N",
              "points of the system graph (default: 1/48 octave from 10 Hz to 24 kHz)");
        Json(sub);
        return;
      case Command::Diff:
        Positional(sub, "A", "a parameters file");
        Positional(sub, "B", "the parameters file compared with A");
        Json(sub);
        return;
      case Command::Verify:
        Positional(sub, "FILE", "the parameters file compared with the unit");
        Json(sub);
        Fast(sub);
        return;
      case Command::Sync:
        Positional(sub, "FILE", "the parameters file the unit should hold");
        AcceptRepaired(sub, "send and compare a file that needed the range repair");
        Fast(sub);
        Json(sub);
        return;
      case Command::Align:
        Positional(sub, "FILE", "a parameters file");
        SystemOptions(sub);
        Output(sub, "OUT.asc", "write the set with the delay and polarity found");
        Refused(sub, "--points");
        Json(sub);
        return;
      case Command::Fleet:
        DeclareFleet(sub);
        return;
      case Command::AutoEq:
        Positional(sub, "FILE", "a parameters file");
        Value(sub, "--measurement", "M", "the measurement taken with the stage's bands flat");
        Stage(sub);
        Value(sub, "--from", "HZ", "the lowest frequency fitted (20)");
        Value(sub, "--to", "HZ", "the highest frequency fitted (20000)");
        Value(sub, "--smoothing", "N", "smooth to 1/N octave (12; 0 none)");
        Value(sub, "--max-boost", "DB", "boost at most DB (6; 0 cuts only)");
        Json(sub);
        Output(sub, "OUT.asc", "the parameters file to write");
        return;
      case Command::ImportFilters:
        Positional(sub, "FILE", "a parameters file");
        Positional(sub, "F", "the filter text (\"Filter 1: ON PK Fc 100 Hz Gain -3.0 dB Q 1.41\")");
        Stage(sub);
        Output(sub, "OUT.asc", "the parameters file to write");
        return;
      case Command::ExportFilters:
        Positional(sub, "FILE", "a parameters file");
        Stage(sub);
        Output(sub, "F", "the file to write (default: the standard output)");
        return;
      case Command::Serve:
        DeclareServe(sub);
        return;
    }
  }

  void DeclareFleet(CLI::App& fleet) {
    fleet.require_subcommand(0, 1);
    for (const FleetActionName& action : kFleetActions) {
      CLI::App* sub = Sub(fleet, action.text, action.summary);
      actions_.emplace_back(sub, action.action);
      switch (action.action) {
        case FleetAction::Scan:
          Json(*sub);
          break;
        case FleetAction::Backup:
          Positional(*sub, "DIR", "the folder (created when missing, one level)");
          Fast(*sub);
          Json(*sub);
          break;
        case FleetAction::Download:
          Positional(*sub, "FILE", "the parameters file to send");
          Flag(*sub, "--all", "every unit found");
          Value(*sub, "--units", "PORT:ID,...",
                "the units named (PORT: the device, its base name such as ttyUSB0, or COMn)");
          Flag(*sub, "--verify", "read each unit back and compare");
          Fast(*sub);
          Json(*sub);
          break;
      }
      Expect(*sub);
    }
  }

  void DeclareServe(CLI::App& sub) {
    Value(sub, "--osc-udp", "PORT", "serve OSC over UDP on PORT (0: a free one)");
    Value(sub, "--osc-tcp", "PORT", "serve OSC over TCP on PORT (0: a free one)");
    Value(sub, "--http", "PORT", "serve HTTP and WebSocket on PORT (0: a free one)");
    Value(sub, "--listen", "ADDR", "the address the servers listen on (127.0.0.1)");
    Value(sub, "--mqtt", "HOST[:PORT]", "publish to and listen on this MQTT broker");
    Value(sub, "--mqtt-prefix", "P", "the MQTT topics' prefix (corvella)");
    Value(sub, "--mqtt-user", "U", "the MQTT user name");
    Value(sub, "--mqtt-password-file", "F", "the file holding the MQTT password");
    Value(sub, "--mqtt-cafile", "F", "the CA certificate the broker's is checked with (TLS)");
    Refused(sub, "--mqtt-password");
    Fast(sub);
  }

  std::shared_ptr<HelpFormatter> formatter_ = std::make_shared<HelpFormatter>();
  CLI::App app_{"", "corvella-cli"};
  std::vector<std::pair<const CLI::App*, Command>> commands_;
  std::vector<std::pair<const CLI::App*, FleetAction>> actions_;
};

// What CLI11 read, judged: every value and every combination is checked here before anything is
// opened, and the first fault is the one reported.
class Reader {
 public:
  explicit Reader(const Grammar& grammar) : grammar_(grammar) {}

  ParseOutcome Read(const CLI::App& app) {
    if (Given(app, "--help")) {
      inv_.help = true;
      inv_.helpText = kUsage;
      return Done();
    }
    if (const auto extra = FirstLeftOver(app)) {
      const bool option = !extra->empty() && extra->front() == '-';
      return Fail((option ? "unknown option: " : "unknown command: ") + *extra);
    }
    if (!GlobalOptions(app)) return Fail();
    const auto subs = app.get_subcommands();
    if (subs.empty()) return Fail("no command given");
    const CLI::App& sub = *subs.front();
    inv_.command = *grammar_.CommandOf(&sub);
    const std::string name = sub.get_name();
    if (Given(sub, "--help") ||
        (!sub.get_subcommands().empty() && Given(*sub.get_subcommands().front(), "--help"))) {
      inv_.help = true;
      inv_.helpText = sub.help("corvella-cli");
      return Done();
    }
    if (const auto extra = FirstLeftOver(sub)) {
      if (inv_.command == Command::Fleet) return Fail("unknown fleet action: " + *extra);
      return Fail("unexpected argument to " + name + ": " + *extra);
    }
    if (!CommandArguments(sub, name)) return Fail();
    if (inv_.command == Command::Fleet && inv_.unitId) {
      return Fail("--id picks one unit; fleet download takes --units PORT:ID");
    }
    return Done();
  }

 private:
  bool GlobalOptions(const CLI::App& app) {
    if (const auto ports = ValueOf(app, "--ports")) {
      if (ports->empty()) return Error("--ports needs a comma-separated device list");
      inv_.portsList = *ports;
    }
    if (const auto id = ValueOf(app, "--id")) {
      inv_.unitId = Number(*id, 1, 10);
      if (!inv_.unitId) return Error("--id must be a unit ID from 1 to 10");
    }
    if (const auto log = ValueOf(app, "--log")) {
      if (log->empty()) return Error("--log needs the name of the journal file");
      inv_.logPath = *log;
    }
    inv_.quiet = Given(app, "--quiet");
    inv_.demo = Given(app, "--demo");
    return true;
  }

  // The flags a command may take, each set when given.
  void Flags(const CLI::App& sub) {
    for (const auto& [option, target] :
         {std::pair{"--fast", &inv_.fast}, std::pair{"--json", &inv_.json},
          std::pair{"--accept-repaired", &inv_.acceptRepaired}, std::pair{"--verify", &inv_.verify},
          std::pair{"--all", &inv_.fleetAll}}) {
      *target = Given(sub, option);
    }
  }

  bool CommandArguments(const CLI::App& sub, const std::string& name) {
    Flags(sub);
    switch (inv_.command) {
      case Command::Scan:
      case Command::Programs:
        return true;
      case Command::Upload:
      case Command::Download:
      case Command::Verify:
      case Command::Sync:
      case Command::Show:
      case Command::Journal:
        return FileArgument(sub, name, "FILE");
      case Command::Diff:
        if (!FileArgument(sub, name, "A")) return false;
        if (!NonEmpty(sub, "B")) return Error("diff needs two files A and B");
        inv_.secondFile = *ValueOf(sub, "B");
        return true;
      case Command::LoadDefault:
        inv_.file = ValueOf(sub, "FILE").value_or("");
        if (Given(sub, "FILE") && inv_.file.empty()) {
          return Error("unexpected argument to load-default: ");
        }
        return true;
      case Command::Recall:
        if (!OutputOption(sub, "-o needs a FILE")) return false;
        return MemoryArgument(sub, name);
      case Command::Store:
        return MemoryArgument(sub, name);
      case Command::Rename:
        if (!Given(sub, "NAME")) return Error("rename needs a program NAME");
        return NameArgument(sub, "program", kMaxProgramNameLength);
      case Command::SetIdentity:
        return IdentityArguments(sub);
      case Command::Plot:
        return PlotArguments(sub);
      case Command::Align:
        return AlignArguments(sub);
      case Command::Fleet:
        return FleetArguments(sub);
      case Command::AutoEq:
        return AutoEqArguments(sub);
      case Command::ImportFilters:
      case Command::ExportFilters:
        return FilterArguments(sub, name);
      case Command::Serve:
        return ServeArguments(sub);
    }
    return false;
  }

  static bool NonEmpty(const CLI::App& sub, const std::string& positional) {
    const auto value = ValueOf(sub, positional);
    return value && !value->empty();
  }

  bool FileArgument(const CLI::App& sub, const std::string& name, const std::string& positional) {
    if (!NonEmpty(sub, positional)) return Error(name + " needs a FILE");
    inv_.file = *ValueOf(sub, positional);
    return true;
  }

  bool MemoryArgument(const CLI::App& sub, const std::string& name) {
    const auto text = ValueOf(sub, "N");
    if (!text) return Error(name + " needs a program memory number N (1..6)");
    const auto n = Number(*text, 1, 6);
    if (!n) return Error("the program memory number must be 1..6: " + *text);
    inv_.memory = *n;
    return true;
  }

  // A name the unit keeps in a fixed field, inside a frame that brackets end.
  bool NameArgument(const CLI::App& sub, const std::string& what, std::size_t maxLength) {
    inv_.name = *ValueOf(sub, "NAME");
    if (inv_.name.size() <= maxLength && !HasBracket(inv_.name)) return true;
    return Error("a " + what + " name has at most " + std::to_string(maxLength) +
                 " characters and no \"(\" or \")\": " + inv_.name);
  }

  bool IdentityArguments(const CLI::App& sub) {
    const auto idText = ValueOf(sub, "ID");
    if (!idText) return Error("set-identity needs an ID (1..10) and a NAME");
    const auto id = Number(*idText, 1, 10);
    if (!id) return Error("the unit ID must be 1..10: " + *idText);
    inv_.newId = *id;
    if (!Given(sub, "NAME")) return Error("set-identity needs a NAME after the ID");
    return NameArgument(sub, "device", kMaxDeviceNameLength);
  }

  // -o OUT or --output OUT: an empty name is refused with `missing`.
  bool OutputOption(const CLI::App& sub, const std::string& missing) {
    inv_.output = ValueOf(sub, "-o");
    if (inv_.output && inv_.output->empty()) return Error(missing);
    return true;
  }

  // The options of the system response; `given` tells whether any of them was.
  bool SystemOptions(const CLI::App& sub, bool& given) {
    given = false;
    if (const auto input = ValueOf(sub, "--input")) {
      if (*input != "line" && *input != "mic") return Error("--input needs line or mic");
      inv_.micInput = *input == "mic";
      given = true;
    }
    for (const auto& [option, target] : {std::pair{"--high-driver", &inv_.highDriver},
                                         std::pair{"--low-driver", &inv_.lowDriver}}) {
      *target = ValueOf(sub, option);
      if (*target && (*target)->empty()) {
        return Error(std::string(option) + " needs a measurement file");
      }
      given = given || target->has_value();
    }
    return true;
  }

  bool PlotArguments(const CLI::App& sub) {
    if (!OutputOption(sub, "-o needs a file name ending in .png, .svg or .csv")) return false;
    bool systemOptions = false;
    if (!SystemOptions(sub, systemOptions)) return false;
    if (const auto points = ValueOf(sub, "--points")) {
      const auto n = Number(*points, 2, kMaxSystemPoints);
      if (!n) return Error("--points needs a number from 2 to " + std::to_string(kMaxSystemPoints));
      inv_.points = *n;
      systemOptions = true;
    }
    if (!FileArgument(sub, "plot", "FILE")) return false;
    const auto graphName = ValueOf(sub, "--graph");
    const auto channelName = ValueOf(sub, "--channel");
    if (graphName && graphName->empty()) {
      return Error("--graph needs input-peq, output-peq, crossover or level");
    }
    if (channelName && channelName->empty()) return Error("--channel needs mic, line, high or low");
    if (!graphName) return Error("plot needs --graph input-peq|output-peq|crossover|level|system");
    if (*graphName == "system") {
      if (channelName) return Error("the system graph shows both outputs: it takes no --channel");
      inv_.systemGraph = true;
      return PlotOutput();
    }
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

  // The plot's -o OUT and the format its name ends in.
  bool PlotOutput() {
    if (!inv_.output) return Error("plot needs -o OUT (.png, .svg or .csv)");
    const auto format = FormatOf(*inv_.output);
    if (!format) return Error("the plot file must end in .png, .svg or .csv: " + *inv_.output);
    inv_.format = *format;
    return true;
  }

  bool AlignArguments(const CLI::App& sub) {
    if (!OutputOption(sub, "-o needs a parameters FILE to write")) return false;
    if (Given(sub, "--points"))
      return Error("align scores its own points; --points goes with plot");
    bool given = false;
    return SystemOptions(sub, given) && FileArgument(sub, "align", "FILE");
  }

  bool StageOption(const CLI::App& sub, bool& given) {
    const auto value = ValueOf(sub, "--stage");
    given = value.has_value();
    if (!value) return true;
    const auto stage = EqStageNamed(*value);
    if (!stage) return Error("--stage needs high, low, input-mic or input-line");
    inv_.stage = *stage;
    return true;
  }

  // import-filters FILE F --stage S -o OUT, export-filters FILE --stage S [-o F].
  bool FilterArguments(const CLI::App& sub, const std::string& name) {
    const bool importing = inv_.command == Command::ImportFilters;
    bool stageGiven = false;
    if (!OutputOption(sub, "-o needs a FILE to write") || !StageOption(sub, stageGiven) ||
        !FileArgument(sub, name, "FILE")) {
      return false;
    }
    if (importing) {
      if (!NonEmpty(sub, "F")) return Error(name + " needs a filter text file");
      inv_.secondFile = *ValueOf(sub, "F");
    }
    if (!stageGiven) return Error(name + " needs --stage high|low|input-mic|input-line");
    if (importing && !inv_.output) return Error(name + " needs -o OUT.asc");
    return true;
  }

  bool AutoEqArguments(const CLI::App& sub) {
    if (!OutputOption(sub, "-o needs a parameters FILE to write")) return false;
    inv_.measurement = ValueOf(sub, "--measurement");
    if (inv_.measurement && inv_.measurement->empty()) {
      return Error("--measurement needs a measurement file");
    }
    bool stageGiven = false;
    if (!StageOption(sub, stageGiven)) return false;
    for (const auto& [option, target] :
         {std::pair{"--from", &inv_.fromHz}, std::pair{"--to", &inv_.toHz}}) {
      if (const auto value = ValueOf(sub, option)) {
        const auto hz = Decimal(*value, 1.0, 100000.0);
        if (!hz) return Error(std::string(option) + " needs a frequency in Hz");
        *target = *hz;
      }
    }
    if (const auto value = ValueOf(sub, "--smoothing")) {
      const auto n = Number(*value, 0, 96);
      if (!n) return Error("--smoothing needs N from 0 (none) to 96 (1/N octave)");
      inv_.smoothing = *n;
    }
    if (const auto value = ValueOf(sub, "--max-boost")) {
      const auto db = Decimal(*value, 0.0, 12.0);
      if (!db) return Error("--max-boost needs a gain from 0 to 12 dB");
      inv_.maxBoostDb = *db;
    }
    if (!FileArgument(sub, "autoeq", "FILE")) return false;
    if (!inv_.measurement) return Error("autoeq needs --measurement M");
    if (!stageGiven) return Error("autoeq needs --stage high|low|input-mic|input-line");
    if (!inv_.output) return Error("autoeq needs -o OUT.asc");
    if (inv_.toHz <= inv_.fromHz) return Error("--to must lie above --from");
    return true;
  }

  bool ServeArguments(const CLI::App& sub) {
    if (Given(sub, "--mqtt-password")) {
      return Error("--mqtt-password: the password is read from a file (--mqtt-password-file F)");
    }
    for (const auto& [option, target] :
         {std::pair{"--osc-udp", &inv_.oscUdp}, std::pair{"--osc-tcp", &inv_.oscTcp},
          std::pair{"--http", &inv_.httpPort}}) {
      const auto value = ValueOf(sub, option);
      if (!value) continue;
      if (value->empty()) return Error(std::string(option) + " needs a value");
      // 0 lets the system pick a free port (the tests listen so).
      *target = Number(*value, 0, 65535);
      if (!*target) return Error(std::string(option) + " needs a port number 0..65535");
    }
    for (const auto& [option, target] :
         {std::pair{"--mqtt", &inv_.mqttBroker}, std::pair{"--mqtt-user", &inv_.mqttUser},
          std::pair{"--mqtt-password-file", &inv_.mqttPasswordFile},
          std::pair{"--mqtt-cafile", &inv_.mqttCaFile}}) {
      *target = ValueOf(sub, option);
      if (*target && (*target)->empty()) return Error(std::string(option) + " needs a value");
    }
    for (const auto& [option, target] :
         {std::pair{"--mqtt-prefix", &inv_.mqttPrefix}, std::pair{"--listen", &inv_.listen}}) {
      if (const auto value = ValueOf(sub, option)) {
        if (value->empty()) return Error(std::string(option) + " needs a value");
        *target = *value;
      }
    }
    if (!inv_.oscUdp && !inv_.oscTcp && !inv_.mqttBroker && !inv_.httpPort) {
      return Error("serve needs --osc-udp PORT, --osc-tcp PORT, --mqtt HOST[:PORT] or --http PORT");
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

  bool FleetArguments(const CLI::App& fleet) {
    const auto actions = fleet.get_subcommands();
    if (actions.empty()) return Error("fleet needs scan, backup DIR or download FILE");
    const CLI::App& sub = *actions.front();
    inv_.fleetAction = *grammar_.ActionOf(&sub);
    const std::string name = "fleet " + sub.get_name();
    if (const auto extra = FirstLeftOver(sub)) {
      return Error("unexpected argument to " + name + ": " + *extra);
    }
    Flags(sub);
    for (const std::string& value : sub.get_option("--expect")->results()) {
      if (value.empty()) return Error("--expect needs N or PORT:ID[,PORT:ID...]");
      if (const auto count = Number(value, 1, 10 * 256)) {
        inv_.expectCount = count;
      } else if (!UnitsList(value, inv_.expectUnits, "--expect")) {
        return false;
      }
    }
    switch (inv_.fleetAction) {
      case FleetAction::Scan:
        return true;
      case FleetAction::Backup:
        if (!NonEmpty(sub, "DIR")) return Error("fleet backup needs a DIR");
        inv_.file = *ValueOf(sub, "DIR");
        return true;
      case FleetAction::Download:
        break;
    }
    for (const std::string& value : sub.get_option("--units")->results()) {
      if (value.empty()) return Error("--units needs PORT:ID[,PORT:ID...]");
      if (!UnitsList(value, inv_.fleetUnits, "--units")) return false;
    }
    if (!FileArgument(sub, name, "FILE")) return false;
    if (inv_.fleetAll == Given(sub, "--units")) {
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
        return Error(std::string(option) +
                     ": each unit is PORT:ID with an ID from 1 to 10: " + std::string(item));
      }
      into.push_back({std::string(item.substr(0, colon)), *id});
      begin = end + 1;
    }
    return true;
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

  const Grammar& grammar_;
  Invocation inv_;
  std::string error_;
};

ParseOutcome Refusal(std::string text) {
  ParseOutcome outcome;
  outcome.error = std::move(text);
  return outcome;
}

// `reversed` holds the arguments last first, as CLI11 takes them.
ParseOutcome Parse(std::vector<std::string> reversed) {
  Grammar grammar;
  grammar.App().parse(reversed);
  return Reader(grammar).Read(grammar.App());
}

}  // namespace

ParseOutcome ParseArguments(const std::vector<std::string>& arguments) {
  // CLI11 reads "-o=F" as the name "=F"; this tool has always taken it as "-o F".
  std::vector<std::string> reversed;
  for (auto it = arguments.rbegin(); it != arguments.rend(); ++it) {
    reversed.push_back(it->rfind("-o=", 0) == 0 ? "--output" + it->substr(2) : *it);
  }
  // CLI11 reports a malformed line by throwing; that stays inside this function.
  try {
    try {
      return Parse(reversed);
    } catch (const CLI::ArgumentMismatch&) {
      // Only an option that ends the line runs short of its value: it is refused as an empty one.
      reversed.insert(reversed.begin(), std::string());
      return Parse(reversed);
    }
  } catch (const CLI::Error& e) {
    return Refusal(e.what());
  }
}

bool TalksToUnit(Command command) {
  return command != Command::Show && command != Command::Plot && command != Command::Diff &&
         command != Command::Align && command != Command::AutoEq &&
         command != Command::ImportFilters && command != Command::ExportFilters &&
         command != Command::Journal;
}

}  // namespace corvella::cli
