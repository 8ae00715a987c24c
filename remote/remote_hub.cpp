#include "remote/remote_hub.h"

#include <algorithm>
#include <map>

#include "link/edit_table.h"

namespace corvella::remote {
namespace {

// Two settings travel in one frame (the compressor's) when their command, channel and band agree.
bool SameFrame(const ParameterRef& a, const ParameterRef& b) {
  const auto rowA = link::FindEdit(a.field);
  const auto rowB = link::FindEdit(b.field);
  return rowA && rowB && rowA->code == rowB->code && a.channel == b.channel && a.band == b.band;
}

ParameterRef RefOf(const Node& node) {
  return node.kind == NodeKind::ProgramName ? ParameterRef{Field::ProgramName} : node.ref;
}

bool IsEdit(const Node& node) {
  return node.kind == NodeKind::Parameter || node.kind == NodeKind::ProgramName;
}

}  // namespace

RemoteHub::RemoteHub(std::function<void(const std::string&)> log) : log_(std::move(log)) {}

RemoteHub::~RemoteHub() = default;

void RemoteHub::AddLine(RemoteLine& line) {
  lines_.push_back(&line);
  if (Ready()) AssignKeys();
}

bool RemoteHub::Ready() const {
  return std::all_of(lines_.begin(), lines_.end(), [](const RemoteLine* l) { return l->Ready(); });
}

void RemoteHub::RemoveFrontEnd(RemoteFrontEnd* frontEnd) {
  std::erase(frontEnds_, frontEnd);
  for (Waiting& w : waiting_) {
    std::erase_if(w.requesters, [frontEnd](const Requester& r) { return r.frontEnd == frontEnd; });
  }
}

void RemoteHub::AssignKeys() {
  units_.clear();
  std::map<int, int> seen;
  for (const RemoteLine* line : lines_) {
    for (int u = 0; u < line->UnitCount(); ++u) ++seen[line->Device(u).id];
  }
  for (RemoteLine* line : lines_) {
    for (int u = 0; u < line->UnitCount(); ++u) {
      const int id = line->Device(u).id;
      // A key a desk can keep: the ID alone while no other line has a unit with it.
      std::string key = std::to_string(id);
      if (seen[id] > 1) key = line->PortName() + "-" + key;
      units_.push_back({line, u, key});
    }
  }
}

std::vector<std::string> RemoteHub::UnitKeys() const {
  std::vector<std::string> keys;
  for (const UnitSlot& slot : units_) keys.push_back(slot.key);
  return keys;
}

const RemoteHub::UnitSlot* RemoteHub::Find(std::string_view key) const {
  for (const UnitSlot& slot : units_) {
    if (slot.key == key) return &slot;
  }
  return nullptr;
}

const RemoteHub::UnitSlot* RemoteHub::SlotOf(const RemoteLine& line, int unit) const {
  for (const UnitSlot& slot : units_) {
    if (slot.line == &line && slot.index == unit) return &slot;
  }
  return nullptr;
}

std::optional<Value> RemoteHub::Current(const UnitSlot& slot, const Node& node) const {
  if (node.kind == NodeKind::Link) {
    return std::string(slot.line->Online(slot.index) ? kOnline : kOffline);
  }
  if (node.kind == NodeKind::DeviceName) return slot.line->Device(slot.index).name;
  return ValueIn(slot.line->Parameters(slot.index), node);
}

RemoteHub::Answer RemoteHub::Query(std::string_view unit, const Node& node) const {
  const UnitSlot* slot = Find(unit);
  if (slot == nullptr) return {std::nullopt, std::string(kUnknownUnit)};
  return {Current(*slot, node), {}};
}

std::string RemoteHub::DeviceName(std::string_view unit) const {
  const UnitSlot* slot = Find(unit);
  return slot == nullptr ? std::string() : slot->line->Device(slot->index).name;
}

const ProgramParameters* RemoteHub::Parameters(std::string_view unit) const {
  const UnitSlot* slot = Find(unit);
  return slot == nullptr ? nullptr : &slot->line->Parameters(slot->index);
}

bool RemoteHub::Online(std::string_view unit) const {
  const UnitSlot* slot = Find(unit);
  return slot != nullptr && slot->line->Online(slot->index);
}

void RemoteHub::ForEachValue(
    const std::function<void(std::string_view, const Node&, const Value&)>& visit) const {
  for (const UnitSlot& slot : units_) {
    for (const Node& node : AllNodes()) {
      if (const auto value = Current(slot, node)) visit(slot.key, node, *value);
    }
  }
}

std::optional<std::string> RemoteHub::Set(std::string_view unit, const Node& node,
                                          const Value& value, const Requester& from) {
  const UnitSlot* slot = Find(unit);
  if (slot == nullptr) return std::string(kUnknownUnit);
  const Checked checked = Check(node, value);
  if (!checked.ok) return checked.error;
  RemoteLine& line = *slot->line;
  if (IsEdit(node)) {
    Store(line.EditableParameters(slot->index), node, checked);
  }
  auto waiting = std::find_if(waiting_.begin(), waiting_.end(), [&](const Waiting& w) {
    return w.unit == slot->key && w.node == node;
  });
  if (waiting == waiting_.end()) {
    waiting_.push_back({slot->key, node, {}});
    waiting = std::prev(waiting_.end());
  }
  if (std::find(waiting->requesters.begin(), waiting->requesters.end(), from) ==
      waiting->requesters.end()) {
    waiting->requesters.push_back(from);
  }
  log_(slot->key + " " + NodePath(node) + " <- " + ValueText(checked.value));
  if (IsEdit(node)) {
    line.Edit(slot->index, RefOf(node));
  } else if (node.kind == NodeKind::Recall) {
    line.Recall(slot->index, checked.code);
  } else {
    line.Store(slot->index, checked.code);
  }
  return std::nullopt;
}

void RemoteHub::Tell(const UnitSlot& slot, const Node& node, const Value& value,
                     const std::vector<Requester>& requesters) {
  log_(slot.key + " " + NodePath(node) + " = " + ValueText(value));
  for (RemoteFrontEnd* frontEnd : frontEnds_) {
    std::vector<Client> clients;
    for (const Requester& r : requesters) {
      if (r.frontEnd == frontEnd) clients.push_back(r.client);
    }
    frontEnd->Changed(slot.key, node, value, clients);
  }
}

void RemoteHub::FailWaiting(const UnitSlot& slot, const std::function<bool(const Node&)>& which,
                            std::string_view why) {
  std::vector<Waiting> failed;
  std::erase_if(waiting_, [&](Waiting& w) {
    if (w.unit != slot.key || !which(w.node)) return false;
    failed.push_back(std::move(w));
    return true;
  });
  for (const Waiting& w : failed) {
    log_(slot.key + " " + NodePath(w.node) + ": " + std::string(why));
    for (const Requester& r : w.requesters) {
      const bool present =
          std::find(frontEnds_.begin(), frontEnds_.end(), r.frontEnd) != frontEnds_.end();
      if (present) r.frontEnd->Failed(r.client, slot.key, w.node, why);
    }
  }
}

void RemoteHub::SayGoodbye() {
  for (RemoteLine* line : lines_) line->SayGoodbye();
}

bool RemoteHub::Finished() const {
  return std::all_of(lines_.begin(), lines_.end(),
                     [](const RemoteLine* l) { return l->Finished(); });
}

void RemoteHub::LineReady(RemoteLine&) {
  if (Ready()) AssignKeys();
}

void RemoteHub::EditAnswered(RemoteLine& line, int unit, const ParameterRef& ref,
                             const std::string& frame, bool right) {
  const UnitSlot* slot = SlotOf(line, unit);
  if (slot == nullptr) return;
  if (!right) {
    FailWaiting(
        *slot, [&](const Node& n) { return IsEdit(n) && SameFrame(RefOf(n), ref); },
        kRefusedByUnit);
    return;
  }
  // A frame with an older value: the newer one is still to go, and is echoed when it is taken.
  if (frame != link::EditFrame(line.Device(unit).id, line.Parameters(unit), ref)) return;
  std::vector<Waiting> answered;
  std::erase_if(waiting_, [&](Waiting& w) {
    if (w.unit != slot->key || !IsEdit(w.node) || !SameFrame(RefOf(w.node), ref)) return false;
    answered.push_back(std::move(w));
    return true;
  });
  if (answered.empty()) {
    // An edit nobody here asked for (or a value that went again): the listeners still hear it.
    const Node node = ref.field == Field::ProgramName ? Node{NodeKind::ProgramName, {}}
                                                      : Node{NodeKind::Parameter, ref};
    if (const auto value = Current(*slot, node)) Tell(*slot, node, *value, {});
    return;
  }
  for (const Waiting& w : answered) {
    if (const auto value = Current(*slot, w.node)) Tell(*slot, w.node, *value, w.requesters);
  }
}

void RemoteHub::EditsFailed(RemoteLine& line, int unit, link::Outcome outcome) {
  const UnitSlot* slot = SlotOf(line, unit);
  if (slot == nullptr) return;
  FailWaiting(*slot, IsEdit, outcome == link::Outcome::NoAnswer ? kNoAnswer : kBusy);
}

void RemoteHub::ProgramChanged(RemoteLine& line, int unit, const ProgramParameters& before) {
  const UnitSlot* slot = SlotOf(line, unit);
  if (slot == nullptr) return;
  for (const Node& node : AllNodes()) {
    // The action's own address is answered when the action ends.
    if (node.kind == NodeKind::Recall || node.kind == NodeKind::Store) continue;
    const auto was = ValueIn(before, node);
    const auto now = Current(*slot, node);
    if (was && now && *was != *now) Tell(*slot, node, *now, {});
  }
}

void RemoteHub::ActionEnded(RemoteLine& line, int unit, bool recall, int memory,
                            link::Outcome outcome) {
  const UnitSlot* slot = SlotOf(line, unit);
  if (slot == nullptr) return;
  const NodeKind kind = recall ? NodeKind::Recall : NodeKind::Store;
  const auto which = [kind](const Node& n) { return n.kind == kind; };
  if (outcome != link::Outcome::Done) {
    FailWaiting(*slot, which,
                outcome == link::Outcome::NoAnswer      ? kNoAnswer
                : outcome == link::Outcome::WrongAnswer ? kRefusedByUnit
                                                        : kBusy);
    return;
  }
  std::vector<Requester> requesters;
  std::erase_if(waiting_, [&](Waiting& w) {
    if (w.unit != slot->key || w.node.kind != kind) return false;
    requesters.insert(requesters.end(), w.requesters.begin(), w.requesters.end());
    return true;
  });
  Tell(*slot, Node{kind, {}}, memory, requesters);
}

void RemoteHub::LinkChanged(RemoteLine& line, int unit) {
  const UnitSlot* slot = SlotOf(line, unit);
  if (slot == nullptr) return;
  const Node node{NodeKind::Link, {}};
  Tell(*slot, node, *Current(*slot, node), {});
}

void RemoteHub::Note(RemoteLine& line, const std::string& text) {
  log_(line.PortName() + ": " + text);
}

}  // namespace corvella::remote
