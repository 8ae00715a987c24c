// The protocol journal: every frame written and every byte received, appended to a text file (and
// kept in memory for the window) with a millisecond timestamp, the port and the direction, one
// frame per line:
//   2026-12-07 08:04:39.123 COM1 TX (01X)
//   2026-12-07 08:04:39.310 COM1 RX (01XLoudspeaker...)
// Received bytes are grouped up to each ")" and stamped with the time the ")" arrived. Bytes
// outside printable ASCII are written as \xNN (and "\" as \\), so a line is always one frame. The
// link never waits for the disk: logging only queues; a writer thread of its own writes the file.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace corvella::link {

// `time` in the local zone, as strftime's `format` writes it.
std::string LocalTimeText(std::chrono::system_clock::time_point time, const char* format);

class Journal {
 public:
  Journal() = default;
  ~Journal();
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  // Appends to `path` (created when missing). False, with LastError(), when it cannot be opened.
  // Call from the owner's thread, before the port logs anything.
  bool Open(const std::string& path);
  // Keeps the lines in memory only (Lines), without a file.
  void Start();
  // Writes everything queued (an unfinished received frame as it stands) and closes the file.
  void Close();
  bool IsOpen() const { return open_.load(std::memory_order_acquire); }
  const std::string& LastError() const { return lastError_; }

  // Any thread, never waits for the disk. Ignored while the journal is closed. A port is named
  // as its line says it: "COM3", or the device itself where several programs' ports share one
  // journal (the fleet's, each worker's port being its own COM1).
  void LogSent(std::string_view port, std::string_view frame);
  void LogReceived(std::string_view port, std::uint8_t byte);
  void LogSent(int portNumber, std::string_view frame) { LogSent(ComName(portNumber), frame); }
  void LogReceived(int portNumber, std::uint8_t byte) { LogReceived(ComName(portNumber), byte); }
  static std::string ComName(int portNumber) { return "COM" + std::to_string(portNumber); }

  // Waits until everything queued so far is in the file (received bytes after the last ")" stay
  // pending until their frame ends).
  void Flush();

  // Entries beyond this many waiting for the disk are dropped and counted in the file.
  static constexpr std::size_t kQueueLimit = 1u << 20;

  // The lines written so far, as the file has them, from number `from` on (the first line is 0);
  // `next` is set to the number after the last one returned. Any thread. The oldest lines beyond
  // kMemoryLines are forgotten.
  std::vector<std::string> Lines(std::uint64_t from, std::uint64_t& next) const;
  static constexpr std::size_t kMemoryLines = 200000;

 private:
  using TimePoint = std::chrono::system_clock::time_point;
  struct Entry {
    TimePoint time;
    std::string port;
    bool sent;
    std::string bytes;
  };
  struct PendingReceive {
    TimePoint time;
    std::string bytes;
  };

  void Push(Entry entry);
  void WriterMain();
  void Write(const Entry& entry);
  void StartWriter();
  void WriteLine(TimePoint time, const std::string& port, bool sent, std::string_view bytes);
  // One line to the file (when there is one) and to the memory.
  void Emit(const std::string& line);
  void FlushPending(const std::string& port);

  std::atomic<bool> open_{false};
  std::string lastError_;
  std::thread writer_;

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable written_;
  std::deque<Entry> queue_;
  std::size_t dropped_ = 0;
  std::uint64_t pushed_ = 0;    // entries queued since Open
  std::uint64_t finished_ = 0;  // entries written since Open
  bool stop_ = false;

  mutable std::mutex memoryMutex_;
  std::deque<std::string> memory_;
  std::uint64_t memoryFirst_ = 0;  // the number of memory_.front()

  // Writer thread only.
  std::FILE* file_ = nullptr;
  std::map<std::string, PendingReceive> pending_;
};

}  // namespace corvella::link
