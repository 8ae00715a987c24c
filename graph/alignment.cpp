#include "graph/alignment.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <numbers>

#include "model/scales.h"
#include "model/value_input.h"

namespace corvella::graph {

namespace {

constexpr int kPointsPerOctave = 48;
constexpr std::size_t kFewestRegionPoints = 8;
// Scores closer than this are the same alignment reached two ways (HIGH earlier or LOW later).
constexpr double kTieDb = 1.0e-6;

std::size_t Index(Output output) {
  return output == Output::High ? 0u : 1u;
}

// The crossover region with both outputs' responses on it: `whole` as set, `bare` without the
// output's own polarity and delay (the part the search varies).
struct Region {
  double crossoverHz = 0.0;
  std::vector<double> hz;
  std::vector<double> log2Hz;
  std::array<std::vector<Complex>, 2> whole;
  std::array<std::vector<Complex>, 2> bare;
};

std::optional<Region> FindRegion(const ProgramParameters& p, const SystemSetup& setup,
                                 std::string& error) {
  const std::array<OutputChain, 2> chains = {OutputChain(p, setup.input, Output::High),
                                             OutputChain(p, setup.input, Output::Low)};
  const auto both = [&](double f) -> std::optional<std::array<Complex, 2>> {
    const auto h = AcousticResponse(chains[0], setup.highDriver, f);
    const auto l = AcousticResponse(chains[1], setup.lowDriver, f);
    if (!h || !l) return std::nullopt;
    return std::array<Complex, 2>{*h, *l};
  };

  Region region;
  double strongest = -std::numeric_limits<double>::infinity();
  for (double f : FractionalOctaveGrid(kSystemLowestHz, kSystemHighestHz, kPointsPerOctave)) {
    const auto r = both(f);
    if (!r) continue;
    const double weaker = std::min(MagnitudeDb((*r)[0]), MagnitudeDb((*r)[1]));
    if (weaker > strongest) {
      strongest = weaker;
      region.crossoverHz = f;
    }
  }
  if (region.crossoverHz == 0.0) {
    error = "the HIGH and LOW drivers' measurements have no frequency in common";
    return std::nullopt;
  }
  const double from = region.crossoverHz / 2.0;
  for (double f : FractionalOctaveGrid(from, region.crossoverHz * 2.0, kPointsPerOctave)) {
    const auto r = both(f);
    if (!r) continue;
    region.hz.push_back(f);
    region.log2Hz.push_back(std::log2(f));
    for (std::size_t o = 0; o < 2; ++o) {
      region.whole[o].push_back((*r)[o]);
      region.bare[o].push_back((*r)[o] /
                               (chains[o].Polarity() * DelayResponse(chains[o].DelaySteps(), f)));
    }
  }
  if (region.hz.size() < kFewestRegionPoints) {
    error = "the HIGH and LOW drivers' measurements overlap too little around the crossover";
    return std::nullopt;
  }
  return region;
}

// The RMS of y about its least-squares line in x; x is fixed for the region, so its moments are
// worked out once.
class LineResidual {
 public:
  explicit LineResidual(const std::vector<double>& x) : x_(x) {
    const auto n = static_cast<double>(x.size());
    for (double v : x) meanX_ += v / n;
    for (double v : x) sxx_ += (v - meanX_) * (v - meanX_);
  }

  double Rms(const std::vector<double>& y) const {
    const auto n = static_cast<double>(y.size());
    double meanY = 0.0;
    for (double v : y) meanY += v / n;
    double sxy = 0.0;
    for (std::size_t i = 0; i < y.size(); ++i) sxy += (x_[i] - meanX_) * (y[i] - meanY);
    const double slope = sxx_ > 0.0 ? sxy / sxx_ : 0.0;
    double squares = 0.0;
    for (std::size_t i = 0; i < y.size(); ++i) {
      const double r = y[i] - meanY - slope * (x_[i] - meanX_);
      squares += r * r;
    }
    return std::sqrt(squares / n);
  }

