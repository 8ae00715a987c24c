// The unit's wire format: building every command frame, assembling received bytes into one answer
// frame, and judging answers. Pure functions over text; the engine decides when to use them.
//
// A frame is "(" + two-digit device ID + body + ")", no checksum or terminator. Numeric fields are
// zero-padded decimal of fixed width; text fields are padded with "." to their width.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "link/link_state.h"
#include "model/program_parameters.h"
#include "model/unit_form.h"

namespace corvella::link {

// A unit's answers are a few dozen characters; anything this long is line noise.
inline constexpr std::size_t kRxFrameCap = 4096;

// ---- envelope and fields ----

// "%d" with a "0" in front for 0..9: 7 -> "07", 10 -> "10".
std::string DeviceIdText(int id);
// "(" + DeviceIdText(id) + body + ")".
std::string Frame(int id, std::string_view body);
// printf "%0<width>d": zero-padded to at least `width` digits.
std::string Digits(long value, int width);
// Text fields go out as LineText (model/unit_form.h) spells them.

// ---- parameter writes ("$" + code), the editor pages' and the download's frames ----
// `band` is the 0-based band index, sent as "%02d".

std::string InputPeqBandFrame(int id, Input ch, int band, const PeqBand& b);    // $021, timer 4
std::string InputPeqFrequencyFrame(int id, Input ch, int band, int code);       // $022, timer 3
std::string InputPeqGainFrame(int id, Input ch, int band, int code);            // $023, timer 6
std::string InputPeqQFrame(int id, Input ch, int band, int code);               // $024, timer 5
std::string InputLevelFrame(int id, Input ch, int code);                        // $025, timer 15
std::string HpfTypeFrame(int id, Output ch, int code);                          // $041, timer 13
std::string HpfFrequencyFrame(int id, Output ch, int code);                     // $042, timer 11
std::string LpfTypeFrame(int id, Output ch, int code);                          // $043, timer 14
std::string LpfFrequencyFrame(int id, Output ch, int code);                     // $044, timer 12
std::string OutputPeqBandFrame(int id, Output ch, int band, const PeqBand& b);  // $045, timer 10
std::string OutputPeqFrequencyFrame(int id, Output ch, int band, int code);     // $046, timer 7
std::string OutputPeqGainFrame(int id, Output ch, int band, int code);          // $047, timer 9
std::string OutputPeqQFrame(int id, Output ch, int band, int code);             // $048, timer 8
std::string OutputLevelFrame(int id, Output ch, int code);                      // $049, timer 16
std::string OutputDelayFrame(int id, Output ch, int steps);                     // $051, timer 17
// "$059100" + threshold + "48480000" + ratio, auxTime, releaseTime, attackTime: the four aux
// codes go out as that fixed text whatever is stored, and auxThreshold is not sent. Timer 18.
std::string CompressorFrame(int id, const Dynamics& d);
std::string OutputPhaseFrame(int id, Output ch, int phase);  // $052, timer 67

// The acknowledgement of a "$" frame: "(" + ID + "$" + code + ")", code as three digits "022".
std::string Acknowledgement(int id, std::string_view code);

// ---- letter commands ----

std::string ProbeFrame(int id);                               // "(01X)"
std::string ByeFrame(int id);                                 // "(01bye)"
std::string ProgramNameFrame(int id, std::string_view name);  // "J0003" + 25 characters
std::string SaveFrame(int id, int program);                   // "S" + "%03d"
std::string ProgramInfoRequestFrame(int id, int program);     // "I000)", "I001)".."I006)"
std::string RecallFrame(int id, int program);                 // "R001)".."R006)"
std::string DownloadBeginFrame(int id);                       // "M00)"
std::string TransferEndFrame(int id);                         // "U00)"
std::string ProgramNameAfterDownloadFrame(int id, std::string_view name);  // "N000" + 25
// "(" + current ID + "Z" + new ID as two digits + name "."-padded to 14 + ")".
std::string IdentityChangeFrame(int currentId, int newId, std::string_view name);
// "(" + new ID + "Y" + name "."-padded to 14 + ")".
std::string DeviceNameFrame(int newId, std::string_view name);
// A read request of the upload: "(" + ID + "%" + address + ")", address e.g. "021100".
std::string ReadRequestFrame(int id, std::string_view address);

// ---- receive assembly ----

// One received byte, in arrival order. "(" restarts rxFrame; ")" sets frameComplete. Bytes after a
// ")" are appended to the finished frame until the next "(". A frame that would grow past
// kRxFrameCap is dropped whole (frameComplete cleared) and bytes are ignored until the next "(".
void AssembleByte(LinkState& link, std::uint8_t byte);

// ---- answer judgement ----

// Only the first four characters count: "(" + ID + "S".
bool IsSaveAcknowledgement(std::string_view rx, int id);

struct ProbeAnswer {
  int id = 0;
  int kind = 0;  // 1 for a 19-character answer, 0 for 21
  std::string name;
};
// A probe answer is recognised by its length alone (19 or 21): ID at 1..2, name at 4..17.
std::optional<ProbeAnswer> ParseProbeAnswer(std::string_view rx);

// The decimal number at [pos, pos + len): its leading digits, 0 when there are none. Positions past
// the end of the answer read as empty text.
int NumberAt(std::string_view rx, std::size_t pos, std::size_t len);
// Whether [pos, pos + len) lies inside the answer, before its closing ")", and holds only decimal
// digits: what a field read by position must look like to be taken at all.
bool DigitsAt(std::string_view rx, std::size_t pos, std::size_t len);
// Whether [pos, pos + len) lies inside the answer, before its closing ")".
bool FieldInside(std::string_view rx, std::size_t pos, std::size_t len);
// The `len` characters at `pos`; characters past the end of the answer become ".".
std::string TextAt(std::string_view rx, std::size_t pos, std::size_t len);

}  // namespace corvella::link
