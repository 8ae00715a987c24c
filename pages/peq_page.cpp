#include "pages/peq_page.h"

#include <QComboBox>
#include <QPaintEvent>
#include <QPainter>
#include <vector>

#include "graph/page_curves.h"
#include "graph/paint/graph_painter.h"
#include "model/scales.h"
#include "model/value_input.h"
#include "pages/drawn_button.h"
#include "pages/filtered_edit.h"
#include "pages/page_decor.h"
#include "pages/spin_bar.h"

namespace corvella::pages {
namespace {

constexpr int kBandGroup = 1;
constexpr int kBandButtonX = 700;
constexpr QSize kBandButtonSize{44, 28};
constexpr int kControlX = 770;
constexpr int kEditWidth = 100;
constexpr int kRowHeight = 24;
constexpr int kBarWidth = 22;
constexpr int kTypeListWidth = 150;
constexpr int kLabelToControl = 18;

QString ToQString(const std::string& text) {
  return QString::fromStdString(text);
}
QString ToQString(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString GainText(int code) {
  return ToQString(EqGainText(code)) + ToQString(kGainUnit);
}

QString FrequencyTextOf(int code) {
  return ToQString(FrequencyCodeText(code));
}
QString QTextOf(int code) {
  return ToQString(QText(code));
}

}  // namespace

PeqPage::PeqPage(const PeqPageLayout& layout, const PageContext& context, QWidget* parent)
    : EditorPage(layout.templateId, parent), layout_(layout), context_(context) {
  SetBackgroundColor(kPageBackground);
  rows_ = {{
      {Field::Frequency, &PeqBand::frequency, 1, &ParseFrequencyText, &FrequencyTextOf},
      {Field::Q, &PeqBand::q, 0, &ParseQText, &QTextOf},
      {Field::Gain, &PeqBand::gain, 0, &ParseEqGainText, &GainText},
  }};

  const int buttonStep = layout_.bandCount > 2 ? 38 : 40;
  const int buttonTop = layout_.filterLabelY + 20;
  for (int b = 0; b < layout_.bandCount; ++b) {
    auto* button =
        new DrawnButton(QString::number(b + 1), layout_.firstBandButton + b, kBandGroup, this);
    button->setAccessibleName(QStringLiteral("Band %1").arg(b + 1));
    button->setGeometry(QRect(QPoint(kBandButtonX, buttonTop + b * buttonStep), kBandButtonSize));
    connect(button, &DrawnButton::commandSent, this, &PeqPage::OnBandCommand);
    button->SetCheck(b == 0);
  }

  typeList_ = new QComboBox(this);
  typeList_->setObjectName(ControlName(layout_.typeList));
  // On Linux a list's name is the type it shows; what it chooses is its description.
  typeList_->setAccessibleName(QStringLiteral("Type"));
  typeList_->setAccessibleDescription(QStringLiteral("Type"));
  for (const char* text : kPeqTypeTexts) typeList_->addItem(QString::fromLatin1(text));
  typeList_->setCurrentIndex(0);
  typeList_->setGeometry(kControlX, layout_.labelRows[0] + kLabelToControl, kTypeListWidth,
                         kRowHeight);
  connect(typeList_, &QComboBox::activated, this, &PeqPage::OnTypeSelected);

  const std::array<int, 3> editIds = {layout_.frequencyEdit, layout_.qEdit, layout_.gainEdit};
  const std::array<int, 3> barIds = {layout_.frequencyBar, layout_.qBar, layout_.gainBar};
  const std::array<int, 3> maxima = {kFrequencyBarMax, kQBarMax, kGainBarMax};
  const std::array<int, 3> starts = {kFrequencyBarStart, kQBarStart, kGainBarStart};
  // The painted labels above them.
  const std::array<QString, 3> names = {
      QStringLiteral("Frequency"), QStringLiteral("Q-Factor(Bandwidth)"), QStringLiteral("Level")};
  const std::array<QString, 3> texts = {QString::fromLatin1(layout_.initialFrequencyText),
                                        QTextOf(46), GainText(24)};
  // Each edit lets through only what its value can contain, picked when it gains the focus.
  const std::array<std::uint8_t, 3> modes = {kFilterFrequency, kFilterQ, kFilterGain};
  for (std::size_t r = 0; r < rows_.size(); ++r) {
    ValueRow& row = rows_[r];
    row.edit = new FilteredEdit(this);
    row.edit->setObjectName(ControlName(editIds[r]));
    row.edit->SetLimitText(kPeqEditLimit);
    row.edit->setText(texts[r]);
    row.bar = new SpinBar(0, maxima[r], starts[r], this);
    row.bar->setObjectName(ControlName(barIds[r]));
    row.edit->setAccessibleName(names[r]);
    row.bar->setAccessibleName(names[r]);
    const int y = layout_.labelRows[r + 1] + kLabelToControl;
    row.edit->setGeometry(kControlX, y, kEditWidth, kRowHeight);
    row.bar->setGeometry(kControlX + kEditWidth, y, kBarWidth, kRowHeight);
    row.bar->AddBuddy(row.edit);

    FilteredEdit* edit = row.edit;
    const std::uint8_t mode = modes[r];
    connect(edit, &FilteredEdit::focusGained, this, [edit, mode] { edit->filterMode = mode; });
    connect(edit, &FilteredEdit::focusLost, this, [this, &row] { CommitEdit(row); });
    // Arrows and the released thumb act; dragging the thumb only moves it.
    connect(row.bar, &SpinBar::scrolled, this, [this, &row](SpinBar::Code code) {
      if (code != SpinBar::Code::ThumbTrack) ApplyScroll(row);
    });
  }

  graph_ = new GraphControl(this);

  paintTimer_.setSingleShot(true);
  paintTimer_.setInterval(kPaintTimerMs);
  connect(&paintTimer_, &QTimer::timeout, this, &PeqPage::OnPaintTimer);
}

PeqBand& PeqPage::StoredBand(int band0, int channel) const {
  ProgramParameters& p = context_.session.parameters;
  const auto b = static_cast<std::size_t>(std::clamp(band0, 0, layout_.bandCount - 1));
  const auto c = static_cast<std::size_t>(std::clamp(channel, 0, 1));
  return layout_.output ? p.outputPeq[b][c] : p.inputPeq[b][c];
}

void PeqPage::ShowBand(int band, int channel) {
  const PeqBand& stored = StoredBand(band - 1, channel);
  typeList_->setCurrentIndex(stored.type < kPeqTypeTexts.size() ? stored.type : -1);
  for (ValueRow& row : rows_) {
    const int code = stored.*row.code;
    row.edit->setText(row.text(code));
    row.bar->setValue(row.bar->maximum() + row.codeOffset - code);
  }
  UpdateEnables();
}

void PeqPage::LoadChannel(int channel) {
  channel_ = std::clamp(channel, 0, 1);
  update();
  ShowBand(band_, channel_);
}

void PeqPage::UpdateEnables() {
  const int type = StoredBand(band_ - 1, channel_).type;
  const bool any = type != 0;
  const bool shelf = type == 3 || type == 4;   // no Q
  const bool noGain = type == 2 || type == 5;  // bandpass, notch
  const std::array<bool, 3> used = {any, any && !shelf, any && !noGain};
  for (std::size_t r = 0; r < rows_.size(); ++r) {
    rows_[r].edit->setEnabled(used[r]);
    rows_[r].bar->setEnabled(used[r]);
  }
}

void PeqPage::DrawPeqResponse(int currentBand) {
  const ProgramParameters& p = context_.session.parameters;
  std::vector<PeqBand> bands;
  for (int b = 0; b < layout_.bandCount; ++b) bands.push_back(StoredBand(b, channel_));
  const graph::PageCurves curves =
      layout_.output ? graph::OutputPageCurves(
                         p, channel_, context_.crossover.db[static_cast<std::size_t>(channel_)])
                   : graph::InputPageCurves(p, channel_);
  {
    QPainter painter(&graph_->Canvas());
    graph::paint::DrawPeqGraph(painter, context_.background, bands, curves, currentBand,
                               layout_.pixelsPerDb, graph::paint::ChannelPenColor(channel_));
  }
  graph_->Present();
  graph_->Describe(curves.sum);
}

void PeqPage::OnPaintTimer() {
  DrawPeqResponse(band_ - 1);
}

void PeqPage::OnBandCommand(int id) {
  const int band = id - layout_.firstBandButton + 1;
  if (band == band_ || band < 1 || band > layout_.bandCount) return;
  // Taking the focus first lets an edit being left commit to the band it belongs to.
  typeList_->setFocus(Qt::OtherFocusReason);
  band_ = band;
  if (layout_.output) {
    context_.selection.outputPeqBand = band_;
    DrawPeqResponse(band_ - 1);
    ShowBand(band_, channel_);
  } else {
    ShowBand(band_, channel_);
    DrawPeqResponse(band_ - 1);
  }
  UpdateEnables();
}

void PeqPage::OnTypeSelected(int index) {
  if (index < 0) return;
  StoredBand(band_ - 1, channel_).type = static_cast<std::uint8_t>(index);
  UpdateEnables();
  Commit(Field::Type);
}

void PeqPage::CommitEdit(ValueRow& row) {
  // An edit loses the focus also when it is disabled under it (a reload, a type set to None);
  // nothing can have been typed into it then, so there is nothing to commit or send.
  if (!row.edit->isEnabled()) return;
  const std::string typed = row.edit->text().toStdString();
  const ParsedEdit parsed = row.parse(typed);
  if (!HoldsValue(parsed, typed)) {
    // An emptied or number-less edit is no value: it must not become the lowest one and be sent.
    const int stored = StoredBand(band_ - 1, channel_).*row.code;
    row.edit->setText(row.text(stored));
    row.bar->setValue(row.bar->maximum() + row.codeOffset - stored);
    return;
  }
  row.bar->setValue(row.bar->maximum() + row.codeOffset - parsed.code);
  row.edit->setText(ToQString(parsed.text));
  StoredBand(band_ - 1, channel_).*row.code = static_cast<std::uint8_t>(parsed.code);
  Commit(row.field);
}

void PeqPage::ApplyScroll(ValueRow& row) {
  // Judged against the band's stored code, which typing, a channel switch, a load or an upload may
  // have changed since the bar last moved; a step to any other code is applied and sent.
  const int code = row.bar->maximum() - row.bar->sliderPosition() + row.codeOffset;
  std::uint8_t& stored = StoredBand(band_ - 1, channel_).*row.code;
  if (code == stored) return;
  row.edit->setText(row.text(code));
  stored = static_cast<std::uint8_t>(code);
  Commit(row.field);
}

void PeqPage::Commit(Field field) {
  DrawPeqResponse(band_ - 1);
  corvella::Field stored = layout_.typeField;
  switch (field) {
    case Field::Type:
      stored = layout_.typeField;
      break;
    case Field::Frequency:
      stored = layout_.frequencyField;
      break;
    case Field::Gain:
      stored = layout_.gainField;
      break;
    case Field::Q:
      stored = layout_.qField;
      break;
  }
  context_.edits.SendEdit({stored, channel_, band_ - 1});
}

void PeqPage::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  PaintTitleBand(painter, 0, 0, kPageWidth, 16);
  PaintText(painter, layout_.titlePositions[channel_].x(), layout_.titlePositions[channel_].y(),
            QString::fromLatin1(layout_.titles[channel_]), Qt::white);
  PaintText(painter, 705, layout_.filterLabelY, QStringLiteral("Filter"), Qt::black);
  const std::array<QString, 4> labels = {QStringLiteral("Type:"), QStringLiteral("Frequency:"),
                                         QStringLiteral("Q-Factor(Bandwidth)"),
                                         QStringLiteral("Level:")};
  for (std::size_t r = 0; r < labels.size(); ++r) {
    PaintText(painter, kControlX, layout_.labelRows[r], labels[r], Qt::black);
  }
  PaintAxisLabels(painter);
  // The graph is drawn once the page has painted, over the fresh page. A repaint that only
  // serves a control (a blinking caret, a pressed button) leaves the graph as it is.
  if (event->rect().intersects(graph_->geometry())) paintTimer_.start();
}

}  // namespace corvella::pages
