// What the engine tests run on: a recording view, a port that hands every frame to virtual units
// (or a script) and delivers their answers through the virtual clock a little later, and a
// harness that wires a session, the clock, the port, the view and the engine together.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "link/link_view.h"
#include "link/port.h"
#include "link/protocol_engine.h"
#include "link/session.h"
#include "sim/virtual_bus.h"
#include "sim/virtual_unit.h"
#include "support/virtual_clock.h"

namespace corvella::test {

using link::VirtualClock;

class RecordingView : public link::LinkView {
 public:
  std::vector<std::string> statuses;
  std::vector<link::MessageBoxRequest> boxes;
  int repairWarnings = 0;
  int searchShown = 0;
  int searchHidden = 0;
  int transmittingShown = 0;
  bool transmittingVisible = false;
  int headerRepaints = 0;
  std::vector<link::ReloadForm> reloads;
  std::map<int, std::pair<std::string, bool>> listLines;
  int captureReleases = 0;
  // The Select dialog: what it was shown, and what the user picks (nullopt: Esc).
  std::vector<std::vector<link::FoundDevice>> selectShown;
  std::optional<link::SelectChoice> selectChoice = link::SelectChoice{};
  // Called when a status text is set, with the text (lets tests note the virtual time).
  std::function<void(const std::string&)> onStatus;
  // Runs while the Select dialog is up (the user may pull a cable meanwhile).
  std::function<void()> duringSelect;
  // Every chain's end, in order.
  struct Ended {
    link::Chain chain;
    link::Outcome outcome;
    std::string detail;
  };
  std::vector<Ended> ended;
  std::function<void()> onEnded;
  std::vector<link::Progress> progress;
  // Every answer to an edit of a list, with the frame it answered.
  struct Answered {
    ParameterRef ref;
    std::string frame;
    bool right;
  };
  std::vector<Answered> answered;

  void SetStatusText(std::string_view text) override {
    statuses.emplace_back(text);
    if (onStatus) onStatus(statuses.back());
  }
  link::BoxAnswer ShowMessageBox(const link::MessageBoxRequest& box) override {
    boxes.push_back(box);
    return link::BoxAnswer::Ok;
  }
  void ShowRepairWarning() override { ++repairWarnings; }
  void ShowSearchDialog() override { ++searchShown; }
  void HideSearchDialog() override { ++searchHidden; }
  std::optional<link::SelectChoice> RunSelectDialog(
      const std::vector<link::FoundDevice>& devices) override {
    selectShown.push_back(devices);
    if (duringSelect) duringSelect();
    return selectChoice;
  }
  void ShowTransmittingDialog() override {
    ++transmittingShown;
    transmittingVisible = true;
  }
  void HideTransmittingDialog() override { transmittingVisible = false; }
  void RepaintHeader() override { ++headerRepaints; }
  void ReloadAllPages(link::ReloadForm form) override { reloads.push_back(form); }
  void ShowProgramListLine(int n, std::string_view text, bool enableRecall) override {
    listLines[n] = {std::string(text), enableRecall};
  }
  void ReleaseMouseCapture() override { ++captureReleases; }
  void ChainEnded(link::Chain chain, link::Outcome outcome, std::string_view detail) override {
    ended.push_back({chain, outcome, std::string(detail)});
    if (onEnded) onEnded();
  }
  void ProgressChanged(const link::Progress& p) override { progress.push_back(p); }

  void EditAnswered(const ParameterRef& ref, std::string_view frame, bool right) override {
    answered.push_back({ref, std::string(frame), right});
  }

  std::string LastStatus() const { return statuses.empty() ? std::string() : statuses.back(); }
  bool SawStatus(std::string_view text) const {
    for (const auto& s : statuses)
      if (s == text) return true;
    return false;
  }
};

// Fault plans the tests use.
inline sim::FaultPlan Silent() {
  sim::FaultPlan f;
  f.silent = true;
  return f;
}
inline sim::FaultPlan Delayed(int ms) {
  sim::FaultPlan f;
  f.answerDelayMs = ms;
  return f;
}
inline sim::FaultPlan SilentAfter(int frames) {
  sim::FaultPlan f;
  f.silentAfterFrames = frames;
  return f;
}

// One answer of a scripted unit.
struct Answer {
  std::string bytes;
  int delayMs = 0;
  bool hangUp = false;
};
// Given the port number and a whole frame, what comes back.
using Script = std::function<std::vector<Answer>(int port, const std::string& frame)>;

struct SentFrame {
  VirtualClock::Ms at;
  int port;
  std::string frame;
};

// A port whose far side is a bus of virtual units per port number (or a script). Answers arrive
// byte by byte, `latencyMs` after the frame plus the unit's own delay.
class UnitPort : public link::Port {
 public:
  explicit UnitPort(VirtualClock& clock) : clock_(clock) {}

