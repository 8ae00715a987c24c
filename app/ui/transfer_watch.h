// Follows a whole-program transfer from the engine's status texts and step timers, for what the
// window shows beside them: how far the transfer is, whether its end was a failure to be shown
// in the warning colour, and whether the unit may be left half written.
#pragma once

#include <string_view>

namespace corvella::shell {

class TransferWatch {
 public:
  // A transfer has this many steps: the program information and the 33 blocks, either order.
  static constexpr int kSteps = 34;

  struct StatusEffect {
    bool warning = false;      // show this status text in the warning colour
    bool markChanged = false;  // Incomplete() changed: the header needs repainting
  };
  // A status text the engine set.
  StatusEffect OnStatus(std::string_view text);
  // The engine armed timer `id`; `download` tells the transfer's direction at that moment.
  // Returns whether Step() changed.
  bool OnTimerArmed(int id, bool download);

  bool Running() const { return running_; }
  // The step under way, 1..kSteps, or 0 outside a transfer.
  int Step() const { return running_ ? step_ : 0; }
  // The running transfer writes the PC's program into the unit (its first step was a block).
  bool Download() const { return running_ && download_; }
  // A transfer ended without success and none has succeeded since.
  bool Incomplete() const { return incomplete_; }

 private:
  bool running_ = false;
  bool incomplete_ = false;
  bool blocksSeen_ = false;
  bool download_ = false;
  int step_ = 0;
};

}  // namespace corvella::shell
