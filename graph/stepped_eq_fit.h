// Correcting a stage from a measurement: the bands, on the unit's own steps, that make the
// measured level plus the stage's curve as flat as they can.
//
// The figures are defined on a grid of 1/48-octave points from `from` up to `to`, with the
// measurement smoothed to 1/N octave on it. The measurement is taken with the stage's bands flat,
// so the residual is smoothed level + the stage's curve, less its own mean (the stage's level is
// free). The search first fits continuous peaking bands: placed one at a time on the largest
// deviation left, settled by NLopt's L-BFGS, then moved band by band to other large deviations
// while that helps. It then walks the unit's steps from the rounding of that fit (centre frequency
// codes, 0.5 dB gain steps, the Q table), and tries each band as a shelf.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <vector>

#include "model/measurement_file.h"
#include "model/program_parameters.h"

namespace corvella::graph {

struct FitOptions {
  double fromHz = 20.0;
  double toHz = 20000.0;
  int smoothing = 12;       // 1/N octave; 0 none
  double maxBoostDb = 6.0;  // 0: cuts only; held to 0..12
};

// The smoothed measurement on the grid. Grid points outside the measured range are left out: a
// measurement says nothing there.
struct FitTarget {
  std::vector<double> hz;
  std::vector<double> db;
};

// from x 2^(k/48), k = 0, 1, ... up to `to` (a point within a rounding error of `to` counts).
std::vector<double> FitGrid(double fromHz, double toHz);

// Nothing, with `error` set, when fewer than two grid points fall in the measured range.
std::optional<FitTarget> SmoothedOnGrid(const Measurement& m, const FitOptions& options,
                                        std::string& error);

struct ResidualFigures {
  double rmsDb = 0.0;
  double maxDb = 0.0;  // largest deviation either way
};

// A band's level in dB at f. The formulas are the pages'; the centre is the frequency its code
// shows, which is where a page draws the band's peak and where the unit puts it.
double StageBandDb(const PeqBand& band, double hz);
// The sum of the bands at every grid point.
std::vector<double> StageCurve(const FitTarget& target, std::span<const PeqBand> bands);
ResidualFigures Residual(const FitTarget& target, std::span<const PeqBand> bands);

// A peaking band with continuous values, and the same figures for a set of them.
struct ContinuousBand {
  double hz = 1000.0;
  double gainDb = 0.0;
  double q = 1.0;
};
ResidualFigures Residual(const FitTarget& target, std::span<const ContinuousBand> bands);

// Limits of the continuous bands, as the unit's scales span them.
inline constexpr double kFitLowestHz = 20.0;
inline constexpr double kFitHighestHz = 20000.0;
inline constexpr double kFitLowestQ = 0.31;
inline constexpr double kFitHighestQ = 19.4;
inline constexpr double kFitLowestGainDb = -12.0;

// The best continuous peaking bands this fit finds (`bandCount` of them, some possibly at 0 dB).
std::vector<ContinuousBand> FitContinuous(const FitTarget& target, int bandCount,
                                          double maxBoostDb);

// The codes nearest to the given values: frequency and Q on a logarithmic axis, gain to the
// nearest 0.5 dB step within -12..+12.
PeqBand NearestSteps(std::uint8_t type, double hz, double gainDb, double q);

// Continuous bands rounded to the nearest steps: peaking, nearest frequency code and Q code on a
// logarithmic axis, nearest 0.5 dB step within -12..max boost.
std::vector<PeqBand> RoundToSteps(std::span<const ContinuousBand> bands, double maxBoostDb);

struct StageFit {
  std::vector<PeqBand> bands;  // bandCount bands; a band the fit does not need is None
  ResidualFigures before;      // the stage's bands flat
  ResidualFigures after;
};

StageFit FitStage(const FitTarget& target, int bandCount, double maxBoostDb);

}  // namespace corvella::graph
