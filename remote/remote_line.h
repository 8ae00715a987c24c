// The units behind the remote hub, one line at a time: a port `serve` searched and serves itself
// (ServedLine), or the window's connected unit (CoreLine). The hub sees every line alike.
#pragma once

#include <string>

#include "link/link_state.h"
#include "link/link_view.h"
#include "model/parameter_listing.h"
#include "model/program_parameters.h"

namespace corvella::remote {

class RemoteLine;

// What a line tells the hub. Calls come on the loop's thread, never from inside an engine step.
class LineObserver {
 public:
  virtual ~LineObserver() = default;
  // The search and the first reading of every unit are over (units may be empty).
  virtual void LineReady(RemoteLine& line) = 0;
  // The unit acknowledged (or refused) `frame`, which carried `ref`.
  virtual void EditAnswered(RemoteLine& line, int unit, const ParameterRef& ref,
                            const std::string& frame, bool right) = 0;
  // A list of edits ended otherwise than done: edits of `unit` not yet answered are lost.
  virtual void EditsFailed(RemoteLine& line, int unit, link::Outcome outcome) = 0;
  // The unit's set changed as a whole (a recall or store read it back); `before` is what it was.
  virtual void ProgramChanged(RemoteLine& line, int unit, const ProgramParameters& before) = 0;
  // A recall or store asked through Recall/Store ended.
  virtual void ActionEnded(RemoteLine& line, int unit, bool recall, int memory,
                           link::Outcome outcome) = 0;
  // The unit began or stopped answering.
  virtual void LinkChanged(RemoteLine& line, int unit) = 0;
  // Something worth a line in the log ("ttyUSB0: ID 1 read").
  virtual void Note(RemoteLine& line, const std::string& text) = 0;
};

class RemoteLine {
 public:
  virtual ~RemoteLine() = default;
  virtual const std::string& PortName() const = 0;
  // Its units are known and read.
  virtual bool Ready() const = 0;
  virtual int UnitCount() const = 0;
  virtual const link::FoundDevice& Device(int unit) const = 0;
  virtual bool Online(int unit) const = 0;
  // The unit's set as the PC holds it; change it only through EditableParameters and Edit.
  virtual const ProgramParameters& Parameters(int unit) const = 0;
  virtual ProgramParameters& EditableParameters(int unit) = 0;
  // Sends `ref` with the value the unit's set holds when the frame leaves.
  virtual void Edit(int unit, const ParameterRef& ref) = 0;
  virtual void Recall(int unit, int memory) = 0;
  virtual void Store(int unit, int memory) = 0;
  // Says goodbye to every unit that answers (or leaves the link to its owner); Finished() once
  // done.
  virtual void SayGoodbye() = 0;
  virtual bool Finished() const = 0;
};

}  // namespace corvella::remote
