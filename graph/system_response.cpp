#include "graph/system_response.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numbers>
#include <optional>

#include "graph/crossover_response.h"
#include "model/scales.h"
#include "model/value_input.h"

namespace corvella::graph {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr Complex kJ{0.0, 1.0};

enum BandKind { kNone = 0, kPeaking, kBandpass, kHiShelf, kLoShelf, kNotch };

// Polynomial in s, highest power first.
template <std::size_t N>
Complex Horner(const double (&coefficients)[N], Complex s) {
  Complex value = 0.0;
  for (double c : coefficients) value = value * s + c;
  return value;
}

// Bessel polynomials B_N(s) of order 2..6; the low-pass is B_N(0) / B_N(K_N s).
constexpr double kBessel2[] = {1, 3, 3};
constexpr double kBessel3[] = {1, 6, 15, 15};
constexpr double kBessel4[] = {1, 10, 45, 105, 105};
constexpr double kBessel5[] = {1, 15, 105, 420, 945, 945};
constexpr double kBessel6[] = {1, 21, 210, 1260, 4725, 10395, 10395};

Complex BesselDenominator(int order, Complex s) {
  switch (order) {
    case 2:
      return Horner(kBessel2, s) / 3.0;
    case 3:
      return Horner(kBessel3, s) / 15.0;
    case 4:
      return Horner(kBessel4, s) / 105.0;
    case 5:
      return Horner(kBessel5, s) / 945.0;
    default:
      return Horner(kBessel6, s) / 10395.0;
  }
}

// Butterworth of order N from its poles on the unit circle: the conjugate pairs as sections
// s^2 + 2 sin((2k - 1) pi / 2N) s + 1, and s + 1 for an odd order.
struct ButterworthSections {
  double b[7][3] = {};  // [order][k - 1]
  ButterworthSections() {
    for (int order = 2; order <= 6; ++order) {
      for (int k = 1; k <= order / 2; ++k) {
        b[order][k - 1] = 2.0 * std::sin((2.0 * k - 1.0) * kPi / (2.0 * order));
      }
    }
  }
};

Complex ButterworthDenominator(int order, Complex s) {
  static const ButterworthSections kSections;
  const int n = std::clamp(order, 2, 6);
  Complex d = (n % 2 == 1) ? s + 1.0 : Complex(1.0);
  const Complex s2 = s * s;
  for (int k = 0; k < n / 2; ++k) {
    d *= s2 + kSections.b[n][k] * s + 1.0;
  }
  return d;
}

// The low-pass prototype with its cut-off at s = j.
Complex LowPassPrototype(const FilterKind& kind, Complex s) {
  switch (kind.family) {
    case FilterFamily::Butterworth:
      return 1.0 / ButterworthDenominator(kind.order, s);
    case FilterFamily::Bessel:
      return 1.0 / BesselDenominator(kind.order, BesselFrequencyScale(kind.order) * s);
    case FilterFamily::LinkwitzRiley: {
      const Complex section =
          kind.order == 2 ? 1.0 / (1.0 + s) : 1.0 / (s * s + std::sqrt(2.0) * s + 1.0);
      return section * section;
    }
  }
  return 1.0;
}

bool CutOffOn(int code, int off) {
  return code != off && code >= kFirstFrequencyCode && code <= kLastFrequencyCode;
}

// The derivative of the unwrapped phase is taken locally, from the phase of H(f+) / H(f-) a
// hair either side of f: that ratio turns by far less than half a turn even for the longest
// delay at 24 kHz, so no unwrapping step across a coarse grid can slip by a whole turn.
constexpr double kGroupDelayStep = 1.0e-4;

double GroupDelayMs(Complex below, Complex above, double fBelow, double fAbove) {
  const double radians = std::arg(above / below);
  return -radians / (2.0 * kPi * (fAbove - fBelow)) * 1000.0;
}

struct Evaluated {
  std::optional<Complex> at;
  std::optional<Complex> below;
  std::optional<Complex> above;
};

void Store(ResponseCurve& curve, std::size_t k, const Evaluated& e, double hz) {
  if (!e.at) {
    curve.db[k] = curve.degrees[k] = curve.groupDelayMs[k] = kNaN;
    return;
  }
  curve.db[k] = MagnitudeDb(*e.at);
  curve.degrees[k] = PhaseDegrees(*e.at);
  // At the edge of a measurement one side is missing: the difference is taken one-sided.
  const double fBelow = e.below ? hz * (1.0 - kGroupDelayStep) : hz;
  const double fAbove = e.above ? hz * (1.0 + kGroupDelayStep) : hz;
  curve.groupDelayMs[k] = fAbove > fBelow ? GroupDelayMs(e.below.value_or(*e.at),
                                                         e.above.value_or(*e.at), fBelow, fAbove)
                                          : kNaN;
}

std::optional<Complex> Add(const std::optional<Complex>& a, const std::optional<Complex>& b) {
  if (!a || !b) return std::nullopt;
  return *a + *b;
}

void Resize(ResponseCurve& curve, std::size_t n) {
  curve.db.assign(n, 0.0);
  curve.degrees.assign(n, 0.0);
  curve.groupDelayMs.assign(n, 0.0);
}

}  // namespace

