#include "graph/stepped_eq_fit.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <thread>
#include <unordered_map>

#include "graph/peq_response.h"
#include "model/scales.h"

#if CORVELLA_HAVE_NLOPT
#include <nlopt.h>
#endif

namespace corvella::graph {

namespace {

constexpr int kGridPointsPerOctave = 48;
constexpr double kDbPerNeper = 4.342944819032518;  // 10 / ln 10, for power ratios
constexpr double kLn10 = std::numbers::ln10;
constexpr std::uint8_t kPeaking = static_cast<std::uint8_t>(BandType::Peaking);
constexpr std::uint8_t kHiShelf = static_cast<std::uint8_t>(BandType::HiShelf);
constexpr std::uint8_t kLoShelf = static_cast<std::uint8_t>(BandType::LoShelf);
constexpr int kZeroGainCode = 24;
constexpr std::uint8_t kShelfQ = 46;

int MaxGainCode(double maxBoostDb) {
  const double boost = std::clamp(maxBoostDb, 0.0, 12.0);
  return static_cast<int>(std::floor((boost + 12.0) * 2.0 + 1e-9));
}

// Level of the measurement at f, linear in ln f between its points (f within its range).
double InterpolatedDb(const std::vector<MeasurementPoint>& points, double hz) {
  const auto upper = std::upper_bound(points.begin(), points.end(), hz,
                                      [](double f, const MeasurementPoint& p) { return f < p.hz; });
  if (upper == points.end()) return points.back().db;
  if (upper == points.begin()) return points.front().db;
  const MeasurementPoint& a = *(upper - 1);
  const MeasurementPoint& b = *upper;
  const double t = std::log(hz / a.hz) / std::log(b.hz / a.hz);
  return a.db + t * (b.db - a.db);
}

// Sum of squares of (level + curve) about its mean: n times the squared RMS of the residual.
template <typename Term>
double SpreadOf(std::size_t n, Term term) {
  double sum = 0.0;
  double squares = 0.0;
  for (std::size_t k = 0; k < n; ++k) {
    const double v = term(k);
    sum += v;
    squares += v * v;
  }
  return std::max(0.0, squares - sum * sum / static_cast<double>(n));
}

ResidualFigures FiguresOf(const FitTarget& target, const std::vector<double>& curve) {
  const std::size_t n = target.db.size();
  double mean = 0.0;
  for (std::size_t k = 0; k < n; ++k) mean += target.db[k] + curve[k];
  mean /= static_cast<double>(n);
  ResidualFigures figures;
  double squares = 0.0;
  for (std::size_t k = 0; k < n; ++k) {
    const double r = target.db[k] + curve[k] - mean;
    squares += r * r;
    figures.maxDb = std::max(figures.maxDb, std::fabs(r));
  }
  figures.rmsDb = std::sqrt(squares / static_cast<double>(n));
  return figures;
}

double PeakingDb(double hz, const ContinuousBand& band) {
  const double r2 = (hz / band.hz) * (hz / band.hz);
  const double a2 = std::pow(10.0, band.gainDb / 20.0);
  const double q2 = band.q * band.q;
  const double u = 1.0 - r2;
  return kDbPerNeper * std::log((u * u + r2 * a2 / q2) / (u * u + r2 / (a2 * q2)));
}

// The smoothing leaves a point with little to tell from its neighbours, so the searches run on
// every second one (fewer than four points are kept whole).
FitTarget EverySecondPoint(const FitTarget& target) {
  if (target.hz.size() < 4) return target;
  FitTarget coarse;
  for (std::size_t k = 0; k < target.hz.size(); k += 2) {
    coarse.hz.push_back(target.hz[k]);
    coarse.db.push_back(target.db[k]);
  }
  return coarse;
}

// ---- The continuous fit ----------------------------------------------------------------------
// Variables per band: ln fc, ln Q and the gain in tens of dB, so that one step of the optimiser
// means much the same on each axis.

constexpr double kGainScale = 10.0;
constexpr int kReseatRounds = 4;
constexpr std::size_t kReseatPlaces = 4;
// Moves are judged after all bands settle, so the few that start best are each settled in turn.
constexpr std::size_t kMovesSettled = 2;
constexpr int kMoveEvaluations = 30;

#if CORVELLA_HAVE_NLOPT
struct ContinuousProblem {
  const FitTarget* target = nullptr;
  std::vector<double> hz2;
  std::size_t bands = 0;
  std::vector<double> curve;
  std::vector<double> partials;  // per band and point: d/d ln fc, d/d ln Q, d/d gain

