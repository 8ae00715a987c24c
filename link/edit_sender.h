// What an editor page may ask of the link: one parameter edit, sent now or after the level pause.
// Pages hold this rather than the protocol engine, so a page can neither start a chain nor pace
// frames itself, and every edit still goes through the edit table and the engine's one queue.
#pragma once

#include "model/parameter_listing.h"

namespace corvella::link {

class EditSender {
 public:
  virtual ~EditSender() = default;
  // Sends the PC's stored value of `ref`, only while a unit is connected and no chain runs.
  // Returns whether it was sent; the view hears of the edit either way.
  virtual bool SendEdit(const ParameterRef& ref) = 0;
  // The same after the level pause, for the level sliders: a newer edit of a channel replaces
  // the one still waiting.
  virtual void SendEditAfterPause(const ParameterRef& ref) = 0;
};

}  // namespace corvella::link
