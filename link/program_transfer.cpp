// Whole-program transfer: the program-information step, the 33 parameter blocks in both
// directions, the "M00)" handshake, the store after a factory-default download and the closing
// "U00)" exchanges.
#include <algorithm>

#include "link/engine_timers.h"
#include "link/frames.h"
#include "link/protocol_engine.h"
#include "link/transfer_blocks.h"

namespace corvella::link {

namespace {

// The 33 parameter blocks in transfer order. Block k is checked by step StepOf(k).
constexpr int kBlocks = 33;

enum class BlockKind {
  InputPeq,
  InputLevel,
  Crossover,
  OutputPeq,
  OutputLevel,
  Delay,
  Dynamics,
  Phase
};

struct Block {
  BlockKind kind;
  int code;     // command code, 21 for "$021"
  int channel;  // 0-based input or output
  int band;     // 0-based band for the equalisers
};

Block Describe(int k) {
  if (k < 4) return {BlockKind::InputPeq, 21, k / 2, k % 2};
  if (k < 6) return {BlockKind::InputLevel, 25, k - 4, 0};
  if (k < 14) {
    // HPF type and frequency of HIGH, then of LOW; then the LPF likewise.
    const int j = k - 6;
    return {BlockKind::Crossover, 41 + 2 * (j / 4) + j % 2, (j / 2) % 2, 0};
  }
  if (k < 26) return {BlockKind::OutputPeq, 45, (k - 14) / 6, (k - 14) % 6};
  if (k < 28) return {BlockKind::OutputLevel, 49, k - 26, 0};
  if (k < 30) return {BlockKind::Delay, 51, k - 28, 0};
  if (k < 31) return {BlockKind::Dynamics, 59, 0, 0};
  return {BlockKind::Phase, 52, k - 31, 0};
}

int StepOf(int k) {
  if (k <= timers::kLastNumberedBlock - timers::kFirstBlock) return timers::kFirstBlock + k;
  return k == kBlocks - 2 ? timers::kPhaseHighBlock : timers::kPhaseLowBlock;
}

int BlockOf(int step) {
  if (step == timers::kPhaseHighBlock) return kBlocks - 2;
  if (step == timers::kPhaseLowBlock) return kBlocks - 1;
  return step - timers::kFirstBlock;
}

std::string CodeText(int code) {
  return Digits(code, 3);
}

// The upload's read request. Its address is not always the write frame's: levels and crossover
// carry "00" after the channel, the phases "000".
std::string ReadAddress(int k) {
  const Block b = Describe(k);
  const std::string head = CodeText(b.code) + Digits(b.channel + 1, 1);
  switch (b.kind) {
    case BlockKind::InputPeq:
    case BlockKind::OutputPeq:
      return head + Digits(b.band, 2);
    case BlockKind::Phase:
      return head + "000";
    default:
      return head + "00";
  }
}

std::string BuildFrame(int id, const ProgramParameters& p, int k) {
  const Block b = Describe(k);
  const auto in = static_cast<Input>(b.channel);
  const auto out = static_cast<Output>(b.channel);
  const std::size_t c = static_cast<std::size_t>(b.channel);
  const std::size_t band = static_cast<std::size_t>(b.band);
  switch (b.kind) {
    case BlockKind::InputPeq:
      return InputPeqBandFrame(id, in, b.band, p.inputPeq[band][c]);
    case BlockKind::InputLevel:
      return InputLevelFrame(id, in, p.inputLevel[c]);
    case BlockKind::Crossover: {
      const CrossoverSettings& x = p.crossover[c];
      switch (b.code) {
        case 41:
          return HpfTypeFrame(id, out, x.hpfType);
        case 42:
          return HpfFrequencyFrame(id, out, x.hpfFrequency);
        case 43:
          return LpfTypeFrame(id, out, x.lpfType);
        default:
          return LpfFrequencyFrame(id, out, x.lpfFrequency);
      }
    }
    case BlockKind::OutputPeq:
      return OutputPeqBandFrame(id, out, b.band, p.outputPeq[band][c]);
    case BlockKind::OutputLevel:
      return OutputLevelFrame(id, out, p.outputLevel[c]);
    case BlockKind::Delay:
      return OutputDelayFrame(id, out, p.outputDelay[c]);
    case BlockKind::Dynamics:
      return CompressorFrame(id, p.dynamics);
    case BlockKind::Phase:
      return OutputPhaseFrame(id, out, p.outputPhase[c]);
  }
  return {};
}

// Three digits can say 999; a byte field keeps the largest code it can hold, so the repair at the
// end of the upload sees an out-of-range value instead of a wrapped, plausible one.
std::uint8_t Byte(int v) {
  return static_cast<std::uint8_t>(std::clamp(v, 0, 255));
}

PeqBand ParseBand(std::string_view rx) {
  return {Byte(NumberAt(rx, 10, 3)), Byte(NumberAt(rx, 13, 3)), Byte(NumberAt(rx, 16, 3)),
          Byte(NumberAt(rx, 19, 3))};
}

void Store(ProgramParameters& p, int k, std::string_view rx) {
  const Block b = Describe(k);
  const std::size_t c = static_cast<std::size_t>(b.channel);
  const std::size_t band = static_cast<std::size_t>(b.band);
  const std::uint8_t value = Byte(NumberAt(rx, 10, 3));
  switch (b.kind) {
    case BlockKind::InputPeq:
      p.inputPeq[band][c] = ParseBand(rx);
      break;
    case BlockKind::InputLevel:
      p.inputLevel[c] = value;
      break;
    case BlockKind::Crossover: {
      CrossoverSettings& x = p.crossover[c];
      switch (b.code) {
        case 41:
          x.hpfType = value;
          break;
        case 42:
          x.hpfFrequency = value;
          break;
        case 43:
          x.lpfType = value;
          break;
        default:
          x.lpfFrequency = value;
          break;
      }
      break;
    }
    case BlockKind::OutputPeq:
      p.outputPeq[band][c] = ParseBand(rx);
      break;
    case BlockKind::OutputLevel:
      p.outputLevel[c] = value;
      break;
    case BlockKind::Delay:
      p.outputDelay[c] = NumberAt(rx, 12, 4);
      break;
    case BlockKind::Dynamics: {
      std::uint8_t* bytes[] = {&p.dynamics.auxThreshold, &p.dynamics.threshold,
                               &p.dynamics.auxGain1,     &p.dynamics.auxGain2,
                               &p.dynamics.auxRatio1,    &p.dynamics.auxRatio2,
                               &p.dynamics.ratio,        &p.dynamics.auxTime,
                               &p.dynamics.releaseTime,  &p.dynamics.attackTime};
      std::size_t pos = 10;
      for (std::uint8_t* field : bytes) {
        *field = Byte(NumberAt(rx, pos, 2));
        pos += 2;
      }
      break;
    }
    case BlockKind::Phase:
      p.outputPhase[c] = Byte(NumberAt(rx, 12, 1));
      break;
  }
}

// Every field the upload reads from block k's answer must stand inside the answer and be digits;
// anything else (line noise, a unit answering garbage) would otherwise be stored as a plausible 0.
bool FieldsValid(int k, std::string_view rx) {
  switch (Describe(k).kind) {
    case BlockKind::InputPeq:
    case BlockKind::OutputPeq:
      return DigitsAt(rx, 10, 3) && DigitsAt(rx, 13, 3) && DigitsAt(rx, 16, 3) &&
             DigitsAt(rx, 19, 3);
    case BlockKind::Delay:
      return DigitsAt(rx, 12, 4);
    case BlockKind::Dynamics:
      for (std::size_t pos = 10; pos < 30; pos += 2)
        if (!DigitsAt(rx, pos, 2)) return false;
      return true;
    case BlockKind::Phase:
      return DigitsAt(rx, 12, 1);
    default:
      return DigitsAt(rx, 10, 3);
  }
}

// The program-information answer carries a number, and a name where one is read.
bool InfoFieldsValid(std::string_view rx, bool readName) {
  return DigitsAt(rx, 4, 3) && (!readName || FieldInside(rx, 11, kProgramNameLength));
}

// A read answer begins with its request, echoed without the ")".
bool EchoesRequest(std::string_view rx, const std::string& request) {
  return rx.substr(0, request.size() - 1) ==
         std::string_view(request).substr(0, request.size() - 1);
}

// The answer to block k's read request. Digits alone do not make it one: an answer one behind, or
// another band's, is all digits too and would land in the wrong block without a word.
bool BlockAnswered(int id, int k, std::string_view rx) {
  return EchoesRequest(rx, ReadRequestFrame(id, ReadAddress(k))) && FieldsValid(k, rx);
}

// The answer to "I000)". It carries the program's number where the request has "000", so only
// "(" + ID + "I" is echoed.
bool InfoAnswered(int id, std::string_view rx, bool readName) {
  return EchoesRequest(rx, Frame(id, "I")) && InfoFieldsValid(rx, readName);
}

bool BlockAcknowledged(int id, int k, std::string_view rx) {
  return rx == Acknowledgement(id, CodeText(Describe(k).code));
}

std::string_view FailText(int k) {
  switch (Describe(k).kind) {
    case BlockKind::InputPeq:
      return kProgramInfoSetFailed;
    case BlockKind::InputLevel:
      return kInLevelSetFailed;
    case BlockKind::Phase:
      return kPhaseSetFailed;
    default:
      return kCrossoverSetFailed;
  }
}

}  // namespace

int ProtocolEngine::ProgressSteps(Chain chain) {
  switch (chain) {
    // The program information, then the blocks.
    case Chain::Upload:
    case Chain::Recall:
    case Chain::ReadUnit:
      return 1 + kBlocks;
    // The blocks, then the program information read back.
    case Chain::Download:
      return kBlocks + 1;
    // The name, the blocks, the store, the read-back.
    case Chain::FactoryDefault:
      return 1 + kBlocks + 1 + 1;
    case Chain::ProgramInfo:
      return 1;
    default:
      return 0;
  }
}

void ProtocolEngine::OnProgramInfoTimer() {
  const auto rx = AwaitAnswer(timers::kProgramInfo);
  if (!rx) return;
  const int id = link_.deviceId;
  if (link_.transferDirection == 1) {
    // Reached only when a program-information frame was sent during a download.
    if (*rx != Frame(id, "J0003")) {
      StopBox(kWarnningCaption, kProgramInfoSetFailed);
      NoteWrongAnswer(kProgramInfoSetFailed);
    }
    SendFirstBlock();
    return;
  }
  const bool readName = link_.keepPcName == 0;
  if (!InfoAnswered(id, *rx, readName)) {
    RetryRead(timers::kProgramInfo, ProgramInfoRequestFrame(id, 0), infoIntervalMs_);
    return;
  }
  retriedStep_ = 0;
  // A whole upload starts here and is read aside; a read-back only takes number and name.
  if (link_.infoOnly == 0) incoming_ = params_;
  ProgramParameters& target = link_.infoOnly == 0 ? incoming_ : params_;
  if (readName) {
    const std::string name = TextAt(*rx, 11, kProgramNameLength);
    std::copy(name.begin(), name.end(), target.programName.begin());
  }
  target.programNumber = Byte(NumberAt(*rx, 4, 3));
  if (link_.infoOnly == 0) {
    SendStep(ReadRequestFrame(id, ReadAddress(0)));
    Arm(StepOf(0), timers::kTransferStepMs);
    return;
  }
  Status(kTransferOk);
  link_.identityShown = 1;
  view_.RepaintHeader();
  if (link_.downloadRequested != 0) {
    link_.downloadRequested = 0;
    Send(TransferEndFrame(id));
    link_.uploadEnded = 1;
    Arm(timers::kInfoRefresh, timers::kInfoRefreshMs);
    link_.infoOnly = 0;
    return;
  }
  link_.infoOnly = 0;
  EndChain(Outcome::Done);
}

void ProtocolEngine::OnTransferStep(int step) {
  const auto rx = AwaitAnswer(step);
  if (!rx) return;
  const int k = BlockOf(step);
  const int id = link_.deviceId;
  const bool last = k == kBlocks - 1;
  if (link_.transferDirection == 0) {
    if (!BlockAnswered(id, k, *rx)) {
      RetryRead(step, ReadRequestFrame(id, ReadAddress(k)), timers::kTransferStepMs);
      return;
    }
    retriedStep_ = 0;
    Store(incoming_, k, *rx);
    if (last) {
      FinishUpload();
      return;
    }
    SendStep(ReadRequestFrame(id, ReadAddress(k + 1)));
  } else {
    // A wrong acknowledgement is reported and the download goes on.
    if (!BlockAcknowledged(id, k, *rx)) {
      StopBox(kWarnningCaption, FailText(k));
      NoteWrongAnswer(FailText(k));
    }
    if (last) {
      FinishDownload();
      return;
    }
    SendStep(BuildFrame(id, params_, k + 1));
  }
  Arm(StepOf(k + 1), timers::kTransferStepMs);
}

std::optional<int> ProtocolEngine::StepSettledBy(const std::string& rx) const {
  // Stores and recalls read the program information too; they keep their pace.
  if (!running_ || (*running_ != Chain::Upload && *running_ != Chain::Download &&
                    *running_ != Chain::ReadUnit && *running_ != Chain::FactoryDefault)) {
    return std::nullopt;
  }
  // Only a frame that began after the last one was taken, and ended with this ")": stray
  // bytes after a frame that was already taken, or a frame cut short, are left to the tick.
  if (rx.empty() || rx.front() != '(' || rx.find(')') != rx.size() - 1) return std::nullopt;
  const int id = link_.deviceId;
  const auto settles = [](int step, bool right) {
    return right ? std::optional<int>(step) : std::nullopt;
  };
  if (timers_.IsArmed(timers::kProgramInfo)) {
    const bool right = link_.transferDirection == 1 ? rx == Frame(id, "J0003")
                                                    : InfoAnswered(id, rx, link_.keepPcName == 0);
    return settles(timers::kProgramInfo, right);
  }
  for (int k = 0; k < kBlocks; ++k) {
    const int step = StepOf(k);
    if (!timers_.IsArmed(step)) continue;
    return settles(step, link_.transferDirection == 0 ? BlockAnswered(id, k, rx)
                                                      : BlockAcknowledged(id, k, rx));
  }
  if (timers_.IsArmed(timers::kDownloadStart)) {
    // The handshake, or the unit's echo of an upload's closing "U00)".
    const bool right = link_.m00Pending != 0
                           ? link_.downloadRequested != 0 && rx == DownloadBeginFrame(id)
                           : link_.uploadEnded != 0 && rx == TransferEndFrame(id);
    return settles(timers::kDownloadStart, right);
  }
  if (timers_.IsArmed(timers::kInfoRefresh))
    return settles(timers::kInfoRefresh, rx == TransferEndFrame(id));
  if (timers_.IsArmed(timers::kFactoryName))
    return settles(timers::kFactoryName, rx == Frame(id, "J0003"));
  if (timers_.IsArmed(timers::kSave)) return settles(timers::kSave, IsSaveAcknowledgement(rx, id));
  return std::nullopt;
}

void ProtocolEngine::FinishUpload() {
  view_.ReleaseMouseCapture();
  if (readAside_) {
    // Compared as the unit holds it: out-of-range codes are differences to see, not to repair.
    readAside_ = false;
  } else {
    params_ = incoming_;
    if (RepairParameters(params_)) view_.ShowRepairWarning();
    view_.ReloadAllPages(ReloadForm::Upload);
  }
  Status(kTransferOk);
  link_.identityShown = 1;
  view_.RepaintHeader();
  link_.deviceInfoEditable = 1;
  Send(TransferEndFrame(link_.deviceId));
  link_.uploadEnded = 1;
  Arm(timers::kDownloadStart, timers::kAfterUploadMs);
}

void ProtocolEngine::FinishDownload() {
  const int id = link_.deviceId;
  if (link_.saveAfterDownload != 0) {
    link_.saveAfterDownload = 0;
    const std::string frame = SaveFrame(id, 0);
    Status(kTransferOk);
    view_.HideTransmittingDialog();
    SendStep(frame);
    Arm(timers::kSave, timers::kSaveMs);
    return;
  }
  link_.infoOnly = 1;
  link_.transferDirection = 0;
  SendStep(ProgramInfoRequestFrame(id, 0));
  infoIntervalMs_ = timers::kProgramInfoMs;
  Arm(timers::kProgramInfo, timers::kProgramInfoMs);
  view_.ReleaseMouseCapture();
  link_.identityShown = 1;
  view_.RepaintHeader();
  link_.deviceInfoEditable = 1;
  Status(kTransferOk);
}

void ProtocolEngine::SendFirstBlock() {
  SendStep(BuildFrame(link_.deviceId, params_, 0));
  Status(kTransmitting);
  Arm(StepOf(0), timers::kTransferStepMs);
}

void ProtocolEngine::OnDownloadStartTimer() {
  const int id = link_.deviceId;
  if (link_.frameComplete != 0) {
    Kill(timers::kDownloadStart);
    link_.frameComplete = 0;
    link_.waitCount = 0;
    // Any other answer (the unit's reply to a closing "U00)", say) ends the chain.
    if (link_.rxFrame == DownloadBeginFrame(id) && link_.downloadRequested != 0) {
      link_.m00Pending = 0;
      SendFirstBlock();
    } else if (link_.m00Pending != 0) {
      // A wrong handshake ends the download before its first block: say so, rather than leave
      // "please wait" standing for a transfer that will never come.
      link_.m00Pending = 0;
      view_.HideTransmittingDialog();
      Status(kResponseError);
      EndChain(Outcome::WrongAnswer, kResponseError);
    } else {
      EndChain(Outcome::Done);  // the unit's reply to an upload's closing "U00)"
    }
    return;
  }
  if (link_.deviceKind == 1 && link_.m00Pending != 0) {
    // Units of this kind never answer "M00)": start on the first empty tick. This timer must
    // not run on, or it would take the first block's acknowledgement for itself.
    link_.m00Pending = 0;
    SendFirstBlock();
    Kill(timers::kDownloadStart);
    return;
  }
  // After an upload this timer only waits out the unit's reply to "U00)". A download handshake
  // still waiting for "M00)" must not end silently on that account, with the transmitting
  // dialog left up: it counts like any other step.
  if (link_.uploadEnded != 0 && link_.m00Pending == 0) {
    Kill(timers::kDownloadStart);
    EndChain(Outcome::Done);
    return;
  }
  if (++link_.waitCount > timers::kWaitLimit) {
    Kill(timers::kDownloadStart);
    link_.m00Pending = 0;
    ConnectionLost();
    EndChain(Outcome::NoAnswer, kConnectionLost);
  }
}

bool ProtocolEngine::StartFactoryDefaultDownload() {
  return StartOrQueue({Chain::FactoryDefault, {}, [this] { StartFactoryName(); }});
}

void ProtocolEngine::StartFactoryName() {
  StartChain(Chain::FactoryDefault);
  const std::string name = TextAt(session_.programNameText, 0, kProgramNameLength);
  std::copy(name.begin(), name.end(), params_.programName.begin());
  SendStep(ProgramNameFrame(link_.deviceId, name));
  Arm(timers::kFactoryName, timers::kFactoryNameMs);
}

void ProtocolEngine::OnFactoryNameTimer() {
  if (link_.frameComplete != 0) {
    Kill(timers::kFactoryName);
    link_.frameComplete = 0;
    link_.waitCount = 0;
    const bool named = link_.rxFrame == Frame(link_.deviceId, "J0003");
    Status(named ? kProgramInfoOk : kProgramInfoFailed);
    if (!named) NoteWrongAnswer(kProgramInfoFailed);
    StartFactoryDownload();
    return;
  }
  if (++link_.waitCount > timers::kFactoryNameWaitLimit) {
    Kill(timers::kFactoryName);
    // The download goes on, as it always did; the chain still ends as not wholly done.
    NoteWrongAnswer(kNameNotConfirmed);
    StartFactoryDownload();
  }
}

// Runs once, when the name step has ended by answer or by its limit: starting it on every tick
// would restart the handshake over and over.
void ProtocolEngine::StartFactoryDownload() {
  link_.saveAfterDownload = 1;
  link_.transferDirection = 1;
  link_.downloadRequested = 1;
  Send(DownloadBeginFrame(link_.deviceId));
  Status(kTransmitting);
  link_.m00Pending = 1;
  Arm(timers::kDownloadStart, timers::kDownloadStartMs);
  view_.ShowTransmittingDialog();
}

void ProtocolEngine::OnSaveTimer() {
  const auto rx = AwaitAnswer(timers::kSave);
  if (!rx) return;
  const int id = link_.deviceId;
  if (!IsSaveAcknowledgement(*rx, id)) {
    StopBox(kWarnningCaption, kProgramRestoreFailed);
    EndChain(Outcome::WrongAnswer, kProgramRestoreFailed);
    return;
  }
  link_.infoOnly = 1;
  link_.transferDirection = 0;
  SendStep(ProgramInfoRequestFrame(id, 0));
  infoIntervalMs_ = timers::kProgramInfoAfterSaveMs;
  Arm(timers::kProgramInfo, timers::kProgramInfoAfterSaveMs);
  Status(kSaveOk);
}

void ProtocolEngine::OnInfoRefreshTimer() {
  const int id = link_.deviceId;
  if (link_.frameComplete != 0) {
    Kill(timers::kInfoRefresh);
    link_.frameComplete = 0;
    link_.waitCount = 0;
    if (link_.rxFrame != TransferEndFrame(id)) {
      Status(kConnectLostShort);
      EndChain(Outcome::WrongAnswer, kConnectLostShort);
      return;
    }
    if (link_.keepPcName != 0) {
      link_.keepPcName = 0;
      const std::string name(params_.programName.begin(), params_.programName.end());
      Send(ProgramNameAfterDownloadFrame(id, name));  // no answer awaited
    }
    EndChain(Outcome::Done);
    return;
  }
  Status(kConnectLostShort);
  // Without a limit this would tick for as long as the program runs.
  if (++link_.waitCount > timers::kWaitLimit) {
    Kill(timers::kInfoRefresh);
    link_.waitCount = 0;
    EndChain(Outcome::NoAnswer, kConnectLostShort);
  }
}

}  // namespace corvella::link

namespace corvella::link {

int TransferBlockCount() {
  return kBlocks;
}

std::string TransferReadRequest(int id, int k) {
  return ReadRequestFrame(id, ReadAddress(k));
}

std::string TransferWriteFrame(int id, const ProgramParameters& p, int k) {
  return BuildFrame(id, p, k);
}

bool TransferReadAnswer(ProgramParameters& p, int k, std::string_view answer) {
  if (k < 0 || k >= kBlocks || !FieldsValid(k, answer)) return false;
  Store(p, k, answer);
  return true;
}

}  // namespace corvella::link
