// Tools > System Response: what comes out of the loudspeaker, HIGH and LOW through every block of
// their chains and added with their phase, level, polarity and delay, optionally acting on measured
// drivers. It follows the pages' edits as they are made, proposes a time alignment and applies it
// through the delay and level pages, so it reaches a connected unit the way their own edits do.
#pragma once

#include <QString>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>
#include <utility>

#include "graph/alignment.h"
#include "graph/driver_response.h"
#include "graph/system_response.h"
#include "model/program_parameters.h"

class QComboBox;
class QLabel;
class QPushButton;

namespace corvella::graph::chart {
class SystemChartPanes;
}

namespace corvella::app {

class MainView;

// How often the window looks for a changed parameter set while it is shown: quick enough to feel
// live while a spinner is dragged, and a 168-byte comparison costs nothing.
inline constexpr int kSystemFollowMs = 40;
// Points of the curves: 1/48 octave from 10 Hz to 24 kHz.
inline constexpr int kSystemPointsPerOctave = 48;

class SystemResponseWindow : public QWidget {
  Q_OBJECT

 public:
  // A file the operator chose (an empty path when cancelled) and the filter it was chosen under.
  // Not explicit: a chooser that knows no filter returns the path alone.
  struct ChosenFile {
    ChosenFile(QString chosenPath, QString chosenFilter = {})
        : path(std::move(chosenPath)), filter(std::move(chosenFilter)) {}
    QString path;
    QString filter;
  };
  // Asks for a file: (caption, filter list, forSaving) -> the file.
  using FileChooser = std::function<ChosenFile(const QString&, const QString&, bool)>;

  SystemResponseWindow(MainView& view, QWidget* parent);
  ~SystemResponseWindow() override;

  graph::chart::SystemChartPanes* Panes() const { return panes_; }
  QComboBox* InputChoice() const { return input_; }
  QPushButton* LoadDriverButton(Output output) const {
    return loadButtons_[output == Output::High ? 0 : 1];
  }
  QPushButton* SuggestButton() const { return suggest_; }
  QPushButton* ApplyButton() const { return apply_; }
  QPushButton* ExportButton() const { return export_; }
  QLabel* ProposalLabel() const { return proposal_; }
  const std::optional<graph::AlignmentSuggestion>& Proposal() const { return suggestion_; }
  // Replaces the file dialogs (tests answer them this way).
  void SetFileChooser(FileChooser chooser) { chooser_ = std::move(chooser); }

  // Recomputes every curve from the parameter set as it is now.
  void Recompute();
  // Recomputes when the set changed since the last look; true when it had.
  bool FollowEdits();
  // Reads a driver's file; a file that cannot be taken is reported and the driver kept as it was.
  bool LoadDriver(Output output, const QString& path);
  void SuggestAlignment();
  void ApplyAlignment();
  // PNG, SVG or CSV by the name's extension, written whole or not at all.
  bool Export(const QString& path);

  // Where the window opens: where the operator last left it (kept between runs), else beside
  // `mainFrame` within `available` where there is room, else at the right of `available`, where
  // it hides the least of the main view's pages, which start at its left.
  void Place(const QRect& mainFrame, const QRect& available);
  // Keeps the window's place and size for the next time it opens.
  void RememberPlace() const;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  void closeEvent(QCloseEvent* event) override;
  // Escape closes the window, as it closes a dialog.
  void keyPressEvent(QKeyEvent* event) override;

 private:
  graph::SystemSetup Setup() const;
  // The curves' frequencies with the drivers worked out on them, again after a driver changes.
  void RebuildGrid();
  void AskAndLoadDriver(Output output);
  void AskAndExport();
  void ForgetProposal();
  void UpdateDriverLabels();

  MainView& view_;
  graph::chart::SystemChartPanes* panes_;
  QComboBox* input_;
  std::array<QPushButton*, 2> loadButtons_{};
  std::array<QLabel*, 2> driverLabels_{};
  std::array<std::optional<graph::DriverResponse>, 2> drivers_;
  std::array<QString, 2> driverNames_;
  std::optional<graph::SystemGrid> grid_;
  QPushButton* suggest_;
  QPushButton* apply_;
  QPushButton* export_;
  QLabel* proposal_;
  std::optional<graph::AlignmentSuggestion> suggestion_;
  ProgramParameters shown_{};
  QTimer follow_;
  FileChooser chooser_;
};

}  // namespace corvella::app
