// Crossover terms. Every magnitude is worked out as its square (a power ratio); the terms of both
// filters multiply, so one logarithm per point gives their sum in dB.
#include "graph/crossover_response.h"

#include <algorithm>
#include <cmath>

#include "model/scales.h"

namespace corvella::graph {

namespace {

// Bessel polynomial of order N: |B_N(jw)|^2 as a polynomial in v = w^2 (highest power first),
// its constant term c0(N)^2 = B_N(0)^2, and the factor K_N that moves its -3.01 dB point to
// w = 1. Index: order - 2.
struct BesselTable {
  double k;
  double c0Squared;
  int degree;  // in v
  double coefficients[7];
};

constexpr BesselTable kBessel[] = {
    {1.361654129, 3.0 * 3.0, 2, {1.0, 3.0, 9.0}},
    {1.755672389, 15.0 * 15.0, 3, {1.0, 6.0, 45.0, 225.0}},
    {2.113917675, 105.0 * 105.0, 4, {1.0, 10.0, 135.0, 1575.0, 11025.0}},
    {2.427410702, 945.0 * 945.0, 5, {1.0, 15.0, 315.0, 6300.0, 99225.0, 893025.0}},
    {2.703395061,
     10395.0 * 10395.0,
     6,
     {1.0, 21.0, 630.0, 18900.0, 496125.0, 9823275.0, 108056025.0}},
};

double IntegerPower(double x, int n) {
  double result = 1.0;
  for (int i = 0; i < n; ++i) result *= x;
  return result;
}

double BesselPowerGain(int order, double x) {
  const BesselTable& t = kBessel[order - 2];
  const double w = t.k * x;
  const double v = w * w;
  double p = 0.0;
  for (int i = 0; i <= t.degree; ++i) p = p * v + t.coefficients[i];
  return t.c0Squared / p;
}

// |H|^2 of one term; 1 (0 dB) for a type outside the list.
double TermPowerGain(int type, double x) {
  const std::optional<FilterKind> kind = KindOfType(type);
  if (!kind) return 1.0;
  switch (kind->family) {
    case FilterFamily::Butterworth:
      return 1.0 / (1.0 + IntegerPower(x, 2 * kind->order));
    case FilterFamily::Bessel:
      return BesselPowerGain(kind->order, x);
    case FilterFamily::LinkwitzRiley: {
      // Two cascaded Butterworth sections of half the order: the magnitude itself, not its
      // square, is 1 / (1 + x^order).
      const double magnitude = 1.0 / (1.0 + IntegerPower(x, kind->order));
      return magnitude * magnitude;
    }
  }
  return 1.0;
}

}  // namespace

double BesselFrequencyScale(int order) {
  return kBessel[std::clamp(order, 2, 6) - 2].k;
}

std::optional<FilterKind> KindOfType(int type) {
  if (type < 0 || type >= kCrossoverTypeCount) return std::nullopt;
  if (type <= 4) return FilterKind{FilterFamily::Butterworth, type + 2};
  if (type <= 9) return FilterKind{FilterFamily::Bessel, type - 3};
  return FilterKind{FilterFamily::LinkwitzRiley, type == 10 ? 2 : 4};
}

double FilterTermDb(int type, double x) {
  return PowerRatioDb(TermPowerGain(type, x));
}

void ComputeCrossover(const CrossoverSettings& settings, double out[kGraphPoints]) {
  const bool hpfOn =
      settings.hpfFrequency != kHpfOff && settings.hpfFrequency <= kLastFrequencyCode;
  const bool lpfOn = settings.lpfFrequency != 0 && settings.lpfFrequency <= kLastFrequencyCode;
  const double hpfCut = HpfFrequencyList[PointIndex(settings.hpfFrequency)];
  const double lpfCut = GraphFrequencyList[PointIndex(settings.lpfFrequency)];
  for (std::size_t i = 0; i < kGraphPoints; ++i) {
    double gain = 1.0;
    if (hpfOn) gain *= TermPowerGain(settings.hpfType, hpfCut / HpfFrequencyList[i]);
    if (lpfOn) gain *= TermPowerGain(settings.lpfType, GraphFrequencyList[i] / lpfCut);
    out[i] = PowerRatioDb(gain);
  }
}

CrossoverMarkers MarkersFor(const CrossoverSettings& settings, const Rows& rows) {
  CrossoverMarkers m{};
  const std::size_t hpf = PointIndex(settings.hpfFrequency);
  m.hpfX = GraphPointX[hpf];
  m.hpfRow = rows[hpf];
  if (settings.lpfFrequency >= kLpfOff) {
    m.lpfX = kLpfOffMarkerX;
    m.lpfRow = kZeroDbRow;
  } else {
    const std::size_t lpf = PointIndex(settings.lpfFrequency);
    m.lpfX = GraphPointX[lpf];
    m.lpfRow = rows[lpf];
  }
  return m;
}

Curve ComputeCrossover(const CrossoverSettings& settings) {
  Curve curve{};
  ComputeCrossover(settings, curve.data());
  return curve;
}

}  // namespace corvella::graph
