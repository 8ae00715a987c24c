#include "cli/diff_output.h"

#include <nlohmann/json.hpp>

#include "model/latin1.h"

namespace corvella::cli {
namespace {

nlohmann::json Side(const ParameterRow& row) {
  nlohmann::json side;
  side["code"] = row.isText ? nlohmann::json(nullptr) : nlohmann::json(row.code);
  side["text"] = Latin1ToUtf8(row.text);
  return side;
}

}  // namespace

std::string DiffText(const std::vector<ParameterDifference>& differences) {
  std::string out;
  for (const ParameterDifference& d : differences) out += DifferenceLine(d) + "\n";
  return out;
}

std::string DiffJson(const std::vector<ParameterDifference>& differences) {
  nlohmann::json all = nlohmann::json::array();
  for (const ParameterDifference& d : differences) {
    all.push_back({{"section", d.a.section},
                   {"parameter", d.a.parameter},
                   {"a", Side(d.a)},
                   {"b", Side(d.b)}});
  }
  return all.dump(2) + "\n";
}

}  // namespace corvella::cli
