// The unit an application core someone else owns is connected to (the window's), as a line of the
// remote hub. A remote set changes the core's set as a page edit does, the owner is told (so its
// pages follow and its history takes the step), and the edit goes through the core's one queue.
// The owner hands on the engine's events (ChainEnded, EditAnswered, LinkStateChanged) from its
// LinkView; the line reports them to the hub once the engine's step is over, and with them what
// the owner's own work changed (a page's edit, a recall, an upload), so subscribers hear it too.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/unit_controller.h"
#include "remote/reactor.h"
#include "remote/remote_line.h"

namespace corvella::remote {

class CoreLine final : public RemoteLine {
 public:
  // `edited` runs after a remote set changed `ref` in the core's set, before it is sent.
  CoreLine(core::UnitController& core, Reactor& loop, LineObserver& observer,
           std::function<void(const ParameterRef&)> edited);
  ~CoreLine() override;
  CoreLine(const CoreLine&) = delete;
  CoreLine& operator=(const CoreLine&) = delete;

  // ---- the owner's LinkView hands these on ----
  void ChainEnded(link::Chain chain, link::Outcome outcome);
  void EditAnswered(const ParameterRef& ref, std::string_view frame, bool right);
  void LinkStateChanged();

  const std::string& PortName() const override { return portName_; }
  bool Ready() const override { return true; }
  // One unit while the core is connected; its ID and name are the link's.
  int UnitCount() const override { return 1; }
  const link::FoundDevice& Device(int unit) const override;
  bool Online(int unit) const override;
  const ProgramParameters& Parameters(int unit) const override;
  ProgramParameters& EditableParameters(int unit) override;
  void Edit(int unit, const ParameterRef& ref) override;
  void Recall(int unit, int memory) override;
  void Store(int unit, int memory) override;
  // The window keeps its link: nothing to say.
  void SayGoodbye() override {}
  bool Finished() const override { return true; }

 private:
  void Later(std::function<void()> task);
  void Act(int unit, bool recall, int memory);

  core::UnitController& core_;
  Reactor& loop_;
  LineObserver& observer_;
  std::function<void(const ParameterRef&)> edited_;
  std::string portName_ = "window";
  mutable link::FoundDevice device_;
  bool answered_ = true;  // the last exchange was answered
  bool online_ = false;   // as last told
  // A recall or store asked through the line, until its chain ends.
  struct Action {
    bool recall;
    int memory;
    ProgramParameters before;
  };
  std::optional<Action> action_;
  // The set as the hub last heard of it.
  ProgramParameters told_{};
  bool editsRunning_ = false;
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace corvella::remote