  double Evaluate(const double* x, double* gradient) {
    const std::size_t n = hz2.size();
    std::fill(curve.begin(), curve.end(), 0.0);
    for (std::size_t b = 0; b < bands; ++b) {
      const double fc2 = std::exp(2.0 * x[3 * b]);
      const double q2 = std::exp(2.0 * x[3 * b + 1]);
      const double a2 = std::exp(x[3 * b + 2] * kGainScale * kLn10 / 20.0);
      const double p = a2 / q2;
      const double m = 1.0 / (a2 * q2);
      double* d = partials.data() + 3 * b * n;
      for (std::size_t k = 0; k < n; ++k) {
        const double r2 = hz2[k] / fc2;
        const double u = 1.0 - r2;
        const double u2 = u * u;
        const double num = u2 + r2 * p;
        const double den = u2 + r2 * m;
        curve[k] += kDbPerNeper * std::log(num / den);
        if (gradient == nullptr) continue;
        const double inverseNum = 1.0 / num;
        const double inverseDen = 1.0 / den;
        const double slope = 4.0 * u * r2;
        d[k] = kDbPerNeper *
               ((slope - 2.0 * r2 * p) * inverseNum - (slope - 2.0 * r2 * m) * inverseDen);
        d[n + k] = kDbPerNeper * (-2.0 * r2 * p * inverseNum + 2.0 * r2 * m * inverseDen);
        d[2 * n + k] =
            kDbPerNeper * (r2 * p * inverseNum + r2 * m * inverseDen) * kLn10 / 20.0 * kGainScale;
      }
    }
    double mean = 0.0;
    for (std::size_t k = 0; k < n; ++k) mean += target->db[k] + curve[k];
    mean /= static_cast<double>(n);
    double squares = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
      const double r = target->db[k] + curve[k] - mean;
      curve[k] = r;  // the residual, for the gradient below
      squares += r * r;
    }
    if (gradient != nullptr) {
      // The mean drops out: the residual sums to zero.
      const double scale = 2.0 / static_cast<double>(n);
      for (std::size_t i = 0; i < 3 * bands; ++i) {
        const double* d = partials.data() + i * n;
        double g = 0.0;
        for (std::size_t k = 0; k < n; ++k) g += curve[k] * d[k];
        gradient[i] = scale * g;
      }
    }
    return squares / static_cast<double>(n);
  }
};

std::vector<double> ToVariables(const std::vector<ContinuousBand>& bands) {
  std::vector<double> x;
  for (const ContinuousBand& b : bands) {
    x.push_back(std::log(b.hz));
    x.push_back(std::log(b.q));
    x.push_back(b.gainDb / kGainScale);
  }
  return x;
}

std::vector<ContinuousBand> FromVariables(const std::vector<double>& x) {
  std::vector<ContinuousBand> bands;
  for (std::size_t i = 0; i + 2 < x.size(); i += 3) {
    bands.push_back({std::exp(x[i]), x[i + 2] * kGainScale, std::exp(x[i + 1])});
  }
  return bands;
}

#endif

// Moves the bands to the nearest local minimum of the squared residual within the limits.
void Polish(const FitTarget& target, std::vector<ContinuousBand>& bands, double maxBoostDb,
            int maxEvaluations, double tolerance = 1e-7) {
#if CORVELLA_HAVE_NLOPT
  ContinuousProblem problem;
  problem.target = &target;
  for (double f : target.hz) problem.hz2.push_back(f * f);
  problem.bands = bands.size();
  problem.curve.resize(target.hz.size());
  problem.partials.resize(3 * bands.size() * target.hz.size());
  std::vector<double> x = ToVariables(bands);
  std::vector<double> lower;
  std::vector<double> upper;
  for (std::size_t b = 0; b < bands.size(); ++b) {
    lower.insert(lower.end(),
                 {std::log(kFitLowestHz), std::log(kFitLowestQ), kFitLowestGainDb / kGainScale});
    upper.insert(upper.end(), {std::log(kFitHighestHz), std::log(kFitHighestQ),
                               std::clamp(maxBoostDb, 0.0, 12.0) / kGainScale});
  }
  for (std::size_t i = 0; i < x.size(); ++i) x[i] = std::clamp(x[i], lower[i], upper[i]);
  nlopt_opt opt = nlopt_create(NLOPT_LD_LBFGS, static_cast<unsigned>(x.size()));
  if (opt == nullptr) return;
  nlopt_set_lower_bounds(opt, lower.data());
  nlopt_set_upper_bounds(opt, upper.data());
  nlopt_set_min_objective(
      opt,
      [](unsigned, const double* v, double* gradient, void* data) {
        return static_cast<ContinuousProblem*>(data)->Evaluate(v, gradient);
      },
      &problem);
  nlopt_set_ftol_rel(opt, tolerance);
  nlopt_set_maxeval(opt, maxEvaluations);
  double value = 0.0;
  const nlopt_result result = nlopt_optimize(opt, x.data(), &value);
  nlopt_destroy(opt);
  // A stop for rounding errors or the evaluation limit still leaves the best point found in x.
  if (result > 0 || result == NLOPT_ROUNDOFF_LIMITED) bands = FromVariables(x);
#else
  (void)target;
  (void)bands;
  (void)maxBoostDb;
  (void)maxEvaluations;
  (void)tolerance;
#endif
}

// Where a band does the most good next: at one of the largest deviations it can take out (a dip
// only as far as the boost allows; `rank` 0 is the largest, 1 the next local extremum, ...), with
// a Q from the deviation's width at half its height.
std::optional<ContinuousBand> NextBand(const FitTarget& target, const std::vector<double>& curve,
                                       double maxBoostDb, std::size_t rank = 0) {
  const std::size_t n = target.hz.size();
  double mean = 0.0;
  for (std::size_t k = 0; k < n; ++k) mean += target.db[k] + curve[k];
  mean /= static_cast<double>(n);
  std::vector<double> e(n);
  for (std::size_t k = 0; k < n; ++k) e[k] = target.db[k] + curve[k] - mean;
  const double boost = std::clamp(maxBoostDb, 0.0, 12.0);
  const auto gainAt = [&](std::size_t k) { return std::clamp(-e[k], kFitLowestGainDb, boost); };
  std::vector<std::size_t> extremes;
  for (std::size_t k = 0; k < n; ++k) {
    const bool peak = (k == 0 || e[k] >= e[k - 1]) && (k + 1 == n || e[k] >= e[k + 1]);
    const bool dip = (k == 0 || e[k] <= e[k - 1]) && (k + 1 == n || e[k] <= e[k + 1]);
    if ((peak || dip) && gainAt(k) != 0.0) extremes.push_back(k);
  }
  if (rank >= extremes.size()) return std::nullopt;
  std::partial_sort(
      extremes.begin(), extremes.begin() + static_cast<std::ptrdiff_t>(rank + 1), extremes.end(),
      [&](std::size_t a, std::size_t b) { return std::fabs(gainAt(a)) > std::fabs(gainAt(b)); });
  const std::size_t best = extremes[rank];
  const double half = e[best] / 2.0;
  const auto beyondHalf = [&](std::size_t k) { return e[best] > 0 ? e[k] < half : e[k] > half; };
  std::size_t left = best;
  while (left > 0 && !beyondHalf(left)) --left;
  std::size_t right = best;
  while (right + 1 < n && !beyondHalf(right)) ++right;
  double octaves = std::log2(target.hz[right] / target.hz[left]);
  if (left == 0 || right + 1 == n) {
    // Cut off by an end of the grid: the side that was found, twice.
    const std::size_t side = left == 0 ? right : left;
    octaves = 2.0 * std::fabs(std::log2(target.hz[side] / target.hz[best]));
  }
  octaves = std::max(octaves, 1.0 / 24.0);
  const double ratio = std::exp2(octaves);
  const double q = std::clamp(std::sqrt(ratio) / (ratio - 1.0), kFitLowestQ, kFitHighestQ);
  return ContinuousBand{std::clamp(target.hz[best], kFitLowestHz, kFitHighestHz), gainAt(best), q};
}

std::vector<double> ContinuousCurve(const FitTarget& target,
                                    const std::vector<ContinuousBand>& bands) {
  std::vector<double> curve(target.hz.size(), 0.0);
  for (const ContinuousBand& b : bands) {
    for (std::size_t k = 0; k < curve.size(); ++k) curve[k] += PeakingDb(target.hz[k], b);
  }
  return curve;
}

// ---- The search over the unit's steps --------------------------------------------------------

class StepSearch {
 public:
  StepSearch(const FitTarget& target, double maxBoostDb)
      : target_(target), maxGainCode_(MaxGainCode(maxBoostDb)) {}

