#include "remote/web_sessions.h"

#include "remote/web_protocol.h"

namespace corvella::remote {
namespace {

// Far more steps than anyone takes back; the oldest go first.
constexpr std::size_t kUndoDepth = 200;

bool Undoable(const Node& node) {
  return node.kind == NodeKind::Parameter || node.kind == NodeKind::ProgramName;
}

}  // namespace

WebSessions::WebSessions(Reactor& loop, RemoteHub& hub, Send send,
                         std::function<void(const std::string&)> log)
    : loop_(loop), hub_(hub), send_(std::move(send)), log_(std::move(log)) {
  hub_.AddFrontEnd(this);
}

WebSessions::~WebSessions() {
  hub_.RemoveFrontEnd(this);
}

void WebSessions::Open(Client page) {
  pages_.insert(page);
  std::vector<web::UnitInfo> units;
  for (const std::string& key : hub_.UnitKeys()) {
    units.push_back({key, hub_.DeviceName(key), hub_.Online(key)});
  }
  send_(page, web::HelloMessage(units));
  for (const web::UnitInfo& unit : units) {
    std::vector<std::pair<Node, Value>> values;
    for (const Node& node : AllNodes()) {
      if (auto value = hub_.Query(unit.key, node).value) values.emplace_back(node, *value);
    }
    send_(page, web::StateMessage(unit.key, values));
    if (const ProgramParameters* p = hub_.Parameters(unit.key)) {
      send_(page, web::CurvesMessage(unit.key, *p));
    }
  }
}

void WebSessions::Close(Client page) {
  pages_.erase(page);
}

void WebSessions::Take(Client page, std::string_view text) {
  if (!pages_.contains(page)) return;
  const web::Decoded decoded = web::DecodeMessage(text);
  if (!decoded.request) {
    // A refused set of a known address also gets that address's value back.
    const auto node = ParseNodePath(decoded.path);
    Refuse(page, decoded.unit, node ? &*node : nullptr, decoded.error);
    return;
  }
  if (const auto* set = std::get_if<web::SetRequest>(&*decoded.request)) {
    Set(page, set->unit, set->node, set->value, set->gesture);
  } else {
    Undo(page, std::get<web::UndoRequest>(*decoded.request).unit);
  }
}

void WebSessions::Set(Client page, const std::string& unit, const Node& node, const Value& value,
                      long long gesture) {
  const auto before = hub_.Query(unit, node).value;
  if (const auto error = hub_.Set(unit, node, value, {this, page})) {
    Refuse(page, unit, &node, NodePath(node) + ": " + *error);
    return;
  }
  if (!Undoable(node) || !before) return;
  std::vector<UndoStep>& steps = undo_[unit];
  // The rest of a drag: the step that its first set made already holds the value to go back to.
  const bool sameDrag = !steps.empty() && gesture != 0 && steps.back().gesture == gesture &&
                        steps.back().page == page && steps.back().node == node;
  if (sameDrag) return;
  steps.push_back({node, *before, page, gesture});
  if (steps.size() > kUndoDepth) steps.erase(steps.begin());
}

void WebSessions::Undo(Client page, const std::string& unit) {
  const auto found = undo_.find(unit);
  if (found == undo_.end() || found->second.empty()) {
    send_(page, web::ErrorMessage({}, web::kNothingToUndo));
    return;
  }
  const UndoStep step = found->second.back();
  found->second.pop_back();
  if (const auto error = hub_.Set(unit, step.node, step.before, {this, page})) {
    Refuse(page, unit, &step.node, NodePath(step.node) + ": " + *error);
  }
}

void WebSessions::Refuse(Client page, std::string_view unit, const Node* node,
                         const std::string& text) {
  send_(page, web::ErrorMessage(node != nullptr ? NodePath(*node) : std::string(), text));
  if (node == nullptr) return;
  if (const auto value = hub_.Query(unit, *node).value) {
    send_(page, web::ChangedMessage(unit, *node, *value));
  }
}

void WebSessions::Changed(std::string_view unit, const Node& node, const Value& value,
                          const std::vector<Client>&) {
  // A recall brings another program: the steps taken in the old one no longer apply.
  if (node.kind == NodeKind::Recall) {
    if (const auto found = undo_.find(unit); found != undo_.end()) found->second.clear();
  }
  const std::string text = web::ChangedMessage(unit, node, value);
  for (const Client page : pages_) send_(page, text);
  if (Undoable(node)) CurvesSoon(unit);
}

void WebSessions::Failed(Client page, std::string_view unit, const Node& node,
                         std::string_view why) {
  if (!pages_.contains(page)) return;
  Refuse(page, unit, &node, NodePath(node) + ": " + std::string(why));
}

void WebSessions::CurvesSoon(std::string_view unit) {
  // A recall changes many values at once: one set of curves for all of them.
  if (curvesDue_.empty()) {
    loop_.Post([this, alive = std::weak_ptr<bool>(alive_)] {
      if (alive.lock()) SendCurves();
    });
  }
  curvesDue_.emplace(unit);
}

void WebSessions::SendCurves() {
  const std::set<std::string, std::less<>> due = std::move(curvesDue_);
  curvesDue_.clear();
  for (const std::string& unit : due) {
    const ProgramParameters* p = hub_.Parameters(unit);
    if (p == nullptr) continue;
    const std::string text = web::CurvesMessage(unit, *p);
    for (const Client page : pages_) send_(page, text);
  }
}

}  // namespace corvella::remote
