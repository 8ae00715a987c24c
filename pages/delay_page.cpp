#include "pages/delay_page.h"

#include <QPaintEvent>
#include <QPainter>
#include <algorithm>
#include <utility>

#include "model/scales.h"
#include "pages/page_decor.h"
#include "pages/page_set.h"

namespace corvella::pages {

namespace {

// Every bar's position is (maximum - code), so moving a thumb up raises the value.
constexpr int kThresholdMaximum = 99;
constexpr int kRatioMaximum = 99;

constexpr std::array<DelayUnit, 4> kDelayUnits = {DelayUnit::Milliseconds, DelayUnit::Metres,
                                                  DelayUnit::Feet, DelayUnit::Inches};

QString ToQString(const std::string& text) {
  return QString::fromStdString(text);
}

FilteredEdit* MakeCompressorEdit(QWidget* page, int id, int x, int y, int width,
                                 std::uint8_t filterMode) {
  auto* edit = new FilteredEdit(page);
  PlaceControl(edit, id, x, y, width, 12);
  edit->setAlignment(Qt::AlignCenter);
  QObject::connect(edit, &FilteredEdit::focusGained, edit,
                   [edit, filterMode] { edit->filterMode = filterMode; });
  return edit;
}

SpinBar* MakeBar(QWidget* page, int id, int x, int y, int height, int maximum, int position) {
  auto* bar = new SpinBar(0, maximum, position, page);
  PlaceControl(bar, id, x, y, 11, height);
  return bar;
}

}  // namespace

DelayCompressorPage::DelayCompressorPage(const PageContext& context, QWidget* parent)
    : EditorPage(kDelayPageTemplate, parent), context_(context) {
  SetBackgroundColor(kPageBackground);

  // The frames go first so that the controls lie on top of them.
  PlaceControl(new QGroupBox(this), 0, 3, 11, 326, 147);
  PlaceControl(new QGroupBox(this), 0, 349, 12, 105, 145);

  struct DelayEditPlace {
    int id;
    int y;
    int width;
  };
  constexpr std::array<DelayEditPlace, 4> kDelayPlaces = {{{kDelayMsEditId, 52, 38},
                                                           {kDelayMetresEditId, 76, 44},
                                                           {kDelayFeetEditId, 126, 44},
                                                           {kDelayInchesEditId, 101, 44}}};
  for (DelayUnit unit : kDelayUnits) {
    const DelayEditPlace& place = kDelayPlaces[Index(unit)];
    auto* edit = new DecimalEdit(this);
    PlaceControl(edit, place.id, 378, place.y, place.width, 12);
    edit->setAlignment(Qt::AlignCenter);
    connect(edit, &DecimalEdit::focusLost, this, [this, unit] { OnDelayEditLeft(unit); });
    delayEdits_[Index(unit)] = edit;
  }
  delayBar_ = MakeBar(this, kDelayBarId, 416, 52, 12, kMaxDelaySteps, kMaxDelaySteps);
  for (DecimalEdit* edit : delayEdits_) delayBar_->AddBuddy(edit);

  compressor_ = {{
      {MakeCompressorEdit(this, kThresholdEditId, 59, 72, 42, kFilterDelay),
       MakeBar(this, kThresholdBarId, 102, 72, 12, kThresholdMaximum, 0), kThresholdMaximum,
       &Dynamics::threshold, &ParseThresholdText, &ThresholdText},
      {MakeCompressorEdit(this, kRatioEditId, 145, 72, 42, kFilterRatio),
       MakeBar(this, kRatioBarId, 189, 72, 13, kRatioMaximum, kRatioMaximum), kRatioMaximum,
       &Dynamics::ratio, &ParseRatioText, &RatioText},
      {MakeCompressorEdit(this, kReleaseEditId, 259, 72, 50, kFilterRelease),
       MakeBar(this, kReleaseBarId, 310, 72, 12, kLastTimeCode, kLastTimeCode), kLastTimeCode,
       &Dynamics::releaseTime, &ParseTimeText, &TimeText},
      {MakeCompressorEdit(this, kAttackEditId, 259, 90, 50, kFilterAttack),
       MakeBar(this, kAttackBarId, 310, 89, 12, kLastTimeCode, kLastTimeCode), kLastTimeCode,
       &Dynamics::attackTime, &ParseTimeText, &TimeText},
  }};

  DelayEdit(DelayUnit::Milliseconds)->SetLimitText(9);
  DelayEdit(DelayUnit::Milliseconds)->setText(QStringLiteral("0.0000"));
  LoadChannel(channel_);
  // Until the view's first load the compressor shows its neutral texts.
  ThresholdEdit()->setText(QStringLiteral("0.0 dB"));
  RatioEdit()->setText(QStringLiteral("1.00 : 1"));
  ReleaseEdit()->setText(QStringLiteral("0.010 ms"));
  AttackEdit()->setText(QStringLiteral("0.010 ms"));

  // The painted labels beside them.
  const std::array<std::pair<QWidget*, const char*>, 13> names = {
      {{ThresholdEdit(), "Threshold"},
       {ThresholdBar(), "Threshold"},
       {RatioEdit(), "Ratio"},
       {RatioBar(), "Ratio"},
       {ReleaseEdit(), "Release Time"},
       {ReleaseBar(), "Release Time"},
       {AttackEdit(), "Attack Time"},
       {AttackBar(), "Attack Time"},
       {DelayEdit(DelayUnit::Milliseconds), "Delay Time ms"},
       {delayBar_, "Delay Time"},
       {DelayEdit(DelayUnit::Metres), "Delay Time m"},
       {DelayEdit(DelayUnit::Inches), "Delay Time inch"},
       {DelayEdit(DelayUnit::Feet), "Delay Time ft"}}};
  for (const auto& [control, name] : names) control->setAccessibleName(QString::fromLatin1(name));
  // Tab in reading order: the compressor's box on the left row by row, then the delay's box on
  // the right from top to bottom (inches lie above feet).
  const std::array<QWidget*, 8> reading = {ThresholdEdit(),
                                           RatioEdit(),
                                           ReleaseEdit(),
                                           AttackEdit(),
                                           DelayEdit(DelayUnit::Milliseconds),
                                           DelayEdit(DelayUnit::Metres),
                                           DelayEdit(DelayUnit::Inches),
                                           DelayEdit(DelayUnit::Feet)};
  for (std::size_t i = 1; i < reading.size(); ++i) setTabOrder(reading[i - 1], reading[i]);
  connect(delayBar_, &SpinBar::scrolled, this, &DelayCompressorPage::OnDelayScrolled);
  for (Setting setting : {Setting::Threshold, Setting::Ratio, Setting::Release, Setting::Attack}) {
    connect(Control(setting).edit, &FilteredEdit::focusLost, this,
            [this, setting] { OnCompressorEditLeft(setting); });
    connect(Control(setting).bar, &SpinBar::scrolled, this,
            [this, setting] { OnCompressorScrolled(setting); });
    Control(setting).bar->AddBuddy(Control(setting).edit);
  }
}

std::int32_t& DelayCompressorPage::StoredDelay() {
  return context_.session.parameters.outputDelay[channel_];
}

void DelayCompressorPage::LoadChannel(int channel) {
  if (channel < 0 || channel >= kOutputCount) return;
  channel_ = channel;
  const int steps = std::clamp(StoredDelay(), 0, kMaxDelaySteps);
  delayBar_->setValue(kMaxDelaySteps - steps);
  ShowDelay(steps);
  ShowCompressor();
  update();
}

void DelayCompressorPage::ShowDelay(int steps) {
  const DelayTexts texts = DelayTextsOf(steps);
  for (DelayUnit unit : kDelayUnits) {
    const std::string text = DelayTextIn(texts, unit);
    DelayEdit(unit)->setText(ToQString(text));
    shownDelayTexts_[Index(unit)] = text;
  }
}

void DelayCompressorPage::ShowCompressor() {
  const Dynamics& d = context_.session.parameters.dynamics;
  for (const CompressorControl& c : compressor_) {
    c.bar->setValue(c.maximum - d.*c.field);
    c.edit->setText(ToQString(c.shownText(d.*c.field)));
  }
}

void DelayCompressorPage::OnDelayEditLeft(DelayUnit unit) {
  // However the edit is left (Enter, Tab, a click elsewhere) what was typed is committed, as on
  // the equaliser pages. An edit greyed under the focus (a chain starting) commits nothing: the
  // unit would not take the value, so the page shows the stored delay again.
  DecimalEdit* edit = DelayEdit(unit);
  const std::string text = edit->text().toStdString();
  const std::string& shown = shownDelayTexts_[Index(unit)];
  if (text == shown) return;
  if (!edit->isEnabled()) {
    edit->setText(ToQString(shown));
    return;
  }
  const ParsedEdit parsed = ParseDelayText(text, unit);
  if (!HoldsValue(parsed, text)) {
    // An emptied edit is no delay; Enter on it must not send 0 ms.
    ShowDelay(StoredDelay());
    return;
  }
  StoredDelay() = parsed.code;
  delayBar_->setValue(kMaxDelaySteps - parsed.code);
  ShowDelay(parsed.code);
  // Sent even when the steps did not change ("1" replaced by "1.0").
  SendDelay();
}

void DelayCompressorPage::OnDelayScrolled() {
  const int steps = kMaxDelaySteps - delayBar_->value();
  if (steps == StoredDelay()) return;
  StoredDelay() = steps;
  ShowDelay(steps);
  SendDelay();
}

void DelayCompressorPage::OnCompressorEditLeft(Setting setting) {
  const CompressorControl& c = Control(setting);
  const std::string typed = c.edit->text().toStdString();
  const ParsedEdit parsed = c.parse(typed);
  if (!HoldsValue(parsed, typed)) {
    // Text without a number is no value: the stored one stays, is shown again and not sent.
    c.edit->setText(ToQString(c.shownText(context_.session.parameters.dynamics.*c.field)));
    return;
  }
  c.edit->setText(ToQString(parsed.text));
  c.bar->setValue(c.maximum - parsed.code);
  context_.session.parameters.dynamics.*c.field = static_cast<std::uint8_t>(parsed.code);
  // Every loss of focus sends, even when neither the text nor the code changed.
  SendCompressor();
}

void DelayCompressorPage::OnCompressorScrolled(Setting setting) {
  const CompressorControl& c = Control(setting);
  const int code = c.maximum - c.bar->value();
  context_.session.parameters.dynamics.*c.field = static_cast<std::uint8_t>(code);
  c.edit->setText(ToQString(c.shownText(code)));
  // No unchanged test: every step, drag and release of a compressor bar sends.
  SendCompressor();
}

void DelayCompressorPage::CommitDelay(int output, int steps) {
  if (output < 0 || output >= kOutputCount) return;
  const int clamped = std::clamp(steps, 0, kMaxDelaySteps);
  std::int32_t& stored = context_.session.parameters.outputDelay[output];
  if (clamped == stored) return;
  stored = clamped;
  if (output == channel_) {
    delayBar_->setValue(kMaxDelaySteps - clamped);
    ShowDelay(clamped);
  }
  SendDelayOf(output);
}

void DelayCompressorPage::SendDelay() {
  SendDelayOf(channel_);
}

void DelayCompressorPage::SendDelayOf(int output) {
  context_.edits.SendEdit({Field::Delay, output, 0});
}

void DelayCompressorPage::SendCompressor() {
  // The compressor/limiter settings travel in one frame, whichever of them changed.
  context_.edits.SendEdit({Field::Threshold, 0, 0});
}

void DelayCompressorPage::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  PaintTitleBand(painter, 0, 0, 922, 16);
  if (channel_ == 0) {
    PaintText(painter, 770, 1, "HIGH DELAY", Qt::white);
  } else {
    PaintText(painter, 760, 1, "LOW DELAY", Qt::white);
  }
  PaintText(painter, 180, 1, "COMPRESSOR & LIMITER    CONFIGURATION", Qt::white);
  struct Label {
    int x;
    int y;
    const char* text;
  };
  static constexpr std::array<Label, 9> kLabels = {{{45, 148, "Threshold"},
                                                    {240, 148, "Ratio"},
                                                    {410, 148, "Release Time"},
                                                    {410, 183, "Attack Time"},
                                                    {720, 75, "Delay Time  0--0.0212s"},
                                                    {720, 107, "ms:"},
                                                    {720, 157, "m:"},
                                                    {720, 209, "inch:"},
                                                    {720, 256, "ft :"}}};
  for (const Label& label : kLabels) PaintText(painter, label.x, label.y, label.text, Qt::black);
}

}  // namespace corvella::pages
