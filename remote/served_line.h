// One port's units, served through one application core. The line searches its port as a fleet
// scan does, reads each unit's program, and from then on takes edits, recalls and stores for any
// of its units. The one engine talks to one unit at a time: the line keeps each other unit's set
// aside and brings a unit's set into the core (with its ID) only while the engine is idle, so a
// unit's edits always go out with that unit's values. Edits of the unit being worked join its
// running list unless another unit waits, which then goes next: no unit starves another.
#pragma once

#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/unit_controller.h"
#include "fleet/unit_view.h"
#include "link/link_view.h"
#include "link/serial_port.h"
#include "model/parameter_listing.h"
#include "remote/event_loop.h"

namespace corvella::remote {

class ServedLine;

// What a line tells its server. Calls come on the loop's thread, never from inside an engine step.
class LineObserver {
 public:
  virtual ~LineObserver() = default;
  // The search and the first reading of every unit are over (units may be empty).
  virtual void LineReady(ServedLine& line) = 0;
  // The unit acknowledged (or refused) `frame`, which carried `ref`.
  virtual void EditAnswered(ServedLine& line, int unit, const ParameterRef& ref,
                            const std::string& frame, bool right) = 0;
  // A list of edits ended otherwise than done: edits of `unit` not yet answered are lost.
  virtual void EditsFailed(ServedLine& line, int unit, link::Outcome outcome) = 0;
  // The unit's set changed as a whole (a recall or store read it back); `before` is what it was.
  virtual void ProgramChanged(ServedLine& line, int unit, const ProgramParameters& before) = 0;
  // A recall or store asked through Recall/Store ended.
  virtual void ActionEnded(ServedLine& line, int unit, bool recall, int memory,
                           link::Outcome outcome) = 0;
  // The unit began or stopped answering.
  virtual void LinkChanged(ServedLine& line, int unit) = 0;
  // Something worth a line in the log ("ttyUSB0: ID 1 read").
  virtual void Note(ServedLine& line, const std::string& text) = 0;
};

class ServedLine final {
 public:
  // `port`: the device as the port table names it. Nothing happens until Start.
  ServedLine(EventLoop& loop, std::string port, LineObserver& observer, bool fast);
  ~ServedLine();
  ServedLine(const ServedLine&) = delete;
  ServedLine& operator=(const ServedLine&) = delete;

  const std::string& Port() const { return port_; }
  const std::string& PortName() const { return portName_; }

  // Searches the port, then reads every unit found.
  void Start();
  bool Ready() const { return ready_; }

  int UnitCount() const { return static_cast<int>(units_.size()); }
  const link::FoundDevice& Device(int unit) const { return units_[Index(unit)].device; }
  bool Online(int unit) const { return units_[Index(unit)].online; }
  // The unit's set as the PC holds it; change it only through Edit.
  const ProgramParameters& Parameters(int unit) const;
  // The set to change before Edit sends the changed parameter.
  ProgramParameters& EditableParameters(int unit);
  // Sends `ref` with the value its set holds when the frame leaves.
  void Edit(int unit, const ParameterRef& ref);
  void Recall(int unit, int memory);
  void Store(int unit, int memory);

  // Says goodbye to every unit that answers; Finished() once all are done.
  void SayGoodbye();
  bool Finished() const { return finished_; }

 private:
  enum class Work { Read, Edits, Recall, Store, Goodbye };
  struct Job {
    Work work;
    int unit;
    int memory = 0;
  };
  struct Unit {
    link::FoundDevice device;
    ProgramParameters parameters{};  // while the unit is not the core's
    std::vector<ParameterRef> pending;
    bool online = false;
  };

  static std::size_t Index(int unit) { return static_cast<std::size_t>(unit); }
  // Runs Pump once the current engine step is over.
  void SchedulePump();
  void Pump();
  bool StartJob(const Job& job);
  bool StartEdits(int unit);
  // Makes `unit` the core's unit: its set and its ID.
  void Activate(int unit);
  bool OtherUnitWaiting(int unit) const;
  void Ended(link::Chain chain, link::Outcome outcome);
  void SetOnline(int unit, bool online);
  void Say(const std::string& text) { observer_.Note(*this, text); }

  // The engine's view: nobody watches; boxes are logged and confirmed.
  class LineView final : public fleet::UnitView {
   public:
    explicit LineView(ServedLine& line) : line_(line) {}
    link::BoxAnswer ShowMessageBox(const link::MessageBoxRequest& box) override;
    void ShowRepairWarning() override;
    void ChainEnded(link::Chain chain, link::Outcome outcome, std::string_view detail) override;
    void EditAnswered(const ParameterRef& ref, std::string_view frame, bool right) override;

   private:
    ServedLine& line_;
  };
  void ChainEnded(link::Chain chain, link::Outcome outcome);
  void EditAnswered(const ParameterRef& ref, std::string_view frame, bool right);

  EventLoop& loop_;
  std::string port_;
  std::string portName_;
  LineObserver& observer_;
  bool fast_;
  LineView view_{*this};
  std::unique_ptr<link::SerialPort> serial_;
  std::unique_ptr<core::UnitController> core_;

  std::vector<Unit> units_;
  std::deque<Job> jobs_;
  // What the line started and waits to end; nothing while the engine is idle.
  std::optional<Job> running_;
  link::Chain runningChain_ = link::Chain::Search;
  int active_ = -1;  // the unit whose set is the core's
  int lastEdited_ = -1;
  bool searching_ = false;
  bool ready_ = false;
  bool goodbye_ = false;
  bool finished_ = false;
  bool pumpPosted_ = false;
  ProgramParameters before_{};
  // Tasks posted to the loop run only while the line lives.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace corvella::remote
