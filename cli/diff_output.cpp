#include "cli/diff_output.h"

namespace corvella::cli {

std::string DiffText(const std::vector<ParameterDifference>& differences) {
  std::string out;
  for (const ParameterDifference& d : differences) out += DifferenceLine(d) + "\n";
  return out;
}

}  // namespace corvella::cli
