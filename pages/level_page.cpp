#include "pages/level_page.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <algorithm>
#include <array>

#include "graph/crossover_response.h"
#include "graph/graph_frame.h"
#include "graph/page_curves.h"
#include "graph/paint/graph_painter.h"
#include "model/scales.h"
#include "pages/page_set.h"

namespace corvella::pages {

namespace {

// Slider position K and level code are tied by K = 205 - code.
constexpr int kTopCode = 205;
constexpr int kSliderMaximum = 204;
constexpr int kStartPosition = 24;  // 0.0 dB
constexpr int kGraphDelayMs = 100;

QString LevelTextAt(int position) {
  return QString::fromStdString(LevelText(kTopCode - position));
}

// The level edit only displays: a click's focus goes straight on to the page's parent, and Tab
// passes it by (taking the focus there would throw the keyboard out of the page).
class DisplayOnlyEdit : public QLineEdit {
 public:
  explicit DisplayOnlyEdit(QWidget* parent) : QLineEdit(parent) { setFocusPolicy(Qt::ClickFocus); }

 protected:
  void focusInEvent(QFocusEvent* event) override {
    QLineEdit::focusInEvent(event);
    QWidget* page = parentWidget();
    if (page != nullptr && page->parentWidget() != nullptr) page->parentWidget()->setFocus();
  }
};

}  // namespace

LevelSlider::LevelSlider(QWidget* parent) : QSlider(Qt::Vertical, parent) {
  setRange(0, kSliderMaximum);
  setPageStep(1);
  setSingleStep(1);
  setTickPosition(QSlider::NoTicks);
  // Position 0 at the top, and the Up key moves the thumb up.
  setInvertedAppearance(true);
  setInvertedControls(true);
  InstallPageAccessibility();
  connect(this, &QAbstractSlider::actionTriggered, this, [this] {
    setValue(sliderPosition());
    emit notified();
  });
}

void LevelSlider::MoveAsOperator(int position) {
  const int clamped = std::clamp(position, minimum(), maximum());
  if (clamped == value()) return;
  setValue(clamped);
  emit notified();
}

QString LevelSlider::ValueText() const {
  return valueText_ != nullptr ? valueText_->text() : QString();
}

void LevelSlider::mouseReleaseEvent(QMouseEvent* event) {
  const bool dragged = isSliderDown();
  QSlider::mouseReleaseEvent(event);
  if (event->button() != Qt::LeftButton) return;
  if (dragged) emit notified();  // the thumb's final position
  emit notified();               // end of track
}

void LevelSlider::keyReleaseEvent(QKeyEvent* event) {
  QSlider::keyReleaseEvent(event);
  switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
      if (!event->isAutoRepeat()) emit notified();  // end of track
      break;
    default:
      break;
  }
}

LevelPage::LevelPage(const PageContext& context, QWidget* parent)
    : EditorPage(kLevelTemplate, parent), context_(context) {
  SetBackgroundColor(kPageBackground);

  slider_ = new LevelSlider(this);
  PlaceControl(slider_, kLevelSliderId, 403, 46, 14, 108);
  slider_->setValue(kStartPosition);

  levelText_ = new DisplayOnlyEdit(this);
  PlaceControl(levelText_, kLevelEditId, 393, 32, 33, 12);
  levelText_->setAlignment(Qt::AlignCenter);
  levelText_->setText(LevelTextAt(kStartPosition));
  slider_->ShowValueIn(levelText_);
  slider_->setAccessibleName(QStringLiteral("Level (dB)"));
  levelText_->setAccessibleName(QStringLiteral("Level (dB)"));

  normal_ = new QRadioButton(QStringLiteral("Normal"), this);
  PlaceControl(normal_, kPhaseNormalId, 341, 32, 34, 8);
  inverse_ = new QRadioButton(QStringLiteral("Inverse"), this);
  PlaceControl(inverse_, kPhaseInverseId, 341, 43, 34, 8);
  normal_->setChecked(true);
  normal_->setAccessibleDescription(QStringLiteral("Phase"));
  inverse_->setAccessibleDescription(QStringLiteral("Phase"));
  // Reading order: the phase left of the level.
  setTabOrder(normal_, inverse_);
  setTabOrder(inverse_, slider_);

  graph_ = new GraphControl(this);

  connect(slider_, &LevelSlider::notified, this, &LevelPage::OnLevelNotified);
  // `clicked` also comes for the button that is checked already: the phase is sent again.
  connect(normal_, &QRadioButton::clicked, this, [this] { OnPhaseClicked(0); });
  connect(inverse_, &QRadioButton::clicked, this, [this] { OnPhaseClicked(1); });

  graphTimer_.setSingleShot(true);
  graphTimer_.setInterval(kGraphDelayMs);
  connect(&graphTimer_, &QTimer::timeout, this, &LevelPage::OnGraphTimer);
}

void LevelPage::LoadChannel(int channel) {
  if (channel < 0 || channel > 3) return;
  channel_ = channel;
  const ProgramParameters& p = context_.session.parameters;
  const int code = channel_ < 2 ? p.inputLevel[channel_] : p.outputLevel[channel_ - 2];
  // A stored code 0 (-90.5 dB) puts the slider at its bottom and shows -90.0 until it moves.
  slider_->setValue(kTopCode - code);
  levelText_->setText(LevelTextAt(slider_->value()));
  if (ShowsOutput()) {
    const bool inverse = p.outputPhase[channel_ - 2] == 1;
    inverse_->setChecked(inverse);
    normal_->setChecked(!inverse);
  }
  update();
}

