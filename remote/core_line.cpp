#include "remote/core_line.h"

#include <utility>

namespace corvella::remote {

CoreLine::CoreLine(core::UnitController& core, Reactor& loop, LineObserver& observer,
                   std::function<void(const ParameterRef&)> edited)
    : core_(core), loop_(loop), observer_(observer), edited_(std::move(edited)) {
  online_ = Online(0);
  told_ = core_.parameters();
}

CoreLine::~CoreLine() {
  *alive_ = false;
}

void CoreLine::Later(std::function<void()> task) {
  loop_.Post([task = std::move(task), alive = std::weak_ptr<bool>(alive_)] {
    if (const auto live = alive.lock(); live && *live) task();
  });
}

const link::FoundDevice& CoreLine::Device(int) const {
  const link::LinkState& link = core_.session().link;
  device_.id = link.deviceId;
  device_.name = link.deviceName;
  device_.port = link.comPort;
  device_.kind = link.deviceKind;
  return device_;
}

bool CoreLine::Online(int) const {
  return core_.session().link.linkConnected != 0 && answered_;
}

const ProgramParameters& CoreLine::Parameters(int) const {
  return core_.session().parameters;
}

ProgramParameters& CoreLine::EditableParameters(int) {
  return core_.session().parameters;
}

void CoreLine::Edit(int unit, const ParameterRef& ref) {
  if (edited_) edited_(ref);
  if (core_.SendEdits({ref})) {
    editsRunning_ = true;
  } else {
    // Not connected, or another chain (a transfer, a recall) holds the unit.
    Later([this, unit] {
      observer_.EditsFailed(*this, unit,
                            core_.session().link.linkConnected != 0 ? link::Outcome::Refused
                                                                    : link::Outcome::Cancelled);
    });
  }
}

void CoreLine::Recall(int unit, int memory) {
  Act(unit, true, memory);
}

void CoreLine::Store(int unit, int memory) {
  Act(unit, false, memory);
}

void CoreLine::Act(int unit, bool recall, int memory) {
  const ProgramParameters before = core_.parameters();
  if (core_.session().link.linkConnected != 0 && !action_ &&
      (recall ? core_.Recall(memory) : core_.Store(memory))) {
    action_ = Action{recall, memory, before};
    return;
  }
  Later([this, unit, recall, memory] {
    observer_.ActionEnded(*this, unit, recall, memory, link::Outcome::Refused);
  });
}

void CoreLine::ChainEnded(link::Chain chain, link::Outcome outcome) {
  if (outcome == link::Outcome::Refused) return;
  if (outcome == link::Outcome::NoAnswer) answered_ = false;
  if (outcome == link::Outcome::Done) answered_ = true;
  if (chain == link::Chain::SendEdits && editsRunning_) {
    editsRunning_ = false;
    const bool ok = outcome == link::Outcome::Done || outcome == link::Outcome::WrongAnswer;
    if (!ok) Later([this, outcome] { observer_.EditsFailed(*this, 0, outcome); });
  }
  const bool ours = action_ && ((chain == link::Chain::Recall && action_->recall) ||
                                (chain == link::Chain::Store && !action_->recall));
  if (ours) {
    const Action action = *action_;
    action_.reset();
    told_ = core_.parameters();
    Later([this, action, outcome] {
      if (Parameters(0) != action.before) observer_.ProgramChanged(*this, 0, action.before);
      observer_.ActionEnded(*this, 0, action.recall, action.memory, outcome);
    });
  } else if (chain != link::Chain::SendEdits && chain != link::Chain::ReadUnit &&
             core_.parameters() != told_) {
    // The owner's own work: a page's edit the unit answered, a recall, an upload.
    const ProgramParameters before = std::exchange(told_, core_.parameters());
    Later([this, before] { observer_.ProgramChanged(*this, 0, before); });
  }
  LinkStateChanged();
}

void CoreLine::EditAnswered(const ParameterRef& ref, std::string_view frame, bool right) {
  answered_ = true;
  // The hub tells the value it asked for itself.
  if (right) told_ = core_.parameters();
  Later([this, ref, sent = std::string(frame), right] {
    observer_.EditAnswered(*this, 0, ref, sent, right);
  });
  LinkStateChanged();
}

void CoreLine::LinkStateChanged() {
  const bool online = Online(0);
  if (online == online_) return;
  online_ = online;
  Later([this] { observer_.LinkChanged(*this, 0); });
}

}  // namespace corvella::remote
