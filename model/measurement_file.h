// A loudspeaker measurement as measurement programs export it: frequency in Hz, level in dB and,
// when the file has one, phase in degrees. The one reader for every measured curve the program
// takes (drivers of the system view, measurements to correct).
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvella {

// Bigger than any export of a measurement (a few hundred kilobytes at most); a larger file is
// refused before it is read rather than held in memory.
inline constexpr std::size_t kMaxMeasurementFileBytes = 16u * 1024u * 1024u;

struct MeasurementPoint {
  double hz = 0.0;
  double db = 0.0;
  double degrees = 0.0;  // as written in the file; 0 when the file has no phase
};

struct Measurement {
  std::vector<MeasurementPoint> points;  // at least two, frequencies rising
  bool hasPhase = false;
};

struct MeasurementRead {
  std::optional<Measurement> measurement;
  std::size_t line = 0;  // the line at fault, 1-based; 0 when the fault is the file as a whole
  std::string error;     // "line 3: ..." (Parse) or "FILE: line 3: ..." (Load)
};

// Reads the formats measurement programs write:
//  - lines of frequency, level and optionally phase, separated by blanks, tabs or commas, with
//    comment lines beginning with '*', '#' or ';' (text exports, FRD and ZMA files);
//  - the same with fields separated by ';', where ',' is the decimal mark ("20,0;85,09;-30,2");
//  - CSV with a header row naming the columns ("frequency,raw", "freq,spl,phase"): the columns
//    are taken by name, so a level column need not come second.
// Lines of text before the first point are titles or headers; after it, every line that is not a
// comment or blank must be a point. Phase is on every point or on none; frequencies must rise.
MeasurementRead ParseMeasurement(std::string_view text);
MeasurementRead LoadMeasurement(const std::filesystem::path& path);

}  // namespace corvella
