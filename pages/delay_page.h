// The delay and compressor/limiter page (template 131): the delay of one output, typed as a time
// or a distance or stepped, and the unit's one compressor/limiter (threshold, ratio, release and
// attack time), whichever output is shown.
#pragma once

#include <QGroupBox>
#include <array>
#include <string>

#include "model/value_input.h"
#include "pages/editor_page.h"
#include "pages/decimal_edit.h"
#include "pages/filtered_edit.h"
#include "pages/page_context.h"
#include "pages/spin_bar.h"

namespace corvella::pages {

// Control IDs of template 131.
inline constexpr int kDelayMsEditId = 1002;
inline constexpr int kDelayBarId = 1005;
inline constexpr int kDelayMetresEditId = 1003;
inline constexpr int kDelayInchesEditId = 1006;
inline constexpr int kDelayFeetEditId = 1004;
inline constexpr int kThresholdEditId = 1059;
inline constexpr int kThresholdBarId = 1060;
inline constexpr int kRatioEditId = 1076;
inline constexpr int kRatioBarId = 1077;
inline constexpr int kReleaseEditId = 1067;
inline constexpr int kReleaseBarId = 1074;
inline constexpr int kAttackEditId = 1068;
inline constexpr int kAttackBarId = 1075;

class DelayCompressorPage : public EditorPage {
  Q_OBJECT

 public:
  DelayCompressorPage(const PageContext& context, QWidget* parent);

  // 0 HIGH, 1 LOW: selects the delay only.
  int Channel() const { return channel_; }
  // Shows the channel's delay and the compressor settings; sends nothing.
  void LoadChannel(int channel);
  // Sets and sends `output`'s delay (held to 0..1019 steps) as a step of the bar does, whichever
  // channel the page shows; an unchanged delay is not sent again.
  void CommitDelay(int output, int steps);

  DecimalEdit* DelayEdit(DelayUnit unit) const { return delayEdits_[Index(unit)]; }
  SpinBar* DelayBar() const { return delayBar_; }
  FilteredEdit* ThresholdEdit() const { return Control(Setting::Threshold).edit; }
  SpinBar* ThresholdBar() const { return Control(Setting::Threshold).bar; }
  FilteredEdit* RatioEdit() const { return Control(Setting::Ratio).edit; }
  SpinBar* RatioBar() const { return Control(Setting::Ratio).bar; }
  FilteredEdit* ReleaseEdit() const { return Control(Setting::Release).edit; }
  SpinBar* ReleaseBar() const { return Control(Setting::Release).bar; }
  FilteredEdit* AttackEdit() const { return Control(Setting::Attack).edit; }
  SpinBar* AttackBar() const { return Control(Setting::Attack).bar; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  enum class Setting { Threshold, Ratio, Release, Attack };

  // One compressor setting: its edit and bar (position = maximum - code), its stored field, how a
  // typed text is read and how a code is shown.
  struct CompressorControl {
    FilteredEdit* edit;
    SpinBar* bar;
    int maximum;
    std::uint8_t Dynamics::*field;
    ParsedEdit (*parse)(std::string_view text);
    std::string (*shownText)(int code);
  };
  const CompressorControl& Control(Setting setting) const {
    return compressor_[static_cast<std::size_t>(setting)];
  }

  static std::size_t Index(DelayUnit unit) { return static_cast<std::size_t>(unit); }
  std::int32_t& StoredDelay();
  void ShowDelay(int steps);
  void OnDelayEditLeft(DelayUnit unit);
  void OnDelayScrolled();
  void OnCompressorEditLeft(Setting setting);
  void OnCompressorScrolled(Setting setting);
  void ShowCompressor();
  void SendDelay();
  void SendDelayOf(int output);
  void SendCompressor();

  const PageContext context_;  // a copy: it holds only references
  int channel_ = 0;
  std::array<DecimalEdit*, 4> delayEdits_{};  // by DelayUnit
  SpinBar* delayBar_;
  // What each delay edit was last given by the page; a text left standing equal to it is not
  // committed again.
  std::array<std::string, 4> shownDelayTexts_;
  std::array<CompressorControl, 4> compressor_{};  // by Setting
};

}  // namespace corvella::pages
