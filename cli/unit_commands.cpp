#include "cli/unit_commands.h"

#include <algorithm>
#include <initializer_list>
#include <string>
#include <string_view>
#include <vector>

#include "cli/diff_output.h"
#include "cli/json_results.h"
#include "cli/terminal_view.h"
#include "cli/unit_link.h"
#include "core/outcome_words.h"
#include "link/edit_table.h"
#include "model/parameter_listing.h"
#include "model/parameters_file.h"

namespace corvella::cli {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kNotConfirmed = "the unit did not confirm";

int SearchGuardMs(int portCount) {
  return core::UnitController::SearchLimitMs(portCount);
}

std::string CommandName(Command command) {
  switch (command) {
    case Command::Scan:
      return "scan";
    case Command::Upload:
      return "upload";
    case Command::Download:
      return "download";
    case Command::LoadDefault:
      return "load-default";
    case Command::Programs:
      return "programs";
    case Command::Recall:
      return "recall";
    case Command::Store:
      return "store";
    case Command::Rename:
      return "rename";
    case Command::SetIdentity:
      return "set-identity";
    case Command::Show:
      return "show";
    case Command::Plot:
      return "plot";
    case Command::Diff:
      return "diff";
    case Command::Verify:
      return "verify";
    case Command::Sync:
      return "sync";
    case Command::Align:
      return "align";
    case Command::Fleet:
      return "fleet";
    case Command::AutoEq:
      return "autoeq";
    case Command::ImportFilters:
      return "import-filters";
    case Command::ExportFilters:
      return "export-filters";
    case Command::Serve:
      return "serve";
    case Command::Journal:
      return "journal";
  }
  return {};
}

class Replay {
 public:
  Replay(const Invocation& inv, const std::optional<fs::path>& input, TerminalView& view,
         UnitLink& link, std::FILE* out)
      : inv_(inv), input_(input), view_(view), link_(link), out_(out) {}

  int Run() {
    const int status = Steps();
    // A download or sync that got as far as a comparison has a result even when it failed.
    const bool transfer = inv_.command == Command::Download || inv_.command == Command::Sync;
    if (inv_.json && transfer && (status == kExitOk || record_.differences)) {
      const std::string document =
          inv_.command == Command::Sync ? SyncJson(record_) : DownloadJson(record_);
      std::fputs(document.c_str(), out_);
      std::fflush(out_);
    }
    return status;
  }

 private:
  int Steps() {
    if (inv_.command == Command::Scan) return Scan();
    if (inv_.command == Command::Verify || inv_.command == Command::Sync) return Compare();
    if (inv_.command == Command::Download) {
      const int repairsBefore = view_.Repairs();
      if (!OpenInput()) return kExitUsage;
      // What is checked must be what was sent: a file the repair changed is not.
      if (inv_.verify && !AcceptRepairs(repairsBefore)) return Failed();
    }
    const int repairsBefore = view_.Repairs();
    if (!Connect(inv_.command == Command::Download ? 1 : 0)) return Failed();
    if (!Action()) return Failed();
    if (inv_.verify && !ReadBackEquals(Parameters())) return Failed();
    if (!Disconnect()) return Failed();
    // The window repairs a garbled upload and warns; a script only sees the exit status, so a
    // program read from the unit that needed the repair is not delivered as if it were sound.
    if (DeliversUnitProgram() && view_.Repairs() > repairsBefore && !inv_.acceptRepaired) {
      reason_ = std::string(kRepairWarningCaption) + ": " + std::string(kRepairWarningText) +
                " (--accept-repaired saves it repaired)";
      return Failed();
    }
    return Deliver();
  }

  core::UnitController& Core() { return link_.Controller(); }
  ProgramParameters& Parameters() { return link_.State().parameters; }

  // After the file went into the PC's set: a file that needed the repair is sent and compared
  // only with --accept-repaired, and then the output says what the repair changed.
  bool AcceptRepairs(int repairsBefore) {
    if (view_.Repairs() == repairsBefore) return true;
    if (!inv_.acceptRepaired) {
      reason_ = std::string(kRepairWarningCaption) + ": " + std::string(kRepairWarningText) +
                " (--accept-repaired sends it repaired)";
      return false;
    }
    ProgramParameters asStored{};
    ResetParameters(asStored);
    if (LoadParametersFile(*input_, asStored).ok)
      record_.repaired = DiffParameters(asStored, Parameters());
    if (inv_.json) return true;
    for (const auto& d : record_.repaired)
      std::fprintf(out_, "repaired: %s\n", DifferenceLine(d).c_str());
    std::fprintf(out_, "repaired: %s is compared with its repaired values\n",
                 input_->string().c_str());
    std::fflush(out_);
    return true;
  }

