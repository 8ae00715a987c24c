#include "app/window/transfer_watch.h"

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

}  // namespace

TransferWatch::EndEffect TransferWatch::OnChainEnded(link::Chain chain, link::Outcome outcome) {
  EndEffect effect;
  // A refused chain sent nothing and leaves the one running as it was; a page edit's answer may
  // come while a chain runs.
  if (outcome == link::Outcome::Refused || chain == link::Chain::PageEdit) return effect;
  progress_.reset();
  if (!IsTransfer(chain)) return effect;
  const bool incomplete = outcome != link::Outcome::Done;
  effect.warning = incomplete && outcome != link::Outcome::Cancelled;
  effect.markChanged = incomplete != incomplete_;
  incomplete_ = incomplete;
  return effect;
}

void TransferWatch::OnProgress(const link::Progress& progress) {
  progress_ = progress;
}

}  // namespace corvella::app
