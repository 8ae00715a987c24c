// The unit's current program as the PC knows it: a 168-byte image of the codes that travel in
// frames. The layout is also the parameters file's layout, so it is fixed byte for byte.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace corvella {

// Channel numbering used everywhere; the channel digit in a frame is index + 1.
enum class Input : std::uint8_t { Mic = 0, Line = 1 };
enum class Output : std::uint8_t { High = 0, Low = 1 };
inline constexpr int kInputCount = 2;
inline constexpr int kOutputCount = 2;
inline constexpr int kInputBands = 2;
inline constexpr int kOutputBands = 6;

// The level page numbers its channels 0 MIC, 1 LINE, 2 HIGH, 3 LOW.
enum class LevelChannel : std::uint8_t { Mic = 0, Line = 1, High = 2, Low = 3 };

struct PeqBand {
  std::uint8_t type;       // 0 None, 1 Peaking, 2 Bandpass, 3 Hi-Shelf, 4 Lo-Shelf, 5 Notch
  std::uint8_t frequency;  // frequency code 1..121
  std::uint8_t gain;       // 0..48, dB = 0.5 * code - 12
  std::uint8_t q;          // Q code 0..72

  friend bool operator==(const PeqBand&, const PeqBand&) = default;
};

struct CrossoverSettings {
  std::uint8_t hpfType;       // 0..11
  std::uint8_t hpfFrequency;  // 0 = Off, 1..121
  std::uint8_t lpfType;       // 0..11
  std::uint8_t lpfFrequency;  // 1..121, 122 = Off

  friend bool operator==(const CrossoverSettings&, const CrossoverSettings&) = default;
};

struct Dynamics {
  std::uint8_t auxThreshold;
  std::uint8_t threshold;
  std::uint8_t auxGain1;
  std::uint8_t auxGain2;
  std::uint8_t auxRatio1;
  std::uint8_t auxRatio2;
  std::uint8_t ratio;
  std::uint8_t auxTime;
  std::uint8_t releaseTime;
  std::uint8_t attackTime;

  friend bool operator==(const Dynamics&, const Dynamics&) = default;
};

inline constexpr std::size_t kProgramNameLength = 25;
// A unit's name, as the probe answer and the identity commands carry it.
inline constexpr std::size_t kDeviceNameLength = 14;
inline constexpr std::size_t kParameterImageSize = 168;
inline constexpr std::uint8_t kHpfOff = 0;
inline constexpr std::uint8_t kLpfOff = 122;

// Arrays are band-major: inputPeq[band][input], outputPeq[band][output].
struct ProgramParameters {
  std::uint8_t programNumber;
  std::array<char, kProgramNameLength> programName;  // no terminator inside the field
  PeqBand inputPeq[kInputBands][kInputCount];
  std::uint8_t inputLevel[kInputCount];
  CrossoverSettings crossover[kOutputCount];
  PeqBand outputPeq[kOutputBands][kOutputCount];
  std::uint8_t outputLevel[kOutputCount];
  Dynamics dynamics;
  std::uint8_t reservedBlock[10];
  std::uint8_t gap[2];
  std::int32_t outputDelay[kOutputCount];  // delay steps 0..1019, little-endian in the image
  std::uint8_t outputPhase[kOutputCount];  // 0 Normal, 1 Inverse
  std::uint8_t tail[34];

  friend bool operator==(const ProgramParameters&, const ProgramParameters&) = default;
};

static_assert(sizeof(ProgramParameters) == kParameterImageSize);
static_assert(offsetof(ProgramParameters, programNumber) == 0);
static_assert(offsetof(ProgramParameters, programName) == 1);
static_assert(offsetof(ProgramParameters, inputPeq) == 26);
static_assert(offsetof(ProgramParameters, inputLevel) == 42);
static_assert(offsetof(ProgramParameters, crossover) == 44);
static_assert(offsetof(ProgramParameters, outputPeq) == 52);
static_assert(offsetof(ProgramParameters, outputLevel) == 100);
static_assert(offsetof(ProgramParameters, dynamics) == 102);
static_assert(offsetof(ProgramParameters, reservedBlock) == 112);
static_assert(offsetof(ProgramParameters, gap) == 122);
static_assert(offsetof(ProgramParameters, outputDelay) == 124);
static_assert(offsetof(ProgramParameters, outputPhase) == 132);
static_assert(offsetof(ProgramParameters, tail) == 134);

inline constexpr std::string_view kFactoryDefaultName = "factory default..........";

// Copies a name text into programName character by character, at most 25; characters of the field
// beyond the text's length keep what they held.
void SetProgramName(ProgramParameters& p, std::string_view name);
// The field as a text: always exactly its 25 characters.
std::string ProgramNameText(const ProgramParameters& p);

// Writes the start-up values into every field except the gap and the tail. The view's program-name
// text is copied character by character, at most 25 characters.
void ResetParameters(ProgramParameters& p, std::string_view viewProgramName = kFactoryDefaultName);

// Replaces every out-of-range code; crossover cut-off codes outside the scale (hpfFrequency above
// 121, lpfFrequency 0 or above 122) become Off. Returns true when anything was replaced; the caller
// that owns the user interface then shows the one warning (kRepairWarningText, caption
// kRepairWarningCaption), however many fields were replaced.
bool RepairParameters(ProgramParameters& p);

inline constexpr std::string_view kRepairWarningText =
    "Error existed in Program data, Upgrated by valiable data!";
inline constexpr std::string_view kRepairWarningCaption = "Warnning";

// The image as bytes (little-endian integers whatever the host), and back.
std::array<std::uint8_t, kParameterImageSize> ToImage(const ProgramParameters& p);
ProgramParameters FromImage(const std::array<std::uint8_t, kParameterImageSize>& image);

}  // namespace corvella
