#include "sim/tool/unit_sim_options.h"

#include <charconv>

#include "model/bounded_number.h"

namespace corvella::sim::tool {

const char* const kUsage = R"usage(Usage: corvella-unit-sim [options]

Plays one or more loudspeaker DSP units on a pseudo-terminal. Prints the path of the
terminal's far side (open it as the serial port) and answers every frame until SIGINT or
SIGTERM arrives or standard input closes.

Units:
  --unit ID[:NAME[:KIND]]  add a unit (repeatable; without it one unit with ID 1).
                           ID 1..10; NAME up to 14 characters, "."-padded, no "(" or ")";
                           KIND 0 answers the probe with 21 characters, KIND 1 with 19
                           characters and never answers "M00)".
  --demo                   the first unit carries the demo program and memories 1..4.
  --load FILE              load the first unit's current program from a parameters file
                           (168 bytes; codes are taken as they are, without repair).
  --save FILE              save the first unit's current program to FILE on exit.

Line:
  --link PATH              also place a symbolic link PATH to the far side (removed on exit).
  --log FILE               log every frame received ("rx") and every answer ("tx") with a
                           UTC timestamp.
  --ignore-stdin           keep running when standard input closes.
  --line-rate              take the time of a 9600-baud 8N2 line (1/872.7 s a character) in
                           both directions: a frame is answered only once its last character
                           could have arrived, and the answer comes out at that pace.

Faults (for every unit; CMD is the start of a command after the ID, e.g. '$022', '%05',
'I00', 'X', 'bye', or 'all'):
  --delay MS               answer MS milliseconds late.
  --delay-for CMD          with --delay, only the answers to CMD are late (repeatable).
  --silent                 never answer.
  --silent-after N         answer the first N frames, then nothing.
  --silent-for CMD         no answer to CMD (repeatable).
  --garble CMD             answer CMD with its body replaced by "?" (repeatable).
  --garble-first N         with --garble, garble only the first N such answers.
  --stale CMD              answer CMD with the answer given to the frame before it, as a
                           unit one answer behind would (repeatable).
  --stale-from-read N      the same for every read request ('%') from the N-th on.
  --stale-first N          with --stale or --stale-from-read, only the first N such answers.
  --ignore-writes CMD      acknowledge writes of CMD (e.g. '$049') without applying them.
  --ignore-probes N        stay silent to the first N probes ("X").
  --no-close CMD           answer CMD without its closing ")" (repeatable).
  --junk-before TEXT       write TEXT before every answer.
  --junk-after TEXT        write TEXT after every answer.
  --hang-up-after N        hang up the line when the N-th frame arrives (it gets no
                           answer), then exit.

  --help                   show this text.
  --version                print the version and end.
)usage";

namespace {
std::optional<int> Number(std::string_view text, int min, int max) {
  return BoundedNumber(text, min, max);
}

std::optional<UnitOption> ParseUnit(std::string_view text, std::string& error) {
  UnitOption wanted;
  const auto firstColon = text.find(':');
  const auto id = Number(text.substr(0, firstColon), kMinDeviceId, kMaxDeviceId);
  if (!id) {
    error = "--unit: the ID must be a number from 1 to 10: " + std::string(text);
    return std::nullopt;
  }
  wanted.id = *id;
  if (firstColon == std::string_view::npos) return wanted;
  std::string_view rest = text.substr(firstColon + 1);
  const auto secondColon = rest.find(':');
  const std::string_view name = rest.substr(0, secondColon);
  if (name.size() > kDeviceNameLength || name.find_first_of("()") != std::string_view::npos) {
    error =
        "--unit: the name must have at most 14 characters and no "
        "\"(\" or \")\": " +
        std::string(name);
    return std::nullopt;
  }
  if (!name.empty()) wanted.name = PadName(name, kDeviceNameLength);
  if (secondColon == std::string_view::npos) return wanted;
  const auto kind = Number(rest.substr(secondColon + 1), 0, 1);
  if (!kind) {
    error = "--unit: the kind must be 0 or 1: " + std::string(text);
    return std::nullopt;
  }
  wanted.kind = *kind == 0 ? ProbeKind::Long : ProbeKind::Short;
  return wanted;
}

bool TakesValue(std::string_view flag) {
  constexpr std::string_view kValueFlags[] = {
      "--unit",          "--link",         "--load",
      "--save",          "--log",          "--delay",
      "--delay-for",     "--silent-after", "--hang-up-after",
      "--silent-for",    "--garble",       "--garble-first",
      "--ignore-writes", "--no-close",     "--junk-before",
      "--junk-after",    "--stale",        "--stale-from-read",
      "--stale-first",   "--ignore-probes"};
  for (std::string_view f : kValueFlags) {
    if (f == flag) return true;
  }
  return false;
}

void AddCommand(CommandMatch& match, std::string_view command) {
  if (command == "all") {
    match.all = true;
  } else {
    match.prefixes.emplace_back(command);
  }
}

}  // namespace

