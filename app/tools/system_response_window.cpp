#include "app/tools/system_response_window.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSettings>
#include <QVBoxLayout>
#include <algorithm>
#include <cstring>

#include "app/dialogs/prompts.h"
#include "app/tools/compare_dialog.h"
#include "app/tools/tuning_history.h"
#include "app/window/main_view.h"
#include "graph/chart/system_chart_panes.h"
#include "link/session.h"
#include "pages/delay_page.h"
#include "pages/level_page.h"
#include "pages/page_set.h"

namespace corvella::app {

namespace {

const QString kCaption = QStringLiteral("System Response");
const QString kPlaceKey = QStringLiteral("systemResponse/geometry");
const QString kExportFilter =
    QStringLiteral("PNG image (*.png);;SVG drawing (*.svg);;CSV table (*.csv)");
const QString kDriverFilter =
    QStringLiteral("Measurements (*.txt *.frd *.csv *.dat);;All files (*)");

std::size_t Index(Output output) {
  return output == Output::High ? 0u : 1u;
}

QString OutputName(Output output) {
  return output == Output::High ? QStringLiteral("HIGH") : QStringLiteral("LOW");
}

SystemResponseWindow::ChosenFile DefaultChooser(QWidget* parent, const QString& caption,
                                                const QString& filter, bool forSaving) {
  QString selected;
  QString path = forSaving
                     ? QFileDialog::getSaveFileName(parent, caption, QString(), filter, &selected)
                     : QFileDialog::getOpenFileName(parent, caption, QString(), filter, &selected);
  return {std::move(path), std::move(selected)};
}

// A name typed without an extension takes the one of the filter it was typed under
// ("PNG image (*.png)"): the operator has said which kind of file is wanted.
QString WithFilterSuffix(const QString& path, const QString& filter) {
  if (path.isEmpty() || !QFileInfo(path).suffix().isEmpty()) return path;
  static const QRegularExpression pattern(QStringLiteral("\\(\\*\\.(\\w+)"));
  const QRegularExpressionMatch match = pattern.match(filter);
  return match.hasMatch() ? path + QLatin1Char('.') + match.captured(1) : path;
}

// Writes through a QSaveFile: the target appears whole or keeps what it held.
bool WriteWhole(const QString& path, const std::function<bool(QIODevice&)>& write, QString& error) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) {
    error = file.errorString();
    return false;
  }
  if (!write(file)) {
    error = file.error() != QFileDevice::NoError ? file.errorString()
                                                 : QStringLiteral("the drawing could not be made");
    file.cancelWriting();
    return false;
  }
  if (!file.commit()) {
    error = file.errorString();
    return false;
  }
  return true;
}

}  // namespace

SystemResponseWindow::SystemResponseWindow(MainView& view, QWidget* parent)
    : QWidget(parent, Qt::Window), view_(view) {
  setWindowTitle(kCaption);
  setAttribute(Qt::WA_DeleteOnClose, false);
  resize(960, 760);

  auto* top = new QHBoxLayout();
  for (const Output output : {Output::High, Output::Low}) {
    auto* button =
        new QPushButton(QStringLiteral("Load %1 Driver...").arg(OutputName(output)), this);
    connect(button, &QPushButton::clicked, this, [this, output] { AskAndLoadDriver(output); });
    loadButtons_[Index(output)] = button;
    top->addWidget(button);
  }
  top->addSpacing(12);
  auto* inputCaption = new QLabel(QStringLiteral("Input:"), this);
  top->addWidget(inputCaption);
  input_ = new QComboBox(this);
  inputCaption->setBuddy(input_);
  input_->addItem(QStringLiteral("LINE"), static_cast<int>(Input::Line));
  input_->addItem(QStringLiteral("MIC"), static_cast<int>(Input::Mic));
  connect(input_, &QComboBox::currentIndexChanged, this, [this] {
    ForgetProposal();
    Recompute();
  });
  top->addWidget(input_);
  top->addStretch(1);
  suggest_ = new QPushButton(QStringLiteral("Suggest Alignment"), this);
  connect(suggest_, &QPushButton::clicked, this, &SystemResponseWindow::SuggestAlignment);
  top->addWidget(suggest_);
  export_ = new QPushButton(QStringLiteral("Export..."), this);
  connect(export_, &QPushButton::clicked, this, &SystemResponseWindow::AskAndExport);
  top->addWidget(export_);

  auto* drivers = new QHBoxLayout();
  for (std::size_t o = 0; o < 2; ++o) {
    driverLabels_[o] = new QLabel(this);
    drivers->addWidget(driverLabels_[o], 1);
  }

  auto* alignment = new QHBoxLayout();
  proposal_ = new QLabel(this);
  proposal_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  alignment->addWidget(proposal_, 1);
  apply_ = new QPushButton(QStringLiteral("Apply"), this);
  apply_->setEnabled(false);
  connect(apply_, &QPushButton::clicked, this, &SystemResponseWindow::ApplyAlignment);
  alignment->addWidget(apply_);

  panes_ = new graph::chart::SystemChartPanes(this);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addLayout(drivers);
  layout->addWidget(panes_, 1);
  layout->addLayout(alignment);

  follow_.setInterval(kSystemFollowMs);
  connect(&follow_, &QTimer::timeout, this, &SystemResponseWindow::FollowEdits);
  chooser_ = [this](const QString& caption, const QString& filter, bool forSaving) {
    return DefaultChooser(this, caption, filter, forSaving);
  };
  UpdateDriverLabels();
  Recompute();
}

