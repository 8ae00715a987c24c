// Start-up values, range repair and the host-independent byte image of the parameter set.
#include "model/program_parameters.h"

#include <algorithm>
#include <cstring>

namespace corvella {

namespace {

constexpr PeqBand kNeutralOutputBand{0, 69, 24, 46};

// Every repair goes through here so that one flag collects them all.
template <typename T>
void Replace(T& field, T value, bool& repaired) {
  field = value;
  repaired = true;
}

void RepairBand(PeqBand& band, bool& repaired) {
  if (band.type > 5) Replace<std::uint8_t>(band.type, 0, repaired);
  // A frequency code of 0 is left alone: the graphs treat it as 20 Hz.
  if (band.frequency > 121) Replace<std::uint8_t>(band.frequency, 1, repaired);
  if (band.gain > 48) Replace<std::uint8_t>(band.gain, 0, repaired);
  if (band.q > 72) Replace<std::uint8_t>(band.q, 0, repaired);
}

void RepairAbove(std::uint8_t& field, std::uint8_t limit, std::uint8_t value, bool& repaired) {
  if (field > limit) Replace(field, value, repaired);
}

// Little-endian 32-bit access, whatever the host's byte order.
void PutInt32(std::uint8_t* out, std::int32_t value) {
  const auto u = static_cast<std::uint32_t>(value);
  for (int i = 0; i < 4; ++i) out[i] = static_cast<std::uint8_t>(u >> (8 * i));
}

std::int32_t GetInt32(const std::uint8_t* in) {
  std::uint32_t u = 0;
  for (int i = 0; i < 4; ++i) u |= static_cast<std::uint32_t>(in[i]) << (8 * i);
  return static_cast<std::int32_t>(u);
}

constexpr std::size_t kDelayOffset = offsetof(ProgramParameters, outputDelay);

}  // namespace

void SetProgramName(ProgramParameters& p, std::string_view name) {
  std::copy_n(name.begin(), std::min(name.size(), kProgramNameLength), p.programName.begin());
}

std::string ProgramNameText(const ProgramParameters& p) {
  return std::string(p.programName.begin(), p.programName.end());
}

void ResetParameters(ProgramParameters& p, std::string_view viewProgramName) {
  p.programNumber = 0;
  SetProgramName(p, viewProgramName);

  p.inputPeq[0][0] = {0, 69, 24, 46};
  p.inputPeq[0][1] = {0, 69, 24, 46};
  p.inputPeq[1][0] = {0, 59, 36, 46};
  p.inputPeq[1][1] = {0, 39, 48, 6};
  p.inputLevel[0] = 181;
  p.inputLevel[1] = 183;

  p.crossover[0] = {2, 33, 2, kLpfOff};
  p.crossover[1] = {4, 9, 4, 33};

  for (auto& bandRow : p.outputPeq) {
    for (auto& band : bandRow) band = kNeutralOutputBand;
  }
  p.outputPeq[0][0] = {1, 49, 18, 16};
  p.outputPeq[0][1] = {1, 25, 30, 34};
  p.outputPeq[1][0] = {1, 67, 30, 40};
  p.outputPeq[2][0] = {3, 94, 31, 42};
  p.outputPeq[3][0] = {3, 69, 24, 46};
  p.outputLevel[0] = 176;
  p.outputLevel[1] = 185;

  p.dynamics = {0, 62, 48, 48, 0, 0, 99, 57, 59, 56};
  std::fill(std::begin(p.reservedBlock), std::end(p.reservedBlock), std::uint8_t{0});
  p.outputDelay[0] = 57;
  p.outputDelay[1] = 0;
  p.outputPhase[0] = 0;
  p.outputPhase[1] = 0;
}

bool RepairParameters(ProgramParameters& p) {
  bool repaired = false;
  for (auto& bandRow : p.inputPeq) {
    for (auto& band : bandRow) RepairBand(band, repaired);
  }
  for (auto& bandRow : p.outputPeq) {
    for (auto& band : bandRow) RepairBand(band, repaired);
  }

  for (auto& x : p.crossover) {
    RepairAbove(x.hpfType, 11, 0, repaired);
    RepairAbove(x.lpfType, 11, 0, repaired);
    // A cut-off code outside the scale would index past the frequency tables; treat it as Off.
    RepairAbove(x.hpfFrequency, 121, kHpfOff, repaired);
    if (x.lpfFrequency == 0 || x.lpfFrequency > kLpfOff) Replace(x.lpfFrequency, kLpfOff, repaired);
  }

  for (auto& delay : p.outputDelay) {
    if (static_cast<std::uint32_t>(delay) > 1019u) Replace<std::int32_t>(delay, 0, repaired);
  }
  for (auto& phase : p.outputPhase) RepairAbove(phase, 1, 0, repaired);
  for (auto& level : p.inputLevel) RepairAbove(level, 205, 205, repaired);
  for (auto& level : p.outputLevel) RepairAbove(level, 205, 205, repaired);

  Dynamics& d = p.dynamics;
  RepairAbove(d.auxThreshold, 99, 99, repaired);
  RepairAbove(d.threshold, 99, 99, repaired);
  RepairAbove(d.auxGain1, 99, 48, repaired);
  RepairAbove(d.auxGain2, 99, 48, repaired);
  RepairAbove(d.auxRatio1, 99, 0, repaired);
  RepairAbove(d.auxRatio2, 99, 0, repaired);
  RepairAbove(d.ratio, 99, 0, repaired);
  RepairAbove(d.auxTime, 74, 74, repaired);
  RepairAbove(d.releaseTime, 74, 0, repaired);
  RepairAbove(d.attackTime, 74, 74, repaired);
  return repaired;
}

// Every field but the two delays is a byte (or an array of bytes), so the struct's bytes are the
// image's bytes except at the delays, which are rewritten little-endian.
std::array<std::uint8_t, kParameterImageSize> ToImage(const ProgramParameters& p) {
  std::array<std::uint8_t, kParameterImageSize> image{};
  std::memcpy(image.data(), &p, kParameterImageSize);
  PutInt32(image.data() + kDelayOffset, p.outputDelay[0]);
  PutInt32(image.data() + kDelayOffset + 4, p.outputDelay[1]);
  return image;
}

ProgramParameters FromImage(const std::array<std::uint8_t, kParameterImageSize>& image) {
  ProgramParameters p{};
  std::memcpy(&p, image.data(), kParameterImageSize);
  p.outputDelay[0] = GetInt32(image.data() + kDelayOffset);
  p.outputDelay[1] = GetInt32(image.data() + kDelayOffset + 4);
  return p;
}

}  // namespace corvella
