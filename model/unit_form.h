// What a unit holds once a set has been downloaded to it. The frames do not carry every field of
// the set as stored: text goes out in the line's spelling, the compressor frame sends four of its
// fields as fixed text, and some fields no frame writes at all. Every comparison of a set with a
// unit (and of two sets meant for one) compares these forms, so a difference the unit cannot
// hold is never reported and one it can is never missed.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "model/program_parameters.h"

namespace corvella {

// The compressor frame's fixed text "48480000": auxGain1, auxGain2, auxRatio1, auxRatio2.
inline constexpr std::uint8_t kSentAuxGain = 48;
inline constexpr std::uint8_t kSentAuxRatio = 0;

// Whether the line can carry a character of a text field: "(" and ")" would split the frame on
// the unit's side, and control bytes are line noise to it.
constexpr bool LineCarries(unsigned char c) {
  return c >= 0x20 && c != 0x7f && c != '(' && c != ')';
}

// A text field as the line carries it: cut or "."-padded to `width`; a NUL ends the text and a
// character the line cannot carry goes as ".".
std::string LineText(std::string_view text, std::size_t width);

// Fields of the set that no frame writes: a unit keeps its own value in them.
struct UnwrittenField {
  std::string_view name;
  std::string_view why;
};
inline constexpr std::array<UnwrittenField, 3> kUnwrittenFields = {{
    {"program number", "says which memory holds the program; a download does not choose one"},
    {"compressor aux threshold", "read from the unit, never sent"},
    {"reserved bytes", "the file's layout only"},
}};

// `p` as a unit holds it after a download of `p`: the name in its line spelling, the compressor's
// fixed fields as the frame sends them, and every unwritten field zero.
ProgramParameters UnitForm(const ProgramParameters& p);

}  // namespace corvella
