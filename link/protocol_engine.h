// The protocol engine: sends every command, then judges the unit's answer when the command's timer
// ticks, and drives the multi-step chains (device search, connect, upload, download, store,
// recall, program list, identity change, disconnect, factory default). Nothing ever waits for the
// unit: every step returns at once and the next step is a timer.
//
// Wiring: the owner builds a Session, a Port, a TimerHost whose client is this engine, and a
// LinkView; the engine opens the port with itself as the PortEvents receiver. Every call, timer
// tick and port event must come on the owner's thread.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "link/edit_sender.h"
#include "link/link_view.h"
#include "link/port.h"
#include "link/session.h"
#include "link/timer_host.h"
#include "model/parameter_listing.h"

namespace corvella::link {

// Status texts, exactly as the user sees them.
inline constexpr std::string_view kResponseOk = "-> Response Ok";
inline constexpr std::string_view kResponseError = "-> Response Error";
inline constexpr std::string_view kConnectionLost = "-> Connection Lost...";
inline constexpr std::string_view kConnectLostShort = "-> connect lost....";
inline constexpr std::string_view kDisconnected = "-> Disconnected";
inline constexpr std::string_view kIgnorDisconnected = "-> Ignor Disconnected";
inline constexpr std::string_view kProgramInfoOk = "-> Set Program Information OK";
inline constexpr std::string_view kProgramInfoFailed = "-> Set Program Information Failed";
inline constexpr std::string_view kSaveOk = "-> Save  OK...";
inline constexpr std::string_view kRecallOk = "-> Program Recall OK...";
inline constexpr std::string_view kUploading =
    "-> Uploading Program Data From DEVICE To PC  Please Wait...";
inline constexpr std::string_view kTransferOk = "-> Program Data Transfered OK...";
inline constexpr std::string_view kTransmitting = "-> Transmitting data please wait ...";
inline constexpr std::string_view kTranslating = "-> Translate data please wait ...";
inline constexpr std::string_view kIdentityOk = "-> Device Information  Change OK...";
inline constexpr std::string_view kSearching = "->Search device...";
inline constexpr std::string_view kNotFoundInPass = "-> Device Not Found ";
inline constexpr std::string_view kNotFound = "-> Device Not Found ...";
inline constexpr std::string_view kConnected = "-> Connected...";
inline constexpr std::string_view kStopConnect = "-> Stop connect...";
inline constexpr std::string_view kCannotOpen = "-> cann't open comm port ...";

// Why a factory-default load is not wholly done when its name step got no answer (nothing is
// shown then; front ends that report outcomes in words use it).
inline constexpr std::string_view kNameNotConfirmed = "the unit did not confirm the program name";

// Message boxes.
inline constexpr std::string_view kWarnningCaption = "Warnning";
inline constexpr std::string_view kProgramRestoreFailed = "Program Restore Failed";
inline constexpr std::string_view kProgramInfoSetFailed = "Program Information Set Failed!";
inline constexpr std::string_view kInLevelSetFailed = "In Level Set Failed!";
inline constexpr std::string_view kCrossoverSetFailed = "Crossover Type Set Failed!";
inline constexpr std::string_view kPhaseSetFailed = "Phase Set Failed!";
inline constexpr std::string_view kSearchCaption = "Search";
inline constexpr std::string_view kDeviceNotFoundBox = "Device Not Found!";
inline constexpr std::string_view kApplicationErrorCaption = "Application Error";

// The search walks port numbers 1..this at most.
inline constexpr int kMaxPortNumber = 256;
inline constexpr int kMaxSearchPasses = 10;
inline constexpr int kLastDeviceId = 10;
inline constexpr int kProgramMemories = 6;

// SelectChoice::direction, and ConnectTo's: read only the unit's program number and name.
inline constexpr int kConnectProgramInfo = 2;

class ProtocolEngine : public TimerClient, public PortEvents, public EditSender {
 public:
  // `portCount`: how many port numbers the search walks (the port table's size, at most 256).
  ProtocolEngine(Session& session, Port& port, TimerHost& timers, LinkView& view, int portCount);