 private:
  const std::vector<double>& x_;
  double meanX_ = 0.0;
  double sxx_ = 0.0;
};

AlignmentScore ScoreOf(const Region& region, double rmsDb) {
  return {region.crossoverHz, region.hz.front(), region.hz.back(), rmsDb};
}

double CurrentRms(const Region& region, const LineResidual& line) {
  std::vector<double> y(region.hz.size());
  for (std::size_t i = 0; i < y.size(); ++i) {
    y[i] = MagnitudeDb(region.whole[0][i] + region.whole[1][i]);
  }
  return line.Rms(y);
}

std::string HzText(double hz) {
  char text[32];
  if (hz < 1000.0) {
    std::snprintf(text, sizeof text, "%.0f Hz", hz);
  } else {
    std::snprintf(text, sizeof text, "%.2f kHz", hz / 1000.0);
  }
  return text;
}

}  // namespace

std::optional<AlignmentScore> ScoreAlignment(const ProgramParameters& p, const SystemSetup& setup,
                                             std::string& error) {
  const std::optional<Region> region = FindRegion(p, setup, error);
  if (!region) return std::nullopt;
  return ScoreOf(*region, CurrentRms(*region, LineResidual(region->log2Hz)));
}

std::optional<AlignmentSuggestion> SuggestAlignment(const ProgramParameters& p,
                                                    const SystemSetup& setup, std::string& error) {
  const std::optional<Region> region = FindRegion(p, setup, error);
  if (!region) return std::nullopt;
  const LineResidual line(region->log2Hz);
  const std::size_t n = region->hz.size();

  AlignmentSuggestion best;
  best.before = ScoreOf(*region, CurrentRms(*region, line));
  double bestRms = std::numeric_limits<double>::infinity();
  std::int32_t bestTotal = 0;
  bool bestKeepsPolarity = false;

  std::vector<double> y(n);
  std::vector<Complex> phasor(n);
  std::vector<Complex> step(n);
  for (const Output output : {Output::High, Output::Low}) {
    const std::size_t o = Index(output);
    const std::vector<Complex>& other = region->whole[1 - o];
    const std::vector<Complex>& varied = region->bare[o];
    const std::int32_t otherSteps = std::clamp(p.outputDelay[1 - o], 0, kMaxDelaySteps);
    const int currentPolarity = p.outputPhase[o] == 0 ? 0 : 1;
    for (std::size_t i = 0; i < n; ++i) {
      phasor[i] = 1.0;
      step[i] = DelayResponse(1, region->hz[i]);
    }
    for (std::int32_t d = 0; d <= kMaxDelaySteps; ++d) {
      for (int polarity = 0; polarity <= 1; ++polarity) {
        const double sign = polarity == 0 ? 1.0 : -1.0;
        for (std::size_t i = 0; i < n; ++i) {
          y[i] = MagnitudeDb(other[i] + sign * varied[i] * phasor[i]);
        }
        const double rms = line.Rms(y);
        const std::int32_t total = d + otherSteps;
        const bool keeps = polarity == currentPolarity;
        const bool better =
            rms < bestRms - kTieDb ||
            (rms <= bestRms + kTieDb &&
             (total < bestTotal || (total == bestTotal && keeps && !bestKeepsPolarity)));
        if (better) {
          bestRms = rms;
          bestTotal = total;
          bestKeepsPolarity = keeps;
          best.output = output;
          best.delaySteps = d;
          best.polarity = polarity;
        }
      }
      // One more step of delay: turning each point's phasor is exact enough over 1019 steps and
      // spares a sine and a cosine per point and step.
      for (std::size_t i = 0; i < n; ++i) phasor[i] *= step[i];
    }
  }
  best.after = ScoreOf(*region, bestRms);
  return best;
}

void ApplyAlignment(ProgramParameters& p, const AlignmentSuggestion& suggestion) {
  const std::size_t o = Index(suggestion.output);
  p.outputDelay[o] = suggestion.delaySteps;
  p.outputPhase[o] = static_cast<std::uint8_t>(suggestion.polarity);
}

std::string AlignmentText(const AlignmentSuggestion& s) {
  const std::string name = s.output == Output::High ? "HIGH" : "LOW";
  std::string text = name + " delay " + std::to_string(s.delaySteps) + " (" +
                     DelayMsText(s.delaySteps) + " ms), polarity " +
                     std::string(PhaseText(s.polarity)) + "\n";
  char figures[200];
  std::snprintf(figures, sizeof figures,
                "sum's RMS deviation from a straight line, %s to %s (crossover %s): %.2f dB "
                "before, %.2f dB after\n",
                HzText(s.before.fromHz).c_str(), HzText(s.before.toHz).c_str(),
                HzText(s.before.crossoverHz).c_str(), s.before.rmsDb, s.after.rmsDb);
  return text + figures;
}

}  // namespace corvella::graph
