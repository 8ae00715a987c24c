// The engine's user interface on a terminal: status lines and message boxes go to stderr as they
// come, dialogs are answered as the command asks, and everything shown is kept so the command can
// judge afterwards how a step ended.
#pragma once

#include <array>
#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "link/link_view.h"

namespace corvella::cli {

// What the terminal showed, in order.
struct Shown {
  enum class Kind { Status, Box };
  Kind kind;
  std::string text;  // a status line, or a box as "<caption>: <text>"
};

// How the Select dialog is answered.
struct SelectAnswer {
  bool connect = false;         // false: cancel the dialog (search only)
  int direction = 0;            // 0 upload from the unit, 1 download to it
  std::optional<int> wantedId;  // the unit to pick; the first found without one
};

class TerminalView : public link::LinkView {
 public:
  TerminalView(std::FILE* err, bool quiet) : err_(err), quiet_(quiet) {}

  void SetStatusText(std::string_view text) override;
  link::BoxAnswer ShowMessageBox(const link::MessageBoxRequest& box) override;
  void ShowRepairWarning() override;

  void ShowSearchDialog() override {}
  void HideSearchDialog() override {}
  std::optional<link::SelectChoice> RunSelectDialog(
      const std::vector<link::FoundDevice>& devices) override;

  void ShowTransmittingDialog() override {}
  void HideTransmittingDialog() override {}
  void RepaintHeader() override {}
  void ReloadAllPages(link::ReloadForm) override {}
  void ShowProgramListLine(int n, std::string_view text, bool enableRecall) override;
  void ReleaseMouseCapture() override {}
  void ChainEnded(link::Chain chain, link::Outcome outcome, std::string_view detail) override {
    ended_.push_back({chain, outcome, std::string(detail)});
  }

  struct Ended {
    link::Chain chain;
    link::Outcome outcome;
    std::string detail;
  };
  // The last end reported for `chain` since Mark()'s `endedMark`; nullopt when none was.
  std::optional<Ended> LastEnded(link::Chain chain, std::size_t endedMark) const {
    for (std::size_t i = ended_.size(); i > endedMark; --i)
      if (ended_[i - 1].chain == chain) return ended_[i - 1];
    return std::nullopt;
  }
  std::size_t EndedMark() const { return ended_.size(); }

  void SetSelectAnswer(const SelectAnswer& answer) { select_ = answer; }
  // The units the last Select dialog listed (empty when it never opened).
  const std::vector<link::FoundDevice>& Found() const { return found_; }
  bool SelectOpened() const { return selectOpened_; }
  // How often the repair warning was shown so far.
  int Repairs() const { return repairs_; }
  void ClearProgramList() {
    programLines_ = {};
    programUsed_ = {};
  }
  const std::array<std::optional<std::string>, 6>& ProgramLines() const { return programLines_; }
  // Whether memory n (element n-1) holds a program: the window offers a recall only then.
  const std::array<bool, 6>& ProgramUsed() const { return programUsed_; }

  // Marks where a step began; Since(mark) is what was shown after it.
  std::size_t Mark() const { return shown_.size(); }
  std::vector<Shown> Since(std::size_t mark) const;
  // Prints a line of the program's own (never suppressed by --quiet).
  void Say(const std::string& line);

 private:
  void Print(const std::string& line);

  std::FILE* err_;
  bool quiet_;
  std::vector<Shown> shown_;
  SelectAnswer select_;
  std::vector<link::FoundDevice> found_;
  bool selectOpened_ = false;
  int repairs_ = 0;
  std::array<std::optional<std::string>, 6> programLines_{};
  std::array<bool, 6> programUsed_{};
  std::vector<Ended> ended_;
};

}  // namespace corvella::cli