  std::map<int, sim::VirtualBus> buses;  // port numbers that exist; a port may have no units
  Script script;                         // when set, replaces the buses' answers
  int latencyMs = 20;
  std::vector<SentFrame> sent;

  bool Open(link::PortEvents* owner, int portNumber, int, char, int, int, unsigned, int) override {
    Close();
    if (buses.count(portNumber) == 0) return false;
    owner_ = owner;
    open_ = true;
    port_ = portNumber;
    ++session_;
    return true;
  }
  bool StartMonitoring() override { return open_; }
  bool WriteToPort(std::string_view frame) override {
    if (!open_) return false;
    sent.push_back({clock_.Now(), port_, std::string(frame)});
    for (const Answer& a : Respond(std::string(frame))) Deliver(a);
    return true;
  }
  void Close() override { open_ = false; }
  bool IsOpen() const override { return open_; }
  int PortNumber() const override { return port_; }

  // The frames sent so far, without times.
  std::vector<std::string> Frames() const {
    std::vector<std::string> out;
    for (const auto& s : sent) out.push_back(s.frame);
    return out;
  }
  sim::VirtualUnit& Unit(int port, std::size_t index = 0) { return buses[port].Units()[index]; }

 private:
  std::vector<Answer> Respond(const std::string& frame) {
    if (script) return script(port_, frame);
    std::vector<Answer> out;
    for (const char c : frame) {
      auto result = buses[port_].Feed(c);
      for (const auto& r : result.replies) out.push_back({r.bytes, r.delayMs, r.hangUp});
    }
    return out;
  }
  void Deliver(const Answer& a) {
    const int session = session_;
    clock_.After(latencyMs + a.delayMs, [this, session, a] {
      if (!open_ || session != session_) return;
      for (const char c : a.bytes) owner_->OnPortByte(port_, static_cast<std::uint8_t>(c));
      if (a.hangUp) {
        open_ = false;
        owner_->OnPortLost(port_);
      }
    });
  }

  VirtualClock& clock_;
  link::PortEvents* owner_ = nullptr;
  bool open_ = false;
  int port_ = 0;
  int session_ = 0;
};

struct Harness {
  explicit Harness(int portCount = 4) : port(clock), engine(session, port, clock, view, portCount) {
    ResetParameters(session.parameters);
    clock.SetClient(&engine);
  }

  // One virtual unit on port `portNumber` (1 by default).
  sim::VirtualUnit& AddUnit(int id = 1, int portNumber = 1,
                            sim::ProbeKind kind = sim::ProbeKind::Long,
                            std::string_view name = sim::kDefaultUnitName) {
    auto& units = port.buses[portNumber].Units();
    units.emplace_back(id, name, kind);
    return units.back();
  }

  // Connected to the unit(s) on port 1 without a search or transfer, as after a finished connect.
  void Attach(int id = 1) {
    port.Open(&engine, 1, 9600, 'N', 8, 2, 9, 512);
    session.link.linkConnected = 1;
    session.link.deviceId = id;
  }

  // Search, pick the first unit with `direction` and run until the first transfer has ended.
  void Connect(int direction = 0) {
    view.selectChoice = link::SelectChoice{0, direction};
    engine.EnableCommunications();
    clock.AdvanceUntil([this] { return session.link.linkConnected == 1; }, 60'000);
    RunIdle();
  }
  // Runs until no engine timer is left (at most `maxMs`).
  void RunIdle(VirtualClock::Ms maxMs = 60'000) {
    clock.AdvanceUntil([this] { return NoTimers(); }, maxMs);
  }
  bool NoTimers() const {
    for (int id = 1; id <= 90; ++id)
      if (clock.IsArmed(id)) return false;
    return true;
  }
  // Sends a page edit and its answer timer, as the pages do.
  bool Edit(const std::string& frame, int timerId, int ms = 300) {
    return engine.SendParameter(frame, timerId, ms);
  }

  Session session;
  VirtualClock clock;
  RecordingView view;
  UnitPort port;
  link::ProtocolEngine engine;
};

}  // namespace corvella::test