SystemResponseWindow::~SystemResponseWindow() = default;

graph::SystemSetup SystemResponseWindow::Setup() const {
  graph::SystemSetup setup;
  setup.input = static_cast<Input>(input_->currentData().toInt());
  setup.highDriver = drivers_[0] ? &*drivers_[0] : nullptr;
  setup.lowDriver = drivers_[1] ? &*drivers_[1] : nullptr;
  return setup;
}

void SystemResponseWindow::RebuildGrid() {
  grid_.emplace(Setup(),
                graph::FractionalOctaveGrid(graph::kSystemLowestHz, graph::kSystemHighestHz,
                                            kSystemPointsPerOctave));
}

void SystemResponseWindow::Recompute() {
  shown_ = view_.session().parameters;
  if (!grid_) RebuildGrid();
  panes_->SetCurves(graph::ComputeSystemCurves(shown_, Setup().input, *grid_));
}

bool SystemResponseWindow::FollowEdits() {
  // The image has no padding (its layout is fixed byte for byte), so comparing bytes is exact.
  if (std::memcmp(&shown_, &view_.session().parameters, sizeof shown_) == 0) return false;
  ForgetProposal();
  Recompute();
  return true;
}

void SystemResponseWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  FollowEdits();
  follow_.start();
}

void SystemResponseWindow::hideEvent(QHideEvent* event) {
  follow_.stop();
  QWidget::hideEvent(event);
}

void SystemResponseWindow::closeEvent(QCloseEvent* event) {
  RememberPlace();
  QWidget::closeEvent(event);
}

void SystemResponseWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

void SystemResponseWindow::RememberPlace() const {
  QSettings settings(ToolsSettingsPath(), QSettings::IniFormat);
  settings.setValue(kPlaceKey, saveGeometry());
  settings.sync();
}

void SystemResponseWindow::Place(const QRect& mainFrame, const QRect& available) {
  const QSettings settings(ToolsSettingsPath(), QSettings::IniFormat);
  if (restoreGeometry(settings.value(kPlaceKey).toByteArray())) return;
  const QSize wanted = size().boundedTo(available.size());
  const int top =
      std::clamp(mainFrame.top(), available.top(), available.bottom() + 1 - wanted.height());
  QPoint at(mainFrame.right() + 1, top);
  if (at.x() + wanted.width() > available.right() + 1) {
    at.setX(mainFrame.left() - wanted.width());
    // No room on either side: the main window fills the screen's width.
    if (at.x() < available.left()) at = QPoint(available.right() + 1 - wanted.width(), top);
  }
  setGeometry(QRect(at, wanted));
}