  // A tick of timer `id` (see link/engine_timers.h).
  void OnTimer(int id) override;

  // Received bytes enter the receive assembly; port failures are shown as "Application Error"
  // boxes; a vanished port is noted and the running answer timers then time out as for silence.
  void OnPortByte(int portNumber, std::uint8_t byte) override;
  void OnPortFailure(int portNumber, const std::string& boxText) override;
  void OnPortLost(int portNumber) override;

  // ---- Device menu ----
  // "Enable Communications": search COM1..n for units, then Select and connect.
  void EnableCommunications();
  // "Disable Communications": "bye)", then timer 2 closes the port.
  void DisableCommunications();
  bool CanEnableCommunications() const;
  bool CanDisableCommunications() const;
  // Ends a running search before its Select dialog, as "Disable Communications" ends a link: the
  // probes stop, the port closes and the chain ends Cancelled ("-> Stop connect..."). False, with
  // nothing changed, when no search is scanning the ports.
  bool CancelSearch();
  // How many passes over the ports a search makes before it gives up with "Device Not Found!"
  // (kMaxSearchPasses unless set; at least 1). A pass that finds a unit ends the search anyway.
  void SetSearchPasses(int passes) { searchPasses_ = passes < 1 ? 1 : passes; }
  // Connects to a unit an earlier search found, as the Select dialog's "Connect" does, without
  // searching again: `direction` 0 uploads, 1 downloads, kConnectProgramInfo reads only the
  // program number and name into the PC's set (the chain ProgramInfo). False, with nothing sent,
  // when a unit is connected or a chain runs.
  bool ConnectTo(const FoundDevice& unit, int direction);

  // Whether a chain runs: a search (Select dialog included), a transfer with its read-back and
  // closing exchanges, a store, recall, rename, identity change, program list or disconnect. While
  // one runs, every call below that would start another is refused (returns false or does
  // nothing), and so are page edits: two chains would share the one answer buffer and mix the
  // PC's set with the unit's. A single page edit waiting for its answer is not a chain; a chain
  // asked meanwhile and waiting in the engine's queue counts as running.
  bool ChainRunning() const;

  // ---- editor pages ----
  // Sends `frame` and arms `timerId` for its answer, only while linkConnected and no chain runs.
  // Returns whether it was sent.
  bool SendParameter(std::string_view frame, int timerId, int intervalMs);
  // The same after the level pause (kLevelPauseMs): one frame leaves per pause, each only if the
  // link is still connected then. At most one frame per channel waits; a newer one replaces it.
  void SendParameterAfterPause(std::string frame, int timerId, int intervalMs);
  // A page's edit of one parameter: the PC's stored value of `ref`, with the frame, timer and
  // interval the edit table gives it. The pages send nothing else. The view hears of every one
  // (LinkView::ParameterEdited), connected or not. One asked while a list of edits runs joins
  // the list. Returns whether it was sent or joined.
  bool SendEdit(const ParameterRef& ref) override;
  // The same after the level pause, for the level sliders.
  void SendEditAfterPause(const ParameterRef& ref) override;
  // A page edit still waits for its answer, or a level for its pause. Work asked meanwhile (a
  // list of edits, a read aside, a download) waits in the engine's queue until neither holds.
  bool PageEditWaiting() const;
  // Work asked and not yet started (see SendEdits).
  bool WorkQueued() const { return !queue_.empty(); }
  // Page edits asked from now on are gathered instead of sent, until SendGatheredEdits sends them
  // as one list: a feature that changes several parameters through the pages (an alignment)
  // has them acknowledged one after the other rather than all in flight at once.
  void GatherEdits();
  bool SendGatheredEdits();

