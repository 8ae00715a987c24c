#include "cli/terminal_view.h"

#include "model/program_parameters.h"

namespace corvella::cli {

void TerminalView::Print(const std::string& line) {
  std::fputs(line.c_str(), err_);
  std::fputc('\n', err_);
  std::fflush(err_);
}

void TerminalView::Say(const std::string& line) {
  Print(line);
}

void TerminalView::SetStatusText(std::string_view text) {
  shown_.push_back({Shown::Kind::Status, std::string(text)});
  if (!quiet_) Print(shown_.back().text);
}

link::BoxAnswer TerminalView::ShowMessageBox(const link::MessageBoxRequest& box) {
  const std::string line = box.caption.empty() ? box.text : box.caption + ": " + box.text;
  shown_.push_back({Shown::Kind::Box, line});
  Print(line);
  // Running the command is the operator's confirmation.
  return box.buttons == link::BoxButtons::YesNo ? link::BoxAnswer::Yes : link::BoxAnswer::Ok;
}

void TerminalView::ShowRepairWarning() {
  ++repairs_;
  Print(std::string(kRepairWarningCaption) + ": " + std::string(kRepairWarningText));
}

std::optional<link::SelectChoice> TerminalView::RunSelectDialog(
    const std::vector<link::FoundDevice>& devices) {
  selectOpened_ = true;
  found_ = devices;
  if (!select_.connect || devices.empty()) return std::nullopt;
  for (std::size_t i = 0; i < devices.size(); ++i) {
    if (!select_.wantedId || devices[i].id == *select_.wantedId) {
      return link::SelectChoice{i, select_.direction};
    }
  }
  return std::nullopt;
}

void TerminalView::ShowProgramListLine(int n, std::string_view text, bool enableRecall) {
  if (n < 1 || n > static_cast<int>(programLines_.size())) return;
  programLines_[static_cast<std::size_t>(n - 1)] = std::string(text);
  programUsed_[static_cast<std::size_t>(n - 1)] = enableRecall;
}

std::vector<Shown> TerminalView::Since(std::size_t mark) const {
  if (mark >= shown_.size()) return {};
  return {shown_.begin() + static_cast<std::ptrdiff_t>(mark), shown_.end()};
}

}  // namespace corvella::cli
