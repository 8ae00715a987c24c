// The served units behind one address tree, for every front end at once (OSC, MQTT, later a web
// page): queries answered from the PC's set of each unit, sets checked and snapped by the tree,
// stored in the unit's set and sent through its line's one queue, and every change the units take
// (acknowledged sets, recalls, stores, link state) told to every front end. Front ends only
// translate their wire format; nothing here knows OSC or MQTT.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "remote/address_tree.h"
#include "remote/remote_line.h"

namespace corvella::remote {

// Who asked: a front end's own token for a peer (an OSC sender, an MQTT client ...).
using Client = std::uint64_t;

// One set's destination of its echo or error: the front end that took it and its peer.
class RemoteFrontEnd;
struct Requester {
  RemoteFrontEnd* frontEnd = nullptr;
  Client client = 0;
  friend bool operator==(const Requester&, const Requester&) = default;
};

class RemoteFrontEnd {
 public:
  virtual ~RemoteFrontEnd() = default;
  // A unit took a new value (a set acknowledged, a recall, a store, the link state). `requesters`
  // of this front end asked for it and want the echo; the change goes to every listener besides.
  virtual void Changed(std::string_view unit, const Node& node, const Value& value,
                       const std::vector<Client>& requesters) = 0;
  // A set or an action of `client` failed after it was taken.
  virtual void Failed(Client client, std::string_view unit, const Node& node,
                      std::string_view why) = 0;
};

// Why an accepted set failed later.
inline constexpr std::string_view kNoAnswer = "the unit did not answer";
inline constexpr std::string_view kRefusedByUnit = "the unit refused the value";
inline constexpr std::string_view kBusy = "the unit is busy";

class RemoteHub final : private LineObserver {
 public:
  // `log` takes every line of progress and every remote change.
  explicit RemoteHub(std::function<void(const std::string&)> log);
  ~RemoteHub() override;
  RemoteHub(const RemoteHub&) = delete;
  RemoteHub& operator=(const RemoteHub&) = delete;

  // What a line reports to; a line made for this hub is given it.
  LineObserver& Observer() { return *this; }
  // Serves the units of `line` (which must outlive the hub) once every line is ready.
  void AddLine(RemoteLine& line);
  // Every line has searched its port and read its units.
  bool Ready() const;
  void AddFrontEnd(RemoteFrontEnd* frontEnd) { frontEnds_.push_back(frontEnd); }
  void RemoveFrontEnd(RemoteFrontEnd* frontEnd);

  // The served units' keys, in the order of the ports and IDs.
  std::vector<std::string> UnitKeys() const;
  // A query: the value, or why there is none.
  struct Answer {
    std::optional<Value> value;
    std::string error;
  };
  Answer Query(std::string_view unit, const Node& node) const;
  // A set: checked, stored and sent; the echo (or the failure) comes later through `from`.
  // Refused at once with why (nothing reaches the unit).
  std::optional<std::string> Set(std::string_view unit, const Node& node, const Value& value,
                                 const Requester& from);
  // Every value of every unit (for a front end's first picture of the state).
  void ForEachValue(
      const std::function<void(std::string_view, const Node&, const Value&)>& visit) const;
  // The device name of a unit, or empty.
  std::string DeviceName(std::string_view unit) const;
  // A unit's set as the PC holds it (for the curves a page draws); null for no such unit.
  const ProgramParameters* Parameters(std::string_view unit) const;
  bool Online(std::string_view unit) const;

  // Says goodbye to every unit; Finished() once every line is done.
  void SayGoodbye();
  bool Finished() const;

 private:
  struct UnitSlot {
    RemoteLine* line = nullptr;
    int index = 0;
    std::string key;
  };
  struct Waiting {
    std::string unit;
    Node node;
    std::vector<Requester> requesters;
  };

  const UnitSlot* Find(std::string_view key) const;
  const UnitSlot* SlotOf(const RemoteLine& line, int unit) const;
  void AssignKeys();
  void Tell(const UnitSlot& slot, const Node& node, const Value& value,
            const std::vector<Requester>& requesters);
  void FailWaiting(const UnitSlot& slot, const std::function<bool(const Node&)>& which,
                   std::string_view why);
  std::optional<Value> Current(const UnitSlot& slot, const Node& node) const;

  // LineObserver.
  void LineReady(RemoteLine& line) override;
  void EditAnswered(RemoteLine& line, int unit, const ParameterRef& ref, const std::string& frame,
                    bool right) override;
  void EditsFailed(RemoteLine& line, int unit, link::Outcome outcome) override;
  void ProgramChanged(RemoteLine& line, int unit, const ProgramParameters& before) override;
  void ActionEnded(RemoteLine& line, int unit, bool recall, int memory,
                   link::Outcome outcome) override;
  void LinkChanged(RemoteLine& line, int unit) override;
  void Note(RemoteLine& line, const std::string& text) override;

  std::function<void(const std::string&)> log_;
  std::vector<RemoteLine*> lines_;
  std::vector<UnitSlot> units_;
  std::vector<RemoteFrontEnd*> frontEnds_;
  // Sets and actions taken and not yet answered by the unit.
  std::vector<Waiting> waiting_;
};

}  // namespace corvella::remote