ParseResult ParseOptions(const std::vector<std::string_view>& args) {
  Options options;
  ParseResult result;
  auto fail = [&](std::string message) {
    result.error = std::move(message);
    return result;
  };
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    auto flag = [&](std::string_view name) { return arg == name; };
    const bool hasValue = i + 1 < args.size();
    auto value = [&]() { return args[++i]; };
    if (flag("--help") || flag("-h")) {
      options.help = true;
    } else if (flag("--demo")) {
      options.demo = true;
    } else if (flag("--ignore-stdin")) {
      options.ignoreStdin = true;
    } else if (flag("--line-rate")) {
      options.lineRate = true;
    } else if (flag("--silent")) {
      options.faults.silent = true;
    } else if (!hasValue && TakesValue(arg)) {
      return fail(std::string(arg) + " needs a value (see --help)");
    } else if (flag("--unit")) {
      auto wanted = ParseUnit(value(), result.error);
      if (!wanted) return result;
      for (const UnitOption& other : options.units) {
        if (other.id == wanted->id) return fail("--unit: ID " + std::to_string(wanted->id) + " twice");
      }
      options.units.push_back(*wanted);
    } else if (flag("--link")) {
      options.linkPath = value();
    } else if (flag("--load")) {
      options.loadPath = value();
    } else if (flag("--save")) {
      options.savePath = value();
    } else if (flag("--log")) {
      options.logPath = value();
    } else if (flag("--delay") || flag("--silent-after") || flag("--hang-up-after") ||
               flag("--garble-first") || flag("--stale-from-read") || flag("--stale-first") ||
               flag("--ignore-probes")) {
      const std::string_view text = value();
      const bool fromOne = flag("--hang-up-after") || flag("--stale-from-read");
      const auto number = Number(text, fromOne ? 1 : 0, 3'600'000);
      if (!number) return fail(std::string(arg) + " needs a number: " + std::string(text));
      if (flag("--delay")) options.faults.answerDelayMs = *number;
      if (flag("--silent-after")) options.faults.silentAfterFrames = *number;
      if (flag("--hang-up-after")) options.faults.hangUpAfterFrames = *number;
      if (flag("--garble-first")) options.faults.garbleFirst = *number;
      if (flag("--stale-from-read")) options.faults.staleFromRead = *number;
      if (flag("--stale-first")) options.faults.staleFirst = *number;
      if (flag("--ignore-probes")) options.faults.ignoreProbes = *number;
    } else if (flag("--delay-for")) {
      AddCommand(options.faults.delayFor, value());
    } else if (flag("--silent-for")) {
      AddCommand(options.faults.silentFor, value());
    } else if (flag("--garble")) {
      AddCommand(options.faults.garbleFor, value());
    } else if (flag("--stale")) {
      AddCommand(options.faults.staleFor, value());
    } else if (flag("--ignore-writes")) {
      AddCommand(options.faults.ignoreWritesFor, value());
    } else if (flag("--no-close")) {
      AddCommand(options.faults.unterminatedFor, value());
    } else if (flag("--junk-before")) {
      options.faults.junkBefore = value();
    } else if (flag("--junk-after")) {
      options.faults.junkAfter = value();
    } else {
      return fail("unknown option " + std::string(arg) + " (see --help)");
    }
  }
  result.options = std::move(options);
  return result;
}

}  // namespace corvella::sim::tool
