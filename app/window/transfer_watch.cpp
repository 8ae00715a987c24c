#include "app/window/transfer_watch.h"

#include "link/engine_timers.h"

namespace corvella::app {
namespace {

// The chains that write a program into the unit or read one into the PC.
bool IsTransfer(link::Chain chain) {
  switch (chain) {
    case link::Chain::Upload:
    case link::Chain::Download:
    case link::Chain::FactoryDefault:
    case link::Chain::Recall:
      return true;
    default:
      return false;
  }
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

TransferWatch::EndEffect TransferWatch::OnChainEnded(link::Chain chain, link::Outcome outcome) {
  EndEffect effect;
  // A refused chain sent nothing and leaves the one running as it was.
  if (outcome == link::Outcome::Refused) return effect;
  const bool stepped = IsTransfer(chain) || chain == link::Chain::ReadUnit;
  if (!stepped) return effect;
  step_ = 0;
  blocksSeen_ = false;
  // Reading the unit's program aside changes neither the unit nor the PC's set.
  if (chain == link::Chain::ReadUnit) return effect;
  const bool incomplete = outcome != link::Outcome::Done;
  effect.warning = incomplete && outcome != link::Outcome::Cancelled;
  effect.markChanged = incomplete != incomplete_;
  incomplete_ = incomplete;
  return effect;
}

bool TransferWatch::OnTimerArmed(int id, bool download, bool infoOnly) {
  const int before = step_;
  const int block = BlockIndex(id);
  if (block >= 0) {
    if (step_ == 0) download_ = download;
    blocksSeen_ = true;
    // An upload reads the program information first; a download writes it back last.
    step_ = download_ ? block + 1 : block + 2;
  } else if (id == link::timers::kProgramInfo) {
    if (blocksSeen_) {
      step_ = kSteps;
    } else if (step_ == 0 && !infoOnly) {
      download_ = false;  // a whole read begins (a refresh of the name alone is no transfer)
      step_ = 1;
    }
  }
  return step_ != before;
}

}  // namespace corvella::app
