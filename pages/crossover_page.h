// The crossover page (template 136): the high-pass and low-pass filter of one output, each a type
// from a list and a cut-off stepped with a scroll bar, and the output's response graph.
#pragma once

#include <QComboBox>
#include <QTimer>
#include <array>
#include <string_view>

#include "pages/editor_page.h"
#include "pages/filtered_edit.h"
#include "pages/page_context.h"
#include "pages/page_decor.h"
#include "pages/spin_bar.h"

namespace corvella::pages {

// Control IDs of template 136.
inline constexpr int kHpfTypeListId = 1024;
inline constexpr int kHpfFrequencyEditId = 1022;
inline constexpr int kHpfFrequencyBarId = 1025;
inline constexpr int kLpfTypeListId = 1007;
inline constexpr int kLpfFrequencyEditId = 1023;
inline constexpr int kLpfFrequencyBarId = 1026;
inline constexpr int kGraphControlId = 1054;

// Both type lists, in the order of the stored type.
inline constexpr std::array<std::string_view, 12> kCrossoverTypeTexts = {
    "-12dB Butterworth", "-18dB Butterworth", "-24dB Butterworth",    "-30dB Butterworth",
    "-36dB Butterworth", "-12db Bessel",      "-18dB Bessel",         "-24dB Bessel",
    "-30dB Bessel",      "-36dB Bessel",      "-12dB Linkwitz-Riley", "-24dB Linkwitz-Riley"};

class CrossoverPage : public EditorPage {
  Q_OBJECT

 public:
  CrossoverPage(const PageContext& context, QWidget* parent);

  // 0 HIGH, 1 LOW.
  int Channel() const { return channel_; }
  // Shows `crossover[channel]` in every control; sends nothing and draws nothing.
  void LoadChannel(int channel);
  // Recomputes the channel's crossover response into the shared table; draws it when `draw`.
  void DrawResponse(bool draw);

  QComboBox* HpfTypeList() const { return hpfType_; }
  QComboBox* LpfTypeList() const { return lpfType_; }
  FilteredEdit* HpfFrequencyEdit() const { return hpfText_; }
  FilteredEdit* LpfFrequencyEdit() const { return lpfText_; }
  SpinBar* HpfFrequencyBar() const { return hpfBar_; }
  SpinBar* LpfFrequencyBar() const { return lpfBar_; }
  GraphControl* Graph() const { return graph_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  CrossoverSettings& Settings();
  void OnTypeSelected(bool hpf, int index);
  void OnFrequencyScrolled(bool hpf, SpinBar::Code code);

  const PageContext context_;  // a copy: it holds only references
  int channel_ = 0;
  QComboBox* hpfType_;
  FilteredEdit* hpfText_;
  SpinBar* hpfBar_;
  QComboBox* lpfType_;
  FilteredEdit* lpfText_;
  SpinBar* lpfBar_;
  GraphControl* graph_;
  QTimer graphTimer_;  // the page's timer 1: draws the graph after the page has painted
};

}  // namespace corvella::pages
