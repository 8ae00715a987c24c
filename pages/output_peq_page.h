// The output equaliser page (template 137): six bands of the HIGH or LOW output, drawn together
// with the output's crossover.
#pragma once

#include "pages/peq_page.h"

namespace corvella::pages {

inline constexpr int kOutputBandButton1 = 1009;  // 1009 .. 1014
inline constexpr int kOutputTypeList = 1006;
inline constexpr int kOutputFrequencyEdit = 1034;
inline constexpr int kOutputQEdit = 1035;
inline constexpr int kOutputGainEdit = 1036;
inline constexpr int kOutputFrequencyBar = 1037;
inline constexpr int kOutputQBar = 1038;
inline constexpr int kOutputGainBar = 1008;

class OutputPeqPage : public PeqPage {
  Q_OBJECT

 public:
  OutputPeqPage(const PageContext& context, QWidget* parent);

  // The paint timer's pass: the output's crossover recomputed into the shared table, then drawn.
  void RecomputeCrossover();

 protected:
  void OnPaintTimer() override;
};

}  // namespace corvella::pages
