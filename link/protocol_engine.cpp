// The engine's timer dispatch, the answer check every timer shares, port events and page edits.
#include "link/protocol_engine.h"

#include <algorithm>
#include <utility>

#include "link/edit_table.h"
#include "link/engine_timers.h"
#include "link/frames.h"

namespace corvella::link {

namespace {

// The command code each page-edit timer waits for.
std::string_view PageEditCode(int id) {
  switch (id) {
    case timers::kInputPeqFrequency:
      return "022";
    case timers::kInputPeqBand:
      return "021";
    case timers::kInputPeqQ:
      return "024";
    case timers::kInputPeqGain:
      return "023";
    case timers::kOutputPeqFrequency:
      return "046";
    case timers::kOutputPeqQ:
      return "048";
    case timers::kOutputPeqGain:
      return "047";
    case timers::kOutputPeqBand:
      return "045";
    case timers::kHpfFrequency:
      return "042";
    case timers::kLpfFrequency:
      return "044";
    case timers::kHpfType:
      return "041";
    case timers::kLpfType:
      return "043";
    case timers::kInputLevel:
      return "025";
    case timers::kOutputLevel:
      return "049";
    case timers::kDelay:
      return "051";
    case timers::kCompressor:
      return "059";
    case timers::kPhase:
      return "052";
    default:
      return {};
  }
}

bool IsTransferStep(int id) {
  return (id >= timers::kFirstBlock && id <= timers::kLastNumberedBlock) ||
         id == timers::kPhaseHighBlock || id == timers::kPhaseLowBlock;
}

// Every timer that belongs to a chain; page edits and the level pause are not chains.
constexpr int kChainTimers[] = {
    timers::kProbe,          timers::kDisconnect,    timers::kProgramName, timers::kProgramInfo,
    timers::kSave,           timers::kRecall,        timers::kIdentity,    timers::kDeviceName,
    timers::kDownloadStart,  timers::kFactoryName,   timers::kInfoRefresh, timers::kListPause,
    timers::kPhaseHighBlock, timers::kPhaseLowBlock, timers::kEditStep};

}  // namespace

ProtocolEngine::ProtocolEngine(Session& session, Port& port, TimerHost& timers, LinkView& view,
                               int portCount)
    : session_(session),
      link_(session.link),
      params_(session.parameters),
      port_(port),
      timers_(timers),
      view_(view),
      lastPort_(std::clamp(portCount, 1, kMaxPortNumber)) {}

void ProtocolEngine::OnTimer(int id) {
  const bool outer = std::exchange(inStep_, true);
  if (!PageEditCode(id).empty()) {
    OnPageEditTimer(id);
  } else if (IsTransferStep(id)) {
    OnTransferStep(id);
  } else if (id >= timers::kListFirst && id <= timers::kListLast) {
    OnListTimer(id);
  } else {
    switch (id) {
      case timers::kProbe:
        OnProbeTimer();
        break;
      case timers::kDisconnect:
        OnDisconnectTimer();
        break;
      case timers::kProgramName:
        OnProgramNameTimer();
        break;
      case timers::kProgramInfo:
        OnProgramInfoTimer();
        break;
      case timers::kSave:
        OnSaveTimer();
        break;
      case timers::kRecall:
        OnRecallTimer();
        break;
      case timers::kIdentity:
        OnIdentityTimer();
        break;
      case timers::kDeviceName:
        OnDeviceNameTimer();
        break;
      case timers::kDownloadStart:
        OnDownloadStartTimer();
        break;
      case timers::kFactoryName:
        OnFactoryNameTimer();
        break;
      case timers::kInfoRefresh:
        OnInfoRefreshTimer();
        break;
      case timers::kListPause:
        OnListPause();
        break;
      case timers::kLevelPause:
        OnLevelPause();
        break;
      case timers::kEditStep:
        OnEditStep();
        break;
      default:
        Kill(id);
        break;  // not ours: make sure it does not tick again
    }
  }
  inStep_ = outer;
  if (!outer) StartQueued();
  view_.LinkStateChanged();
}

void ProtocolEngine::OnPortByte(int /*portNumber*/, std::uint8_t byte) {
  AssembleByte(link_, byte);
  if (!fastTransfer_ || byte != ')' || link_.frameComplete == 0) return;
  // The step goes on now, just as its next tick would have gone on with this answer.
  if (const std::optional<int> step = StepSettledBy(link_.rxFrame)) OnTimer(*step);
}

void ProtocolEngine::OnPortFailure(int /*portNumber*/, const std::string& boxText) {
  StopBox(kApplicationErrorCaption, boxText);
}

void ProtocolEngine::OnPortLost(int /*portNumber*/) {
  // The port reports a loss once and is closed by then. Nothing is sent or shown here: whatever
  // answer timer runs counts empty ticks and ends with its usual timeout, exactly as if the unit
  // had fallen silent, and a later search or connect opens the port afresh.
  view_.LinkStateChanged();
}

// ---- common pieces ----

void ProtocolEngine::Send(const std::string& frame) {
  // A refused write (port closed or gone) is not reported here: the answer timer that follows
  // every send turns the silence into its timeout.
  (void)port_.WriteToPort(frame);
}

void ProtocolEngine::SendStep(const std::string& frame) {
  Send(frame);
  if (!running_ || progressStep_ >= progressSteps_) return;
  ++progressStep_;
  view_.ProgressChanged({*running_, progressStep_, progressSteps_});
}

void ProtocolEngine::Arm(int id, int ms) {
  timers_.ArmTimer(id, ms);
}
void ProtocolEngine::Kill(int id) {
  timers_.KillTimer(id);
}
void ProtocolEngine::Status(std::string_view text) {
  view_.SetStatusText(text);
}

void ProtocolEngine::StopBox(std::string_view caption, std::string_view text) {
  MessageBoxRequest box;
  box.caption = std::string(caption);
  box.text = std::string(text);
  box.icon = BoxIcon::Stop;
  (void)view_.ShowMessageBox(box);
}

std::optional<std::string> ProtocolEngine::TakeAnswer(int id, int limit, bool& timedOut) {
  timedOut = false;
  if (link_.frameComplete != 0) {
    Kill(id);
    link_.frameComplete = 0;
    link_.waitCount = 0;
    return link_.rxFrame;
  }
  ++link_.waitCount;
  if (link_.waitCount > limit) {
    Kill(id);
    timedOut = true;
  }
  return std::nullopt;
}

std::optional<std::string> ProtocolEngine::AwaitAnswer(int id) {
  bool timedOut = false;
  auto rx = TakeAnswer(id, timers::kWaitLimit, timedOut);
  if (timedOut) {
    ConnectionLost();
    EndChain(Outcome::NoAnswer, kConnectionLost);
  }
  return rx;
}

void ProtocolEngine::StartChain(Chain chain) {
  running_ = chain;
  wrongAnswer_.reset();
  readAside_ = false;
  progressStep_ = 0;
  progressSteps_ = ProgressSteps(chain);
}

bool ProtocolEngine::Refuse(Chain chain) {
  if (!ChainRunning()) return false;
  view_.ChainEnded(chain, Outcome::Refused, {});
  return true;
}

void ProtocolEngine::NoteWrongAnswer(std::string_view text) {
  if (!wrongAnswer_) wrongAnswer_ = std::string(text);
}

void ProtocolEngine::EndChain(Outcome outcome, std::string_view detail) {
  if (!running_) return;
  const Chain chain = *running_;
  running_.reset();
  const std::optional<std::string> wrong = std::move(wrongAnswer_);
  wrongAnswer_.reset();
  if (outcome == Outcome::Done && wrong) {
    view_.ChainEnded(chain, Outcome::WrongAnswer, *wrong);
  } else {
    view_.ChainEnded(chain, outcome, detail);
  }
}

bool ProtocolEngine::RetryRead(int step, const std::string& request, int intervalMs) {
  if (retriedStep_ != step) {
    retriedStep_ = step;
    Send(request);
    Arm(step, intervalMs);
    return true;
  }
  retriedStep_ = 0;
  Status(kResponseError);
  view_.HideTransmittingDialog();
  EndChain(Outcome::WrongAnswer, kResponseError);
  return false;
}

bool ProtocolEngine::ChainRunning() const {
  return ChainActive() || !queue_.empty();
}

bool ProtocolEngine::ChainActive() const {
  if (selecting_) return true;
  for (const int id : kChainTimers)
    if (timers_.IsArmed(id)) return true;
  for (int id = timers::kFirstBlock; id <= timers::kLastNumberedBlock; ++id)
    if (timers_.IsArmed(id)) return true;
  for (int id = timers::kListFirst; id <= timers::kListLast; ++id)
    if (timers_.IsArmed(id)) return true;
  return false;
}

void ProtocolEngine::ConnectionLost() {
  Status(kConnectionLost);
  link_.waitCount = 0;
  retriedStep_ = 0;
  // A chain that dies here would otherwise leave "Transmitting data please wait" up for good.
  view_.HideTransmittingDialog();
}

// ---- editor pages ----

bool ProtocolEngine::SendParameter(std::string_view frame, int timerId, int intervalMs) {
  // A chain that only waits in the queue does not hold a page edit back: the chain waits for
  // this edit's answer in turn.
  if (link_.linkConnected == 0) return false;
  if (ChainActive()) {
    view_.ChainEnded(Chain::PageEdit, Outcome::Refused, {});
    return false;
  }
  Send(std::string(frame));
  Arm(timerId, intervalMs);
  view_.LinkStateChanged();
  return true;
}

void ProtocolEngine::SendParameterAfterPause(std::string frame, int timerId, int intervalMs) {
  if (link_.linkConnected == 0) return;
  // A dragged slider notifies many times a pause. Only the newest level of a channel waits, in
  // the place of the first one that waited, so the unit follows the thumb one pause behind and
  // always ends on the operator's last value. A channel's frames differ only in their value,
  // the last three digits before ")".
  constexpr std::size_t kValueAndEnd = 4;
  const auto sameChannel = [&](const PendingSend& waiting) {
    return waiting.timerId == timerId && waiting.frame.size() == frame.size() &&
           frame.size() > kValueAndEnd &&
           waiting.frame.compare(0, frame.size() - kValueAndEnd, frame, 0,
                                 frame.size() - kValueAndEnd) == 0;
  };
  const auto waiting = std::find_if(levelQueue_.begin(), levelQueue_.end(), sameChannel);
  if (waiting != levelQueue_.end()) {
    waiting->frame = std::move(frame);
    waiting->intervalMs = intervalMs;
  } else {
    levelQueue_.push_back({std::move(frame), timerId, intervalMs});
  }
  if (!timers_.IsArmed(timers::kLevelPause)) Arm(timers::kLevelPause, timers::kLevelPauseMs);
}

void ProtocolEngine::OnLevelPause() {
  // One frame leaves per pause; the pause runs on while any channel has a level waiting, so the
  // next one keeps its distance from the frame just sent.
  if (!levelQueue_.empty()) {
    const PendingSend next = std::move(levelQueue_.front());
    levelQueue_.pop_front();
    SendParameter(next.frame, next.timerId, next.intervalMs);
  }
  if (levelQueue_.empty()) Kill(timers::kLevelPause);
}

void ProtocolEngine::OnPageEditTimer(int id) {
  // Not AwaitAnswer: a page edit's silence ends the edit, not a chain that may have started since.
  bool timedOut = false;
  const auto rx = TakeAnswer(id, timers::kWaitLimit, timedOut);
  if (!rx) {
    if (timedOut) {
      ConnectionLost();
      view_.ChainEnded(Chain::PageEdit, Outcome::NoAnswer, kConnectionLost);
    }
    return;
  }
  const bool right = *rx == Acknowledgement(link_.deviceId, PageEditCode(id));
  Status(right ? kResponseOk : kResponseError);
  view_.ChainEnded(Chain::PageEdit, right ? Outcome::Done : Outcome::WrongAnswer,
                   right ? std::string_view{} : kResponseError);
}

bool ProtocolEngine::SendEdit(const ParameterRef& ref) {
  view_.ParameterEdited(ref);
  const std::optional<EditRow> row = FindEdit(ref.field);
  if (!row || link_.linkConnected == 0) return false;
  if (gathering_) {
    gathering_->push_back(ref);
    return true;
  }
  if (running_ == Chain::SendEdits) {
    JoinEdits(ref);
    return true;
  }
  return SendParameter(EditFrame(link_.deviceId, params_, ref), row->timerId, row->intervalMs);
}

void ProtocolEngine::SendEditAfterPause(const ParameterRef& ref) {
  view_.ParameterEdited(ref);
  const std::optional<EditRow> row = FindEdit(ref.field);
  if (!row || link_.linkConnected == 0) return;
  if (gathering_) {
    gathering_->push_back(ref);
    return;
  }
  if (running_ == Chain::SendEdits) {
    JoinEdits(ref);
    return;
  }
  SendParameterAfterPause(EditFrame(link_.deviceId, params_, ref), row->timerId, row->intervalMs);
}

bool ProtocolEngine::PageEditWaiting() const {
  if (timers_.IsArmed(timers::kLevelPause)) return true;
  for (int id = 1; id <= timers::kPhase; ++id) {
    if (!PageEditCode(id).empty() && timers_.IsArmed(id)) return true;
  }
  return false;
}

// ---- comparison with the unit ----

// ---- the queue ----

void ProtocolEngine::GatherEdits() {
  if (!gathering_) gathering_.emplace();
}

bool ProtocolEngine::SendGatheredEdits() {
  if (!gathering_) return false;
  const std::vector<ParameterRef> edits = std::move(*gathering_);
  gathering_.reset();
  return !edits.empty() && SendEdits(edits);
}

bool ProtocolEngine::StartOrQueue(Queued work) {
  if (link_.linkConnected == 0) return false;
  if (!inStep_ && Refuse(work.chain)) return false;
  if (inStep_ || PageEditWaiting() || !queue_.empty()) {
    queue_.push_back(std::move(work));
    return true;
  }
  Begin(work);
  view_.LinkStateChanged();
  return true;
}

void ProtocolEngine::Begin(Queued& work) {
  if (work.chain == Chain::SendEdits) {
    StartEdits(work.edits);
  } else {
    work.start();
  }
}

void ProtocolEngine::StartQueued() {
  while (!queue_.empty() && !ChainActive()) {
    Queued& next = queue_.front();
    if (PageEditWaiting()) return;  // the timer that waits starts the queue again when it ends
    Queued work = std::move(next);
    queue_.pop_front();
    const bool outer = std::exchange(inStep_, true);
    if (link_.linkConnected != 0) {
      Begin(work);
    } else {
      view_.ChainEnded(work.chain, Outcome::Cancelled, {});
    }
    inStep_ = outer;
  }
}

void ProtocolEngine::DropQueued() {
  std::deque<Queued> dropped = std::move(queue_);
  queue_.clear();
  for (const Queued& q : dropped) view_.ChainEnded(q.chain, Outcome::Cancelled, {});
}

// ---- comparison with the unit ----

bool ProtocolEngine::ReadUnitProgram() {
  return StartOrQueue({Chain::ReadUnit, {}, [this] { StartReadAside(); }});
}

void ProtocolEngine::StartReadAside() {
  StartChain(Chain::ReadUnit);
  readAside_ = true;
  link_.transferDirection = 0;
  link_.infoOnly = 0;
  link_.keepPcName = 0;
  link_.downloadRequested = 0;
  SendStep(ProgramInfoRequestFrame(link_.deviceId, 0));
  Status(kUploading);
  infoIntervalMs_ = timers::kProgramInfoMs;
  Arm(timers::kProgramInfo, timers::kProgramInfoMs);
}

bool ProtocolEngine::SendEdits(const std::vector<ParameterRef>& edits) {
  if (link_.linkConnected == 0) return false;
  if (running_ == Chain::SendEdits) {
    for (const ParameterRef& ref : edits) JoinEdits(ref);
    return true;
  }
  if (!queue_.empty() && queue_.back().chain == Chain::SendEdits) {
    // One list waits already: these go with it (StartEdits leaves out what repeats).
    queue_.back().edits.insert(queue_.back().edits.end(), edits.begin(), edits.end());
    return true;
  }
  return StartOrQueue({Chain::SendEdits, edits, {}});
}

void ProtocolEngine::StartEdits(const std::vector<ParameterRef>& edits) {
  StartChain(Chain::SendEdits);
  edits_.clear();
  for (const ParameterRef& ref : DistinctEdits(edits)) edits_.push_back(ref);
  progressSteps_ = static_cast<int>(edits_.size());
  SendNextEdit();
}

void ProtocolEngine::JoinEdits(const ParameterRef& ref) {
  const std::optional<EditRow> row = FindEdit(ref.field);
  if (!row) return;
  // The front edit has left with the value it had then; a newer value goes again.
  const bool waiting = std::any_of(edits_.begin() + (edits_.empty() ? 0 : 1), edits_.end(),
                                   [&](const ParameterRef& r) {
                                     return FindEdit(r.field)->code == row->code &&
                                            r.channel == ref.channel && r.band == ref.band;
                                   });
  if (waiting) return;
  edits_.push_back(ref);
  ++progressSteps_;  // the list has grown by one step
}

void ProtocolEngine::SendNextEdit() {
  if (edits_.empty()) {
    EndChain(Outcome::Done);
    return;
  }
  const ParameterRef& next = edits_.front();
  editFrame_ = EditFrame(link_.deviceId, params_, next);
  SendStep(editFrame_);
  Arm(timers::kEditStep, FindEdit(next.field)->intervalMs);
}

void ProtocolEngine::OnEditStep() {
  const auto rx = AwaitAnswer(timers::kEditStep);
  if (!rx) {
    if (!running_) edits_.clear();  // given up: the rest is not sent
    return;
  }
  const ParameterRef answered = edits_.front();
  const Field field = answered.field;
  edits_.pop_front();
  const bool right = *rx == EditAcknowledgement(link_.deviceId, field);
  view_.EditAnswered(answered, editFrame_, right);
  // The same texts a page edit or a rename shows for its answer.
  const std::string_view text = field == Field::ProgramName
                                    ? (right ? kProgramInfoOk : kProgramInfoFailed)
                                    : (right ? kResponseOk : kResponseError);
  Status(text);
  if (!right) NoteWrongAnswer(text);
  SendNextEdit();
}

}  // namespace corvella::link