  bool DeliversUnitProgram() const {
    return inv_.command == Command::Upload || (inv_.command == Command::Recall && inv_.output);
  }

  // Runs an engine command until `chain` reports its end (a connect: its search, then its
  // transfer) and judges the command by that typed end. The reason for a failure is the text the
  // engine gave, as the terminal showed it (a box with its caption).
  // `stopped`, when given, is set by `start` when the action ended before any chain began.
  bool RunChain(const std::function<void()>& start, link::Chain chain,
                int guardMs = core::UnitController::ChainLimitMs(), const bool* stopped = nullptr) {
    const std::size_t endedMark = view_.EndedMark();
    const std::size_t shownMark = view_.Mark();
    const bool transfer = chain == link::Chain::Upload || chain == link::Chain::Download ||
                          chain == link::Chain::ProgramInfo;
    std::optional<TerminalView::Ended> end;
    const auto ended = [&] {
      if (stopped && *stopped) return true;
      end = view_.LastEnded(chain, endedMark);
      if (!end && transfer) {
        // A search that found nothing to connect to ends the connect too.
        const auto search = view_.LastEnded(link::Chain::Search, endedMark);
        if (search && search->outcome != link::Outcome::Done) end = search;
      }
      return end.has_value();
    };
    if (!link_.Run(start, ended, guardMs)) {
      reason_ = "no end within " + std::to_string(guardMs / 1000) + " s";
      runaway_ = true;
      return false;
    }
    if (!end) return false;
    if (end->outcome == link::Outcome::Done) return true;
    reason_ = end->detail.empty() ? core::OutcomeWords(end->outcome) : end->detail;
    for (const Shown& shown : view_.Since(shownMark)) {
      const std::string& text = shown.text;
      if (shown.kind == Shown::Kind::Box && !end->detail.empty() &&
          text.size() >= end->detail.size() &&
          text.compare(text.size() - end->detail.size(), end->detail.size(), end->detail) == 0) {
        reason_ = text;
      }
    }
    return false;
  }

  int Scan() {
    view_.SetSelectAnswer({});
    const bool ended = RunChain([this] { Core().Search(); }, link::Chain::Search,
                                SearchGuardMs(link_.PortCount()));
    if (!view_.SelectOpened()) {
      if (ended || reason_.empty()) reason_ = "no unit found";
      return Failed();
    }
    std::vector<ScannedUnit> units;
    for (const link::FoundDevice& unit : view_.Found()) {
      units.push_back({link_.PathOf(unit.port), unit.id, unit.kind, unit.name});
      if (!inv_.json) {
        std::fprintf(out_, "%d\t%s\t%s\n", unit.id, unit.name.c_str(), units.back().port.c_str());
      }
    }
    if (inv_.json) std::fputs(ScanJson(units).c_str(), out_);
    std::fflush(out_);
    return kExitOk;
  }

  // The file as File > Open takes it into the window's parameter set.
  bool OpenInput() {
    if (Core().OpenParametersFile(*input_).ok) return true;
    view_.Say("corvella-cli: " + input_->string() + ": cannot be read");
    return false;
  }

  bool Connect(int direction) {
    view_.SetSelectAnswer({true, direction, inv_.unitId});
    const int guard = SearchGuardMs(link_.PortCount()) + core::UnitController::ChainLimitMs();
    const link::Chain first = direction == 1                           ? link::Chain::Download
                              : direction == link::kConnectProgramInfo ? link::Chain::ProgramInfo
                                                                       : link::Chain::Upload;
    const bool ok = RunChain([this] { Core().Search(); }, first, guard);
    if (view_.SelectOpened() && link_.State().link.linkConnected == 0 && inv_.unitId) {
      reason_ = "no unit with ID " + std::to_string(*inv_.unitId) + " was found";
      return false;
    }
    return ok;
  }

