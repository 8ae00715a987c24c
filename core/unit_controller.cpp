#include "core/unit_controller.h"

#include <system_error>

#include "link/engine_timers.h"

namespace corvella::core {

UnitController::UnitController(link::Port& port, std::unique_ptr<link::TimerHost> timers,
                               link::LinkView& view, int portCount)
    : port_(port), view_(view), timers_(std::move(timers)) {
  engine_ = std::make_unique<link::ProtocolEngine>(session_, port_, *timers_, view_, portCount);
  timers_->SetClient(engine_.get());
  ResetParameters(session_.parameters, session_.programNameText);
}

UnitController::~UnitController() {
  // No tick and no received byte may reach the engine once it starts going.
  timers_->SetClient(nullptr);
  port_.Close();
  engine_.reset();
}

void UnitController::RepairAndReload(link::ReloadForm form) {
  if (RepairParameters(session_.parameters)) view_.ShowRepairWarning();
  view_.ReloadAllPages(form);
}

void UnitController::ReportFileFailure(const std::filesystem::path& path, const FileResult& result,
                                       std::string_view wrongLengthText,
                                       std::string_view wrongLengthCaption) {
  link::MessageBoxRequest box;
  box.icon = link::BoxIcon::Stop;
  switch (result.failure) {
    case FileFailure::None:
      return;
    case FileFailure::WrongLength:
      box.text = wrongLengthText;
      box.caption = wrongLengthCaption;
      break;
    case FileFailure::WriteFailed:
      box.text = kFileSaveFailedText;
      box.caption = kFileSaveFailedCaption;
      break;
    case FileFailure::OpenFailed:
    case FileFailure::ReadFailed:
    case FileFailure::CreateFailed:
      // The system's words alone ("No such file or directory") do not say which file.
      box.text = path.string() + ": " + result.systemText;
      box.textFromSystem = true;
      box.caption = kFileSystemErrorCaption;
      break;
  }
  (void)view_.ShowMessageBox(box);
}

FileResult UnitController::OpenParametersFile(const std::optional<std::filesystem::path>& path) {
  FileResult result;
  if (path) {
    result = LoadParametersFile(*path, session_.parameters);
    if (result.ok) {
      view_.SetStatusText(kFileOpenSuccessText);
      session_.programNameText = ProgramNameText(session_.parameters);
    } else {
      ReportFileFailure(*path, result, kFileInvalidText, kFileInvalidCaption);
    }
  }
  // Cancelling still brings the pages into line with the (repaired) set.
  RepairAndReload(link::ReloadForm::FileLoad);
  return result;
}

FileResult UnitController::SaveParametersFile(const std::filesystem::path& path) {
  const FileResult result = corvella::SaveParametersFile(path, session_.parameters);
  if (result.ok) {
    view_.SetStatusText(kFileSavedSuccessText);
  } else {
    ReportFileFailure(path, result, {}, {});
  }
  return result;
}

std::optional<std::filesystem::path> UnitController::FindFactoryDefaultFile() const {
  if (!factoryFolder_) return FindFactoryDefault(ExecutableDirectory());
  std::filesystem::path candidate = *factoryFolder_ / std::string(kFactoryDefaultFileName);
  std::error_code error;
  if (!std::filesystem::is_regular_file(candidate, error)) return std::nullopt;
  return candidate;
}

DefaultLoad UnitController::LoadFactoryDefault(const std::optional<std::filesystem::path>& file) {
  const std::optional<std::filesystem::path> path = file ? file : FindFactoryDefaultFile();
  if (!path) {
    view_.ShowMessageBox({std::string(kFactoryDefaultMissingCaption),
                          std::string(kFactoryDefaultMissingText), link::BoxIcon::Stop});
    return DefaultLoad::Missing;
  }
  const FileResult result = LoadParametersFile(*path, session_.parameters);
  if (!result.ok) {
    // A damaged default must not be renamed "factory default" and stored in the unit.
    ReportFileFailure(*path, result, kFactoryDefaultInvalidText, kFactoryDefaultInvalidCaption);
    return DefaultLoad::Invalid;
  }
  session_.programNameText = std::string(kFactoryDefaultName);
  SetProgramName(session_.parameters, session_.programNameText);
  RepairAndReload(link::ReloadForm::FileLoad);
  if (session_.link.linkConnected != 1) return DefaultLoad::Loaded;
  return engine_->StartFactoryDefaultDownload() ? DefaultLoad::DownloadStarted
                                                : DefaultLoad::Refused;
}

void UnitController::TakeProgram(const ProgramParameters& program) {
  session_.parameters = program;
  RepairAndReload(link::ReloadForm::Upload);
  view_.RepaintHeader();
}

bool UnitController::ReadBack(const ProgramParameters& expected) {
  expected_ = expected;
  return engine_->ReadUnitProgram();
}

std::vector<ParameterDifference> UnitController::ReadBackDifferences() const {
  return DiffParameters(expected_, engine_->UnitProgram());
}

int UnitController::ChainLimitMs() {
  // Far above the longest regular run, so that only a runaway meets it.
  return 180000;
}

int UnitController::SearchLimitMs(int portCount, int passes) {
  // Each pass probes every ID on every port, a little slower than the probe timer in the worst
  // case; a minute on top for the ports' opening and the Select dialog.
  constexpr int kSlackPerProbeMs = 30;
  const int probeMs = link::timers::kProbeMs + kSlackPerProbeMs;
  return passes * portCount * link::kLastDeviceId * probeMs + 60000;
}

}  // namespace corvella::core
