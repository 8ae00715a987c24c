#include "graph/filter_import.h"

#include <algorithm>
#include <cmath>

#include "graph/peq_response.h"
#include "graph/stepped_eq_fit.h"

namespace corvella::graph {

std::optional<FilterImport> ImportFilters(const std::vector<TextFilter>& filters, int bandCount,
                                          std::string& error) {
  if (filters.size() > static_cast<std::size_t>(bandCount)) {
    error = std::to_string(filters.size()) + " filters, but the stage has " +
            std::to_string(bandCount) + " bands";
    return std::nullopt;
  }
  FilterImport result;
  std::vector<PreparedBand> given;
  for (const TextFilter& f : filters) {
    result.bands.push_back(NearestSteps(f.type, f.hz, f.gainDb, f.q));
    PreparedBand band;
    band.type = static_cast<BandType>(f.type);
    band.fc = f.hz;
    band.a = std::pow(10.0, f.gainDb / 40.0);
    band.q = f.q;
    given.push_back(band);
  }
  result.bands.resize(static_cast<std::size_t>(bandCount), PeqBand{0, 69, 24, 46});
  for (double hz : FitGrid(kFitLowestHz, kFitHighestHz)) {
    double difference = 0.0;
    for (const PreparedBand& band : given) difference += band.ResponseDb(hz);
    for (const PeqBand& band : result.bands) difference -= StageBandDb(band, hz);
    result.largestDifferenceDb = std::max(result.largestDifferenceDb, std::fabs(difference));
  }
  return result;
}

}  // namespace corvella::graph