  bool Action() {
    core::UnitController& core = Core();
    switch (inv_.command) {
      case Command::LoadDefault:
        return LoadDefault();
      case Command::Programs:
        return Programs();
      case Command::Recall:
        return RunChain([&] { (void)core.Recall(inv_.memory); }, link::Chain::Recall);
      case Command::Store:
        return RunChain([&] { (void)core.Store(inv_.memory); }, link::Chain::Store);
      case Command::Rename:
        return RunChain([&] { (void)core.Rename(inv_.name); }, link::Chain::Rename);
      case Command::SetIdentity:
        return RunChain([&] { (void)core.ChangeIdentity(inv_.newId, inv_.name); },
                        link::Chain::Identity);
      default:
        return true;  // upload and download are done by the connect itself
    }
  }

  // "Load default setting" with the unit connected: the file over the set under the factory
  // name, then the name, download, store and read-back chain.
  bool LoadDefault() {
    core::DefaultLoad load = core::DefaultLoad::Loaded;
    bool stopped = false;
    const auto start = [&] {
      load = Core().LoadFactoryDefault(*input_);
      stopped = load != core::DefaultLoad::DownloadStarted && load != core::DefaultLoad::Refused;
    };
    if (RunChain(start, link::Chain::FactoryDefault, core::UnitController::ChainLimitMs(),
                 &stopped))
      return true;
    if (load == core::DefaultLoad::Missing || load == core::DefaultLoad::Invalid) {
      reason_ = input_->string() + ": cannot be read";
    } else if (load == core::DefaultLoad::Loaded) {
      reason_ = "the unit is no longer connected";
    }
    return false;
  }

  bool Programs() {
    view_.ClearProgramList();
    if (!RunChain([this] { (void)Core().ListPrograms(); }, link::Chain::ProgramList))
      return false;
    for (const auto& line : view_.ProgramLines()) {
      if (!line) {
        reason_ = "the program list is incomplete";
        return false;
      }
    }
    return true;
  }

  bool Disconnect() {
    return RunChain([this] { Core().Disconnect(); }, link::Chain::Disconnect);
  }

  // Reads the unit's program aside and lists how `expected` differs from it. True when it does
  // not; the differences go to standard output either way.
  bool ReadBackEquals(const ProgramParameters& expected) {
    const auto differences = ReadBack(expected);
    if (!differences) return false;
    return Listed(*differences);
  }

  // The unit read aside and compared with `expected`; nullopt when the read failed.
  std::optional<std::vector<ParameterDifference>> ReadBack(const ProgramParameters& expected) {
    if (!RunChain([&] { (void)Core().ReadBack(expected); }, link::Chain::ReadUnit))
      return std::nullopt;
    return Core().ReadBackDifferences();
  }

  // The differences go to standard output (as JSON, verify's whole result; download's and
  // sync's are part of theirs); true when there are none.
  bool Listed(const std::vector<ParameterDifference>& differences) {
    record_.differences = differences;
    if (!inv_.json) {
      std::fputs(DiffText(differences).c_str(), out_);
    } else if (inv_.command == Command::Verify) {
      std::fputs(DiffJson(differences).c_str(), out_);
    }
    std::fflush(out_);
    if (differences.empty()) return true;
    reason_ = std::to_string(differences.size()) + " parameter" +
              (differences.size() == 1 ? "" : "s") + " differ from the unit";
    return false;
  }

