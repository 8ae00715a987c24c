// The unit's program memories (rename, list, recall, store) and its identity (ID and name).
#include <algorithm>

#include "link/engine_timers.h"
#include "link/frames.h"
#include "link/protocol_engine.h"

namespace corvella::link {

bool ProtocolEngine::SetProgramName(std::string_view text) {
  if (Refuse(Chain::Rename)) return false;
  // The name is kept as typed; only the frame replaces characters the unit cannot take.
  std::string name(text.substr(0, kProgramNameLength));
  name.resize(kProgramNameLength, '.');
  const bool sent = link_.linkConnected != 0;
  // The header keeps the name the unit holds until the unit confirms the new one.
  if (sent) session_.unconfirmedName = UnconfirmedName{session_.HeaderProgramName(), name};
  std::copy(name.begin(), name.end(), params_.programName.begin());
  if (sent) {
    StartChain(Chain::Rename);
    Send(ProgramNameFrame(link_.deviceId, name));
    Arm(timers::kProgramName, timers::kProgramNameMs);
  }
  view_.LinkStateChanged();
  return sent;
}

void ProtocolEngine::OnProgramNameTimer() {
  const auto rx = AwaitAnswer(timers::kProgramName);
  if (!rx) return;
  if (*rx == Frame(link_.deviceId, "J0003")) {
    Status(kProgramInfoOk);
    session_.unconfirmedName.reset();
    view_.RepaintHeader();
    EndChain(Outcome::Done);
  } else {
    Status(kProgramInfoFailed);
    EndChain(Outcome::WrongAnswer, kProgramInfoFailed);
  }
}

bool ProtocolEngine::ListPrograms() {
  // A list asked for again while one is being read starts over: two chains would otherwise share
  // the one answer buffer and put names on the wrong lines.
  for (int id = timers::kListFirst; id < timers::kListFirst + kProgramMemories; ++id) Kill(id);
  Kill(timers::kListPause);
  if (running_ == Chain::ProgramList) EndChain(Outcome::Cancelled);
  if (Refuse(Chain::ProgramList)) return false;
  StartChain(Chain::ProgramList);
  Send(ProgramInfoRequestFrame(link_.deviceId, 1));
  Arm(timers::kListFirst, timers::kListMs);
  view_.LinkStateChanged();
  return true;
}

void ProtocolEngine::OnListTimer(int id) {
  const int n = id - timers::kListFirst + 1;
  bool timedOut = false;
  const auto rx = TakeAnswer(id, timers::kListWaitLimit, timedOut);
  if (rx) {
    const std::string line =
        "Program No." + std::to_string(n) + "        " + TextAt(*rx, 11, kProgramNameLength);
    view_.ShowProgramListLine(n, line, true);
  } else if (timedOut) {
    // The first line has one blank more than the others.
    const std::string line =
        "Program No." + std::to_string(n) + (n == 1 ? "        " : "       ") + "No Used";
    view_.ShowProgramListLine(n, line, false);
    link_.waitCount = 0;
  } else {
    return;
  }
  if (n < kProgramMemories) {
    Send(ProgramInfoRequestFrame(link_.deviceId, n + 1));
    Arm(id + 1, timers::kListMs);
  } else {
    // A pause before the capture is released, as a step so nothing freezes meanwhile.
    Arm(timers::kListPause, timers::kListPauseMs);
  }
}

void ProtocolEngine::OnListPause() {
  Kill(timers::kListPause);
  view_.ReleaseMouseCapture();
  EndChain(Outcome::Done);
}

bool ProtocolEngine::RecallProgram(int n) {
  if (Refuse(Chain::Recall)) return false;
  StartChain(Chain::Recall);
  link_.recallProgram = n;
  Send(RecallFrame(link_.deviceId, n));
  Arm(timers::kRecall, timers::kRecallMs);
  view_.LinkStateChanged();
  return true;
}

void ProtocolEngine::OnRecallTimer() {
  const auto rx = AwaitAnswer(timers::kRecall);
  if (!rx) return;
  const int id = link_.deviceId;
  if (*rx != RecallFrame(id, link_.recallProgram)) {
    Status(kResponseError);
    EndChain(Outcome::WrongAnswer, kResponseError);
    return;
  }
  Status(kRecallOk);
  // The recalled program is read into the PC whatever the last transfer was: a download that was
  // cut off leaves these set, and would otherwise write the PC's program over the recalled one.
  link_.transferDirection = 0;
  link_.keepPcName = 0;
  link_.infoOnly = 0;
  SendStep(ProgramInfoRequestFrame(id, 0));
  Status(kUploading);
  infoIntervalMs_ = timers::kProgramInfoAfterSaveMs;
  Arm(timers::kProgramInfo, timers::kProgramInfoAfterSaveMs);
}

bool ProtocolEngine::StoreProgram(int n) {
  if (Refuse(Chain::Store)) return false;
  const bool sent = link_.linkConnected != 0;
  if (sent) {
    StartChain(Chain::Store);
    Send(SaveFrame(link_.deviceId, n));
    Arm(timers::kSave, timers::kSaveMs);
  }
  link_.identityShown = 1;
  view_.RepaintHeader();
  view_.LinkStateChanged();
  return sent;
}

bool ProtocolEngine::ChangeDeviceIdentity(int newId, std::string_view name) {
  if (Refuse(Chain::Identity)) return false;
  link_.pendingDeviceId = newId;
  link_.pendingDeviceName = LineText(name, kDeviceNameLength);
  const bool sent = link_.linkConnected != 0;
  if (sent) {
    StartChain(Chain::Identity);
    Send(IdentityChangeFrame(link_.deviceId, newId, link_.pendingDeviceName));
    Arm(timers::kIdentity, timers::kIdentityMs);
  }
  view_.LinkStateChanged();
  return sent;
}

void ProtocolEngine::OnIdentityTimer() {
  const auto rx = AwaitAnswer(timers::kIdentity);
  if (!rx) return;
  if (*rx != Frame(link_.pendingDeviceId, "Z")) {
    Status(kResponseError);
    EndChain(Outcome::WrongAnswer, kResponseError);
    return;
  }
  // From its confirmation on the unit answers only to the new ID, whatever becomes of the name.
  link_.deviceId = link_.pendingDeviceId;
  view_.RepaintHeader();
  Send(DeviceNameFrame(link_.pendingDeviceId, link_.pendingDeviceName));
  Arm(timers::kDeviceName, timers::kDeviceNameMs);
}

void ProtocolEngine::OnDeviceNameTimer() {
  const auto rx = AwaitAnswer(timers::kDeviceName);
  if (!rx) return;
  if (*rx != Frame(link_.pendingDeviceId, "Y")) {
    Status(kResponseError);
    EndChain(Outcome::WrongAnswer, kResponseError);
    return;
  }
  Status(kIdentityOk);
  link_.deviceName = link_.pendingDeviceName;
  link_.identityShown = 1;
  view_.RepaintHeader();
  EndChain(Outcome::Done);
}

}  // namespace corvella::link
