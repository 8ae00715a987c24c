// Everything the protocol engine asks of the user interface, in one interface. The window
// implements it with widgets, the CLI on the terminal, the tests with a recorder.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/link_state.h"
#include "model/parameter_listing.h"

namespace corvella::link {

enum class BoxIcon {
  None,
  Stop /* also called the error icon */,
  Exclamation,
  Question,
  Information
};
enum class BoxButtons { Ok, YesNo };
enum class BoxAnswer { Ok, Yes, No, Cancel };

struct MessageBoxRequest {
  std::string caption;  // may be empty (no caption)
  std::string text;
  BoxIcon icon = BoxIcon::None;
  BoxButtons buttons = BoxButtons::Ok;
  BoxAnswer defaultButton = BoxAnswer::Ok;
  // The text is the system's own (an error message in the locale's encoding), not the unit's.
  bool textFromSystem = false;
};

// The chains of the engine, as a front end or a test sees them end. A connect is reported as the
// search that found the unit (Search) and then its first transfer (Upload or Download).
enum class Chain {
  Search,
  Upload,
  Download,
  FactoryDefault,
  ProgramList,
  Recall,
  Store,
  Rename,
  Identity,
  Disconnect,
  PageEdit,
  ReadUnit,     // the unit's program read aside, the PC's set untouched
  SendEdits,    // a list of single-parameter edits, each acknowledged
  ProgramInfo,  // a connect that reads only the unit's program number and name
};

// How a chain ended. WrongAnswer also covers a chain that went on past a wrong answer (a download
// step's wrong acknowledgement, the factory default's refused name) and completed otherwise.
enum class Outcome {
  Done,
  NoAnswer,
  WrongAnswer,
  NotFound,
  Cancelled,
  Refused,  // another chain was running; nothing was sent
  PortFailed,
};

// How far a transfer is: step `step` of `steps` is under way (its frame is out). Steps run
// 1..steps; a request repeated after a bad answer is the same step. A transfer that succeeds
// reports its last step; one that fails ends where it stopped (ChainEnded says how).
struct Progress {
  Chain chain;
  int step;
  int steps;
};

// The three callers of ReloadAllPages want slightly different work done.
enum class ReloadForm {
  FileLoad,  // parameter file and factory default: reload, redraw visible graphs, erase the area
  Startup,   // creation of the view: reload and redraw visible graphs
  Upload,    // end of an upload: as Startup, recomputing the crossover response before the output
             // PEQ and output level curves are drawn
};

// "Connect" in the Select dialog: which unit (position in the found list) and which first
// transfer.
struct SelectChoice {
  std::size_t listIndex = 0;
  int direction = 0;  // 0 upload from the device, 1 download to the device (2: program
                      // number and name only, see ConnectTo)
};

class LinkView {
 public:
  virtual ~LinkView() = default;

  // Replaces the whole status line.
  virtual void SetStatusText(std::string_view text) = 0;
  // A modal box; returns the button chosen (Ok for a one-button box).
  virtual BoxAnswer ShowMessageBox(const MessageBoxRequest& box) = 0;
  // The one warning after RepairParameters replaced something (kRepairWarningText, caption
  // kRepairWarningCaption, exclamation icon, OK).
  virtual void ShowRepairWarning() = 0;

  // Search dialog: start its animation and show it / stop the animation and hide it.
  virtual void ShowSearchDialog() = 0;
  virtual void HideSearchDialog() = 0;
  // Modal Select dialog over the units found; nullopt when cancelled (Esc or close box).
  virtual std::optional<SelectChoice> RunSelectDialog(const std::vector<FoundDevice>& devices) = 0;

  // The modeless "Transmitting data please wait ......" dialog. Hiding a hidden one is harmless.
  virtual void ShowTransmittingDialog() = 0;
  virtual void HideTransmittingDialog() = 0;

  // Invalidate the header rectangle (20,10)-(1000,52) with erasing: program and device values.
  virtual void RepaintHeader() = 0;
  virtual void ReloadAllPages(ReloadForm form) = 0;

  // List dialog, row n (1..6): its label text, and whether its "Recall" button becomes enabled.
  // Ignored when the dialog is not visible.
  virtual void ShowProgramListLine(int n, std::string_view text, bool enableRecall) = 0;
  // Release the mouse capture a dialog took (the list dialog; also at the end of a transfer).
  virtual void ReleaseMouseCapture() = 0;

  // Called after every engine step and command, so menus and buttons follow the link state.
  virtual void LinkStateChanged() {}

  // Every chain ends with exactly one call: how it ended, and the status or box text that said
  // so when it did not succeed (empty otherwise). The texts shown are unchanged by it.
  virtual void ChainEnded(Chain /*chain*/, Outcome /*outcome*/, std::string_view /*detail*/) {}

  // A transfer went a step further: an upload, a download, a factory default (name, blocks, store,
  // read-back), a recall's upload, a read aside, a program-information read, a list of edits.
  virtual void ProgressChanged(const Progress& /*progress*/) {}

  // A page changed `ref` in the PC's set and handed it to the engine, whether or not a unit is
  // connected to send it to.
  virtual void ParameterEdited(const ParameterRef& /*ref*/) {}

  // A list of edits (SendEdits) got the unit's answer to `frame`, which carried `ref`: `right`
  // when it was the acknowledgement. Lets a front end confirm each value as the unit takes it
  // instead of only when a long list ends; the frame tells which value it was (a newer one may
  // wait to go).
  virtual void EditAnswered(const ParameterRef& /*ref*/, std::string_view /*frame*/,
                            bool /*right*/) {}
};

}  // namespace corvella::link