  // Walks from `start` to a set no single-band step improves; returns its sum of squares.
  double Descend(std::vector<PeqBand>& bands) {
    const double near = Descend(bands, 1);
    const double wider = Descend(bands, 2);
    return wider < near ? Descend(bands, 1) : near;
  }

  double Descend(std::vector<PeqBand>& bands, int reach) {
    const std::size_t n = target_.hz.size();
    std::vector<double> total(n, 0.0);
    for (const PeqBand& band : bands) Add(total, Curve(band), 1.0);
    std::vector<double> base(n);
    double current = Spread(total);
    for (int sweep = 0; sweep < 60; ++sweep) {
      bool moved = false;
      for (PeqBand& band : bands) {
        const std::vector<double>& own = Curve(band);
        for (std::size_t k = 0; k < n; ++k) base[k] = target_.db[k] + total[k] - own[k];
        PeqBand best = band;
        double bestValue = current;
        for (const PeqBand& candidate : Neighbours(band, reach)) {
          const std::vector<double>& curve = Curve(candidate);
          const double value = SpreadOf(n, [&](std::size_t k) { return base[k] + curve[k]; });
          if (value < bestValue - 1e-12) {
            bestValue = value;
            best = candidate;
          }
        }
        if (best != band) {
          for (std::size_t k = 0; k < n; ++k) total[k] = base[k] - target_.db[k];
          band = best;
          Add(total, Curve(band), 1.0);
          current = bestValue;
          moved = true;
        }
      }
      if (!moved) break;
    }
    return current;
  }

