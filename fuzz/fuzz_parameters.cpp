// Arbitrary parameter images: nothing that reads codes may go out of range, whatever they hold, and
// the range repair must leave a set that needs no further repair and survives the byte image.
#include <unistd.h>

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

#include "fuzz_checks.h"
#include "graph/crossover_response.h"
#include "graph/graph_frame.h"
#include "graph/level_response.h"
#include "graph/page_curves.h"
#include "graph/peq_response.h"
#include "model/parameters_file.h"
#include "model/program_parameters.h"
#include "model/scales.h"

namespace {

using corvella::kParameterImageSize;
using Image = std::array<std::uint8_t, kParameterImageSize>;

using corvella::fuzz::Require;

// Every display text of every field, computed from the raw codes.
std::size_t TouchTexts(const corvella::ProgramParameters& p) {
  using namespace corvella;
  std::size_t total = 0;
  for (const auto& row : p.inputPeq) {
    for (const auto& band : row) {
      total += FrequencyText(band.frequency).size() + FrequencyUnit(band.frequency).size() +
               QText(band.q).size() + EqGainText(band.gain).size();
    }
  }
  for (const auto& row : p.outputPeq) {
    for (const auto& band : row) {
      total += FrequencyText(band.frequency).size() + QText(band.q).size() +
               EqGainText(band.gain).size();
    }
  }
  for (const auto& x : p.crossover) {
    total += FrequencyText(x.hpfFrequency).size() + FrequencyText(x.lpfFrequency).size();
  }
  for (auto level : p.inputLevel) total += LevelText(level).size();
  for (auto level : p.outputLevel) total += LevelText(level).size();
  for (auto delay : p.outputDelay) {
    total += DelayMsText(delay).size() + DelayMetresText(delay).size() +
             DelayFeetText(delay).size() + DelayInchesText(delay).size();
  }
  for (auto phase : p.outputPhase) total += PhaseText(phase).size();
  const Dynamics& d = p.dynamics;
  total += ThresholdText(d.threshold).size() + ThresholdText(d.auxThreshold).size() +
           AuxGainText(d.auxGain1).size() + AuxGainText(d.auxGain2).size() +
           RatioText(d.ratio).size() + RatioText(d.auxRatio1).size() +
           RatioText(d.auxRatio2).size() + TimeText(d.attackTime).size() +
           TimeText(d.releaseTime).size() + TimeText(d.auxTime).size();
  return total;
}

bool Finite(const corvella::graph::Curve& curve) {
  for (double v : curve) {
    if (std::isnan(v)) return false;
  }
  return true;
}

bool OnGraphColumn(int x) {
  return x >= corvella::graph::GraphPointX.front() && x <= corvella::graph::GraphPointX.back();
}

// Every curve of every page, with its rows and markers, as the pages and the CLI compute them.
// The output sum must not depend on which of the three paths computed it.
void TouchGraphs(const corvella::ProgramParameters& p) {
  namespace g = corvella::graph;
  for (int input = 0; input < corvella::kInputCount; ++input) {
    const g::PageCurves curves = g::InputPageCurves(p, input);
    Require(curves.bandCount == corvella::kInputBands && Finite(curves.sum));
    for (int b = 0; b < curves.bandCount; ++b) {
      Require(Finite(curves.bands[static_cast<std::size_t>(b)]));
      Require(OnGraphColumn(g::BandMarkerX(p.inputPeq[b][input])));
    }
    (void)g::RowsForCurve(curves.sum, g::kInputPeqPixelsPerDb);
    (void)g::InputLevelRow(p.inputLevel[input]);
  }
  g::CrossoverResponse shared;
  for (int output = 0; output < corvella::kOutputCount; ++output) {
    const auto o = static_cast<std::size_t>(output);
    g::ComputeCrossover(p.crossover[o], shared.db[o]);
    const g::Curve crossover = g::ComputeCrossover(p.crossover[o]);
    Require(Finite(crossover));
    const g::PageCurves own = g::OutputPageCurves(p, output);
    const g::PageCurves held = g::OutputPageCurves(p, output, shared.db[o]);
    Require(own.bandCount == corvella::kOutputBands && Finite(own.sum));
    Require(own.sum == held.sum && own.sum == g::WholeOutputCurve(p, output));
    const g::CrossoverMarkers markers =
        g::MarkersFor(p.crossover[o], g::RowsForCurve(crossover, g::kOutputPixelsPerDb));
    Require(markers.hpfX >= g::GraphPointX.front() && markers.lpfX <= g::kLpfOffMarkerX);
    for (const auto& row : p.outputPeq) Require(OnGraphColumn(g::BandMarkerX(row[o])));
  }
}

// One scratch file per process, reused for every input and removed at exit.
struct Scratch {
  std::filesystem::path path = std::filesystem::temp_directory_path() /
                               ("corvella-fuzz-" + std::to_string(::getpid()) + ".asc");
  ~Scratch() {
    std::error_code ec;
    std::filesystem::remove(path, ec);
  }
};

const std::filesystem::path& ScratchFile() {
  static const Scratch scratch;
  return scratch.path;
}

// The file is taken whole or not at all: a wrong length changes nothing, a right one takes every
// parameter field and leaves the tail alone.
void CheckFileLoad(const std::uint8_t* data, std::size_t size) {
  {
    std::ofstream out(ScratchFile(), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  corvella::ProgramParameters p{};
  corvella::ResetParameters(p);
  const Image before = corvella::ToImage(p);
  const corvella::FileResult result = corvella::LoadParametersFile(ScratchFile(), p);
  const Image after = corvella::ToImage(p);
  if (size != kParameterImageSize) {
    Require(!result.ok && result.failure == corvella::FileFailure::WrongLength);
    Require(after == before);
    return;
  }
  Require(result.ok);
  constexpr std::size_t kTail = offsetof(corvella::ProgramParameters, tail);
  Require(std::memcmp(after.data(), data, kTail) == 0);
  Require(std::memcmp(after.data() + kTail, before.data() + kTail, kParameterImageSize - kTail) ==
          0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CheckFileLoad(data, size);

  Image image{};
  std::memcpy(image.data(), data, size < image.size() ? size : image.size());

  corvella::ProgramParameters p = corvella::FromImage(image);
  Require(corvella::ToImage(p) == image);
  Require(TouchTexts(p) > 0);
  TouchGraphs(p);

  corvella::RepairParameters(p);
  Require(!corvella::RepairParameters(p));
  Require(corvella::FromImage(corvella::ToImage(p)).outputDelay[1] == p.outputDelay[1]);
  Require(TouchTexts(p) > 0);
  TouchGraphs(p);
  return 0;
}
