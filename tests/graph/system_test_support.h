// Parameter sets the system-response tests build on: every block neutral unless a test sets it.
#pragma once

#include <cstdint>

#include "model/program_parameters.h"

namespace corvella::graph::test {

inline constexpr std::uint8_t kZeroDbLevel = 181;
inline constexpr std::uint8_t kCode1kHz = 69;
inline constexpr std::uint8_t kLr4 = 11;

// No band, no filter, 0 dB levels, no delay, normal polarity.
inline ProgramParameters NeutralSet() {
  ProgramParameters p{};
  for (auto& level : p.inputLevel) level = kZeroDbLevel;
  for (auto& level : p.outputLevel) level = kZeroDbLevel;
  for (auto& x : p.crossover) x = {0, kHpfOff, 0, kLpfOff};
  return p;
}

// HIGH high-passed and LOW low-passed at the same code with the same filter type.
inline ProgramParameters TwoWay(std::uint8_t type, std::uint8_t code = kCode1kHz) {
  ProgramParameters p = NeutralSet();
  p.crossover[0] = {type, code, 0, kLpfOff};
  p.crossover[1] = {0, kHpfOff, type, code};
  return p;
}

}  // namespace corvella::graph::test
