// The main view: the header, the input and output labels, the shaped page buttons, the five editor
// pages, the status line and the progress panels. It is the link's user interface (LinkView) and a
// front end over the application core (the records, the engine, the operator's actions); it asks
// the operator and shows results. The port belongs to the caller.
#pragma once

#include <QFont>
#include <QImage>
#include <QRect>
#include <QWidget>
#include <array>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>

#include "app/qt/qt_timer_host.h"
#include "app/window/transfer_watch.h"
#include "core/unit_controller.h"
#include "graph/crossover_response.h"
#include "link/link_view.h"
#include "link/protocol_engine.h"
#include "link/session.h"
#include "model/parameters_file.h"
#include "pages/page_context.h"

namespace corvella::pages {
class PageSet;
}

namespace corvella::app {

// Where the header's program and device values are painted.
inline const QRect kHeaderRect(QPoint(20, 10), QPoint(999, 51));

class CompareDialog;
class ListProgramDialog;
class RegionButton;
class SearchDialog;
class StatusLineBar;
class StatusLineEdit;
class TransmitDialog;
class TuningHistory;

class MainView : public QWidget, public link::LinkView {
  Q_OBJECT

 public:
  // `portCount`: how many port numbers a device search walks.
  MainView(link::Port& port, int portCount, QWidget* parent = nullptr);
  ~MainView() override;

  Session& session() { return controller_->session(); }
  const Session& session() const { return controller_->session(); }
  link::ProtocolEngine& engine() { return controller_->engine(); }
  const link::ProtocolEngine& engine() const { return controller_->engine(); }
  core::UnitController& controller() { return *controller_; }
  pages::PageSet& pageSet() { return *pages_; }
  const pages::PageSelection& selection() const { return selection_; }
  StatusLineEdit* statusLine() const;
  SearchDialog* searchDialog() const { return search_; }
  TransmitDialog* transmitDialog() const { return transmit_; }
  ListProgramDialog* listDialog() const { return list_; }
  CompareDialog* compareDialog() const { return compare_; }
  RegionButton* pageButton(int command) const;
  const std::array<RegionButton*, 11>& pageButtons() const { return buttons_; }
  StatusLineBar* statusBar() const { return statusBar_; }
  const TransferWatch& transferWatch() const { return transferWatch_; }
  // Undo and redo of the PC's set, the A/B sets, and the file the set belongs to.
  TuningHistory& history() const { return *history_; }

  // The four header values as painted: program number, program name, device ID, device name.
  std::array<QString, 4> HeaderValues() const;
  // Whether the "LINE INPUT", "HIGH" and "LOW" labels are highlighted.
  bool LineLabelLit() const;
  bool OutputLabelLit(int output) const;

  // Runs a menu or page command.
  void OnCommand(int command);
  bool IsCommandEnabled(int command) const;
  // Whether a checked item (Verify After Download, Fast Transfer) shows its check.
  bool IsCommandChecked(int command) const;
  // Page commands 1001..1013.
  void ShowPage(int command);

  // File and Program menu commands.
  void OpenParametersFile();
  // File > Open on a name already chosen (the command line's file).
  void OpenParametersFileAt(const QString& path);
  void SaveParametersFile();
  void LoadFactoryDefault();
  void DisplayProgramNumber();
  void DisplayProgramName();
  void EditProgramName();
  void ListProgramAndRecall();
  void SaveProgramInDevice();
  void EditDeviceInformation();
  void ShowAbout();

  // Tools menu: the unit's program read aside and set beside the PC's.
  void CompareWithDevice();
  bool verifyAfterDownload() const { return verifyAfterDownload_; }
  void SetVerifyAfterDownload(bool on);
  // "Fast Transfer": the engine's switch, kept between runs.
  bool fastTransfer() const { return engine().FastTransfer(); }
  void SetFastTransfer(bool on);

  // Another front end over this core (the remote control) hears the engine's events too.
  struct Follower {
    std::function<void(link::Chain, link::Outcome)> chainEnded;
    std::function<void(const ParameterRef&, std::string_view, bool)> editAnswered;
    std::function<void()> linkStateChanged;
  };
  void SetFollower(Follower follower) { follower_ = std::move(follower); }
  // The pages and the header show the PC's set again, after it changed outside the pages.
  void ShowSet();

  // Where "factory default.asc" is looked for; by default beside the program, then the installed
  // data folder.
  void SetFactoryDefaultFolder(const std::filesystem::path& folder) {
    controller_->SetFactoryDefaultFolder(folder);
  }

  // LinkView
  void SetStatusText(std::string_view text) override;
  link::BoxAnswer ShowMessageBox(const link::MessageBoxRequest& box) override;
  void ShowRepairWarning() override;
  void ShowSearchDialog() override;
  void HideSearchDialog() override;
  std::optional<link::SelectChoice> RunSelectDialog(
      const std::vector<link::FoundDevice>& devices) override;
  void ShowTransmittingDialog() override;
  void HideTransmittingDialog() override;
  void RepaintHeader() override;
  void ReloadAllPages(link::ReloadForm form) override;
  void ShowProgramListLine(int n, std::string_view text, bool enableRecall) override;
  void ReleaseMouseCapture() override;
  void LinkStateChanged() override;
  void ChainEnded(link::Chain chain, link::Outcome outcome, std::string_view detail) override;
  void ProgressChanged(const link::Progress& progress) override;
  void ParameterEdited(const ParameterRef& ref) override;
  void EditAnswered(const ParameterRef& ref, std::string_view frame, bool right) override;

 signals:
  void linkStateChanged();
  void exitRequested();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void CreateButtons();
  void ShowTransferStep();
  // Why the unit is being read aside: the menu's comparison (the dialog always shows) or the
  // check after a download (the dialog shows only when something differs).
  enum class ReadPurpose { None, Compare, Verify };
  void ReadUnitFor(ReadPurpose purpose);
  // The comparison's part of a chain's end: show what was read, read again after sending, check
  // after a download.
  void FollowComparison(link::Chain chain, link::Outcome outcome);
  void ShowComparison(std::vector<ParameterDifference> differences, bool onlyWhenDifferent);
  void SendPcValues();
  void TakeDeviceValues();

  // The engine's timers, owned by the core.
  QtTimerHost* timers_;
  std::unique_ptr<core::UnitController> controller_;
  graph::CrossoverResponse crossover_{};
  pages::PageSelection selection_;
  QImage background_;
  QFont headerFont_;
  std::unique_ptr<pages::PageSet> pages_;
  std::array<RegionButton*, 11> buttons_{};
  StatusLineBar* statusBar_;
  SearchDialog* search_;
  TransmitDialog* transmit_;
  ListProgramDialog* list_;
  TransferWatch transferWatch_;
  CompareDialog* compare_ = nullptr;
  // The unit's program as the last comparison read it; "Take Device Values" takes this one.
  ProgramParameters unitProgram_{};
  ReadPurpose reading_ = ReadPurpose::None;
  bool sendingEdits_ = false;
  bool verifyAfterDownload_ = false;
  TuningHistory* history_ = nullptr;
  Follower follower_;
};

}  // namespace corvella::app
