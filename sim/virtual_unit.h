// The unit's side of the protocol, without any I/O: it assembles the frames it receives and
// produces the answer a real unit would give, with optional faults for tests.
//
// What the unit answers (ID is the unit's two-digit ID, "01".."10"):
//   "(IDX)"        probe. Kind 0 (long form, 21 characters): "(" ID "X" name "00" ")"; kind 1
//                  (short form, 19 characters): "(" ID "X" name ")". The 14-character name
//                  stands at positions 4..17 in both.
//   "(ID$0NN...)"  parameter write: stored into the current program, acknowledged "(ID$0NN)".
//   "(ID%0NN...)"  parameter read: the request echoed without its ")", then the values, padded
//                  so that each value stands where the upload reads it (delay at 12..15, phase
//                  at 12, the ten compressor/limiter bytes at 10, 12, .. 28, others at 10).
//   "(IDI000)"     current program: "(" ID "I" number "0000" name ")", the number "%03d" at
//                  4..6, the 25-character name at 11..35.
//   "(IDI00n)"     memory n (1..6): the same form with n as the number; unused: silent.
//   "(IDR00n)"     recalls memory n into the current program; echoed. Unused: silent.
//   "(IDS00n)"     stores the current program (with its name) as memory n; echoed. "S000"
//                  stores into the memory of the current program number; silent when that
//                  number is not 1..6.
//   "(IDM00)"      echoed by kind 0; kind 1 never answers it.
//   "(IDU00)", "(IDbye)" echoed.
//   "(IDJ0003name)" sets the current program's name; answers "(IDJ0003)".
//   "(IDN000name)" sets the current program's name; no answer (none is awaited, and a stray one
//                  would sit in the receiver's buffer until some later check took it).
//   "(IDZnnname)"  new ID nn (1..10) and 14-character name; answers with the new ID: "(nnZ)".
//   "(IDYname)"    new 14-character name; answers "(IDY)".
// A frame the unit does not understand (unknown command, wrong length, a digit field that is not
// digits, a channel or band that does not exist) gets no answer and changes nothing, as a unit
// that only knows its catalogue would behave; the sender then sees its answer timer run out.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/program_parameters.h"
#include "sim/frame_assembler.h"

namespace corvella::sim {

inline constexpr int kMemoryCount = 6;
inline constexpr int kMinDeviceId = 1;
inline constexpr int kMaxDeviceId = 10;
inline constexpr std::string_view kDefaultUnitName = "Virtual Unit..";

// The probe answer's length tells the two kinds of unit apart; kind 1 does not answer "M00)".
enum class ProbeKind : std::uint8_t { Long = 0, Short = 1 };

// Which commands a fault applies to: every frame, or those whose body (the text after the ID)
// begins with one of the prefixes, e.g. "$022", "%05", "I00", "X", "bye".
struct CommandMatch {
  bool all = false;
  std::vector<std::string> prefixes;

  bool Matches(std::string_view body) const;
  bool Any() const { return all || !prefixes.empty(); }
};

// Faults are applied to the answer only: the unit still acts on the frame, as if the answer had
// been lost or damaged on the line. Frames are counted per unit (only those addressed to it).
struct FaultPlan {
  int answerDelayMs = 0;
  CommandMatch delayFor;                 // when set, only these answers are late
  bool silent = false;                   // never answers
  std::optional<int> silentAfterFrames;  // answers the first N frames, then nothing
  CommandMatch silentFor;                // no answer to these commands
  CommandMatch garbleFor;                // the answer's body replaced by "?" of the same length
  std::optional<int> garbleFirst;        // only the first N answers garbleFor matches are garbled
  CommandMatch ignoreWritesFor;          // these writes are acknowledged but not applied
  CommandMatch unterminatedFor;          // the answer lacks its closing ")"
  std::string junkBefore;                // bytes written before every answer
  std::string junkAfter;                 // bytes written after every answer
  std::optional<int> hangUpAfterFrames;  // the N-th frame gets no answer: the line hangs up
  // A unit (or adapter) one answer behind: the frame gets the answer given to the frame before
  // it, so the step of an upload reads the previous step's values.
  CommandMatch staleFor;             // for these commands
  std::optional<int> staleFromRead;  // for every read ("%") from the N-th (counted from 1) on
  std::optional<int> staleFirst;     // only the first N stale answers
  // A unit that misses the first N probes ("X") addressed to it, as one busy or waking up would.
  int ignoreProbes = 0;
};

// What the unit puts on the line for one frame.
struct Reply {
  std::string bytes;
  int delayMs = 0;
  bool hangUp = false;  // close the line once `bytes` (if any) are out
};

// "01".."09", "10": the form every frame carries.
std::string FormatDeviceId(int id);
// `name` cut or padded with "." to `width` characters.
std::string PadName(std::string_view name, std::size_t width);

class VirtualUnit {
 public:
  // The current program starts as the start-up values with program number 1; no memory is used.
  explicit VirtualUnit(int id = 1, std::string_view name = kDefaultUnitName,
                       ProbeKind kind = ProbeKind::Long);

  // One received byte; an answer when it completed a frame addressed to this unit.
  std::optional<Reply> Feed(char byte);
  // One complete frame, "(" to ")". Nothing when the unit stays silent; frames for other IDs are
  // not counted.
  std::optional<Reply> HandleFrame(std::string_view frame);

  int Id() const { return id_; }
  const std::string& Name() const { return name_; }
  ProbeKind Kind() const { return kind_; }
  void SetId(int id) { id_ = id; }
  void SetName(std::string_view name) { name_ = PadName(name, kDeviceNameLength); }
  void SetKind(ProbeKind kind) { kind_ = kind; }

  const ProgramParameters& Current() const { return current_; }
  ProgramParameters& Current() { return current_; }
  std::string ProgramName() const;
  void SetProgramName(std::string_view name);

  // Memories are numbered 1..6; the name is the image's programName.
  const std::optional<ProgramParameters>& Memory(int number) const;
  void SetMemory(int number, const ProgramParameters& image);
  void ClearMemory(int number);

  const FaultPlan& Faults() const { return faults_; }
  void SetFaults(FaultPlan plan) {
    faults_ = std::move(plan);
    garbled_ = 0;
    staled_ = 0;
  }
  // Frames addressed to this unit so far (the count the "after N frames" faults use).
  int FramesReceived() const { return framesReceived_; }

  // The answer without faults; the state change happens here. nullopt: the unit stays silent.
  std::optional<std::string> Answer(std::string_view body);

 private:
  std::optional<std::string> AnswerWrite(std::string_view body);
  std::optional<std::string> AnswerRead(std::string_view body);
  std::optional<std::string> AnswerLetter(std::string_view body);
  std::string Frame(std::string_view body) const;
  static std::string NameField(std::string_view name);
  std::string InfoAnswer(int number, const ProgramParameters& image) const;
  Reply ApplyFaults(std::string_view body, std::optional<std::string> answer);
  // Whether the answer to `body` is the one given before it (FaultPlan::staleFor and friends).
  bool Stale(std::string_view body) const;

  int id_;
  std::string name_;
  ProbeKind kind_;
  ProgramParameters current_{};
  std::array<std::optional<ProgramParameters>, kMemoryCount> memories_{};
  int garbled_ = 0;  // answers garbled so far
  int staled_ = 0;   // stale answers given so far
  int reads_ = 0;    // read requests received so far
  int probes_ = 0;   // probes received so far
  std::string lastAnswer_;  // the last answer put on the line, without the junk around it
  FaultPlan faults_;
  int framesReceived_ = 0;
  FrameAssembler assembler_;
};

}  // namespace corvella::sim
