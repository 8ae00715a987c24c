// Follows a whole-program transfer from the engine's step timers and chain results, for what the
// window shows beside its status texts: how far the transfer is, whether it failed, and whether
// the unit may be left holding part of one program and part of another.
#pragma once

#include "link/link_view.h"

namespace corvella::app {

class TransferWatch {
 public:
  // A transfer has this many steps: the program information and the 33 blocks, either order.
  static constexpr int kSteps = 34;

  struct EndEffect {
    bool warning = false;      // a transfer failed: its failure text is shown as a warning
    bool markChanged = false;  // Incomplete() changed: the header needs repainting
  };
  // The engine ended a chain.
  EndEffect OnChainEnded(link::Chain chain, link::Outcome outcome);
  // The engine armed timer `id`; `download` and `infoOnly` are the link's state at that moment.
  // Returns whether Step() changed.
  bool OnTimerArmed(int id, bool download, bool infoOnly);

  // The step under way, 1..kSteps, or 0 outside a transfer.
  int Step() const { return step_; }
  // The running transfer writes the PC's program into the unit (its first step was a block).
  bool Download() const { return step_ > 0 && download_; }
  // A transfer ended without success and none has succeeded since.
  bool Incomplete() const { return incomplete_; }

 private:
  bool incomplete_ = false;
  bool blocksSeen_ = false;
  bool download_ = false;
  int step_ = 0;
};

}  // namespace corvella::app