double MagnitudeDb(Complex h) {
  constexpr double kFloor = 1.0e-15;  // -300 dB
  return 20.0 * std::log10(std::max(std::abs(h), kFloor));
}

double PhaseDegrees(Complex h) {
  return std::arg(h) * 180.0 / kPi;
}

SystemBand SystemBand::From(const PeqBand& band) {
  SystemBand b;
  b.type = band.type <= kNotch ? static_cast<int>(band.type) : static_cast<int>(kNone);
  b.fc = FrequencyHz(band.frequency);
  b.a = std::pow(10.0, EqGainDb(band.gain) / 40.0);
  b.q = QValue(band.q);
  return b;
}

Complex SystemBand::At(double hz) const {
  if (type == kNone) return 1.0;
  const Complex s = kJ * (hz / fc);
  const Complex s2 = s * s;
  switch (type) {
    case kPeaking:
      return (s2 + (a / q) * s + 1.0) / (s2 + s / (a * q) + 1.0);
    case kBandpass:
      return (s / q) / (s2 + s / q + 1.0);
    case kHiShelf: {
      const double k = std::sqrt(2.0 * a);
      return a * (a * s2 + k * s + 1.0) / (s2 + k * s + a);
    }
    case kLoShelf: {
      const double k = std::sqrt(2.0 * a);
      return a * (s2 + k * s + a) / (a * s2 + k * s + 1.0);
    }
    case kNotch:
      return (s2 + 1.0) / (s2 + s / q + 1.0);
    default:
      return 1.0;
  }
}

SystemFilter SystemFilter::HighPassOf(const CrossoverSettings& settings) {
  SystemFilter f;
  f.highPass = true;
  f.on = CutOffOn(settings.hpfFrequency, kHpfOff) && KindOfType(settings.hpfType).has_value();
  f.type = settings.hpfType;
  f.fc = FrequencyHz(settings.hpfFrequency);
  return f;
}

SystemFilter SystemFilter::LowPassOf(const CrossoverSettings& settings) {
  SystemFilter f;
  f.on = CutOffOn(settings.lpfFrequency, kLpfOff) && KindOfType(settings.lpfType).has_value();
  f.type = settings.lpfType;
  f.fc = FrequencyHz(settings.lpfFrequency);
  return f;
}

Complex SystemFilter::At(double hz) const {
  if (!on) return 1.0;
  const std::optional<FilterKind> kind = KindOfType(type);
  if (!kind) return 1.0;
  const Complex s = kJ * (hz / fc);
  return LowPassPrototype(*kind, highPass ? 1.0 / s : s);
}

Complex PeqBandResponse(const PeqBand& band, double hz) {
  return SystemBand::From(band).At(hz);
}

Complex CrossoverFilterResponse(int type, bool highPass, double fcHz, double hz) {
  SystemFilter f;
  f.on = true;
  f.highPass = highPass;
  f.type = type;
  f.fc = fcHz;
  return f.At(hz);
}

Complex SystemCrossoverResponse(const CrossoverSettings& settings, double hz) {
  return SystemFilter::HighPassOf(settings).At(hz) * SystemFilter::LowPassOf(settings).At(hz);
}

Complex DelayResponse(std::int32_t steps, double hz) {
  const double seconds = DelayMs(std::clamp(steps, 0, kMaxDelaySteps)) / 1000.0;
  return std::polar(1.0, -2.0 * kPi * hz * seconds);
}