void SystemResponseWindow::UpdateDriverLabels() {
  for (const Output output : {Output::High, Output::Low}) {
    const std::size_t o = Index(output);
    QString text = OutputName(output) + QStringLiteral(" driver: ");
    if (drivers_[o]) {
      text += QStringLiteral("%1 (%2 Hz - %3 Hz%4)")
                  .arg(driverNames_[o])
                  .arg(drivers_[o]->LowestHz(), 0, 'g', 4)
                  .arg(drivers_[o]->HighestHz(), 0, 'g', 5)
                  .arg(drivers_[o]->HasPhase() ? QString() : QStringLiteral(", no phase"));
    } else {
      text += QStringLiteral("flat (electrical response)");
    }
    driverLabels_[o]->setText(text);
  }
}

bool SystemResponseWindow::LoadDriver(Output output, const QString& path) {
  std::string error;
  auto driver = graph::DriverResponse::Load(path.toStdString(), error);
  if (!driver) {
    ShowError(this, QString::fromStdString(error), kCaption);
    return false;
  }
  const std::size_t o = Index(output);
  drivers_[o] = std::move(driver);
  driverNames_[o] = QFileInfo(path).fileName();
  RebuildGrid();
  UpdateDriverLabels();
  ForgetProposal();
  Recompute();
  return true;
}

void SystemResponseWindow::AskAndLoadDriver(Output output) {
  const QString path =
      chooser_(QStringLiteral("Load %1 Driver").arg(OutputName(output)), kDriverFilter, false).path;
  if (!path.isEmpty()) LoadDriver(output, path);
}

void SystemResponseWindow::ForgetProposal() {
  suggestion_.reset();
  apply_->setEnabled(false);
  proposal_->clear();
}

void SystemResponseWindow::SuggestAlignment() {
  FollowEdits();
  std::string error;
  suggestion_ = graph::SuggestAlignment(shown_, Setup(), error);
  if (!suggestion_) {
    apply_->setEnabled(false);
    proposal_->setText(QStringLiteral("No alignment: %1.").arg(QString::fromStdString(error)));
    return;
  }
  proposal_->setText(QString::fromStdString(graph::AlignmentText(*suggestion_)).trimmed());
  apply_->setEnabled(true);
}

void SystemResponseWindow::ApplyAlignment() {
  if (!suggestion_) return;
  const graph::AlignmentSuggestion s = *suggestion_;
  const int output = static_cast<int>(Index(s.output));
  pages::PageSet& pageSet = view_.pageSet();
  {
    // The delay and the polarity are undone together.
    const TuningHistory::Group step(view_.history(), StepKind::ApplyAlignment);
    // The pages show the values; the unit takes them as one list, each answer awaited in turn.
    view_.engine().GatherEdits();
    pageSet.DelayCompressor().CommitDelay(output, s.delaySteps);
    if (view_.session().parameters.outputPhase[output] != s.polarity) {
      pageSet.Level().CommitPhase(output, s.polarity);
    }
    view_.engine().SendGatheredEdits();
  }
  FollowEdits();
  proposal_->setText(
      QStringLiteral("Applied: %1")
          .arg(QString::fromStdString(graph::AlignmentText(s)).section(QLatin1Char('\n'), 0, 0)));
}

void SystemResponseWindow::AskAndExport() {
  const ChosenFile chosen = chooser_(QStringLiteral("Export System Response"), kExportFilter, true);
  if (!chosen.path.isEmpty()) Export(WithFilterSuffix(chosen.path, chosen.filter));
}

bool SystemResponseWindow::Export(const QString& path) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  QString error;
  bool written = false;
  if (suffix == QStringLiteral("csv")) {
    const std::string text = graph::SystemCsvText(panes_->Curves());
    written = WriteWhole(
        path,
        [&text](QIODevice& file) {
          return file.write(text.data(), static_cast<qint64>(text.size())) ==
                 static_cast<qint64>(text.size());
        },
        error);
  } else if (suffix == QStringLiteral("png")) {
    const QImage image = panes_->RenderImage(panes_->size(), devicePixelRatioF());
    written = WriteWhole(
        path, [&image](QIODevice& file) { return image.save(&file, "PNG"); }, error);
  } else if (suffix == QStringLiteral("svg")) {
    written = WriteWhole(
        path, [this](QIODevice& file) { return panes_->RenderSvg(file, panes_->size()); }, error);
  } else {
    error = QStringLiteral("the name must end in .png, .svg or .csv");
  }
  if (!written) ShowError(this, QStringLiteral("%1: %2").arg(path, error), kCaption);
  return written;
}

}  // namespace corvella::app