  // ---- Program menu ----
  // "Edit Current Program Name" OK: the text is "."-padded to 25 and stored in programName; sent
  // with "J0003" (timer 19) when connected. Returns whether it was sent.
  bool SetProgramName(std::string_view text);
  // "List Program && Recall" opening: "I001)" and timer 60 (sent even when not connected). A list
  // asked for again while one is read starts over. False when another chain runs.
  bool ListPrograms();
  // "Recall" of row n (1..6): "R00n)" and timer 66 (sent even when not connected). False when
  // another chain runs.
  bool RecallProgram(int n);
  // "Save As Current  Program  In Device" OK with memory n (0 when nothing was selected): "S" + n
  // and timer 52 when connected; then, as the dialog returned OK, the header shows the identity.
  bool StoreProgram(int n);
  // "Edit Current Device Information" OK, after the dialog's checks: "Z" and timer 70 when
  // connected. The new ID is taken over as soon as the unit confirms "Z" (it answers only to that
  // ID from then on), the new name once it confirms "Y".
  bool ChangeDeviceIdentity(int newId, std::string_view name);
  // Last step of "Load default setting" once the file is in the parameter set: when connected,
  // send the view's program name with "J0003" (timer 75); the download and store follow.
  bool StartFactoryDefaultDownload();

  // ---- comparison with the unit ----
  // Reads the unit's current program as an upload does (same frames, texts and closing), into
  // UnitProgram() instead of the PC's set: the PC's set, pages and header stay as they are.
  // Needs a connected unit and no running chain; queued like SendEdits.
  bool ReadUnitProgram();
  // The program the last whole upload read, aside or not.
  const ProgramParameters& UnitProgram() const { return incoming_; }
  // Sends the PC's value of every listed parameter with the frame a page sends for it, one at a
  // time, each waited for as a page edit is; parameters that share a frame go once, and each frame
  // carries the PC's value when it leaves. Ends with one result: done, a wrong answer (the rest
  // still sent) or no answer (the rest not sent).
  // Asked while a page edit waits for its answer, or from inside a step (a front end answering
  // ChainEnded), the list waits in the engine's queue and starts as soon as it can; asked while a
  // list runs, it joins that list. Refused (false, ChainEnded Refused) while another chain runs.
  // Work that waited and finds the link gone ends as Cancelled without sending anything.
  bool SendEdits(const std::vector<ParameterRef>& edits);

  // ---- fast transfer ----
  // Off (the default), every step of a whole transfer judges its answer when its timer ticks, as
  // the unit protocol paces it. On, a transfer step (program information, the blocks of an
  // upload, a read-aside or a download, the "M00)" handshake, the factory-default name and store,
  // the closing "U00)" exchanges) goes on as soon as its complete answer is in and is the one it
  // waits for. A wrong or missing answer is still left to the step's timer, so a silent or
  // confused unit meets the same limits, texts and outcomes as without it.
  void SetFastTransfer(bool on) { fastTransfer_ = on; }
  bool FastTransfer() const { return fastTransfer_; }

  const Session& session() const { return session_; }

 private:
  struct PendingSend {
    std::string frame;
    int timerId;
    int intervalMs;
  };

  // The engine's queue: what was asked while it could not start yet.
  struct Queued {
    Chain chain;
    std::vector<ParameterRef> edits;  // SendEdits: the list (later lists asked meanwhile join it)
    std::function<void()> start;      // any other chain's start, run if the link is still there
  };
  // A chain runs now (ChainRunning() also counts the chains waiting in the queue).
  bool ChainActive() const;
  // Starts `work` at once, or queues it (see SendEdits); false when refused.
  bool StartOrQueue(Queued work);
  void Begin(Queued& work);
  // Starts what the queue holds, in order, for as long as each can start.
  void StartQueued();
  // Gives up everything queued (each queued chain ends as Cancelled).
  void DropQueued();
  // A running list of edits takes `ref` along (unless a frame of it still waits to leave).
  void JoinEdits(const ParameterRef& ref);
  void StartEdits(const std::vector<ParameterRef>& edits);
  void StartReadAside();
  void StartFactoryName();