OutputChain::OutputChain(const ProgramParameters& p, Input input, Output output) {
  const auto in = static_cast<std::size_t>(input == Input::Mic ? 0 : 1);
  const auto out = static_cast<std::size_t>(output == Output::High ? 0 : 1);
  std::size_t n = 0;
  for (const auto& band : p.inputPeq) bands_[n++] = SystemBand::From(band[in]);
  for (const auto& band : p.outputPeq) bands_[n++] = SystemBand::From(band[out]);
  hpf_ = SystemFilter::HighPassOf(p.crossover[out]);
  lpf_ = SystemFilter::LowPassOf(p.crossover[out]);
  gain_ = std::pow(10.0, (LevelDb(p.inputLevel[in]) + LevelDb(p.outputLevel[out])) / 20.0);
  polarity_ = p.outputPhase[out] == 0 ? 1.0 : -1.0;
  delaySteps_ = std::clamp(p.outputDelay[out], 0, kMaxDelaySteps);
}

Complex OutputChain::Filters(double hz) const {
  Complex h = gain_ * hpf_.At(hz) * lpf_.At(hz);
  for (const SystemBand& band : bands_) h *= band.At(hz);
  return h;
}

Complex OutputChain::Response(double hz) const {
  return polarity_ * Filters(hz) * DelayResponse(delaySteps_, hz);
}

std::optional<Complex> AcousticResponse(const OutputChain& chain, const DriverResponse* driver,
                                        double hz) {
  const Complex electrical = chain.Response(hz);
  if (driver == nullptr) return electrical;
  const std::optional<Complex> gain = driver->Gain(hz);
  if (!gain) return std::nullopt;
  return electrical * *gain;
}

SystemCurves ComputeSystemCurves(const ProgramParameters& p, const SystemSetup& setup,
                                 const std::vector<double>& hz) {
  const OutputChain high(p, setup.input, Output::High);
  const OutputChain low(p, setup.input, Output::Low);
  SystemCurves curves;
  curves.hz = hz;
  for (ResponseCurve* c : {&curves.high, &curves.low, &curves.sum}) Resize(*c, hz.size());
  for (std::size_t k = 0; k < hz.size(); ++k) {
    const double f = hz[k];
    const double below = f * (1.0 - kGroupDelayStep);
    const double above = f * (1.0 + kGroupDelayStep);
    const auto evaluate = [&](const OutputChain& chain, const DriverResponse* driver) {
      return Evaluated{AcousticResponse(chain, driver, f), AcousticResponse(chain, driver, below),
                       AcousticResponse(chain, driver, above)};
    };
    const Evaluated h = evaluate(high, setup.highDriver);
    const Evaluated l = evaluate(low, setup.lowDriver);
    Store(curves.high, k, h, f);
    Store(curves.low, k, l, f);
    Store(curves.sum, k, Evaluated{Add(h.at, l.at), Add(h.below, l.below), Add(h.above, l.above)},
          f);
  }
  return curves;
}

std::vector<double> FractionalOctaveGrid(double fromHz, double toHz, int perOctave) {
  std::vector<double> grid;
  if (!(fromHz > 0.0) || !(toHz >= fromHz) || perOctave < 1) return grid;
  for (int k = 0;; ++k) {
    const double f = fromHz * std::exp2(static_cast<double>(k) / perOctave);
    if (f > toHz * (1.0 + 1e-12)) break;
    grid.push_back(f);
  }
  return grid;
}

std::vector<double> LogGrid(double fromHz, double toHz, int count) {
  std::vector<double> grid;
  if (count < 2 || !(fromHz > 0.0) || !(toHz > fromHz)) return grid;
  const double ratio = std::log(toHz / fromHz);
  grid.reserve(static_cast<std::size_t>(count));
  for (int k = 0; k < count; ++k) {
    grid.push_back(fromHz * std::exp(ratio * k / (count - 1)));
  }
  grid.back() = toHz;
  return grid;
}

std::string SystemCsvText(const SystemCurves& curves) {
  std::string text =
      "frequency_hz,high_db,high_deg,low_db,low_deg,sum_db,sum_deg,sum_group_delay_ms\n";
  char cell[64];
  const auto add = [&](double value, const char* format) {
    text += ',';
    if (std::isnan(value)) return;
    std::snprintf(cell, sizeof cell, format, value);
    text += cell;
  };
  for (std::size_t k = 0; k < curves.hz.size(); ++k) {
    std::snprintf(cell, sizeof cell, "%.3f", curves.hz[k]);
    text += cell;
    for (const ResponseCurve* c : {&curves.high, &curves.low, &curves.sum}) {
      add(c->db[k], "%.4f");
      add(c->degrees[k], "%.3f");
    }
    add(curves.sum.groupDelayMs[k], "%.5f");
    text += '\n';
  }
  return text;
}

}  // namespace corvella::graph
