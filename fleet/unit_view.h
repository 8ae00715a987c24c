// The engine's user interface for a port that nobody watches: it answers the Select dialog by
// keeping the list and cancelling, confirms every box, and keeps what a worker needs to judge how
// a chain ended, and passes on how far a transfer is. A server that also reports what happens
// derives from it.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "link/link_view.h"

namespace corvella::fleet {

class UnitView : public link::LinkView {
 public:
  struct Ended {
    link::Chain chain;
    link::Outcome outcome;
    std::string detail;
  };

  void SetStatusText(std::string_view) override {}
  link::BoxAnswer ShowMessageBox(const link::MessageBoxRequest& box) override {
    lastBox_ = box.caption.empty() ? box.text : box.caption + ": " + box.text;
    return box.buttons == link::BoxButtons::YesNo ? link::BoxAnswer::Yes : link::BoxAnswer::Ok;
  }
  void ShowRepairWarning() override { ++repairs_; }
  void ShowSearchDialog() override {}
  void HideSearchDialog() override {}
  std::optional<link::SelectChoice> RunSelectDialog(
      const std::vector<link::FoundDevice>& devices) override {
    found_ = devices;
    return std::nullopt;
  }
  void ShowTransmittingDialog() override {}
  void HideTransmittingDialog() override {}
  void RepaintHeader() override {}
  void ReloadAllPages(link::ReloadForm) override {}
  void ShowProgramListLine(int, std::string_view, bool) override {}
  void ReleaseMouseCapture() override {}
  void ChainEnded(link::Chain chain, link::Outcome outcome, std::string_view detail) override {
    // A refused start leaves the running chain as it was; it is not that chain's end.
    if (outcome != link::Outcome::Refused) ended_ = Ended{chain, outcome, std::string(detail)};
  }
  void ProgressChanged(const link::Progress& progress) override {
    if (progress_) progress_(progress);
  }

  void SetProgressReceiver(std::function<void(const link::Progress&)> receiver) {
    progress_ = std::move(receiver);
  }

  // Forgets the last end and box, before a chain starts.
  void Clear() {
    ended_.reset();
    lastBox_.clear();
  }
  const std::optional<Ended>& LastEnded() const { return ended_; }
  const std::string& LastBox() const { return lastBox_; }
  const std::vector<link::FoundDevice>& Found() const { return found_; }
  int Repairs() const { return repairs_; }

 private:
  std::optional<Ended> ended_;
  std::function<void(const link::Progress&)> progress_;
  std::string lastBox_;
  std::vector<link::FoundDevice> found_;
  int repairs_ = 0;
};

}  // namespace corvella::fleet
