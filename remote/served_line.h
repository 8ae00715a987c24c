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
#include "remote/remote_line.h"

namespace corvella::remote {

class ServedLine final : public RemoteLine {
 public:
  // `port`: the device as the port table names it. Nothing happens until Start.
  // `journal`, when given, records the line's frames under the port's name.
  ServedLine(EventLoop& loop, std::string port, LineObserver& observer, bool fast,
             link::Journal* journal = nullptr);
  ~ServedLine() override;
  ServedLine(const ServedLine&) = delete;
  ServedLine& operator=(const ServedLine&) = delete;

  const std::string& Port() const { return port_; }
  const std::string& PortName() const override { return portName_; }

  // Searches the port, then reads every unit found.
  void Start();
  bool Ready() const override { return ready_; }

  int UnitCount() const override { return static_cast<int>(units_.size()); }
  const link::FoundDevice& Device(int unit) const override { return units_[Index(unit)].device; }
  bool Online(int unit) const override { return units_[Index(unit)].online; }
  const ProgramParameters& Parameters(int unit) const override;
  ProgramParameters& EditableParameters(int unit) override;
  void Edit(int unit, const ParameterRef& ref) override;
  void Recall(int unit, int memory) override;
  void Store(int unit, int memory) override;
  void SayGoodbye() override;
  bool Finished() const override { return finished_; }

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
  void LevelsAnswered(link::Outcome outcome);

  EventLoop& loop_;
  std::string port_;
  std::string portName_;
  LineObserver& observer_;
  bool fast_;
  LineView view_{*this};
  link::Journal* journal_;
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
  // Levels sent as the window's level slider sends them, not yet told answered.
  std::vector<ParameterRef> levels_;
  // Tasks posted to the loop run only while the line lives.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace corvella::remote
