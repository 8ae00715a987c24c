#include "remote/served_line.h"

#include <algorithm>

#include "fleet/fleet.h"
#include "link/edit_table.h"
#include "link/port_table.h"

namespace corvella::remote {

ServedLine::ServedLine(EventLoop& loop, std::string port, LineObserver& observer, bool fast,
                       link::Journal* journal)
    : loop_(loop),
      port_(std::move(port)),
      portName_(fleet::PortName(port_)),
      observer_(observer),
      fast_(fast),
      journal_(journal) {}

ServedLine::~ServedLine() {
  *alive_ = false;
  core_.reset();
  serial_.reset();
}

void ServedLine::Start() {
  serial_ = std::make_unique<link::SerialPort>(loop_, link::PortTable({port_}), journal_);
  serial_->SetJournalName(port_);
  core_ = std::make_unique<core::UnitController>(*serial_, loop_.NewTimerHost(), view_, 1);
  core_->engine().SetSearchPasses(1);
  core_->engine().SetFastTransfer(fast_);
  searching_ = true;
  Say("searching IDs 1..10");
  core_->Search();
}

const ProgramParameters& ServedLine::Parameters(int unit) const {
  return unit == active_ ? core_->parameters() : units_[Index(unit)].parameters;
}

ProgramParameters& ServedLine::EditableParameters(int unit) {
  return unit == active_ ? core_->parameters() : units_[Index(unit)].parameters;
}

void ServedLine::Edit(int unit, const ParameterRef& ref) {
  // A level goes as the window's level slider sends it: the newest value of the channel once per
  // level pause, without waiting out the answer tick of the frame before, so a dragged level
  // follows a finger as closely as the window's slider. Only where the line serves one unit: a
  // frame waiting out its pause must not outlive the core's holding of its unit.
  const bool level = ref.field == Field::OutputLevel || ref.field == Field::InputLevel;
  if (level && UnitCount() == 1 && unit == active_ && !running_ && jobs_.empty() && !goodbye_ &&
      core_->session().link.linkConnected != 0) {
    if (std::find(levels_.begin(), levels_.end(), ref) == levels_.end()) levels_.push_back(ref);
    core_->Edits().SendEditAfterPause(ref);
    return;
  }
  std::vector<ParameterRef>& pending = units_[Index(unit)].pending;
  if (std::find(pending.begin(), pending.end(), ref) == pending.end()) pending.push_back(ref);
  Pump();
}

void ServedLine::Recall(int unit, int memory) {
  jobs_.push_back({Work::Recall, unit, memory});
  Pump();
}

void ServedLine::Store(int unit, int memory) {
  jobs_.push_back({Work::Store, unit, memory});
  Pump();
}

void ServedLine::SayGoodbye() {
  goodbye_ = true;
  jobs_.clear();
  for (Unit& u : units_) u.pending.clear();
  // The unit the core holds first: it needs no connect of its own.
  for (int i = 0; i < UnitCount(); ++i) {
    const int unit = (std::max(active_, 0) + i) % UnitCount();
    if (units_[Index(unit)].online) jobs_.push_back({Work::Goodbye, unit});
  }
  Pump();
}

void ServedLine::SchedulePump() {
  if (pumpPosted_) return;
  pumpPosted_ = true;
  loop_.Post([this, alive = std::weak_ptr<bool>(alive_)] {
    const auto live = alive.lock();
    if (!live || !*live) return;
    pumpPosted_ = false;
    Pump();
  });
}

bool ServedLine::OtherUnitWaiting(int unit) const {
  for (int i = 0; i < UnitCount(); ++i) {
    if (i != unit && !units_[Index(i)].pending.empty()) return true;
  }
  return std::any_of(jobs_.begin(), jobs_.end(), [](const Job& j) { return j.unit >= 0; });
}

void ServedLine::Pump() {
  if (searching_ || !core_) return;
  if (running_) {
    // A list for the core's unit takes this unit's newer edits along, unless another unit waits.
    if (running_->work == Work::Edits && running_->unit == active_ && !goodbye_) {
      Unit& u = units_[Index(active_)];
      if (!u.pending.empty() && !OtherUnitWaiting(active_) && core_->SendEdits(u.pending)) {
        u.pending.clear();
      }
    }
    return;
  }
  while (true) {
    std::optional<Job> job;
    if (!jobs_.empty()) {
      job = jobs_.front();
      jobs_.pop_front();
    } else if (!goodbye_) {
      // Round robin from the unit after the one edited last.
      for (int i = 1; i <= UnitCount() && !job; ++i) {
        const int unit = (lastEdited_ + i + UnitCount()) % UnitCount();
        if (!units_[Index(unit)].pending.empty()) job = Job{Work::Edits, unit};
      }
    }
    if (!job) {
      if (goodbye_ && !finished_) {
        finished_ = true;
        Say("done");
      }
      return;
    }
    if (StartJob(*job)) {
      running_ = job;
      return;
    }
    // It could not start (the link is down): say so and go on with the next.
    if (job->work == Work::Edits) {
      units_[Index(job->unit)].pending.clear();
      observer_.EditsFailed(*this, job->unit, link::Outcome::Cancelled);
    } else if (job->work == Work::Recall || job->work == Work::Store) {
      observer_.ActionEnded(*this, job->unit, job->work == Work::Recall, job->memory,
                            link::Outcome::Cancelled);
    }
  }
}

void ServedLine::Activate(int unit) {
  if (unit == active_) return;
  Session& session = core_->session();
  if (active_ >= 0) units_[Index(active_)].parameters = session.parameters;
  const link::FoundDevice& d = units_[Index(unit)].device;
  session.parameters = units_[Index(unit)].parameters;
  session.link.deviceId = d.id;
  session.link.deviceName = d.name;
  session.link.deviceKind = d.kind;
  active_ = unit;
}

bool ServedLine::StartJob(const Job& job) {
  const bool connected = core_->session().link.linkConnected != 0;
  const link::FoundDevice& device = units_[Index(job.unit)].device;
  switch (job.work) {
    case Work::Read:
      Activate(job.unit);
      if (!connected) {
        runningChain_ = link::Chain::Upload;
        return core_->engine().ConnectTo(device, 0);
      }
      runningChain_ = link::Chain::ReadUnit;
      return core_->ReadUnitProgram();
    case Work::Edits: {
      if (!connected) return false;
      Activate(job.unit);
      lastEdited_ = job.unit;
      runningChain_ = link::Chain::SendEdits;
      std::vector<ParameterRef> edits = std::move(units_[Index(job.unit)].pending);
      units_[Index(job.unit)].pending.clear();
      return core_->SendEdits(edits);
    }
    case Work::Recall:
    case Work::Store:
      if (!connected) return false;
      Activate(job.unit);
      before_ = core_->parameters();
      runningChain_ = job.work == Work::Recall ? link::Chain::Recall : link::Chain::Store;
      return job.work == Work::Recall ? core_->Recall(job.memory) : core_->Store(job.memory);
    case Work::Goodbye:
      if (!connected) {
        // A unit the core does not hold is reached again first (its number and name only).
        Activate(job.unit);
        jobs_.push_front(job);
        runningChain_ = link::Chain::ProgramInfo;
        return core_->engine().ConnectTo(device, link::kConnectProgramInfo);
      }
      Activate(job.unit);
      runningChain_ = link::Chain::Disconnect;
      core_->Disconnect();
      return true;
  }
  return false;
}

void ServedLine::ChainEnded(link::Chain chain, link::Outcome outcome) {
  if (chain == link::Chain::PageEdit) {
    LevelsAnswered(outcome);
    return;
  }
  // A refused start is answered by StartJob's own result.
  if (outcome == link::Outcome::Refused) return;
  if (searching_ && chain == link::Chain::Search) {
    searching_ = false;
    for (const link::FoundDevice& d : view_.Found()) {
      Unit u;
      u.device = d;
      ResetParameters(u.parameters);
      units_.push_back(u);
      if (!goodbye_) jobs_.push_back({Work::Read, UnitCount() - 1});
    }
    Say(units_.empty() ? "no unit found" : std::to_string(units_.size()) + " unit(s) found");
    if (units_.empty()) {
      ready_ = true;
      loop_.Post([this, alive = std::weak_ptr<bool>(alive_)] {
        if (const auto live = alive.lock(); live && *live) observer_.LineReady(*this);
      });
    }
    SchedulePump();
    return;
  }
  if (!running_ || chain != runningChain_) return;
  const Job job = *running_;
  running_.reset();
  const bool done = outcome == link::Outcome::Done;
  // What the engine left in the core is taken now, before any other unit can be brought in.
  if (job.work == Work::Read && done && chain == link::Chain::ReadUnit) {
    core_->TakeProgram(core_->UnitProgram());
  }
  const ProgramParameters before = before_;
  loop_.Post([this, job, chain, outcome, before, alive = std::weak_ptr<bool>(alive_)] {
    const auto live = alive.lock();
    if (!live || !*live) return;
    const bool ok = outcome == link::Outcome::Done || outcome == link::Outcome::WrongAnswer;
    const std::string who = "ID " + std::to_string(units_[Index(job.unit)].device.id);
    switch (job.work) {
      case Work::Read:
        SetOnline(job.unit, outcome == link::Outcome::Done);
        Say(who + (outcome == link::Outcome::Done ? ": program read" : ": program not read"));
        if (std::none_of(jobs_.begin(), jobs_.end(),
                         [](const Job& j) { return j.work == Work::Read; })) {
          ready_ = true;
          observer_.LineReady(*this);
        }
        break;
      case Work::Edits:
        SetOnline(job.unit, outcome != link::Outcome::NoAnswer);
        if (!ok) observer_.EditsFailed(*this, job.unit, outcome);
        break;
      case Work::Recall:
      case Work::Store:
        SetOnline(job.unit, outcome != link::Outcome::NoAnswer);
        if (Parameters(job.unit) != before) observer_.ProgramChanged(*this, job.unit, before);
        observer_.ActionEnded(*this, job.unit, job.work == Work::Recall, job.memory, outcome);
        break;
      case Work::Goodbye:
        if (chain == link::Chain::Disconnect) {
          Say(who + (outcome == link::Outcome::Done ? ": goodbye" : ": no answer to the goodbye"));
        } else if (outcome != link::Outcome::Done && !jobs_.empty() &&
                   jobs_.front().work == Work::Goodbye && jobs_.front().unit == job.unit) {
          // Not reached again: no goodbye for it.
          jobs_.pop_front();
          Say(who + ": no answer, no goodbye");
        }
        break;
    }
    Pump();
  });
}

void ServedLine::LevelsAnswered(link::Outcome outcome) {
  // The levels are told once the last frame of a drag is answered: the unit then holds the
  // values the set holds now.
  if (levels_.empty() || active_ < 0) return;
  if (outcome == link::Outcome::Done && core_->engine().PageEditWaiting()) return;
  std::vector<std::pair<ParameterRef, std::string>> answered;
  for (const ParameterRef& ref : std::exchange(levels_, {})) {
    answered.emplace_back(ref, link::EditFrame(Device(active_).id, core_->parameters(), ref));
  }
  loop_.Post([this, unit = active_, answered, outcome, alive = std::weak_ptr<bool>(alive_)] {
    const auto live = alive.lock();
    if (!live || !*live) return;
    if (outcome == link::Outcome::Done || outcome == link::Outcome::WrongAnswer) {
      SetOnline(unit, true);
      for (const auto& [ref, frame] : answered) {
        observer_.EditAnswered(*this, unit, ref, frame, outcome == link::Outcome::Done);
      }
    } else {
      SetOnline(unit, outcome != link::Outcome::NoAnswer);
      observer_.EditsFailed(*this, unit, outcome);
    }
  });
}

void ServedLine::EditAnswered(const ParameterRef& ref, std::string_view frame, bool right) {
  const int unit = active_;
  loop_.Post(
      [this, unit, ref, sent = std::string(frame), right, alive = std::weak_ptr<bool>(alive_)] {
        const auto live = alive.lock();
        if (!live || !*live) return;
        SetOnline(unit, true);
        observer_.EditAnswered(*this, unit, ref, sent, right);
      });
}

void ServedLine::SetOnline(int unit, bool online) {
  Unit& u = units_[Index(unit)];
  if (u.online == online) return;
  u.online = online;
  observer_.LinkChanged(*this, unit);
}

link::BoxAnswer ServedLine::LineView::ShowMessageBox(const link::MessageBoxRequest& box) {
  line_.Say(box.caption.empty() ? box.text : box.caption + ": " + box.text);
  return UnitView::ShowMessageBox(box);
}

void ServedLine::LineView::ShowRepairWarning() {
  line_.Say(std::string(kRepairWarningCaption) + ": " + std::string(kRepairWarningText));
  UnitView::ShowRepairWarning();
}

void ServedLine::LineView::ChainEnded(link::Chain chain, link::Outcome outcome,
                                      std::string_view detail) {
  UnitView::ChainEnded(chain, outcome, detail);
  line_.ChainEnded(chain, outcome);
}

void ServedLine::LineView::EditAnswered(const ParameterRef& ref, std::string_view frame,
                                        bool right) {
  line_.EditAnswered(ref, frame, right);
}

}  // namespace corvella::remote