  // verify: FILE as stored (a) against the unit (b). sync: FILE goes into the PC's set as File >
  // Open takes it; only what differs goes to the unit (or the whole set when that is quicker),
  // then the unit is read back and must hold that set.
  int Compare() {
    ProgramParameters file{};
    ResetParameters(file);
    if (!LoadParametersFile(*input_, file).ok) {
      view_.Say("corvella-cli: " + input_->string() + ": cannot be read");
      return kExitUsage;
    }
    if (inv_.command == Command::Sync) {
      const int repairsBefore = view_.Repairs();
      if (!OpenInput()) return kExitUsage;
      if (!AcceptRepairs(repairsBefore)) return Failed();
    }
    const ProgramParameters expected = inv_.command == Command::Sync ? Parameters() : file;
    // Only the program information: the read-back reads the rest.
    if (!Connect(link::kConnectProgramInfo)) return Failed();
    if (inv_.command == Command::Sync) Parameters() = expected;  // the connect read number and name
    const auto differences = ReadBack(expected);
    if (!differences) return Failed();
    if (inv_.command == Command::Verify) {
      const bool same = Listed(*differences);
      if (!Disconnect()) return Failed();
      return same ? kExitOk : kExitUnit;
    }
    if (!differences->empty()) {
      std::vector<ParameterRef> edits;
      for (const auto& d : *differences) edits.push_back(d.a.ref);
      record_.edits = *differences;
      if (link::EditsTakeLongerThanADownload(edits)) {
        record_.sent = TransferRecord::Sent::File;
        if (!inv_.json) {
          std::fprintf(out_, "sent: the whole file (%zu differences)\n", differences->size());
        }
        std::fflush(out_);
        if (!Disconnect() || !Connect(1)) return Failed();
      } else {
        record_.sent = TransferRecord::Sent::Edits;
        for (const auto& d : *differences) {
          if (!inv_.json) std::fprintf(out_, "sent: %s\n", DifferenceLine(d).c_str());
        }
        std::fflush(out_);
        if (!RunChain([&] { (void)Core().SendEdits(edits); }, link::Chain::SendEdits))
          return Failed();
      }
    }
    if (!ReadBackEquals(expected)) return Failed();
    if (!Disconnect()) return Failed();
    return kExitOk;
  }

  // Output is written only once everything, the disconnect included, went well.
  int Deliver() {
    std::optional<std::string> target;
    if (inv_.command == Command::Upload) target = inv_.file;
    if (inv_.command == Command::Recall) target = inv_.output;
    if (target) {
      const FileResult saved = Core().SaveParametersFile(*target);
      if (!saved.ok) {
        view_.Say("corvella-cli: " + *target + ": " +
                  (saved.systemText.empty() ? std::string(kFileSaveFailedText) : saved.systemText));
        return kExitUsage;
      }
    }
    if (inv_.command == Command::Programs && inv_.json) {
      std::fputs(ProgramsJson(ProgramSlots()).c_str(), out_);
    } else if (inv_.command == Command::Programs) {
      for (const auto& line : view_.ProgramLines()) std::fprintf(out_, "%s\n", line->c_str());
    }
    std::fflush(out_);
    return kExitOk;
  }

  // The list's lines end in the name as the unit keeps it, in its fixed field.
  std::array<ProgramSlot, 6> ProgramSlots() const {
    std::array<ProgramSlot, 6> slots{};
    for (std::size_t n = 0; n < slots.size(); ++n) {
      const std::string& line = *view_.ProgramLines()[n];
      slots[n].used = view_.ProgramUsed()[n] && line.size() >= kProgramNameLength;
      if (slots[n].used) slots[n].name = line.substr(line.size() - kProgramNameLength);
    }
    return slots;
  }

  // A failed command still says goodbye to a unit that can hear it; the last line says why.
  int Failed() {
    const std::string why = reason_.empty() ? std::string(kNotConfirmed) : reason_;
    // Not after a runaway chain: its timers still run, and the goodbye would wait on them.
    if (!runaway_ && link_.State().link.linkConnected != 0 && link_.PortOpen()) {
      (void)Disconnect();
    }
    view_.Say("corvella-cli: " + CommandName(inv_.command) + " failed: " + why);
    return kExitUnit;
  }

  const Invocation& inv_;
  const std::optional<fs::path>& input_;
  TerminalView& view_;
  UnitLink& link_;
  std::FILE* out_;
  std::string reason_;
  bool runaway_ = false;
  TransferRecord record_;  // download's and sync's result, for --json
};

}  // namespace

int RunUnitCommand(const Invocation& invocation, link::PortTable ports,
                   const std::optional<fs::path>& input, std::FILE* out, std::FILE* err) {
  TerminalView view(err, invocation.quiet);
  UnitLink link(view);
  std::string error;
  if (!link.Open(std::move(ports), invocation.demo, error)) {
    view.Say("corvella-cli: cannot start the virtual unit: " + error);
    return kExitUnit;
  }
  link.Controller().engine().SetFastTransfer(invocation.fast);
  return Replay(invocation, input, view, link, out).Run();
}

}  // namespace corvella::cli
