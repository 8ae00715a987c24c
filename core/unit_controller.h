// The application core for one unit: it owns the program's records (the session), the protocol
// engine and the engine's timer host, and offers the operator's actions. The window and the
// command-line tool are front ends over it: they ask the questions, show the results and answer
// the engine's dialogs through their LinkView; every step of an action happens here once.
//
// Actions that start a chain return whether it started; its end comes through
// LinkView::ChainEnded. Actions that finish at once return a typed result.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "link/link_view.h"
#include "link/port.h"
#include "link/protocol_engine.h"
#include "link/session.h"
#include "link/timer_host.h"
#include "model/parameter_listing.h"
#include "model/parameters_file.h"

namespace corvella::core {

// How "Load default setting" ended on the PC's side.
enum class DefaultLoad {
  Missing,          // no default file found (a box said so); the set is untouched
  Invalid,          // the file could not be read or had the wrong length (a box said so)
  Loaded,           // the set holds the default; no unit is connected
  DownloadStarted,  // ... and its download to the connected unit has started
  Refused,          // loaded, but another chain runs, so nothing was sent
};

class UnitController {
 public:
  // The port belongs to the caller; the timer host is the front end's event loop (Qt timers in
  // the window, steady-clock timers in the tool, a virtual clock in tests). `portCount`: how many
  // port numbers a search walks. The set starts with the start-up values.
  UnitController(link::Port& port, std::unique_ptr<link::TimerHost> timers, link::LinkView& view,
                 int portCount);
  ~UnitController();
  UnitController(const UnitController&) = delete;
  UnitController& operator=(const UnitController&) = delete;

  Session& session() { return session_; }
  const Session& session() const { return session_; }
  link::ProtocolEngine& engine() { return *engine_; }
  const link::ProtocolEngine& engine() const { return *engine_; }
  ProgramParameters& parameters() { return session_.parameters; }
  // What the editor pages send their edits through.
  link::EditSender& Edits() { return *engine_; }

  // ---- Files ----
  // File > Open: the file replaces the set (its name becomes the view's program name). A failure
  // says why in a box and leaves the set as the reader left it. Either way, and also when the
  // operator cancelled (nullopt: not ok, no failure), the set is repaired (with its warning) and
  // the pages reloaded.
  FileResult OpenParametersFile(const std::optional<std::filesystem::path>& path);
  // File > Save: a failure says why in a box; the file is replaced atomically or not at all.
  FileResult SaveParametersFile(const std::filesystem::path& path);

  // Where "factory default.asc" is looked for: beside the program, then the installed data
  // folder, unless a folder was set.
  void SetFactoryDefaultFolder(const std::filesystem::path& folder) { factoryFolder_ = folder; }
  std::optional<std::filesystem::path> FindFactoryDefaultFile() const;
  // "Load default setting" once the operator agreed: the default file (`file`, or the one found)
  // over the set under the factory name, repaired and reloaded, then downloaded, stored and read
  // back when a unit is connected. A damaged default is never renamed or stored.
  DefaultLoad LoadFactoryDefault(const std::optional<std::filesystem::path>& file = {});

  // ---- The unit ----
  // "Enable Communications": searches the ports; the view's Select dialog decides what follows.
  void Search() { engine_->EnableCommunications(); }
  // "Disable Communications"; also gives up a running chain.
  void Disconnect() { engine_->DisableCommunications(); }
  // Escape in the search panel: the scan ends before its Select dialog.
  bool CancelSearch() { return engine_->CancelSearch(); }
  bool ListPrograms() { return engine_->ListPrograms(); }
  bool Recall(int memory) { return engine_->RecallProgram(memory); }
  bool Store(int memory) { return engine_->StoreProgram(memory); }
  bool Rename(std::string_view name) { return engine_->SetProgramName(name); }
  bool ChangeIdentity(int id, std::string_view name) {
    return engine_->ChangeDeviceIdentity(id, name);
  }
  // The unit's program read aside (UnitProgram() once done); the PC's set is untouched.
  bool ReadUnitProgram() { return engine_->ReadUnitProgram(); }
  const ProgramParameters& UnitProgram() const { return engine_->UnitProgram(); }

  // ---- Read-back: what the unit holds against what it should hold ----
  // Reads the unit's program aside (as ReadUnitProgram) to compare it with `expected`; the end
  // comes through ChainEnded(ReadUnit). Every check of a unit (verify, sync, a download's
  // verification, the window's comparison) is this one.
  bool ReadBack(const ProgramParameters& expected);
  // Once a read-back ended Done: each parameter in which the unit holds something other than
  // what a download of the expected set leaves in it (the expected set as `a`, the unit as `b`).
  std::vector<ParameterDifference> ReadBackDifferences() const;
  // The expected set of the last read-back.
  const ProgramParameters& ReadBackExpected() const { return expected_; }
  // Each parameter's value from the PC's set, one acknowledged edit after the other.
  bool SendEdits(const std::vector<ParameterRef>& edits) { return engine_->SendEdits(edits); }
  // A program read from the unit becomes the PC's set as an upload makes it: repaired with its
  // warning, every page reloaded, the header repainted.
  void TakeProgram(const ProgramParameters& program);

  // ---- Limits ----
  // How long any one chain may take at most (a whole transfer with its store and read-back,
  // each step with its own share of empty ticks, or a long list of edits). A front end that
  // waits longer has a runaway on its hands, not a slow unit.
  static int ChainLimitMs();
  // How long a search over `portCount` ports may take at most with `passes` passes.
  static int SearchLimitMs(int portCount, int passes = link::kMaxSearchPasses);

 private:
  // The set after it changed as a whole: repaired (the one warning) and the pages reloaded.
  void RepairAndReload(link::ReloadForm form);
  // The box for a failed operation on `path`; a wrong length shows `wrongLength` (text, caption).
  void ReportFileFailure(const std::filesystem::path& path, const FileResult& result,
                         std::string_view wrongLengthText, std::string_view wrongLengthCaption);

  link::Port& port_;
  link::LinkView& view_;
  Session session_;
  std::unique_ptr<link::TimerHost> timers_;
  std::unique_ptr<link::ProtocolEngine> engine_;
  std::optional<std::filesystem::path> factoryFolder_;
  ProgramParameters expected_{};
};

}  // namespace corvella::core
