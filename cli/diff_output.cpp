#include "cli/diff_output.h"

#include <nlohmann/json.hpp>

namespace corvella::cli {
namespace {

nlohmann::json Side(const ParameterRow& row) {
  nlohmann::json side;
  side["code"] = row.isText ? nlohmann::json(nullptr) : nlohmann::json(row.code);
  // Names are Latin-1 bytes; JSON wants UTF-8.
  std::string text;
  for (const char c : row.text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x80) {
      text += c;
    } else {
      text += static_cast<char>(0xC0 | (byte >> 6));
      text += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  side["text"] = text;
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
