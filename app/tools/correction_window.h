// Tools > Correct From Measurement...: a stage's bands fitted to a measured response on the
// unit's own steps, shown as measured, predicted and target curves with the residual's figures;
// "Apply" puts them into the PC's set as one undo step and, when connected, sends them to the
// unit as one list of edits. The stage's bands also go to and come from filter text here.
#pragma once

#include <QString>
#include <QWidget>
#include <array>
#include <functional>
#include <optional>
#include <vector>

#include "app/tools/undo_commands.h"
#include "graph/stepped_eq_fit.h"
#include "model/eq_stage.h"
#include "model/measurement_file.h"

class QChart;
class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QLineSeries;
class QPushButton;
class QSpinBox;

namespace corvella::app {

class MainView;

class CorrectionWindow : public QWidget {
  Q_OBJECT

 public:
  // Asks for a file name: (caption, filter, forSaving) -> path, empty when cancelled.
  using FileChooser = std::function<QString(const QString&, const QString&, bool)>;

  CorrectionWindow(MainView& view, QWidget* parent);

  void SetFileChooser(FileChooser chooser) { chooser_ = std::move(chooser); }
  QComboBox* StageChoice() const { return stage_; }
  QDoubleSpinBox* MaxBoost() const { return maxBoost_; }
  QSpinBox* Smoothing() const { return smoothing_; }
  QPushButton* ApplyButton() const { return apply_; }
  QLabel* FiguresLabel() const { return figures_; }
  // Measured, predicted and target, in that order.
  QLineSeries* Series(int curve) const;
  const std::optional<graph::StageFit>& Fit() const { return fit_; }
  EqStage Stage() const;

  // Reads a measurement; a file that cannot be read is reported and the one before kept.
  bool LoadMeasurement(const QString& path);
  // Fits the chosen stage to the measurement with the chosen limits and shows the result.
  void Refit();
  // The fitted bands into the PC's set (one undo step), and to the unit when connected; nothing
  // while a chain runs.
  void Apply();
  // The chosen stage's bands from filter text, snapped to the steps (one undo step, sent as
  // Apply sends), or to filter text.
  bool ImportFilters(const QString& path);
  bool ExportFilters(const QString& path);
  void AskAndImportFilters();
  void AskAndExportFilters();

 private:
  void AskAndLoadMeasurement();
  void ShowCurves();
  // `bands` become the stage's bands as one step of `kind`, sent when connected; nothing happens
  // while a chain runs.
  bool PutIntoSet(const std::vector<PeqBand>& bands, StepKind kind);

  MainView& view_;
  QLabel* file_;
  QComboBox* stage_;
  QDoubleSpinBox* maxBoost_;
  QSpinBox* smoothing_;
  QPushButton* apply_;
  QLabel* figures_;
  QChart* chart_;
  std::array<QLineSeries*, 3> series_{};
  std::optional<Measurement> measurement_;
  std::optional<graph::FitTarget> target_;
  std::optional<graph::StageFit> fit_;
  FileChooser chooser_;
};

}  // namespace corvella::app
