#include "model/parameter_listing.h"

#include <algorithm>
#include <array>

#include "model/scales.h"
#include "model/unit_form.h"
#include "model/value_input.h"

namespace corvella {
namespace {

constexpr std::array<std::string_view, 6> kPeqTypeNames = {"None",     "Peaking",  "Bandpass",
                                                           "Hi-Shelf", "Lo-Shelf", "Notch"};
constexpr std::array<std::string_view, 12> kCrossoverTypeNames = {
    "-12dB Butterworth", "-18dB Butterworth", "-24dB Butterworth",    "-30dB Butterworth",
    "-36dB Butterworth", "-12db Bessel",      "-18dB Bessel",         "-24dB Bessel",
    "-30dB Bessel",      "-36dB Bessel",      "-12dB Linkwitz-Riley", "-24dB Linkwitz-Riley"};

constexpr std::array<std::string_view, 2> kInputNames = {"MIC", "LINE"};
constexpr std::array<std::string_view, 2> kOutputNames = {"HIGH", "LOW"};

// A name field from a file may hold any byte; a control byte would cut or garble a listing, so
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

class Rows {
 public:
  void Section(std::string title) { section_ = std::move(title); }
  void Add(Field field, int channel, int band, std::string parameter, long code,
           std::string_view text) {
    rows_.push_back({{field, channel, band},
                     section_,
                     std::move(parameter),
                     code,
                     std::string(text),
                     false,
                     {}});
  }
  void AddText(Field field, std::string parameter, std::string text) {
    rows_.push_back({{field, 0, 0}, section_, std::move(parameter), 0, std::move(text), true, {}});
  }
  void SentAs(std::string text) { rows_.back().sentAs = std::move(text); }
  std::vector<ParameterRow> Take() { return std::move(rows_); }

