#include "pages/crossover_page.h"

#include <QPaintEvent>
#include <algorithm>
#include <utility>

#include "graph/crossover_response.h"
#include "graph/paint/graph_painter.h"
#include "model/value_input.h"
#include "pages/page_set.h"

namespace corvella::pages {

namespace {

// The HPF bar's position is 121 - code (position 121 is Off); the LPF bar's is 122 - code
// (position 0 is Off). Either way moving the thumb up raises the frequency.
constexpr int kBarMaximum = 121;
constexpr int HpfCodeAt(int position) {
  return 121 - position;
}
constexpr int LpfCodeAt(int position) {
  return 122 - position;
}

constexpr int kGraphDelayMs = 100;

QComboBox* MakeTypeList(QWidget* page, int id, int y) {
  auto* list = new QComboBox(page);
  PlaceControl(list, id, 362, y, 80, 13);
  for (std::string_view text : kCrossoverTypeTexts) {
    list->addItem(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
  }
  list->setCurrentIndex(2);  // "-24dB Butterworth"
  return list;
}

FilteredEdit* MakeFrequencyEdit(QWidget* page, int id, int y) {
  auto* edit = new FilteredEdit(page);
  PlaceControl(edit, id, 372, y, 50, 13);
  edit->setReadOnly(true);
  edit->setAlignment(Qt::AlignCenter);
  edit->SetLimitText(5);
  return edit;
}

QString ToQString(const std::string& text) {
  return QString::fromStdString(text);
}

}  // namespace

CrossoverPage::CrossoverPage(const PageContext& context, QWidget* parent)
    : EditorPage(kCrossoverTemplate, parent), context_(context) {
  SetBackgroundColor(kPageBackground);

  hpfType_ = MakeTypeList(this, kHpfTypeListId, 28);
  hpfText_ = MakeFrequencyEdit(this, kHpfFrequencyEditId, 59);
  hpfBar_ = new SpinBar(1, kBarMaximum, 40, this);
  PlaceControl(hpfBar_, kHpfFrequencyBarId, 423, 59, 11, 13);
  hpfText_->setText(ToQString(HpfFrequencyText(HpfCodeAt(40))));

  lpfType_ = MakeTypeList(this, kLpfTypeListId, 106);
  lpfText_ = MakeFrequencyEdit(this, kLpfFrequencyEditId, 138);
  lpfBar_ = new SpinBar(0, kBarMaximum, 0, this);
  PlaceControl(lpfBar_, kLpfFrequencyBarId, 423, 138, 11, 13);
  lpfText_->setText(ToQString(LpfFrequencyText(LpfCodeAt(0))));

  hpfBar_->AddBuddy(hpfText_);
  lpfBar_->AddBuddy(lpfText_);
  // The painted labels beside them, with the filter they belong to.
  for (const auto& [control, name] :
       std::initializer_list<std::pair<QWidget*, const char*>>{{hpfType_, "HPF Filter Type"},
                                                               {hpfText_, "HPF Frequency"},
                                                               {hpfBar_, "HPF Frequency"},
                                                               {lpfType_, "LPF Filter Type"},
                                                               {lpfText_, "LPF Frequency"},
                                                               {lpfBar_, "LPF Frequency"}}) {
    control->setAccessibleName(QString::fromLatin1(name));
  }
  // On Linux a list's name is the type it shows; what it chooses is its description.
  hpfType_->setAccessibleDescription(hpfType_->accessibleName());
  lpfType_->setAccessibleDescription(lpfType_->accessibleName());
  graph_ = new GraphControl(this);

  // `activated` is the operator's choice only, also when the same type is chosen again.
  connect(hpfType_, &QComboBox::activated, this, [this](int i) { OnTypeSelected(true, i); });
  connect(lpfType_, &QComboBox::activated, this, [this](int i) { OnTypeSelected(false, i); });
  connect(hpfBar_, &SpinBar::scrolled, this,
          [this](SpinBar::Code code) { OnFrequencyScrolled(true, code); });
  connect(lpfBar_, &SpinBar::scrolled, this,
          [this](SpinBar::Code code) { OnFrequencyScrolled(false, code); });

  graphTimer_.setSingleShot(true);
  graphTimer_.setInterval(kGraphDelayMs);
  connect(&graphTimer_, &QTimer::timeout, this, [this] { DrawResponse(true); });
}

CrossoverSettings& CrossoverPage::Settings() {
  return context_.session.parameters.crossover[channel_];
}

void CrossoverPage::LoadChannel(int channel) {
  if (channel < 0 || channel >= kOutputCount) return;
  channel_ = channel;
  const CrossoverSettings& x = Settings();
  hpfBar_->setRange(0, kBarMaximum);
  lpfBar_->setRange(0, kBarMaximum);
  // A type past the list (an unrepaired image) selects nothing rather than a wrong type.
  hpfType_->setCurrentIndex(x.hpfType < graph::kCrossoverTypeCount ? x.hpfType : -1);
  lpfType_->setCurrentIndex(x.lpfType < graph::kCrossoverTypeCount ? x.lpfType : -1);
  hpfText_->setText(ToQString(HpfFrequencyText(x.hpfFrequency)));
  hpfBar_->setValue(kBarMaximum - x.hpfFrequency);
  lpfText_->setText(ToQString(LpfFrequencyText(x.lpfFrequency)));
  lpfBar_->setValue(122 - x.lpfFrequency);
  update();
}

void CrossoverPage::OnTypeSelected(bool hpf, int index) {
  if (index < 0) return;
  const auto type = static_cast<std::uint8_t>(index);
  (hpf ? Settings().hpfType : Settings().lpfType) = type;
  DrawResponse(true);
  context_.edits.SendEdit({hpf ? Field::HpfType : Field::LpfType, channel_, 0});
}

void CrossoverPage::OnFrequencyScrolled(bool hpf, SpinBar::Code code) {
  // Dragging only moves the thumb; its release applies the final position.
  if (code == SpinBar::Code::ThumbTrack) return;
  SpinBar* bar = hpf ? hpfBar_ : lpfBar_;
  const int position = bar->value();
  const int frequency = hpf ? HpfCodeAt(position) : LpfCodeAt(position);
  // Judged against the shown output's stored cut-off, so a step is never lost to a code some
  // earlier scroll, another output or a load left behind.
  std::uint8_t& stored = hpf ? Settings().hpfFrequency : Settings().lpfFrequency;
  if (frequency == stored) return;
  stored = static_cast<std::uint8_t>(frequency);
  if (hpf) {
    hpfText_->setText(ToQString(HpfFrequencyText(frequency)));
  } else {
    lpfText_->setText(ToQString(LpfFrequencyText(frequency)));
  }
  DrawResponse(true);
  context_.edits.SendEdit({hpf ? Field::HpfFrequency : Field::LpfFrequency, channel_, 0});
}

void CrossoverPage::DrawResponse(bool draw) {
  double* db = context_.crossover.db[channel_];
  graph::ComputeCrossover(Settings(), db);
  if (!draw) return;
  {
    QPainter painter(&graph_->Canvas());
    graph::paint::DrawCrossoverGraph(painter, context_.background, Settings(), db,
                                     graph::paint::ChannelPenColor(channel_));
  }
  graph_->Present();
  graph::Curve shown{};
  std::copy(db, db + graph::kGraphPoints, shown.begin());
  graph_->Describe(shown);
}

void CrossoverPage::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  PaintTitleBand(painter, 0, 0, 922, 16);
  PaintTitleBand(painter, 700, 160, 922, 176);
  const bool high = channel_ == 0;
  PaintText(painter, high ? 775 : 765, 1, high ? "HIGH HPF" : "LOW HPF", Qt::white);
  PaintText(painter, high ? 775 : 765, 161, high ? "HIGH LPF" : "LOW LPF", Qt::white);
  PaintText(painter, 765, 35, "Filter Type", Qt::black);
  PaintText(painter, 765, 95, "Frequency", Qt::black);
  PaintText(painter, 765, 190, "Filter Type", Qt::black);
  PaintText(painter, 765, 255, "Frequency", Qt::black);
  PaintAxisLabels(painter);
  graphTimer_.start();
}

}  // namespace corvella::pages
