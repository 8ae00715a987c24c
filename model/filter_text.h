// The filter text measurement programs and system-wide equalisers exchange, one filter a line:
//   Filter 1: ON PK Fc 100 Hz Gain -3.0 dB Q 1.41
// Peaking (PK), shelves (LS, HS, and LSC, HSC with their Q), notch (NO) and bandpass (BP).
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/program_parameters.h"

namespace corvella {

struct TextFilter {
  std::uint8_t type =
      1;  // as PeqBand::type: 1 Peaking, 2 Bandpass, 3 Hi-Shelf, 4 Lo-Shelf, 5 Notch
  double hz = 1000.0;
  double gainDb = 0.0;
  double q = 0.71;
};

struct FilterTextRead {
  std::optional<std::vector<TextFilter>> filters;  // the filters that are ON, in order
  std::size_t line = 0;                            // the line at fault, 1-based
  std::string error;                               // "line 3: ..."
};

// Blank lines, '#' comments and "Preamp:" lines are passed over, and so are filters that are OFF
// or of type None; any other line must be a filter the unit can make.
FilterTextRead ParseFilterText(std::string_view text);

// Every band that is not None, numbered from 1, at the values its codes show.
std::string FilterText(const std::vector<PeqBand>& bands);

}  // namespace corvella
