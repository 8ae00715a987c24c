// A whole decimal number from a command-line argument: all of the text, inside [min, max].
#pragma once

#include <charconv>
#include <optional>
#include <string_view>
#include <system_error>

namespace corvella {

inline std::optional<int> BoundedNumber(std::string_view text, int min, int max) {
  int value = 0;
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, value);
  if (text.empty() || ec != std::errc() || ptr != end || value < min || value > max) {
    return std::nullopt;
  }
  return value;
}

}  // namespace corvella
