#include "model/unit_form.h"

#include <algorithm>

namespace corvella {

std::string LineText(std::string_view text, std::size_t width) {
  std::string s(width, '.');
  for (std::size_t i = 0; i < width && i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == 0) break;
    if (LineCarries(c)) s[i] = text[i];
  }
  return s;
}

ProgramParameters UnitForm(const ProgramParameters& p) {
  ProgramParameters u = p;
  const std::string name = LineText(ProgramNameText(p), kProgramNameLength);
  std::copy(name.begin(), name.end(), u.programName.begin());
  u.dynamics.auxGain1 = kSentAuxGain;
  u.dynamics.auxGain2 = kSentAuxGain;
  u.dynamics.auxRatio1 = kSentAuxRatio;
  u.dynamics.auxRatio2 = kSentAuxRatio;
  u.programNumber = 0;
  u.dynamics.auxThreshold = 0;
  std::fill(std::begin(u.reservedBlock), std::end(u.reservedBlock), 0);
  std::fill(std::begin(u.gap), std::end(u.gap), 0);
  std::fill(std::begin(u.tail), std::end(u.tail), 0);
  return u;
}

}  // namespace corvella
