#include "pages/page_set.h"

#include <QApplication>
#include <array>

#include "graph/crossover_response.h"
#include "pages/crossover_page.h"
#include "pages/delay_page.h"
#include "pages/input_peq_page.h"
#include "pages/level_page.h"
#include "pages/output_peq_page.h"

namespace corvella::pages {
namespace {

constexpr std::array<PageCommand, 13> kPageCommands = {{
    {1001, PageKind::InputPeq, 0, 0, -1, true},
    {1002, PageKind::InputPeq, 1, 1, -1, true},
    {1003, PageKind::Level, 0, 0, -1, false},
    {1004, PageKind::Level, 1, 1, -1, false},
    {1005, PageKind::Crossover, 0, -1, 0, true},
    {1006, PageKind::Crossover, 1, -1, 1, false},
    {1007, PageKind::OutputPeq, 0, -1, 0, true},
    {1008, PageKind::OutputPeq, 1, -1, 1, true},
    {1009, PageKind::Level, 2, -1, 0, false},
    {1010, PageKind::Level, 3, -1, 1, false},
    {1011, PageKind::DelayCompressor, 1, -1, 1, false},
    {1012, PageKind::DelayCompressor, 0, -1, 0, false},
    {1013, PageKind::DelayCompressor, -1, -1, -1, false},
}};

template <typename Page>
Page* Place(Page* page) {
  page->move(kPageX, kPageY);
  page->hide();
  return page;
}

}  // namespace

std::optional<PageCommand> FindPageCommand(int command) {
  if (command < kFirstPageCommand || command > kLastPageCommand) return std::nullopt;
  return kPageCommands[static_cast<std::size_t>(command - kFirstPageCommand)];
}

PageSet::PageSet(const PageContext& context, QWidget* parent)
    : context_(context),
      delay_(Place(new DelayCompressorPage(context_, parent))),
      inputPeq_(Place(new InputPeqPage(context_, parent))),
      outputPeq_(Place(new OutputPeqPage(context_, parent))),
      crossover_(Place(new CrossoverPage(context_, parent))),
      level_(Place(new LevelPage(context_, parent))) {}

QWidget* PageSet::Page(PageKind kind) const {
  switch (kind) {
    case PageKind::InputPeq:
      return inputPeq_;
    case PageKind::Level:
      return level_;
    case PageKind::Crossover:
      return crossover_;
    case PageKind::OutputPeq:
      return outputPeq_;
    case PageKind::DelayCompressor:
      return delay_;
  }
  return nullptr;
}

QWidget* PageSet::VisiblePage() const {
  for (QWidget* page :
       std::initializer_list<QWidget*>{delay_, inputPeq_, outputPeq_, crossover_, level_}) {
    if (!page->isHidden()) return page;
  }
  return nullptr;
}

bool PageSet::ShowPage(int command) {
  const std::optional<PageCommand> row = FindPageCommand(command);
  if (!row) return false;
  QWidget* target = Page(row->page);
  if (target->isHidden()) {
    for (QWidget* page :
         std::initializer_list<QWidget*>{delay_, inputPeq_, outputPeq_, crossover_, level_}) {
      page->hide();
    }
    target->show();
  }

  // A page shown for another channel is stored, repainted and reloaded for it. The page buttons
  // take no focus, so an edit may still hold a typed value: it is left first, and so commits to
  // the channel it was typed for instead of being overwritten by the one loaded next.
  const auto load = [channel = row->channel](auto* page) {
    if (channel < 0 || page->Channel() == channel) return;
    QWidget* focus = QApplication::focusWidget();
    if (focus != nullptr && page->isAncestorOf(focus) && page->parentWidget() != nullptr) {
      page->parentWidget()->setFocus(Qt::OtherFocusReason);
    }
    page->LoadChannel(channel);
    page->update();
  };
  switch (row->page) {
    case PageKind::InputPeq:
      load(inputPeq_);
      break;
    case PageKind::OutputPeq:
      load(outputPeq_);
      break;
    case PageKind::Crossover:
      load(crossover_);
      break;
    case PageKind::Level:
      load(level_);
      break;
    case PageKind::DelayCompressor:
      load(delay_);
      break;
  }

  if (row->takesFocus) static_cast<EditorPage*>(target)->TakeFocus();
  if (command == 1009 || command == 1010) level_->ShowPhaseControls(true);
  if (command == 1003 || command == 1004) level_->ShowPhaseControls(false);
  return true;
}

void PageSet::SetEditable(bool editable) {
  for (QWidget* page : std::initializer_list<QWidget*>{delay_, inputPeq_, outputPeq_, crossover_, level_})
    if (page->isEnabled() != editable) page->setEnabled(editable);
}

void PageSet::ReloadAllPages(link::ReloadForm /*form*/) {
  crossover_->LoadChannel(crossover_->Channel());
  inputPeq_->ShowBand(inputPeq_->Band(), inputPeq_->Channel());
  outputPeq_->ShowBand(outputPeq_->Band(), outputPeq_->Channel());
  // Before its first selection the level page has no channel to load.
  if (level_->Channel() != kLevelNoChannel) level_->LoadChannel(level_->Channel());
  delay_->LoadChannel(delay_->Channel());

  if (!crossover_->isHidden()) crossover_->DrawResponse(true);
  if (!inputPeq_->isHidden()) inputPeq_->DrawPeqResponse(inputPeq_->Band() - 1);
  // Whatever the form, an output curve is drawn with the crossover of the output it shows: the
  // table may still hold the other output's response, or the response before the change.
  if (!outputPeq_->isHidden()) {
    outputPeq_->RecomputeCrossover();
    outputPeq_->DrawPeqResponse(outputPeq_->Band() - 1);
  }
  if (!level_->isHidden()) {
    const int channel = level_->Channel();
    if (channel == 0 || channel == 1) {
      level_->DrawInputLevel();
    } else if (channel == 2 || channel == 3) {
      const auto output = static_cast<std::size_t>(channel - 2);
      graph::ComputeCrossover(context_.session.parameters.crossover[output],
                              context_.crossover.db[output]);
      level_->DrawOutputResponse(outputPeq_->Band() - 1);
    }
  }
}

}  // namespace corvella::pages
