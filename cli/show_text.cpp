#include "cli/show_text.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "model/scales.h"
#include "model/value_input.h"

namespace corvella::cli {
namespace {

constexpr std::array<std::string_view, 6> kPeqTypeNames = {"None",     "Peaking",  "Bandpass",
                                                           "Hi-Shelf", "Lo-Shelf", "Notch"};
constexpr std::array<std::string_view, 12> kCrossoverTypeNames = {
    "-12dB Butterworth", "-18dB Butterworth", "-24dB Butterworth",    "-30dB Butterworth",
    "-36dB Butterworth", "-12db Bessel",      "-18dB Bessel",         "-24dB Bessel",
    "-30dB Bessel",      "-36dB Bessel",      "-12dB Linkwitz-Riley", "-24dB Linkwitz-Riley"};

constexpr std::array<std::string_view, 2> kInputNames = {"MIC", "LINE"};
constexpr std::array<std::string_view, 2> kOutputNames = {"HIGH", "LOW"};

class Listing {
 public:
  void Heading(std::string_view title) {
    if (!text_.empty()) text_ += '\n';
    text_ += "[";
    text_ += title;
    text_ += "]\n";
  }
  void Row(const std::string& name, long code, std::string_view shown) {
    char head[64];
    std::snprintf(head, sizeof head, "%-22s %5ld  ", name.c_str(), code);
    text_ += head;
    text_ += shown;
    text_ += '\n';
  }
  // A parameter that is text, not a code.
  void TextRow(const std::string& name, std::string_view shown) {
    char head[64];
    std::snprintf(head, sizeof head, "%-22s %5s  ", name.c_str(), "");
    text_ += head;
    text_ += shown;
    text_ += '\n';
  }
  std::string Take() { return std::move(text_); }

 private:
  std::string text_;
};

// A name field from a file may hold any byte; a control byte would cut or garble the listing, so
// it is shown as "?".
std::string Printable(std::string text) {
  std::replace_if(
      text.begin(), text.end(),
      [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }, '?');
  return text;
}

// The pages right-align some texts in their edits; a listing does not need the blanks.
std::string Trimmed(const std::string& text) {
  const std::size_t first = text.find_first_not_of(' ');
  return first == std::string::npos ? std::string() : text.substr(first);
}

std::string Joined(std::string_view a, std::string_view b) {
  return std::string(a) + std::string(b);
}

void Bands(Listing& out, const PeqBand* bands, int count, int stride) {
  for (int b = 0; b < count; ++b) {
    const PeqBand& band = bands[b * stride];
    const std::string name = "band " + std::to_string(b + 1) + " ";
    out.Row(name + "type", band.type, PeqTypeName(band.type));
    out.Row(name + "frequency", band.frequency, FrequencyCodeText(band.frequency));
    out.Row(name + "q", band.q, QText(band.q));
    out.Row(name + "gain", band.gain, EqGainText(band.gain) + std::string(kGainUnit));
  }
}

}  // namespace

std::string_view PeqTypeName(int type) {
  if (type < 0 || type >= static_cast<int>(kPeqTypeNames.size())) return "?";
  return kPeqTypeNames[static_cast<std::size_t>(type)];
}

std::string_view CrossoverTypeName(int type) {
  if (type < 0 || type >= static_cast<int>(kCrossoverTypeNames.size())) return "?";
  return kCrossoverTypeNames[static_cast<std::size_t>(type)];
}

std::string ShowText(const ProgramParameters& p) {
  Listing out;
  out.Heading("Program");
  out.Row("number", p.programNumber, std::to_string(p.programNumber));
  out.TextRow("name", Printable(ProgramNameText(p)));

  for (std::size_t ch = 0; ch < kInputNames.size(); ++ch) {
    out.Heading(Joined("Input PEQ ", kInputNames[ch]));
    Bands(out, &p.inputPeq[0][ch], kInputBands, kInputCount);
  }
  for (std::size_t ch = 0; ch < kOutputNames.size(); ++ch) {
    const CrossoverSettings& x = p.crossover[ch];
    out.Heading(Joined("Crossover ", kOutputNames[ch]));
    out.Row("hpf type", x.hpfType, CrossoverTypeName(x.hpfType));
    out.Row("hpf frequency", x.hpfFrequency, HpfFrequencyText(x.hpfFrequency));
    out.Row("lpf type", x.lpfType, CrossoverTypeName(x.lpfType));
    out.Row("lpf frequency", x.lpfFrequency, LpfFrequencyText(x.lpfFrequency));
  }
  for (std::size_t ch = 0; ch < kOutputNames.size(); ++ch) {
    out.Heading(Joined("Output PEQ ", kOutputNames[ch]));
    Bands(out, &p.outputPeq[0][ch], kOutputBands, kOutputCount);
  }
  for (std::size_t ch = 0; ch < kOutputNames.size(); ++ch) {
    out.Heading(Joined("Delay ", kOutputNames[ch]));
    const DelayTexts t = DelayTextsOf(p.outputDelay[ch]);
    out.Row("delay", p.outputDelay[ch],
            Trimmed(t.milliseconds) + " ms, " + Trimmed(t.metres) + " m, " + Trimmed(t.feet) +
                " ft, " + Trimmed(t.inches) + " in");
  }
  out.Heading("Compressor/Limiter");
  const Dynamics& d = p.dynamics;
  out.Row("threshold", d.threshold, ThresholdText(d.threshold));
  out.Row("ratio", d.ratio, RatioText(d.ratio));
  out.Row("release", d.releaseTime, TimeText(d.releaseTime));
  out.Row("attack", d.attackTime, TimeText(d.attackTime));

  out.Heading("Level");
  for (std::size_t ch = 0; ch < kInputNames.size(); ++ch) {
    out.Row(Joined(kInputNames[ch], " level"), p.inputLevel[ch],
            LevelText(p.inputLevel[ch]) + " dB");
  }
  for (std::size_t ch = 0; ch < kOutputNames.size(); ++ch) {
    out.Row(Joined(kOutputNames[ch], " level"), p.outputLevel[ch],
            LevelText(p.outputLevel[ch]) + " dB");
    out.Row(Joined(kOutputNames[ch], " phase"), p.outputPhase[ch], PhaseText(p.outputPhase[ch]));
  }
  return out.Take();
}

}  // namespace corvella::cli
