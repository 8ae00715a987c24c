// What comes out of the loudspeaker: each output's chain of blocks as complex responses at true
// frequencies, optionally acting on a measured driver, and the acoustic sum of both outputs.
//
// Unlike the pages, which evaluate their curves on a shifted list of points, every block here uses
// the frequency its code shows (code 69 is 1000 Hz) and s = j f / fc.
#pragma once

#include <array>
#include <complex>
#include <string>
#include <vector>

#include "graph/driver_response.h"
#include "graph/response_value.h"
#include "model/program_parameters.h"

namespace corvella::graph {

// ---- Blocks ----------------------------------------------------------------------------------

// A parametric band: peaking, bandpass, notch and the two shelves as the pages' formulas, with
// A = 10^(G/40) and Q from the Q code. None, or a type outside 1..5, is 1.
Complex PeqBandResponse(const PeqBand& band, double hz);

// One crossover filter of type 0..11 (Butterworth 2..6, Bessel 2..6, Linkwitz-Riley 12 and
// 24 dB/octave) with its cut-off at fcHz; a high-pass is the low-pass with s replaced by 1/s.
// A type outside 0..11 is 1.
Complex CrossoverFilterResponse(int type, bool highPass, double fcHz, double hz);

// Both filters of an output's crossover; a filter that is off (high-pass code 0, low-pass code
// 122, or any code outside 1..121) is 1.
Complex SystemCrossoverResponse(const CrossoverSettings& settings, double hz);

// A pure delay of `steps` 1/48 ms steps (held to 0..1019).
Complex DelayResponse(std::int32_t steps, double hz);

// ---- One output ------------------------------------------------------------------------------

// A band's constants, worked out once for any number of frequencies.
struct SystemBand {
  int type = 0;  // 0 none, 1 peaking, 2 bandpass, 3 hi-shelf, 4 lo-shelf, 5 notch
  double fc = 1000.0;
  double a = 1.0;  // 10^(G/40)
  double q = 1.0;

  static SystemBand From(const PeqBand& band);
  ResponseValue ValueAt(double hz) const;
};

// A crossover filter's constants; `on` false is 1 at every frequency.
struct SystemFilter {
  bool on = false;
  bool highPass = false;
  int type = 0;
  double fc = 1000.0;

  static SystemFilter HighPassOf(const CrossoverSettings& settings);
  static SystemFilter LowPassOf(const CrossoverSettings& settings);
  ResponseValue ValueAt(double hz) const;
};

// An output's blocks: the chosen input's PEQ x input level x output PEQ x crossover x output
// level x polarity x delay. The compressor is left out: this is the small-signal response.
class OutputChain {
 public:
  OutputChain(const ProgramParameters& p, Input input, Output output);

  // The whole electrical response.
  ResponseValue ValueAt(double hz) const;
  Complex Response(double hz) const { return ValueAt(hz).h; }

  double Polarity() const { return polarity_; }
  std::int32_t DelaySteps() const { return delaySteps_; }

 private:
  std::array<SystemBand, kInputBands + kOutputBands> bands_{};
  SystemFilter hpf_;
  SystemFilter lpf_;
  double gain_ = 1.0;
  double polarity_ = 1.0;
  std::int32_t delaySteps_ = 0;
};

// ---- The system ------------------------------------------------------------------------------

// What the system view shows besides the parameter set: the input feeding both outputs and the
// measured drivers (null: flat, the electrical response).
struct SystemSetup {
  Input input = Input::Line;
  const DriverResponse* highDriver = nullptr;
  const DriverResponse* lowDriver = nullptr;

  const DriverResponse* Driver(Output output) const {
    return output == Output::High ? highDriver : lowDriver;
  }
};

// An output's acoustic response at f: its chain times its driver; nothing where the driver has
// no measurement.
std::optional<ResponseValue> AcousticValue(const OutputChain& chain, const DriverResponse* driver,
                                           double hz);
std::optional<Complex> AcousticResponse(const OutputChain& chain, const DriverResponse* driver,
                                        double hz);

// One curve's values per frequency; NaN where it is not drawn (outside a driver's measured range).
struct ResponseCurve {
  std::vector<double> db;
  std::vector<double> degrees;  // wrapped to -180..180
  std::vector<double> groupDelayMs;
};

struct SystemCurves {
  std::vector<double> hz;
  ResponseCurve high;
  ResponseCurve low;
  ResponseCurve sum;  // HIGH + LOW, complex; drawn only where both are

  const ResponseCurve& Of(int index) const { return index == 0 ? high : index == 1 ? low : sum; }
};

SystemCurves ComputeSystemCurves(const ProgramParameters& p, const SystemSetup& setup,
                                 const std::vector<double>& hz);

// The frequencies of a view with what the drivers give at each: the drivers do not change with
// an edit, so a view that follows edits works them out once.
struct SystemGrid {
  SystemGrid(const SystemSetup& setup, std::vector<double> frequencies);

  std::vector<double> hz;
  // Per output (HIGH, LOW): empty for a flat driver, else one value per frequency (nothing
  // outside the measurement).
  std::array<std::vector<std::optional<ResponseValue>>, 2> drivers;
};
SystemCurves ComputeSystemCurves(const ProgramParameters& p, Input input, const SystemGrid& grid);

// ---- Frequency grids and export --------------------------------------------------------------

inline constexpr double kSystemLowestHz = 10.0;
inline constexpr double kSystemHighestHz = 24000.0;

// fromHz x 2^(k / perOctave) for every k that stays at or below toHz.
std::vector<double> FractionalOctaveGrid(double fromHz, double toHz, int perOctave);
// `count` (at least 2) points spaced evenly on a logarithmic axis, both ends included.
std::vector<double> LogGrid(double fromHz, double toHz, int count);

// A header line, then per frequency: frequency_hz, high_db, high_deg, low_db, low_deg, sum_db,
// sum_deg, sum_group_delay_ms. A value that is not drawn is an empty field.
std::string SystemCsvText(const SystemCurves& curves);

// Magnitude in dB with a floor, so an exact null (a notch at its centre) stays a number.
double MagnitudeDb(Complex h);
// Degrees wrapped to -180..180.
double PhaseDegrees(Complex h);

}  // namespace corvella::graph
