// What the fault drills share: a unit whose program differs from the PC's in every parameter byte,
// the frames of a clean transfer (the steps a drill walks through), and the checks every drill
// makes: a clear final status, nothing left running, and no parameter byte that came from nowhere.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "support/engine_harness.h"
#include "link/protocol_engine.h"
#include "model/program_parameters.h"

namespace corvella::drills {

using Image = std::array<std::uint8_t, kParameterImageSize>;
// Bytes 0..133: every parameter field (the tail carries nothing).
inline constexpr std::size_t kParameterBytes = offsetof(ProgramParameters, tail);
// Virtual time a drill may take at most before it counts as a hang.
inline constexpr link::VirtualClock::Ms kHangLimitMs = 10 * 60'000;

// A valid program (nothing for the repair to change) that differs from the start-up values in
// every parameter byte except the unused ones, so each byte tells whose it is.
inline ProgramParameters UnitProgram() {
  ProgramParameters p{};
  ResetParameters(p, "unit program.............");
  p.programNumber = 4;
  for (auto& row : p.inputPeq) {
    for (auto& b : row) b = PeqBand{5, 100, 40, 70};
  }
  for (auto& row : p.outputPeq) {
    for (auto& b : row) b = PeqBand{2, 110, 44, 71};
  }
  p.inputLevel[0] = p.inputLevel[1] = 150;
  p.crossover[0] = {7, 50, 8, 90};
  p.crossover[1] = {10, 20, 11, 60};
  p.outputLevel[0] = p.outputLevel[1] = 160;
  p.dynamics = {0, 20, 48, 48, 0, 0, 30, 10, 11, 12};
  p.outputDelay[0] = 300;
  p.outputDelay[1] = 400;
  p.outputPhase[0] = p.outputPhase[1] = 1;
  return p;
}

// Every parameter byte of `now` is the PC's byte or the unit's: a failure may leave a mixture,
// never a value that neither side had.
inline ::testing::AssertionResult OnlyKnownBytes(const ProgramParameters& now,
                                                 const ProgramParameters& pc,
                                                 const ProgramParameters& unit) {
  const Image n = ToImage(now), a = ToImage(pc), b = ToImage(unit);
  for (std::size_t i = 0; i < kParameterBytes; ++i) {
    if (n[i] != a[i] && n[i] != b[i]) {
      return ::testing::AssertionFailure() << "byte " << i << " is " << int{n[i]} << ", neither "
                                           << int{a[i]} << " nor " << int{b[i]};
    }
  }
  return ::testing::AssertionSuccess();
}

inline bool SameParameters(const ProgramParameters& x, const ProgramParameters& y) {
  const Image a = ToImage(x), b = ToImage(y);
  return std::equal(a.begin(), a.begin() + kParameterBytes, b.begin());
}

// The body of a frame: what follows "(" and the two-digit ID, without the closing ")".
inline std::string Body(std::string_view frame) {
  std::string body(frame.substr(3));
  if (!body.empty() && body.back() == ')') body.pop_back();
  return body;
}

// A harness with one unit (ID 1) holding UnitProgram() and, in memory 1, the same with this delay;
// the PC at its start-up values.
inline constexpr std::int32_t kMemoryOneDelay = 900;
struct Drill {
  test::Harness h{1};
  sim::VirtualUnit& unit;
  ProgramParameters pcBefore{};
  ProgramParameters unitBefore{};

  Drill() : unit(h.AddUnit(1)) {
    unit.Current() = UnitProgram();
    ProgramParameters memory = UnitProgram();
    memory.outputDelay[0] = kMemoryOneDelay;
    unit.SetMemory(1, memory);
    pcBefore = h.session.parameters;
    unitBefore = unit.Current();
  }

  // Connects with `direction` and runs until nothing is left running (or the hang limit).
  // `onConnected` runs once the unit was found and the transfer is about to start.
  void Run(int direction, const std::function<void()>& onConnected = {}) {
    h.view.selectChoice = link::SelectChoice{0, direction};
    h.engine.EnableCommunications();
    if (onConnected) {
      h.clock.AdvanceUntil([this] { return h.session.link.linkConnected == 1; }, kHangLimitMs);
      onConnected();
    }
    h.RunIdle(kHangLimitMs);
  }

  // The frames sent from the connect on: the steps of the transfer.
  std::vector<std::string> TransferFrames() const {
    std::vector<std::string> out;
    bool connected = false;
    for (const auto& f : h.port.Frames()) {
      if (!connected && Body(f) == "X") continue;
      connected = true;
      out.push_back(f);
    }
    return out;
  }
};

// The frames of a clean transfer in one direction.
inline std::vector<std::string> CleanTransfer(int direction) {
  Drill d;
  d.Run(direction);
  return d.TransferFrames();
}

}  // namespace corvella::drills
