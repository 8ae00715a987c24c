// Band responses. Each is |H(j r)| of an analogue biquad with r = f / fc; the magnitude is taken
// as 10 log10 of its square, which is 20 log10 of the square root without the root.
#include "graph/peq_response.h"

#include <cmath>

#include "model/scales.h"

namespace corvella::graph {

namespace {

double PowerRatioDb(double numerator, double denominator) {
  return graph::PowerRatioDb(numerator / denominator);
}

}  // namespace

PreparedBand PreparedBand::From(const PeqBand& band) {
  PreparedBand p;
  p.type = band.type <= static_cast<std::uint8_t>(BandType::Notch)
               ? static_cast<BandType>(band.type)
               : BandType::None;
  p.fc = GraphFrequencyList[PointIndex(band.frequency)];
  p.a = std::pow(10.0, EqGainDb(band.gain) * 0.025);
  p.q = QValue(band.q);
  return p;
}

double PreparedBand::ResponseDb(double f) const {
  const double r = f / fc;
  const double r2 = r * r;
  const double u = 1.0 - r2;
  const double u2 = u * u;
  switch (type) {
    case BandType::None:
      return 0.0;
    case BandType::Peaking: {
      const double boost = a / q;
      const double cut = 1.0 / (a * q);
      return PowerRatioDb(u2 + r2 * boost * boost, u2 + r2 * cut * cut);
    }
    case BandType::Bandpass: {
      const double w = r2 / (q * q);
      return PowerRatioDb(w, u2 + w);
    }
    case BandType::HiShelf: {
      // The shelves' slope is fixed: the 2A terms are (sqrt 2 x sqrt A)^2, Q plays no part.
      const double n = a - a * a * r2;
      const double d = a - r2;
      return PowerRatioDb(n * n + 2.0 * a * a * a * r2, d * d + 2.0 * a * r2);
    }
    case BandType::LoShelf: {
      const double n = a * a - a * r2;
      const double d = 1.0 - a * r2;
      return PowerRatioDb(n * n + 2.0 * a * a * a * r2, d * d + 2.0 * a * r2);
    }
    case BandType::Notch: {
      // The added 0.0001 keeps the depth at the centre to -80 dB instead of minus infinity.
      const double magnitude = std::sqrt(u2 / (u2 + r2 / (q * q))) + 0.0001;
      return graph::PowerRatioDb(magnitude * magnitude);
    }
  }
  return 0.0;
}

double BandResponseDb(const PeqBand& band, double f) {
  return PreparedBand::From(band).ResponseDb(f);
}

Curve BandCurve(const PeqBand& band) {
  Curve curve{};
  const PreparedBand prepared = PreparedBand::From(band);
  if (prepared.type == BandType::None) return curve;
  for (std::size_t k = 0; k < curve.size(); ++k) {
    curve[k] = prepared.ResponseDb(GraphFrequencyList[k]);
  }
  return curve;
}

int BandMarkerX(const PeqBand& band) {
  const bool hasResponse =
      band.type != 0 && band.type <= static_cast<std::uint8_t>(BandType::Notch);
  return GraphPointX[hasResponse ? PointIndex(band.frequency) : 0];
}

Curve SumOfBands(std::span<const PeqBand> bands) {
  Curve sum{};
  for (const PeqBand& band : bands) {
    const Curve curve = BandCurve(band);
    for (std::size_t k = 0; k < sum.size(); ++k) sum[k] += curve[k];
  }
  return sum;
}

}  // namespace corvella::graph
