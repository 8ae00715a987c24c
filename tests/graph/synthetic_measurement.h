// Measurements made up from known curves, as a measurement program would export them: dense
// points, a little noise, and a loudspeaker's narrow resonances, dips, broad bumps and roll-offs.
#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "graph/stepped_eq_fit.h"
#include "model/measurement_file.h"

namespace corvella::test {

// Normal deviates from a generator whose sequence the standard fixes, so every library gives the
// same measurement for the same seed.
class Noise {
 public:
  explicit Noise(std::uint32_t seed) : engine_(seed) {}
  double Uniform() { return (static_cast<double>(engine_()) + 0.5) / 4294967296.0; }
  double Normal() {
    return std::sqrt(-2.0 * std::log(Uniform())) * std::cos(2.0 * std::numbers::pi * Uniform());
  }

 private:
  std::mt19937 engine_;
};

// 1/96 octave from 10 Hz to 24 kHz.
inline std::vector<double> MeasuredFrequencies() {
  std::vector<double> hz;
  for (double f = 10.0; f <= 24000.0; f *= std::exp2(1.0 / 96.0)) hz.push_back(f);
  return hz;
}

// 85 dB less the given bands' curve, plus noise of `sigmaDb`: what the bands correct exactly.
inline Measurement InverseOfBands(std::span<const PeqBand> bands, double sigmaDb,
                                  std::uint32_t seed) {
  Noise noise(seed);
  Measurement m;
  for (double f : MeasuredFrequencies()) {
    double db = 85.0 + sigmaDb * noise.Normal();
    for (const PeqBand& b : bands) db -= graph::StageBandDb(b, f);
    m.points.push_back({f, db, 0.0});
  }
  return m;
}

// A loudspeaker-like response: a second-order roll-off at the bottom, a falling top, and
// `resonances` random peaks and dips between 40 Hz and 15 kHz (Q 0.7 to 12, up to 9 dB),
// narrow ones more often than broad ones.
inline Measurement LoudspeakerLike(std::uint32_t seed, int resonances) {
  Noise noise(seed);
  std::vector<graph::ContinuousBand> shape;
  for (int i = 0; i < resonances; ++i) {
    const double hz = 40.0 * std::pow(15000.0 / 40.0, noise.Uniform());
    const double q = 0.7 * std::pow(12.0 / 0.7, std::sqrt(noise.Uniform()));
    const double gain = (noise.Uniform() < 0.5 ? -1.0 : 1.0) * (2.0 + 7.0 * noise.Uniform());
    shape.push_back({hz, gain, q});
  }
  const double corner = 25.0 + 20.0 * noise.Uniform();
  Measurement m;
  for (double f : MeasuredFrequencies()) {
    const double r2 = (f / corner) * (f / corner);
    double db = 85.0 + 10.0 * std::log10(r2 * r2 / ((1.0 - r2) * (1.0 - r2) + 2.0 * r2));
    if (f > 8000.0) db -= 3.0 * std::log2(f / 8000.0);
    for (const graph::ContinuousBand& b : shape) {
      const double x2 = (f / b.hz) * (f / b.hz);
      const double a2 = std::pow(10.0, b.gainDb / 20.0);
      const double u2 = (1.0 - x2) * (1.0 - x2);
      db += 10.0 * std::log10((u2 + x2 * a2 / (b.q * b.q)) / (u2 + x2 / (a2 * b.q * b.q)));
    }
    m.points.push_back({f, db + 0.3 * noise.Normal(), 0.0});
  }
  return m;
}

inline std::string MeasurementText(const Measurement& m) {
  std::string text = "* Freq(Hz) SPL(dB)\n";
  for (const MeasurementPoint& p : m.points) {
    text += std::to_string(p.hz) + " " + std::to_string(p.db) + "\n";
  }
  return text;
}

}  // namespace corvella::test