 private:
  std::string section_;
  std::vector<ParameterRow> rows_;
};

struct BandFields {
  Field type, frequency, q, gain;
};

void Bands(Rows& out, const PeqBand* bands, int count, int stride, int channel,
           const BandFields& f) {
  for (int b = 0; b < count; ++b) {
    const PeqBand& band = bands[b * stride];
    const std::string name = "band " + std::to_string(b + 1) + " ";
    out.Add(f.type, channel, b, name + "type", band.type, PeqTypeName(band.type));
    out.Add(f.frequency, channel, b, name + "frequency", band.frequency,
            FrequencyCodeText(band.frequency));
    out.Add(f.q, channel, b, name + "q", band.q, QText(band.q));
    out.Add(f.gain, channel, b, name + "gain", band.gain,
            EqGainText(band.gain) + std::string(kGainUnit));
  }
}

std::string CodeAndText(const ParameterRow& r) {
  return r.isText ? r.text : std::to_string(r.code) + " " + r.text;
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

std::vector<ParameterRow> ListParameters(const ProgramParameters& p) {
  Rows out;
  out.Section("Program");
  out.Add(Field::ProgramNumber, 0, 0, "number", p.programNumber,
          std::to_string(p.programNumber));
  out.AddText(Field::ProgramName, "name", Printable(ProgramNameText(p)));
  if (const std::string sent = LineText(ProgramNameText(p), kProgramNameLength);
      sent != ProgramNameText(p)) {
    out.SentAs(sent);
  }

  for (std::size_t ch = 0; ch < kInputNames.size(); ++ch) {
    out.Section(Joined("Input PEQ ", kInputNames[ch]));
    Bands(out, &p.inputPeq[0][ch], kInputBands, kInputCount, static_cast<int>(ch),
          {Field::InputPeqType, Field::InputPeqFrequency, Field::InputPeqQ, Field::InputPeqGain});
  }
  for (std::size_t ch = 0; ch < kOutputNames.size(); ++ch) {
    const CrossoverSettings& x = p.crossover[ch];
    const int c = static_cast<int>(ch);
    out.Section(Joined("Crossover ", kOutputNames[ch]));
    out.Add(Field::HpfType, c, 0, "hpf type", x.hpfType,
            CrossoverTypeName(x.hpfType));
    out.Add(Field::HpfFrequency, c, 0, "hpf frequency", x.hpfFrequency,
            HpfFrequencyText(x.hpfFrequency));
    out.Add(Field::LpfType, c, 0, "lpf type", x.lpfType,
            CrossoverTypeName(x.lpfType));
    out.Add(Field::LpfFrequency, c, 0, "lpf frequency", x.lpfFrequency,
            LpfFrequencyText(x.lpfFrequency));
  }
  for (std::size_t ch = 0; ch < kOutputNames.size(); ++ch) {
    out.Section(Joined("Output PEQ ", kOutputNames[ch]));
    Bands(out, &p.outputPeq[0][ch], kOutputBands, kOutputCount, static_cast<int>(ch),
          {Field::OutputPeqType, Field::OutputPeqFrequency, Field::OutputPeqQ,
           Field::OutputPeqGain});
  }
  for (std::size_t ch = 0; ch < kOutputNames.size(); ++ch) {
    out.Section(Joined("Delay ", kOutputNames[ch]));
    const DelayTexts t = DelayTextsOf(p.outputDelay[ch]);
    out.Add(Field::Delay, static_cast<int>(ch), 0, "delay", p.outputDelay[ch],
            Trimmed(t.milliseconds) + " ms, " + Trimmed(t.metres) + " m, " + Trimmed(t.feet) +
                " ft, " + Trimmed(t.inches) + " in");
  }
  out.Section("Compressor/Limiter");
  const Dynamics& d = p.dynamics;
  out.Add(Field::Threshold, 0, 0, "threshold", d.threshold, ThresholdText(d.threshold));
  out.Add(Field::Ratio, 0, 0, "ratio", d.ratio, RatioText(d.ratio));
  out.Add(Field::Release, 0, 0, "release", d.releaseTime, TimeText(d.releaseTime));
  out.Add(Field::Attack, 0, 0, "attack", d.attackTime, TimeText(d.attackTime));
  out.Add(Field::AuxTime, 0, 0, "aux time", d.auxTime, TimeText(d.auxTime));

  out.Section("Level");
  for (std::size_t ch = 0; ch < kInputNames.size(); ++ch) {
    out.Add(Field::InputLevel, static_cast<int>(ch), 0, Joined(kInputNames[ch], " level"),
            p.inputLevel[ch], LevelText(p.inputLevel[ch]) + " dB");
  }
  for (std::size_t ch = 0; ch < kOutputNames.size(); ++ch) {
    const int c = static_cast<int>(ch);
    out.Add(Field::OutputLevel, c, 0, Joined(kOutputNames[ch], " level"), p.outputLevel[ch],
            LevelText(p.outputLevel[ch]) + " dB");
    out.Add(Field::Phase, c, 0, Joined(kOutputNames[ch], " phase"), p.outputPhase[ch],
            PhaseText(p.outputPhase[ch]));
  }
  return out.Take();
}

std::vector<ParameterDifference> DiffParameters(const ProgramParameters& a,
                                                const ProgramParameters& b) {
  const ProgramParameters unitA = UnitForm(a);
  const ProgramParameters unitB = UnitForm(b);
  const std::vector<ParameterRow> heldA = ListParameters(unitA);
  const std::vector<ParameterRow> heldB = ListParameters(unitB);
  std::vector<ParameterRow> rowsA = ListParameters(a);
  std::vector<ParameterRow> rowsB = ListParameters(b);
  std::vector<ParameterDifference> out;
  for (std::size_t i = 0; i < rowsA.size(); ++i) {
    if (rowsA[i].ref.field == Field::ProgramNumber) continue;
    // The name is compared as the line spells it, not as printed: two names that print alike
    // may still reach the unit differently.
    const bool differs = rowsA[i].ref.field == Field::ProgramName
                             ? unitA.programName != unitB.programName
                             : heldA[i].code != heldB[i].code;
    if (differs) out.push_back({std::move(rowsA[i]), std::move(rowsB[i])});
  }
  return out;
}

std::string DifferenceLine(const ParameterDifference& d) {
  return d.a.section + " " + d.a.parameter + ": " + CodeAndText(d.a) + " -> " + CodeAndText(d.b);
}

}  // namespace corvella
