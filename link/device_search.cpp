// Device search over the port numbers, the Select dialog, connect and disconnect.
#include "link/engine_timers.h"
#include "link/frames.h"
#include "link/protocol_engine.h"

namespace corvella::link {

bool ProtocolEngine::CanEnableCommunications() const {
  return link_.searching == 0 && link_.linkConnected == 0 && !ChainRunning();
}

bool ProtocolEngine::CanDisableCommunications() const {
  return link_.linkConnected != 0;
}

void ProtocolEngine::EnableCommunications() {
  // The menu greys the command in these states; a second caller must not restart a running search.
  if (Refuse(Chain::Search) || !CanEnableCommunications()) return;
  StartChain(Chain::Search);
  Search();
  view_.LinkStateChanged();
}

void ProtocolEngine::Search() {
  if (link_.searchRestart != 0) {
    view_.ShowSearchDialog();
    link_.searchEnded = 0;
    link_.searching = 1;
    link_.searchRestart = 0;
    link_.comPort = 1;
    // A fresh search gets all its passes, however the previous one ended.
    link_.searchPass = 0;
  }
  if (link_.linkConnected != 0) return;
  // Port numbers that do not open cost nothing; walk them in a loop, not by recursion.
  for (;;) {
    Status(kSearching);
    if (port_.Open(this, link_.comPort, kBaud, kParity, kDataBits, kStopBits, kEventMask,
                   kWriteBufferSize)) {
      (void)port_.StartMonitoring();
      link_.probeId = 1;
      SendProbe();
      return;
    }
    if (link_.comPort >= lastPort_) break;
    ++link_.comPort;
  }
  EndOfPass();
}

void ProtocolEngine::SendProbe() {
  Send(ProbeFrame(link_.probeId));
  Arm(timers::kProbe, timers::kProbeMs);
}

void ProtocolEngine::OnProbeTimer() {
  Kill(timers::kProbe);
  if (link_.frameComplete != 0) {
    link_.frameComplete = 0;
    if (const auto answer = ParseProbeAnswer(link_.rxFrame)) {
      FoundDevice d;
      d.index = link_.deviceList.empty() ? 1 : link_.deviceList.back().index + 1;
      d.port = link_.comPort;
      d.id = answer->id;
      d.kind = answer->kind;
      d.name = answer->name;
      link_.deviceList.push_back(std::move(d));
    }
  }
  ProbeNext();
}

void ProtocolEngine::ProbeNext() {
  ++link_.probeId;
  if (link_.probeId <= kLastDeviceId) {
    SendProbe();
    return;
  }
  if (link_.comPort < lastPort_) {
    ++link_.comPort;
    Search();
    return;
  }
  // The last port of the table answered its probes: the pass ends here just as it ends when the
  // port numbers run out.
  EndOfPass();
}

void ProtocolEngine::EndOfPass() {
  EndOfScan();
  // While connected, comPort names the unit's port and stays.
  if (link_.linkConnected == 0) link_.comPort = 1;
  ++link_.searchPass;
  if (link_.searchPass < searchPasses_) {
    if (link_.deviceList.empty() && link_.searchEnded == 0) Search();
    return;
  }
  if (!link_.deviceList.empty() || link_.searchEnded != 0) return;
  link_.searchPass = 0;
  view_.HideSearchDialog();
  StopBox(kSearchCaption, kDeviceNotFoundBox);
  EndSearch(Outcome::NotFound, kNotFound, kDeviceNotFoundBox);
}

void ProtocolEngine::EndOfScan() {
  if (link_.deviceList.empty()) {
    Status(kNotFoundInPass);
    return;
  }
  Kill(timers::kProbe);
  view_.HideSearchDialog();
  link_.selectedPort = link_.deviceList.front().port;
  selecting_ = true;
  const auto choice = view_.RunSelectDialog(link_.deviceList);
  selecting_ = false;
  if (!choice || choice->listIndex >= link_.deviceList.size()) {
    EndSearch(Outcome::Cancelled, kStopConnect, kStopConnect);
    return;
  }
  EndChain(Outcome::Done);
  Connect(*choice);
}

bool ProtocolEngine::ConnectTo(const FoundDevice& unit, int direction) {
  const Chain chain = direction == kConnectProgramInfo ? Chain::ProgramInfo
                      : direction == 1                 ? Chain::Download
                                                       : Chain::Upload;
  if (Refuse(chain) || !CanEnableCommunications()) return false;
  // The state a search leaves when its Select dialog is answered "Connect".
  link_.deviceList = {unit};
  link_.searching = 1;
  link_.searchRestart = 0;
  link_.searchEnded = 0;
  link_.searchPass = 0;
  Connect({0, direction});
  view_.LinkStateChanged();
  return true;
}

void ProtocolEngine::Connect(const SelectChoice& choice) {
  const FoundDevice unit = link_.deviceList[choice.listIndex];
  link_.selectedPort = unit.port;
  link_.deviceId = unit.id;
  link_.comPort = unit.port;
  link_.deviceName = unit.name;
  link_.deviceKind = unit.kind;
  link_.transferDirection = choice.direction == 1 ? 1 : 0;
  const bool infoOnly = choice.direction == kConnectProgramInfo;
  StartChain(infoOnly                            ? Chain::ProgramInfo
             : link_.transferDirection == 1 ? Chain::Download
                                            : Chain::Upload);

  if (!port_.Open(this, link_.comPort, kBaud, kParity, kDataBits, kStopBits, kEventMask,
                  kWriteBufferSize)) {
    Status(kCannotOpen);
    // Leave the way open for a new search instead of locking both menu commands.
    link_.searching = 0;
    link_.searchRestart = 1;
    link_.searchEnded = 1;
    link_.deviceList.clear();
    EndChain(Outcome::PortFailed, kCannotOpen);
    return;
  }
  (void)port_.StartMonitoring();

  Status(kConnected);
  link_.linkConnected = 1;
  // The first transfer starts afresh. A chain cut off earlier leaves these set, and would make
  // an upload stop after the program name, keep the PC's name, or store a download unasked.
  link_.infoOnly = 0;
  link_.saveAfterDownload = 0;
  link_.keepPcName = 0;
  link_.downloadRequested = 0;
  const int id = link_.deviceId;
  if (link_.transferDirection == 1) {
    link_.downloadRequested = 1;
    link_.keepPcName = 1;
    Send(DownloadBeginFrame(id));
    Status(kTranslating);
    link_.m00Pending = 1;
    Arm(timers::kDownloadStart, timers::kDownloadStartMs);
  } else {
    // The program-information step then ends the chain after number and name.
    link_.infoOnly = infoOnly ? 1 : 0;
    SendStep(ProgramInfoRequestFrame(id, 0));
    Status(kUploading);
    infoIntervalMs_ = timers::kProgramInfoMs;
    Arm(timers::kProgramInfo, timers::kProgramInfoMs);
  }
}

bool ProtocolEngine::CancelSearch() {
  // Once the Select dialog is up the dialog's own Cancel ends the search.
  if (running_ != Chain::Search || link_.searching == 0 || selecting_) return false;
  Kill(timers::kProbe);
  if (port_.IsOpen()) port_.Close();
  view_.HideSearchDialog();
  link_.comPort = 1;
  link_.frameComplete = 0;
  EndSearch(Outcome::Cancelled, kStopConnect, kStopConnect);
  view_.LinkStateChanged();
  return true;
}

void ProtocolEngine::EndSearch(Outcome outcome, std::string_view status, std::string_view detail) {
  link_.searching = 0;
  link_.linkConnected = 0;
  link_.searchRestart = 1;
  link_.searchPass = 0;
  link_.deviceList.clear();
  Status(status);
  link_.searchEnded = 1;
  EndChain(outcome, detail);
}

void ProtocolEngine::DisableCommunications() {
  if (!CanDisableCommunications()) return;
  link_.searching = 0;
  link_.searchPass = 0;
  link_.deviceInfoEditable = 0;
  link_.deviceKind = 0;
  link_.deviceList.clear();
  // Whatever was still waiting for an answer is given up: otherwise a running transfer step takes
  // the unit's "bye)" as its own answer and the link stays marked connected with the port closed.
  for (int id = 1; id <= timers::kEditStep; ++id) {
    if (id != timers::kDisconnect) Kill(id);
  }
  levelQueue_.clear();
  edits_.clear();
  DropQueued();
  retriedStep_ = 0;
  link_.frameComplete = 0;
  link_.m00Pending = 0;
  view_.HideTransmittingDialog();
  // The one command that may interrupt a chain: the chain ends here, given up.
  EndChain(Outcome::Cancelled);
  StartChain(Chain::Disconnect);
  Send(ByeFrame(link_.deviceId));
  Arm(timers::kDisconnect, timers::kDisconnectMs);
  view_.LinkStateChanged();
}

void ProtocolEngine::OnDisconnectTimer() {
  bool reset = false;
  Outcome outcome = Outcome::Done;
  std::string_view detail;
  if (link_.frameComplete != 0) {
    Kill(timers::kDisconnect);
    link_.frameComplete = 0;
    link_.waitCount = 0;
    // The port closes below whatever came back, so an answer other than "bye)" must still end the
    // link; otherwise it stays marked connected with nothing behind it.
    const bool bye = link_.rxFrame == ByeFrame(link_.deviceId);
    Status(bye ? kDisconnected : kIgnorDisconnected);
    if (!bye) {
      outcome = Outcome::WrongAnswer;
      detail = kIgnorDisconnected;
    }
    reset = true;
  } else if (++link_.waitCount > timers::kWaitLimit) {
    Kill(timers::kDisconnect);
    Status(kIgnorDisconnected);
    link_.waitCount = 0;
    outcome = Outcome::NoAnswer;
    detail = kIgnorDisconnected;
    reset = true;
  }
  if (reset) {
    if (link_.linkConnected != 0) {
      link_.linkConnected = 0;
      link_.searchRestart = 1;
      link_.searchPass = 0;
    }
    link_.identityShown = 0;
    view_.RepaintHeader();
  }
  // Closed at every tick, so no answer can arrive after the first one.
  if (port_.IsOpen()) port_.Close();
  if (reset) EndChain(outcome, detail);
}

}  // namespace corvella::link