  // Tries each band as a shelf over the whole scale (coarsely, then finely by Descend); keeps a
  // shelf where it does better than the band did.
  double TryShelves(std::vector<PeqBand>& bands, double current) {
    const std::size_t n = target_.hz.size();
    std::vector<double> total(n, 0.0);
    for (const PeqBand& band : bands) Add(total, Curve(band), 1.0);
    std::vector<double> base(n);
    for (PeqBand& band : bands) {
      const std::vector<double>& own = Curve(band);
      for (std::size_t k = 0; k < n; ++k) base[k] = target_.db[k] + total[k] - own[k];
      PeqBand best = band;
      double bestValue = current;
      for (std::uint8_t type : {kLoShelf, kHiShelf}) {
        for (int code = kFirstFrequencyCode; code <= kLastFrequencyCode; code += 4) {
          for (int gain = 0; gain <= maxGainCode_; gain += 4) {
            if (gain == kZeroGainCode) continue;
            // Q plays no part in a shelf: one Q for every band lets them share the curves.
            const PeqBand candidate{type, static_cast<std::uint8_t>(code),
                                    static_cast<std::uint8_t>(gain), kShelfQ};
            const std::vector<double>& curve = Curve(candidate);
            const double value = SpreadOf(n, [&](std::size_t k) { return base[k] + curve[k]; });
            if (value < bestValue) {
              bestValue = value;
              best = candidate;
            }
          }
        }
      }
      if (best != band) {
        std::vector<PeqBand> trial = bands;
        trial[static_cast<std::size_t>(&band - bands.data())] = best;
        const double value = Descend(trial);
        if (value < current - 1e-12) {
          bands = trial;
          return TryShelves(bands, value);
        }
      }
    }
    return current;
  }

