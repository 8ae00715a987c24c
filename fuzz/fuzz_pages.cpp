// Arbitrary parameter images through every editor page: loading a channel, showing a band,
// drawing the graphs and painting the page must never read out of range, whatever the codes. For
// a repaired image (which is all a page is ever given after a whole-set change) loading and
// drawing must also change nothing and send nothing.
#include <QApplication>
#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "fuzz_checks.h"
#include "page_fixture.h"
#include "pages/crossover_page.h"
#include "pages/delay_page.h"
#include "pages/input_peq_page.h"
#include "pages/level_page.h"
#include "pages/output_peq_page.h"
#include "pages/page_set.h"

namespace {

using namespace corvella;
using corvella::fuzz::Pages;
using corvella::fuzz::Require;

// Everything a page does with the parameter set short of an edit.
void Exercise(Pages& p, std::uint8_t selector) {
  p.set.ReloadAllPages(static_cast<link::ReloadForm>(selector % 3));
  for (int command = pages::kFirstPageCommand; command <= pages::kLastPageCommand; ++command) {
    p.set.ShowPage(command);
    (void)p.set.VisiblePage()->grab();
  }
  for (int channel = 0; channel < 2; ++channel) {
    p.set.InputPeq().LoadChannel(channel);
    for (int band = 1; band <= kInputBands; ++band) {
      p.set.InputPeq().ShowBand(band, channel);
      p.set.InputPeq().DrawPeqResponse(band - 1);
    }
    p.set.OutputPeq().LoadChannel(channel);
    for (int band = 1; band <= kOutputBands; ++band) {
      p.set.OutputPeq().ShowBand(band, channel);
      p.set.OutputPeq().DrawPeqResponse(band - 1);
    }
    p.set.Crossover().LoadChannel(channel);
    p.set.Crossover().DrawResponse(true);
    p.set.DelayCompressor().LoadChannel(channel);
  }
  for (int channel = 0; channel < 4; ++channel) {
    p.set.Level().LoadChannel(channel);
    if (channel < 2) {
      p.set.Level().DrawInputLevel();
    } else {
      for (int band = 0; band < kOutputBands; ++band) p.set.Level().DrawOutputResponse(band);
    }
  }
  QApplication::processEvents();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  Pages& p = fuzz::ThePages();
  std::array<std::uint8_t, kParameterImageSize> image{};
  std::memcpy(image.data(), data + 1, std::min(size - 1, image.size()));

  p.session.parameters = FromImage(image);
  Exercise(p, data[0]);

  RepairParameters(p.session.parameters);
  const auto repaired = ToImage(p.session.parameters);
  p.TakeFrames();
  Exercise(p, data[0]);
  Require(ToImage(p.session.parameters) == repaired);
  Require(p.TakeFrames().empty());
  return 0;
}
