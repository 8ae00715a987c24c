// The journal read back: each line's time, port, direction and frame, and what the frame means in
// the program's own words ("Output PEQ HIGH band 3 gain -3.0dB", "probe of unit 3", "answer:
// Response Error"). Write frames are read through the edit table and accepted only when the frame
// builders make the very same frame from what was read, so the decoder can never tell a frame
// differently from how the program builds it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvella::link {

// One line of the journal's text ("2026-12-07 08:04:39.123 COM1 TX (01X)").
struct JournalEntry {
  std::int64_t ms = 0;  // the stamp, in milliseconds (local time as written)
  int port = 0;
  bool sent = false;
  std::string frame;  // the bytes, escapes undone
};
std::optional<JournalEntry> ParseJournalLine(std::string_view line);

// What kind of exchange a line belongs to, for the journal's filter.
enum class JournalKind { Write, Read, Other };

struct DecodedFrame {
  std::string meaning;
  JournalKind kind = JournalKind::Other;
  bool error = false;  // a wrong answer, or a frame the program never builds
};
// `request` is the frame last sent on the port when `frame` is an answer (empty when none).
DecodedFrame DecodeFrame(std::string_view frame, bool sent, std::string_view request);

struct DecodedLine {
  JournalEntry entry;
  std::int64_t sinceFirstMs = 0;
  std::int64_t answerMs = -1;  // an answer: milliseconds after its request; -1 otherwise
  DecodedFrame decoded;
};

// Reads lines in order, pairing each answer with the request before it on its port.
class JournalReader {
 public:
  // nullopt for a line that is no frame (the note of dropped entries).
  std::optional<DecodedLine> Next(std::string_view line);

 private:
  std::optional<std::int64_t> first_;
  struct Request {
    std::string frame;
    std::int64_t ms;
  };
  std::vector<std::pair<int, Request>> lastSent_;  // by port
};

// "     0 ms COM1 TX (01X)  probe of unit 1", with "  (answer after 3 ms)" for an answer.
std::string FormatDecodedLine(const DecodedLine& line);

}  // namespace corvella::link
