#include "graph/system_response.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <numbers>
#include <optional>

#include "graph/crossover_response.h"
#include "graph/graph_frame.h"
#include "model/scales.h"
#include "model/value_input.h"

namespace corvella::graph {

namespace {

constexpr double kPi = std::numbers::pi;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr Complex kJ{0.0, 1.0};

enum BandKind { kNone = 0, kPeaking, kBandpass, kHiShelf, kLoShelf, kNotch };

// A filter's denominator D at its argument, with D' / D.
struct Denominator {
  Complex value;
  Complex logSlope;
};

// Polynomial in x (highest power first) and its derivative.
template <std::size_t N>
Denominator Horner(const double (&coefficients)[N], Complex x) {
  Complex p = 0.0;
  Complex dp = 0.0;
  for (double c : coefficients) {
    dp = dp * x + p;
    p = p * x + c;
  }
  return {p, Divide(dp, p)};
}

// Bessel polynomials B_N(s) of order 2..6; the low-pass is B_N(0) / B_N(K_N s).
constexpr double kBessel2[] = {1, 3, 3};
constexpr double kBessel3[] = {1, 6, 15, 15};
constexpr double kBessel4[] = {1, 10, 45, 105, 105};
constexpr double kBessel5[] = {1, 15, 105, 420, 945, 945};
constexpr double kBessel6[] = {1, 21, 210, 1260, 4725, 10395, 10395};

Denominator BesselDenominator(int order, Complex s) {
  const double k = BesselFrequencyScale(order);
  const Complex x = k * s;
  Denominator d;
  double b0 = 1.0;
  switch (order) {
    case 2:
      d = Horner(kBessel2, x), b0 = 3.0;
      break;
    case 3:
      d = Horner(kBessel3, x), b0 = 15.0;
      break;
    case 4:
      d = Horner(kBessel4, x), b0 = 105.0;
      break;
    case 5:
      d = Horner(kBessel5, x), b0 = 945.0;
      break;
    default:
      d = Horner(kBessel6, x), b0 = 10395.0;
      break;
  }
  return {d.value / b0, k * d.logSlope};
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

Denominator ButterworthDenominator(int order, Complex s) {
  static const ButterworthSections kSections;
  const int n = std::clamp(order, 2, 6);
  Denominator d{1.0, 0.0};
  if (n % 2 == 1) d = {s + 1.0, Divide(1.0, s + 1.0)};
  const Complex s2 = s * s;
  for (int k = 0; k < n / 2; ++k) {
    const double b = kSections.b[n][k];
    const Complex section = s2 + b * s + 1.0;
    d.value *= section;
    d.logSlope += Divide(2.0 * s + b, section);
  }
  return d;
}

// The denominator of the low-pass prototype, cut-off at s = j.
Denominator PrototypeDenominator(const FilterKind& kind, Complex s) {
  switch (kind.family) {
    case FilterFamily::Butterworth:
      return ButterworthDenominator(kind.order, s);
    case FilterFamily::Bessel:
      return BesselDenominator(kind.order, s);
    case FilterFamily::LinkwitzRiley:
      break;
  }
  // Two identical Butterworth sections in cascade.
  const Complex section = kind.order == 2 ? 1.0 + s : s * s + std::sqrt(2.0) * s + 1.0;
  const Complex slope = kind.order == 2 ? Complex(1.0) : 2.0 * s + std::sqrt(2.0);
  return {section * section, 2.0 * Divide(slope, section)};
}

bool CutOffOn(int code, int off) {
  return code != off && code >= kFirstFrequencyCode && code <= kLastFrequencyCode;
}

// d(ln H)/df of a block written in s = j f / fc, from d(ln H)/ds.
Complex PerHz(Complex perS, double fc) {
  return kJ / fc * perS;
}

void Store(ResponseCurve& curve, std::size_t k, const std::optional<ResponseValue>& v) {
  if (!v) {
    curve.db[k] = curve.degrees[k] = curve.groupDelayMs[k] = kNaN;
    return;
  }
  curve.db[k] = MagnitudeDb(v->h);
  curve.degrees[k] = PhaseDegrees(v->h);
  // The phase's slope is Im(slope) radians per Hz; the group delay is -dphase / domega.
  curve.groupDelayMs[k] = -v->slope.imag() / (2.0 * kPi) * 1000.0;
}

// HIGH + LOW, with the sum's own logarithmic derivative: (H' + L') / (H + L).
std::optional<ResponseValue> Sum(const std::optional<ResponseValue>& a,
                                 const std::optional<ResponseValue>& b) {
  if (!a || !b) return std::nullopt;
  const Complex h = a->h + b->h;
  return ResponseValue{h, Divide(a->h * a->slope + b->h * b->slope, h)};
}

void Resize(ResponseCurve& curve, std::size_t n) {
  curve.db.assign(n, 0.0);
  curve.degrees.assign(n, 0.0);
  curve.groupDelayMs.assign(n, 0.0);
}

}  // namespace

double MagnitudeDb(Complex h) {
  constexpr double kFloor = 1.0e-30;  // a power ratio: -300 dB
  return PowerRatioDb(std::max(std::norm(h), kFloor));
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

ResponseValue SystemBand::ValueAt(double hz) const {
  const Complex s = kJ * (hz / fc);
  const Complex s2 = s * s;
  // H = scale N(s) / D(s); d(ln H)/ds = N'/N - D'/D.
  Complex n;
  Complex dn;
  Complex d;
  Complex dd;
  double scale = 1.0;
  const double k = std::sqrt(2.0 * a);  // the shelves' fixed slope
  switch (type) {
    case kPeaking:
      n = s2 + (a / q) * s + 1.0, dn = 2.0 * s + a / q;
      d = s2 + s / (a * q) + 1.0, dd = 2.0 * s + 1.0 / (a * q);
      break;
    case kBandpass:
      n = s / q, dn = 1.0 / q;
      d = s2 + s / q + 1.0, dd = 2.0 * s + 1.0 / q;
      break;
    case kHiShelf:
      scale = a;
      n = a * s2 + k * s + 1.0, dn = 2.0 * a * s + k;
      d = s2 + k * s + a, dd = 2.0 * s + k;
      break;
    case kLoShelf:
      scale = a;
      n = s2 + k * s + a, dn = 2.0 * s + k;
      d = a * s2 + k * s + 1.0, dd = 2.0 * a * s + k;
      break;
    case kNotch:
      n = s2 + 1.0, dn = 2.0 * s;
      d = s2 + s / q + 1.0, dd = 2.0 * s + 1.0 / q;
      break;
    default:
      return {};
  }
  return {scale * Divide(n, d), PerHz(Divide(dn, n) - Divide(dd, d), fc)};
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

ResponseValue SystemFilter::ValueAt(double hz) const {
  if (!on) return {};
  const std::optional<FilterKind> kind = KindOfType(type);
  if (!kind) return {};
  const Complex s = kJ * (hz / fc);
  if (!highPass) {
    const Denominator d = PrototypeDenominator(*kind, s);
    return {Divide(1.0, d.value), PerHz(-d.logSlope, fc)};
  }
  // s -> 1/s: d(ln H)/ds = -D'(1/s)/D(1/s) x (-1/s^2).
  const Denominator d = PrototypeDenominator(*kind, Divide(1.0, s));
  return {Divide(1.0, d.value), PerHz(Divide(d.logSlope, s * s), fc)};
}

Complex PeqBandResponse(const PeqBand& band, double hz) {
  return SystemBand::From(band).ValueAt(hz).h;
}

Complex CrossoverFilterResponse(int type, bool highPass, double fcHz, double hz) {
  SystemFilter f;
  f.on = true;
  f.highPass = highPass;
  f.type = type;
  f.fc = fcHz;
  return f.ValueAt(hz).h;
}

Complex SystemCrossoverResponse(const CrossoverSettings& settings, double hz) {
  return SystemFilter::HighPassOf(settings).ValueAt(hz).h *
         SystemFilter::LowPassOf(settings).ValueAt(hz).h;
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

ResponseValue OutputChain::ValueAt(double hz) const {
  const double seconds = DelayMs(delaySteps_) / 1000.0;
  ResponseValue v{gain_ * polarity_, 0.0};
  if (delaySteps_ != 0) {
    v.h *= std::polar(1.0, -2.0 * kPi * hz * seconds);
    v.slope = Complex(0.0, -2.0 * kPi * seconds);
  }
  v *= hpf_.ValueAt(hz);
  v *= lpf_.ValueAt(hz);
  for (const SystemBand& band : bands_) {
    if (band.type != kNone) v *= band.ValueAt(hz);
  }
  return v;
}

std::optional<ResponseValue> AcousticValue(const OutputChain& chain, const DriverResponse* driver,
                                           double hz) {
  ResponseValue v = chain.ValueAt(hz);
  if (driver == nullptr) return v;
  const std::optional<ResponseValue> measured = driver->ValueAt(hz);
  if (!measured) return std::nullopt;
  v *= *measured;
  return v;
}

std::optional<Complex> AcousticResponse(const OutputChain& chain, const DriverResponse* driver,
                                        double hz) {
  const std::optional<ResponseValue> v = AcousticValue(chain, driver, hz);
  if (!v) return std::nullopt;
  return v->h;
}

SystemGrid::SystemGrid(const SystemSetup& setup, std::vector<double> frequencies)
    : hz(std::move(frequencies)) {
  for (const Output output : {Output::High, Output::Low}) {
    const DriverResponse* driver = setup.Driver(output);
    if (driver == nullptr) continue;
    auto& values = drivers[output == Output::High ? 0 : 1];
    values.reserve(hz.size());
    for (double f : hz) values.push_back(driver->ValueAt(f));
  }
}

SystemCurves ComputeSystemCurves(const ProgramParameters& p, Input input, const SystemGrid& grid) {
  const std::array<OutputChain, 2> chains = {OutputChain(p, input, Output::High),
                                             OutputChain(p, input, Output::Low)};
  SystemCurves curves;
  curves.hz = grid.hz;
  for (ResponseCurve* c : {&curves.high, &curves.low, &curves.sum}) Resize(*c, grid.hz.size());
  for (std::size_t k = 0; k < grid.hz.size(); ++k) {
    std::array<std::optional<ResponseValue>, 2> v;
    for (std::size_t o = 0; o < 2; ++o) {
      const auto& driver = grid.drivers[o];
      if (!driver.empty() && !driver[k]) continue;  // outside the measurement
      v[o] = chains[o].ValueAt(grid.hz[k]);
      if (!driver.empty()) *v[o] *= *driver[k];
    }
    Store(curves.high, k, v[0]);
    Store(curves.low, k, v[1]);
    Store(curves.sum, k, Sum(v[0], v[1]));
  }
  return curves;
}

SystemCurves ComputeSystemCurves(const ProgramParameters& p, const SystemSetup& setup,
                                 const std::vector<double>& hz) {
  return ComputeSystemCurves(p, setup.input, SystemGrid(setup, hz));
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
    // A value that rounds to zero is written without the sign of its tiny remainder.
    const bool zero = std::strspn(cell, "-0.") == std::strlen(cell);
    text += zero && cell[0] == '-' ? cell + 1 : cell;
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