void LevelPage::OnLevelNotified() {
  if (channel_ < 0 || channel_ > 3) return;
  ProgramParameters& p = context_.session.parameters;
  const int position = slider_->value();
  const int code = kTopCode - position;
  std::uint8_t& stored = channel_ < 2 ? p.inputLevel[channel_] : p.outputLevel[channel_ - 2];
  // Every notification on the LINE input is applied and sent, also when the level stayed.
  if (channel_ != 1 && position == kTopCode - stored) return;

  levelText_->setText(LevelTextAt(position));
  stored = static_cast<std::uint8_t>(code);
  if (!ShowsOutput()) DrawInputLevel();  // the output level is not part of the output curve
  // Level frames go out after a short pause, which keeps a dragged slider below ten a second;
  // nothing goes out while no unit is connected.
  if (ShowsOutput()) {
    context_.edits.SendEditAfterPause({Field::OutputLevel, channel_ - 2, 0});
  } else {
    context_.edits.SendEditAfterPause({Field::InputLevel, channel_, 0});
  }
}

void LevelPage::OnPhaseClicked(int phase) {
  if (!ShowsOutput()) return;
  CommitPhase(channel_ - 2, phase);
}

void LevelPage::CommitPhase(int output, int phase) {
  if (output < 0 || output >= kOutputCount || phase < 0 || phase > 1) return;
  context_.session.parameters.outputPhase[output] = static_cast<std::uint8_t>(phase);
  if (channel_ == output + 2) {
    inverse_->setChecked(phase == 1);
    normal_->setChecked(phase == 0);
  }
  context_.edits.SendEdit({Field::Phase, output, 0});
}

void LevelPage::ShowPhaseControls(bool shown) {
  normal_->setVisible(shown);
  inverse_->setVisible(shown);
}

void LevelPage::DrawInputLevel() {
  if (channel_ != 0 && channel_ != 1) return;
  {
    QPainter painter(&graph_->Canvas());
    graph::paint::DrawInputLevelGraph(painter, context_.background,
                                      context_.session.parameters.inputLevel[channel_],
                                      graph::paint::ChannelPenColor(channel_));
  }
  graph_->Present();
  graph::Curve level{};
  level.fill(LevelDb(context_.session.parameters.inputLevel[channel_]));
  graph_->Describe(level);
}

void LevelPage::DrawOutputResponse(int currentBand) {
  if (!ShowsOutput()) return;
  const int output = channel_ - 2;
  const ProgramParameters& p = context_.session.parameters;
  std::array<PeqBand, kOutputBands> bands{};
  for (int b = 0; b < kOutputBands; ++b)
    bands[static_cast<std::size_t>(b)] = p.outputPeq[b][output];
  const graph::PageCurves curves =
      graph::OutputPageCurves(p, output, context_.crossover.db[output]);
  {
    QPainter painter(&graph_->Canvas());
    graph::paint::DrawPeqGraph(painter, context_.background, bands, curves,
                               std::clamp(currentBand, 0, kOutputBands - 1),
                               graph::kOutputPixelsPerDb, graph::paint::ChannelPenColor(channel_));
  }
  graph_->Present();
  graph_->Describe(curves.sum);
}

void LevelPage::OnGraphTimer() {
  if (ShowsOutput()) {
    const int output = channel_ - 2;
    graph::ComputeCrossover(context_.session.parameters.crossover[output],
                            context_.crossover.db[output]);
    DrawOutputResponse(context_.selection.outputPeqBand - 1);
  } else {
    DrawInputLevel();
  }
}

void LevelPage::paintEvent(QPaintEvent* /*event*/) {
  if (channel_ < 0 || channel_ > 3) return;
  QPainter painter(this);
  PaintTitleBand(painter, 0, 0, 922, 16);
  static constexpr std::array<const char*, 4> kTitles = {"MIC INPUT LEVEL", "LINE INPUT LEVEL",
                                                         "HIGH OUTPUT LEVEL", "LOW OUTPUT LEVEL"};
  static constexpr std::array<int, 4> kTitleX = {750, 740, 740, 730};
  const auto c = static_cast<std::size_t>(channel_);
  PaintText(painter, kTitleX[c], 1, kTitles[c], Qt::white);
  if (ShowsOutput()) PaintText(painter, 675, 40, "Phase:", Qt::black);
  struct Mark {
    int y;
    const char* text;
  };
  static constexpr std::array<Mark, 9> kScale = {{{40, "Level (dB)"},
                                                  {100, "+12-"},
                                                  {121, "  0-"},
                                                  {142, "-12-"},
                                                  {186, "-36-"},
                                                  {209, "-48-"},
                                                  {230, "-60-"},
                                                  {252, "-72-"},
                                                  {285, "-90-"}}};
  for (const Mark& mark : kScale) PaintText(painter, 780, mark.y, mark.text, Qt::black);
  PaintAxisLabels(painter);
  graphTimer_.start();
}

}  // namespace corvella::pages
