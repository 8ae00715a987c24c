// The five editor pages of the main view: created once, hidden, at the page position; afterwards
// only shown, hidden and reloaded.
#pragma once

#include <QWidget>
#include <array>
#include <optional>

#include "link/link_view.h"
#include "pages/page_context.h"

namespace corvella::pages {

class InputPeqPage;
class OutputPeqPage;
class CrossoverPage;
class DelayCompressorPage;
class LevelPage;

// Template numbers of the pages.
inline constexpr int kDelayPageTemplate = 131;
inline constexpr int kInputPeqTemplate = 135;
inline constexpr int kCrossoverTemplate = 136;
inline constexpr int kOutputPeqTemplate = 137;
inline constexpr int kLevelTemplate = 138;

// Where the view places every page.
inline constexpr int kPageX = 20;
inline constexpr int kPageY = 275;

enum class PageKind { InputPeq, Level, Crossover, OutputPeq, DelayCompressor };

// The page-selection commands 1001..1013 of the view's page buttons.
inline constexpr int kFirstPageCommand = 1001;
inline constexpr int kLastPageCommand = 1013;

struct PageCommand {
  int command;
  PageKind page;
  int channel;        // the channel loaded into the page; -1: the page keeps its channel
  int inputChannel;   // the view's inputChannel after the command, -1: unchanged
  int outputChannel;  // the view's outputChannel after the command, -1: unchanged
  bool takesFocus;    // the page gets the keyboard focus
};

// The row of a page command, or nothing for a number outside 1001..1013.
std::optional<PageCommand> FindPageCommand(int command);

// What PageSet calls on the pages of the crossover, delay/compressor and level editors:
//   CrossoverPage(const PageContext&, QWidget* parent), int Channel() const,
//     void LoadChannel(int channel) (stores the channel, reloads the controls, sends nothing),
//     void DrawResponse(bool draw) (recomputes the channel's crossover; draws when asked);
//   DelayCompressorPage(const PageContext&, QWidget* parent), int Channel() const,
//     void LoadChannel(int channel);
//   LevelPage(const PageContext&, QWidget* parent), int Channel() const (5 until first loaded),
//     void LoadChannel(int channel), void DrawInputLevel(), void DrawOutputResponse(int band0),
//     void ShowPhaseControls(bool shown).
class PageSet {
 public:
  // Creates the pages as hidden children of `parent` at (20, 275), in the order 131, 135, 137,
  // 136, 138.
  PageSet(const PageContext& context, QWidget* parent);
  // The pages keep references into this object.
  PageSet(const PageSet&) = delete;
  PageSet& operator=(const PageSet&) = delete;

  // Steps 2 to 5 of a page command: show the page (hiding the others), load the command's channel
  // into it when it shows another one, give it the focus where the command does, and show or hide
  // the level page's phase controls. Setting inputChannel/outputChannel and redrawing the view's
  // labels stay with the view (FindPageCommand tells it what to set). False for an unknown command.
  bool ShowPage(int command);

  // Brings every page into line with the parameter set after the whole set changed, and redraws
  // the graph of the visible page. Invalidating the view's own area after a file load is the
  // view's.
  void ReloadAllPages(link::ReloadForm form);

  InputPeqPage& InputPeq() const { return *inputPeq_; }
  OutputPeqPage& OutputPeq() const { return *outputPeq_; }
  CrossoverPage& Crossover() const { return *crossover_; }
  DelayCompressorPage& DelayCompressor() const { return *delay_; }
  LevelPage& Level() const { return *level_; }
  QWidget* Page(PageKind kind) const;
  // While a chain of the link runs the pages take no edits: their controls are greyed, so nothing
  // typed is lost silently or sent into the middle of a transfer.
  void SetEditable(bool editable);
  // The page that is shown, or nullptr before the first command.
  QWidget* VisiblePage() const;

 private:
  PageContext context_;
  DelayCompressorPage* delay_;
  InputPeqPage* inputPeq_;
  OutputPeqPage* outputPeq_;
  CrossoverPage* crossover_;
  LevelPage* level_;
};

}  // namespace corvella::pages
