#include "app/tools/correction_window.h"

#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineSeries>
#include <QLogValueAxis>
#include <QPushButton>
#include <QSaveFile>
#include <QSpinBox>
#include <QVBoxLayout>
#include <QValueAxis>
#include <algorithm>
#include <cmath>

#include "app/dialogs/prompts.h"
#include "app/tools/tuning_history.h"
#include "app/window/main_view.h"
#include "graph/filter_import.h"
#include "link/session.h"
#include "model/filter_text.h"
#include "model/parameter_listing.h"
#include "model/scales.h"

namespace corvella::app {

namespace {

const QString kCaption = QStringLiteral("Correct From Measurement");
const QString kMeasurementFilter =
    QStringLiteral("Measurements (*.txt *.frd *.csv *.dat);;All files (*)");
const QString kFilterTextFilter = QStringLiteral("Filter text (*.txt);;All files (*)");
// Filter text is a few lines; anything much larger is not one.
constexpr qint64 kMaxFilterTextBytes = 1 << 20;

constexpr EqStage kStages[] = {EqStage::High, EqStage::Low, EqStage::InputMic, EqStage::InputLine};
const char* const kStageNames[] = {"HIGH output", "LOW output", "MIC input", "LINE input"};

QString BandText(const PeqBand& band) {
  QString text = QString::fromUtf8(PeqTypeName(band.type).data(),
                                   static_cast<int>(PeqTypeName(band.type).size()));
  if (band.type == 0) return text;
  return text +
         QStringLiteral(" %1%2 %3dB Q %4")
             .arg(QString::fromUtf8(FrequencyText(band.frequency).data(),
                                    static_cast<int>(FrequencyText(band.frequency).size())))
             .arg(QString::fromUtf8(FrequencyUnit(band.frequency).data(),
                                    static_cast<int>(FrequencyUnit(band.frequency).size())))
             .arg(QString::fromStdString(EqGainText(band.gain)))
             .arg(QString::fromUtf8(QText(band.q).data(), static_cast<int>(QText(band.q).size())));
}

QString FiguresText(const char* when, const graph::ResidualFigures& f) {
  return QStringLiteral("%1: RMS %2 dB, largest deviation %3 dB")
      .arg(QString::fromLatin1(when))
      .arg(f.rmsDb, 0, 'f', 2)
      .arg(f.maxDb, 0, 'f', 2);
}

QString DefaultChooser(QWidget* parent, const QString& caption, const QString& filter,
                       bool forSaving) {
  return forSaving ? QFileDialog::getSaveFileName(parent, caption, QString(), filter)
                   : QFileDialog::getOpenFileName(parent, caption, QString(), filter);
}

}  // namespace

CorrectionWindow::CorrectionWindow(MainView& view, QWidget* parent)
    : QWidget(parent, Qt::Window),
      view_(view),
      file_(new QLabel(QStringLiteral("No measurement"), this)),
      stage_(new QComboBox(this)),
      maxBoost_(new QDoubleSpinBox(this)),
      smoothing_(new QSpinBox(this)),
      apply_(new QPushButton(QStringLiteral("Apply"), this)),
      figures_(new QLabel(this)),
      chart_(new QChart()),
      chooser_([this](const QString& caption, const QString& filter, bool forSaving) {
        return DefaultChooser(this, caption, filter, forSaving);
      }) {
  setWindowTitle(kCaption);
  for (const char* name : kStageNames) stage_->addItem(QString::fromLatin1(name));
  maxBoost_->setRange(0.0, 12.0);
  maxBoost_->setSingleStep(0.5);
  maxBoost_->setDecimals(1);
  maxBoost_->setValue(6.0);
  maxBoost_->setSuffix(QStringLiteral(" dB"));
  smoothing_->setRange(0, 48);
  smoothing_->setValue(12);
  smoothing_->setPrefix(QStringLiteral("1/"));
  smoothing_->setSpecialValueText(QStringLiteral("none"));
  apply_->setEnabled(false);
  figures_->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* load = new QPushButton(QStringLiteral("Measurement..."), this);
  auto* importFilters = new QPushButton(QStringLiteral("Import Filters..."), this);
  auto* exportFilters = new QPushButton(QStringLiteral("Export Filters..."), this);
  connect(load, &QPushButton::clicked, this, &CorrectionWindow::AskAndLoadMeasurement);
  connect(importFilters, &QPushButton::clicked, this, &CorrectionWindow::AskAndImportFilters);
  connect(exportFilters, &QPushButton::clicked, this, &CorrectionWindow::AskAndExportFilters);
  connect(apply_, &QPushButton::clicked, this, &CorrectionWindow::Apply);
  connect(stage_, &QComboBox::currentIndexChanged, this, &CorrectionWindow::Refit);
  connect(maxBoost_, &QDoubleSpinBox::valueChanged, this, &CorrectionWindow::Refit);
  connect(smoothing_, &QSpinBox::valueChanged, this, [this] {
    if (measurement_) LoadMeasurement(QString());
  });

  const QStringList names = {QStringLiteral("Measured"), QStringLiteral("Predicted"),
                             QStringLiteral("Target")};
  auto* x = new QLogValueAxis();
  x->setBase(10.0);
  x->setRange(graph::kFitLowestHz, graph::kFitHighestHz);
  x->setLabelFormat(QStringLiteral("%g"));
  x->setTitleText(QStringLiteral("Hz"));
  auto* y = new QValueAxis();
  y->setTitleText(QStringLiteral("dB"));
  chart_->addAxis(x, Qt::AlignBottom);
  chart_->addAxis(y, Qt::AlignLeft);
  for (int i = 0; i < 3; ++i) {
    series_[static_cast<std::size_t>(i)] = new QLineSeries();
    series_[static_cast<std::size_t>(i)]->setName(names[i]);
    chart_->addSeries(series_[static_cast<std::size_t>(i)]);
    series_[static_cast<std::size_t>(i)]->attachAxis(x);
    series_[static_cast<std::size_t>(i)]->attachAxis(y);
  }
  auto* chartView = new QChartView(chart_, this);
  chartView->setRenderHint(QPainter::Antialiasing);
  chartView->setMinimumSize(560, 300);

  auto* controls = new QHBoxLayout();
  controls->addWidget(load);
  controls->addWidget(file_, 1);
  auto* form = new QFormLayout();
  form->addRow(QStringLiteral("Stage:"), stage_);
  form->addRow(QStringLiteral("Largest boost:"), maxBoost_);
  form->addRow(QStringLiteral("Smoothing (octave):"), smoothing_);
  auto* buttons = new QHBoxLayout();
  buttons->addWidget(importFilters);
  buttons->addWidget(exportFilters);
  buttons->addStretch(1);
  buttons->addWidget(apply_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(controls);
  layout->addLayout(form);
  layout->addWidget(chartView, 1);
  layout->addWidget(figures_);
  layout->addLayout(buttons);
}

EqStage CorrectionWindow::Stage() const {
  return kStages[std::clamp(stage_->currentIndex(), 0, 3)];
}

QLineSeries* CorrectionWindow::Series(int curve) const {
  return series_[static_cast<std::size_t>(std::clamp(curve, 0, 2))];
}

bool CorrectionWindow::LoadMeasurement(const QString& path) {
  if (!path.isEmpty()) {
    const MeasurementRead read = corvella::LoadMeasurement(path.toStdString());
    if (!read.measurement) {
      ShowError(this, QString::fromStdString(read.error), kCaption);
      return false;
    }
    measurement_ = *read.measurement;
    file_->setText(QFileInfo(path).fileName());
  }
  if (!measurement_) return false;
  graph::FitOptions options;
  options.smoothing = smoothing_->value();
  std::string error;
  target_ = graph::SmoothedOnGrid(*measurement_, options, error);
  if (!target_) {
    ShowError(this, QString::fromStdString(error), kCaption);
    fit_.reset();
    ShowCurves();
    return false;
  }
  Refit();
  return true;
}

void CorrectionWindow::AskAndLoadMeasurement() {
  const QString path = chooser_(QStringLiteral("Open Measurement"), kMeasurementFilter, false);
  if (!path.isEmpty()) LoadMeasurement(path);
}

void CorrectionWindow::Refit() {
  if (!target_) return;
  fit_ = graph::FitStage(*target_, StageBandCount(Stage()), maxBoost_->value());
  ShowCurves();
}

void CorrectionWindow::ShowCurves() {
  for (QLineSeries* s : series_) s->clear();
  apply_->setEnabled(fit_.has_value());
  if (!fit_ || !target_) {
    figures_->clear();
    return;
  }
  const std::vector<double> curve = graph::StageCurve(*target_, fit_->bands);
  const std::size_t n = target_->hz.size();
  double measuredMean = 0.0;
  double predictedMean = 0.0;
  for (std::size_t k = 0; k < n; ++k) {
    measuredMean += target_->db[k];
    predictedMean += target_->db[k] + curve[k];
  }
  measuredMean /= static_cast<double>(n);
  predictedMean /= static_cast<double>(n);
  double low = -1.0;
  double high = 1.0;
  for (std::size_t k = 0; k < n; ++k) {
    const double measured = target_->db[k] - measuredMean;
    const double predicted = target_->db[k] + curve[k] - predictedMean;
    series_[0]->append(target_->hz[k], measured);
    series_[1]->append(target_->hz[k], predicted);
    low = std::min({low, measured, predicted});
    high = std::max({high, measured, predicted});
  }
  series_[2]->append(target_->hz.front(), 0.0);
  series_[2]->append(target_->hz.back(), 0.0);
  chart_->axes(Qt::Vertical).front()->setRange(std::floor(low) - 1.0, std::ceil(high) + 1.0);

  QStringList lines = {FiguresText("Before", fit_->before), FiguresText("After", fit_->after)};
  for (std::size_t b = 0; b < fit_->bands.size(); ++b) {
    lines << QStringLiteral("Band %1: %2").arg(b + 1).arg(BandText(fit_->bands[b]));
  }
  figures_->setText(lines.join(QLatin1Char('\n')));
}

bool CorrectionWindow::PutIntoSet(const std::vector<PeqBand>& bands, StepKind kind) {
  // While a chain runs the unit could not be sent the bands; the set is left as it is.
  if (view_.engine().ChainRunning()) return false;
  ProgramParameters& p = view_.session().parameters;
  const ProgramParameters before = p;
  {
    const TuningHistory::Group step(view_.history(), kind);
    SetStageBands(p, Stage(), bands);
    view_.ReloadAllPages(link::ReloadForm::FileLoad);
  }
  std::vector<ParameterRef> refs;
  for (const ParameterDifference& d : DiffParameters(before, p)) refs.push_back(d.a.ref);
  // One list through the engine's queue, each edit acknowledged as a page's is.
  if (!refs.empty() && view_.session().link.linkConnected == 1) view_.controller().SendEdits(refs);
  return true;
}

void CorrectionWindow::Apply() {
  if (fit_) PutIntoSet(fit_->bands, StepKind::ApplyCorrection);
}

bool CorrectionWindow::ImportFilters(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly) || file.size() > kMaxFilterTextBytes) {
    ShowError(this, QStringLiteral("%1: cannot be read as filter text").arg(path), kCaption);
    return false;
  }
  const QByteArray bytes = file.readAll();
  const FilterTextRead read =
      ParseFilterText(std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
  std::string error = read.error;
  const auto imported = read.filters
                            ? graph::ImportFilters(*read.filters, StageBandCount(Stage()), error)
                            : std::nullopt;
  if (!imported) {
    ShowError(this, QStringLiteral("%1: %2").arg(path, QString::fromStdString(error)), kCaption);
    return false;
  }
  if (!PutIntoSet(imported->bands, StepKind::ImportFilters)) return false;
  QStringList lines;
  for (std::size_t i = 0; i < read.filters->size(); ++i) {
    const TextFilter& f = (*read.filters)[i];
    lines << QStringLiteral("Band %1: %2 Hz %3 dB Q %4 -> %5")
                 .arg(i + 1)
                 .arg(f.hz, 0, 'g', 6)
                 .arg(f.gainDb, 0, 'f', 1)
                 .arg(f.q, 0, 'g', 3)
                 .arg(BandText(imported->bands[i]));
  }
  lines << QStringLiteral("Largest curve difference: %1 dB")
               .arg(imported->largestDifferenceDb, 0, 'f', 2);
  figures_->setText(lines.join(QLatin1Char('\n')));
  return true;
}

bool CorrectionWindow::ExportFilters(const QString& path) {
  const std::string text = FilterText(StageBands(view_.session().parameters, Stage()));
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) ||
      file.write(text.data(), static_cast<qint64>(text.size())) !=
          static_cast<qint64>(text.size()) ||
      !file.commit()) {
    ShowError(this, QStringLiteral("%1: %2").arg(path, file.errorString()), kCaption);
    return false;
  }
  return true;
}

void CorrectionWindow::AskAndImportFilters() {
  const QString path = chooser_(QStringLiteral("Import Filters"), kFilterTextFilter, false);
  if (!path.isEmpty()) ImportFilters(path);
}

void CorrectionWindow::AskAndExportFilters() {
  const QString path = chooser_(QStringLiteral("Export Filters"), kFilterTextFilter, true);
  if (!path.isEmpty()) ExportFilters(path);
}

}  // namespace corvella::app