  double Spread(const std::vector<double>& total) const {
    return SpreadOf(total.size(), [&](std::size_t k) { return target_.db[k] + total[k]; });
  }

 private:
  static std::uint32_t Key(const PeqBand& b) {
    return static_cast<std::uint32_t>(b.type) << 24 |
           static_cast<std::uint32_t>(b.frequency) << 16 | static_cast<std::uint32_t>(b.gain) << 8 |
           b.q;
  }

  std::vector<double> Compute(const PeqBand& band) const {
    std::vector<double> curve(target_.hz.size());
    for (std::size_t k = 0; k < curve.size(); ++k) curve[k] = StageBandDb(band, target_.hz[k]);
    return curve;
  }

  const std::vector<double>& Curve(const PeqBand& band) {
    auto [it, inserted] = cache_.try_emplace(Key(band));
    if (inserted) it->second = Compute(band);
    return it->second;
  }

  static void Add(std::vector<double>& total, const std::vector<double>& curve, double sign) {
    for (std::size_t k = 0; k < total.size(); ++k) total[k] += sign * curve[k];
  }

  // The steps around a band: `reach` codes of frequency and gain either way, and half as many
  // again of Q, whose steps are finer.
  std::vector<PeqBand> Neighbours(const PeqBand& band, int reach) const {
    std::vector<PeqBand> out;
    const bool shelf = band.type == kHiShelf || band.type == kLoShelf;
    const int qReach = shelf ? 0 : reach + reach / 2 + 1;
    for (int dc = -reach; dc <= reach; ++dc) {
      for (int dq = -qReach; dq <= qReach; ++dq) {
        for (int dg = -reach; dg <= reach; ++dg) {
          const int c = band.frequency + dc;
          const int q = band.q + dq;
          const int g = band.gain + dg;
          if ((dc == 0 && dq == 0 && dg == 0) || c < kFirstFrequencyCode ||
              c > kLastFrequencyCode || q < 0 || q > kLastQCode || g < 0 || g > maxGainCode_) {
            continue;
          }
          out.push_back({band.type, static_cast<std::uint8_t>(c), static_cast<std::uint8_t>(g),
                         static_cast<std::uint8_t>(q)});
        }
      }
    }
    return out;
  }

  const FitTarget& target_;
  int maxGainCode_;
  std::unordered_map<std::uint32_t, std::vector<double>> cache_;
};

int NearestCode(int first, int last, double value, double (*codeValue)(int)) {
  int best = first;
  double distance = std::numeric_limits<double>::infinity();
  for (int c = first; c <= last; ++c) {
    const double d = std::fabs(std::log(codeValue(c) / value));
    if (d < distance) {
      distance = d;
      best = c;
    }
  }
  return best;
}

}  // namespace

std::vector<double> FitGrid(double fromHz, double toHz) {
  std::vector<double> grid;
  if (!(fromHz > 0.0) || !(toHz >= fromHz) || !std::isfinite(toHz)) return grid;
  // Beyond a few decades above the audible band the grid would only grow without purpose.
  constexpr int kMaxPoints = kGridPointsPerOctave * 24;
  for (int k = 0; k < kMaxPoints; ++k) {
    const double f = fromHz * std::exp2(static_cast<double>(k) / kGridPointsPerOctave);
    if (f > toHz * (1.0 + 1e-12)) break;
    grid.push_back(f);
  }
  return grid;
}

