#include "cli/show_text.h"

#include <cstdio>

#include "model/parameter_listing.h"

namespace corvella::cli {

std::string ShowText(const ProgramParameters& p) {
  std::string text;
  std::string section;
  for (const ParameterRow& row : ListParameters(p)) {
    if (row.section != section) {
      if (!text.empty()) text += '\n';
      section = row.section;
      text += "[" + section + "]\n";
    }
    char head[64];
    if (row.isText) {
      std::snprintf(head, sizeof head, "%-22s %5s  ", row.parameter.c_str(), "");
    } else {
      std::snprintf(head, sizeof head, "%-22s %5ld  ", row.parameter.c_str(), row.code);
    }
    text += head;
    text += row.text;
    if (!row.sentAs.empty()) text += "  (sent as \"" + row.sentAs + "\")";
    text += '\n';
  }
  return text;
}

}  // namespace corvella::cli
