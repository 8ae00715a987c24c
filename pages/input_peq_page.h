// The input equaliser page (template 135): two bands of the MIC or LINE input.
#pragma once

#include "pages/peq_page.h"

namespace corvella::pages {

// Control IDs of the page.
inline constexpr int kInputBandButton1 = 1017;  // 1017, 1018
inline constexpr int kInputTypeList = 1027;
inline constexpr int kInputFrequencyEdit = 1031;
inline constexpr int kInputQEdit = 1032;
inline constexpr int kInputGainEdit = 1033;
inline constexpr int kInputFrequencyBar = 1028;
inline constexpr int kInputQBar = 1029;
inline constexpr int kInputGainBar = 1030;

class InputPeqPage : public PeqPage {
  Q_OBJECT

 public:
  InputPeqPage(const PageContext& context, QWidget* parent);
};

}  // namespace corvella::pages
