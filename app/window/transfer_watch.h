// Follows a transfer from the engine's progress and chain results, for what the window shows beside
// its status texts: how far the transfer is, and whether the unit may be left holding part of one
// program and part of another.
#pragma once

#include <optional>

#include "link/link_view.h"

namespace corvella::app {

class TransferWatch {
 public:
  struct EndEffect {
    bool warning = false;      // a transfer failed: its failure text is shown as a warning
    bool markChanged = false;  // Incomplete() changed: the header needs repainting
  };
  // The engine ended a chain.
  EndEffect OnChainEnded(link::Chain chain, link::Outcome outcome);
  // The engine reported a step of the running chain.
  void OnProgress(const link::Progress& progress);

  // The step under way, 1..Steps(), or 0 outside a transfer.
  int Step() const { return progress_ ? progress_->step : 0; }
  int Steps() const { return progress_ ? progress_->steps : 0; }
  // A transfer ended without success and none has succeeded since.
  bool Incomplete() const { return incomplete_; }

 private:
  bool incomplete_ = false;
  std::optional<link::Progress> progress_;
};

}  // namespace corvella::app