  // Common pieces.
  void Send(const std::string& frame);
  // Sends the frame of the running chain's next step and reports the step (ProgressChanged).
  void SendStep(const std::string& frame);
  void Arm(int id, int ms);
  void Kill(int id);
  void Status(std::string_view text);
  void StopBox(std::string_view caption, std::string_view text);
  // Takes the complete answer if there is one (an answer clears the empty-tick count: a slow unit
  // that answers every step is not a lost one). Without one, counts the empty tick and returns
  // nullopt; `timedOut` tells whether the count passed `limit` (the timer is then killed).
  std::optional<std::string> TakeAnswer(int id, int limit, bool& timedOut);
  // The same for a step whose silence past the limit ends its chain with "-> Connection Lost...".
  std::optional<std::string> AwaitAnswer(int id);
  void ConnectionLost();
  // Chain bookkeeping: a start, a refused start, a wrong answer the chain goes on past, the end.
  void StartChain(Chain chain);
  bool Refuse(Chain chain);
  void NoteWrongAnswer(std::string_view text);
  void EndChain(Outcome outcome, std::string_view detail = {});
  // How many steps a chain reports as its progress (0: none; a list of edits has its own count).
  static int ProgressSteps(Chain chain);
  // A read answer that is not its request's (no echo of the request, or fields that are not all
  // digits inside the answer): the same request once more from the same step, then
  // "-> Response Error". Returns true when the request was repeated.
  bool RetryRead(int step, const std::string& request, int intervalMs);

  // Device search and connect (device_search.cpp).
  void Search();
  void ProbeNext();
  void SendProbe();
  void EndOfPass();
  void EndOfScan();
  // The search over without a unit to connect to (none found, or given up): `status` shown,
  // ready for a new one.
  void EndSearch(Outcome outcome, std::string_view status, std::string_view detail);
  void Connect(const SelectChoice& choice);
  void OnProbeTimer();
  void OnDisconnectTimer();

  // Program transfer (program_transfer.cpp).
  void OnProgramInfoTimer();
  void OnTransferStep(int id);
  void OnDownloadStartTimer();
  void OnFactoryNameTimer();
  void OnInfoRefreshTimer();
  void OnSaveTimer();
  void SendFirstBlock();
  void FinishUpload();
  void FinishDownload();
  void StartFactoryDownload();
  // The transfer step whose timer waits for `rx`, when `rx` is the answer that step takes as
  // right; nothing otherwise.
  std::optional<int> StepSettledBy(const std::string& rx) const;

  // Page edits, program memories and identity (program_memories.cpp).
  void OnPageEditTimer(int id);
  void OnProgramNameTimer();
  void OnListTimer(int id);
  void OnListPause();
  void OnLevelPause();
  void OnRecallTimer();
  void OnIdentityTimer();
  void OnDeviceNameTimer();
  void OnEditStep();
  void SendNextEdit();

  Session& session_;
  LinkState& link_;
  ProgramParameters& params_;
  Port& port_;
  TimerHost& timers_;
  LinkView& view_;
  int lastPort_;
  std::deque<PendingSend> levelQueue_;
  // An upload is read into this copy and becomes the PC's set only once it has been read whole:
  // one that ends early leaves the PC's set exactly as it was.
  ProgramParameters incoming_{};
  // The chain that runs, to report its end; a page edit is reported on its own.
  std::optional<Chain> running_;
  // The running chain went on past a wrong answer: it ends as WrongAnswer, with this text.
  std::optional<std::string> wrongAnswer_;
  // The running chain's progress: the step under way and how many it has (0: not reported).
  int progressStep_ = 0;
  int progressSteps_ = 0;
  // The step whose read request was repeated after a bad answer (0: none).
  int retriedStep_ = 0;
  // The upload in progress is read aside (ReadUnitProgram): the PC's set is left alone.
  bool readAside_ = false;
  // The running list's edits; the front one is on its way. Frames are built as they leave.
  std::deque<ParameterRef> edits_;
  std::string editFrame_;  // the front edit's frame as it left
  std::deque<Queued> queue_;
  // Inside OnTimer: a front end asking for work from a view callback gets it queued, so the step
  // that called back finishes first.
  bool inStep_ = false;
  std::optional<std::vector<ParameterRef>> gathering_;
  // Interval of the running program-information step (230 ms, or 300 after a store or recall).
  int infoIntervalMs_ = 0;
  // The Select dialog is up: the search is still running though no timer is armed.
  bool selecting_ = false;
  bool fastTransfer_ = false;
  int searchPasses_ = kMaxSearchPasses;
};

}  // namespace corvella::link
