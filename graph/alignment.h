// The time alignment of the two outputs around their crossover: which delay and polarity make
// HIGH + LOW add up most smoothly there.
#pragma once

#include <optional>
#include <string>

#include "graph/system_response.h"
#include "model/program_parameters.h"

namespace corvella::graph {

// The criterion: over the crossover region (one octave either side of the crossover frequency,
// on 1/48-octave points), the RMS in dB of the summed magnitude 20 log10 |H + L| about its own
// least-squares straight line on a logarithmic frequency axis. A sum that runs straight through
// the region scores 0, whatever its tilt (which the drivers' own slopes set); every dip, notch,
// bump or comb that a wrong delay or polarity leaves adds to it. Smaller is smoother.
//
// The distance from the power sum sqrt(|H|^2 + |L|^2) is not used: a Linkwitz-Riley pair in phase
// sums flat yet lies 3 dB above its power sum at the crossover, so that measure would steer such
// a pair away from its correct alignment.
struct AlignmentScore {
  double crossoverHz = 0.0;  // where the weaker output is strongest: the outputs' crossing
  double fromHz = 0.0;       // the region scored
  double toHz = 0.0;
  double rmsDb = 0.0;
};

struct AlignmentSuggestion {
  Output output = Output::High;  // the output whose delay and polarity change
  std::int32_t delaySteps = 0;   // 0..1019, 1/48 ms each
  int polarity = 0;              // 0 Normal, 1 Inverse
  AlignmentScore before;
  AlignmentScore after;
};

// The current set's score; nothing (with `error` set) when the two outputs have no frequencies in
// common to compare (drivers measured over ranges that do not overlap).
std::optional<AlignmentScore> ScoreAlignment(const ProgramParameters& p, const SystemSetup& setup,
                                             std::string& error);

// Tries every delay 0..1019 with either polarity on one output at a time, the other kept as it
// is, and keeps the smallest score. Ties (the same relative delay reached from either side) go to
// the smaller total delay, then to the polarity already set.
std::optional<AlignmentSuggestion> SuggestAlignment(const ProgramParameters& p,
                                                    const SystemSetup& setup, std::string& error);

void ApplyAlignment(ProgramParameters& p, const AlignmentSuggestion& suggestion);

// "HIGH delay 24 (0.5000 ms), polarity Normal" and the figure before and after, one per line.
std::string AlignmentText(const AlignmentSuggestion& suggestion);

}  // namespace corvella::graph
