#include "sim/demo_unit.h"

#include <algorithm>
#include <vector>

namespace corvella::sim {
namespace {

ProgramParameters Named(ProgramParameters p, std::string_view name) {
  const std::string padded = PadName(name, kProgramNameLength);
  std::copy(padded.begin(), padded.end(), p.programName.begin());
  return p;
}

}  // namespace

VirtualUnit MakeDemoUnit() {
  VirtualUnit unit(kDemoUnitId, kDemoUnitName, ProbeKind::Long);
  ProgramParameters base{};
  ResetParameters(base);
  unit.Current() = Named(base, kDemoProgramName);
  unit.Current().programNumber = 1;
  unit.SetMemory(1, unit.Current());

  // Speech: the microphone up, a presence lift on the high way, a little more compression.
  ProgramParameters speech = Named(base, "Speech");
  speech.inputLevel[static_cast<int>(Input::Mic)] = 189;
  speech.outputPeq[2][static_cast<int>(Output::High)] = PeqBand{1, 81, 30, 30};
  speech.dynamics.threshold = 56;
  unit.SetMemory(2, speech);

  // Music: the line input up, a fuller low end, the high way a little later.
  ProgramParameters music = Named(base, "Music");
  music.inputLevel[static_cast<int>(Input::Line)] = 185;
  music.outputPeq[1][static_cast<int>(Output::Low)] = PeqBand{4, 13, 30, 20};
  music.outputDelay[static_cast<int>(Output::High)] = 80;
  unit.SetMemory(3, music);

  // Live band: steeper crossover, a firmer limiter.
  ProgramParameters live = Named(base, "Live Band");
  live.crossover[static_cast<int>(Output::High)].hpfType = 4;
  live.crossover[static_cast<int>(Output::Low)].lpfType = 5;
  live.dynamics.ratio = 90;
  live.dynamics.attackTime = 40;
  unit.SetMemory(4, live);
  return unit;
}

std::unique_ptr<VirtualUnitHost> StartDemoUnit(std::string* error) {
  auto host = std::make_unique<VirtualUnitHost>(std::vector<VirtualUnit>{MakeDemoUnit()});
  if (!host->Start(error)) return nullptr;
  return host;
}

std::vector<std::unique_ptr<VirtualUnitHost>> StartDemoInstallation(std::string* error) {
  struct Seat {
    int line;
    int id;
    std::string_view name;
    int program;
    ProbeKind kind;
  };
  constexpr Seat kSeats[] = {{0, 1, "Stage Left", 1, ProbeKind::Long},
                             {0, 2, "Stage Right", 2, ProbeKind::Long},
                             {1, 1, "Delay Left", 3, ProbeKind::Long},
                             {1, 3, "Delay Right", 4, ProbeKind::Short}};
  std::vector<VirtualUnit> lines[2];
  for (const Seat& seat : kSeats) {
    VirtualUnit unit = MakeDemoUnit();
    unit.SetId(seat.id);
    unit.SetName(seat.name);
    unit.SetKind(seat.kind);
    unit.Current() = *unit.Memory(seat.program);
    unit.Current().programNumber = static_cast<std::uint8_t>(seat.program);
    lines[seat.line].push_back(std::move(unit));
  }
  std::vector<std::unique_ptr<VirtualUnitHost>> hosts;
  for (auto& units : lines) {
    auto host = std::make_unique<VirtualUnitHost>(std::move(units));
    if (!host->Start(error)) return {};
    hosts.push_back(std::move(host));
  }
  return hosts;
}

}  // namespace corvella::sim