std::optional<FitTarget> SmoothedOnGrid(const Measurement& m, const FitOptions& options,
                                        std::string& error) {
  const std::vector<MeasurementPoint>& points = m.points;
  FitTarget target;
  if (points.size() < 2) {
    error = "the measurement has fewer than two points";
    return std::nullopt;
  }
  const double halfWindow =
      options.smoothing > 0 ? std::exp2(1.0 / (2.0 * options.smoothing)) : 1.0;
  for (double f : FitGrid(options.fromHz, options.toHz)) {
    if (f < points.front().hz || f > points.back().hz) continue;
    double db = 0.0;
    std::size_t count = 0;
    if (options.smoothing > 0) {
      const auto lo =
          std::lower_bound(points.begin(), points.end(), f / halfWindow,
                           [](const MeasurementPoint& p, double hz) { return p.hz < hz; });
      double power = 0.0;
      for (auto it = lo; it != points.end() && it->hz <= f * halfWindow; ++it, ++count) {
        power += std::pow(10.0, it->db / 10.0);
      }
      if (count > 0) db = 10.0 * std::log10(power / static_cast<double>(count));
    }
    if (count == 0) db = InterpolatedDb(points, f);
    target.hz.push_back(f);
    target.db.push_back(db);
  }
  if (target.hz.size() < 2) {
    error = "the measurement does not cover the range to correct";
    return std::nullopt;
  }
  return target;
}

double StageBandDb(const PeqBand& band, double hz) {
  PreparedBand prepared = PreparedBand::From(band);
  if (prepared.type == BandType::None) return 0.0;
  prepared.fc = FrequencyHz(band.frequency);
  return prepared.ResponseDb(hz);
}

std::vector<double> StageCurve(const FitTarget& target, std::span<const PeqBand> bands) {
  std::vector<double> curve(target.hz.size(), 0.0);
  for (const PeqBand& band : bands) {
    for (std::size_t k = 0; k < curve.size(); ++k) curve[k] += StageBandDb(band, target.hz[k]);
  }
  return curve;
}

ResidualFigures Residual(const FitTarget& target, std::span<const PeqBand> bands) {
  return FiguresOf(target, StageCurve(target, bands));
}

ResidualFigures Residual(const FitTarget& target, std::span<const ContinuousBand> bands) {
  return FiguresOf(target, ContinuousCurve(target, {bands.begin(), bands.end()}));
}

