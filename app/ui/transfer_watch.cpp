#include "app/ui/transfer_watch.h"

#include "link/engine_timers.h"
#include "link/protocol_engine.h"

namespace corvella::shell {
namespace {

bool StartsTransfer(std::string_view text) {
  return text == link::kUploading || text == link::kTranslating || text == link::kTransmitting;
}

bool IsFailure(std::string_view text) {
  return text == link::kConnectionLost || text == link::kResponseError ||
         text == link::kConnectLostShort;
}

// Position of a block timer among the 33 blocks, or -1.
int BlockIndex(int id) {
  namespace t = link::timers;
  if (id >= t::kFirstBlock && id <= t::kLastNumberedBlock) return id - t::kFirstBlock;
  if (id == t::kPhaseHighBlock) return t::kLastNumberedBlock - t::kFirstBlock + 1;
  if (id == t::kPhaseLowBlock) return t::kLastNumberedBlock - t::kFirstBlock + 2;
  return -1;
}

}  // namespace

TransferWatch::StatusEffect TransferWatch::OnStatus(std::string_view text) {
  StatusEffect effect;
  if (StartsTransfer(text)) {
    if (!running_) {
      running_ = true;
      blocksSeen_ = false;
      step_ = 0;
    }
    return effect;
  }
  if (!running_) return effect;
  // Any other text ends the transfer: its success, a failure, or the operator breaking it off.
  running_ = false;
  effect.warning = IsFailure(text);
  const bool incomplete = text != link::kTransferOk;
  effect.markChanged = incomplete != incomplete_;
  incomplete_ = incomplete;
  return effect;
}

bool TransferWatch::OnTimerArmed(int id, bool download) {
  if (!running_) return false;
  const int before = step_;
  const int block = BlockIndex(id);
  if (block >= 0) {
    if (step_ == 0) download_ = download;
    blocksSeen_ = true;
    // An upload reads the program information first; a download writes it back last.
    step_ = download ? block + 1 : block + 2;
  } else if (id == link::timers::kProgramInfo) {
    if (step_ == 0) download_ = false;
    step_ = blocksSeen_ ? kSteps : 1;
  }
  return step_ != before;
}

}  // namespace corvella::shell
