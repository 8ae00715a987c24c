// Checks the fuzz targets share. A failed check aborts, which libFuzzer and the corpus driver both
// report as a fault with the input that caused it.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <string>

namespace corvella::fuzz {

inline void Require(bool condition) {
  if (!condition) std::abort();
}

// One whole frame: "(" + body + ")", with no bracket or control byte inside that could cut it apart
// on the unit's side.
inline bool WellFormed(const std::string& frame) {
  if (frame.size() < 4 || frame.front() != '(' || frame.back() != ')') return false;
  for (std::size_t i = 1; i + 1 < frame.size(); ++i) {
    const auto c = static_cast<unsigned char>(frame[i]);
    if (c == '(' || c == ')' || c < 0x20 || c == 0x7f) return false;
  }
  return true;
}

}  // namespace corvella::fuzz