std::vector<ContinuousBand> FitContinuous(const FitTarget& target, int bandCount,
                                          double maxBoostDb) {
  std::vector<ContinuousBand> bands;
  if (target.hz.size() < 2) return bands;
  // The search runs on every second point, which the smoothing leaves with little to tell from
  // its neighbours; the last polish runs on the whole grid.
  const FitTarget coarse = EverySecondPoint(target);
  const auto rmsOf = [&](const std::vector<ContinuousBand>& b) {
    return Residual(coarse, std::span<const ContinuousBand>(b)).rmsDb;
  };
  // One band settled alone against what the others leave.
  const auto placed = [&](const std::vector<ContinuousBand>& others,
                          std::size_t rank) -> std::optional<std::vector<ContinuousBand>> {
    FitTarget rest = coarse;
    const std::vector<double> curve = ContinuousCurve(coarse, others);
    for (std::size_t k = 0; k < rest.db.size(); ++k) rest.db[k] += curve[k];
    const auto next = NextBand(rest, std::vector<double>(rest.db.size(), 0.0), maxBoostDb, rank);
    if (!next) return std::nullopt;
    std::vector<ContinuousBand> one = {*next};
    Polish(rest, one, maxBoostDb, 40, 1e-4);
    std::vector<ContinuousBand> all = others;
    all.push_back(one.front());
    return all;
  };
  for (int b = 0; b < bandCount; ++b) {
    // Nothing left to take out: the rest stay at 0 dB.
    bands = placed(bands, 0).value_or(bands);
    if (bands.size() < static_cast<std::size_t>(b + 1)) bands.push_back({1000.0, 0.0, 1.0});
    Polish(coarse, bands, maxBoostDb, 40 * (b + 1), 1e-5);
  }
  // Bands placed one at a time settle in a local minimum. Moving one band to one of the largest
  // deviations the others leave, and letting all settle again, leaves most of them: each round
  // tries every band at each of the largest deviations and keeps the best move.
  double best = rmsOf(bands);
  for (int round = 0; round < kReseatRounds; ++round) {
    // Every band at every place, shared out over two threads: the trials are independent.
    using Move = std::pair<double, std::vector<ContinuousBand>>;
    std::vector<std::optional<Move>> slots(bands.size() * kReseatPlaces);
    const auto work = [&](std::size_t first) {
      for (std::size_t i = first; i < slots.size(); i += 2) {
        std::vector<ContinuousBand> others = bands;
        others.erase(others.begin() + static_cast<std::ptrdiff_t>(i / kReseatPlaces));
        auto trial = placed(others, i % kReseatPlaces);
        if (!trial) continue;
        Polish(coarse, *trial, maxBoostDb, kMoveEvaluations, 1e-5);
        slots[i] = Move{rmsOf(*trial), std::move(*trial)};
      }
    };
    {
      std::jthread helper(work, std::size_t{1});
      work(0);
    }
    std::vector<Move> moves;
    for (auto& slot : slots) {
      if (slot) moves.push_back(std::move(*slot));
    }
    const std::size_t tried = std::min(moves.size(), kMovesSettled);
    std::partial_sort(moves.begin(), moves.begin() + static_cast<std::ptrdiff_t>(tried),
                      moves.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    bool improved = false;
    for (std::size_t i = 0; i < tried && !improved; ++i) {
      std::vector<ContinuousBand>& move = moves[i].second;
      Polish(coarse, move, maxBoostDb, 300, 1e-6);
      const double rms = rmsOf(move);
      if (rms < best - 1e-4) {
        best = rms;
        bands = std::move(move);
        improved = true;
      }
    }
    if (!improved) break;
  }
  Polish(target, bands, maxBoostDb, 300, 1e-7);
  return bands;
}

PeqBand NearestSteps(std::uint8_t type, double hz, double gainDb, double q) {
  const int frequency = NearestCode(kFirstFrequencyCode, kLastFrequencyCode, hz,
                                    [](int c) { return FrequencyHz(c); });
  const int qCode = NearestCode(0, kLastQCode, q, [](int c) { return QValue(c); });
  const long gain = std::isfinite(gainDb) ? std::lround(std::clamp(gainDb, -12.0, 12.0) * 2.0) + 24
                                          : kZeroGainCode;
  return {type, static_cast<std::uint8_t>(frequency), static_cast<std::uint8_t>(gain),
          static_cast<std::uint8_t>(qCode)};
}

std::vector<PeqBand> RoundToSteps(std::span<const ContinuousBand> bands, double maxBoostDb) {
  std::vector<PeqBand> out;
  const int maxGain = MaxGainCode(maxBoostDb);
  for (const ContinuousBand& b : bands) {
    PeqBand band = NearestSteps(kPeaking, b.hz, b.gainDb, b.q);
    band.gain = static_cast<std::uint8_t>(std::min<int>(band.gain, maxGain));
    out.push_back(band);
  }
  return out;
}

StageFit FitStage(const FitTarget& target, int bandCount, double maxBoostDb) {
  StageFit fit;
  fit.before = Residual(target, std::span<const PeqBand>{});
  const std::vector<ContinuousBand> continuous = FitContinuous(target, bandCount, maxBoostDb);
  const std::vector<PeqBand> rounded = RoundToSteps(continuous, maxBoostDb);
  // The steps are walked on every second point, as the continuous search was; the result is
  // judged on the whole grid, against the plain rounding.
  const FitTarget coarse = EverySecondPoint(target);
  StepSearch search(coarse, maxBoostDb);
  std::vector<PeqBand> bands = rounded;
  search.TryShelves(bands, search.Descend(bands));
  const ResidualFigures walked = Residual(target, bands);
  const ResidualFigures plain = Residual(target, rounded);
  if (plain.rmsDb < walked.rmsDb) bands = rounded;
  // A band left at 0 dB does nothing: it is shown and sent as None.
  for (PeqBand& band : bands) {
    if (band.gain == kZeroGainCode) band.type = static_cast<std::uint8_t>(BandType::None);
  }
  fit.bands = bands;
  fit.after = Residual(target, bands);
  return fit;
}

}  // namespace corvella::graph
