#include "link/journal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <utility>
#include <vector>

namespace corvella::link {
namespace {

std::string Escape(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size());
  for (const char c : bytes) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\\') {
      text += "\\\\";
    } else if (byte < 0x20 || byte >= 0x7f) {
      text += "\\x";
      text += kHex[byte >> 4];
      text += kHex[byte & 0x0f];
    } else {
      text += c;
    }
  }
  return text;
}

}  // namespace

Journal::~Journal() {
  Close();
}

bool Journal::Open(const std::string& path) {
  Close();
  std::FILE* file = std::fopen(path.c_str(), "ab");
  if (file == nullptr) {
    lastError_ = "Cannot open the journal \"" + path + "\": " + std::strerror(errno);
    return false;
  }
  lastError_.clear();
  file_ = file;
  StartWriter();
  return true;
}

void Journal::Start() {
  Close();
  lastError_.clear();
  StartWriter();
}

std::vector<std::string> Journal::Lines(std::uint64_t from, std::uint64_t& next) const {
  std::lock_guard<std::mutex> guard(memoryMutex_);
  const std::uint64_t start = std::max(from, memoryFirst_);
  const std::uint64_t end = memoryFirst_ + memory_.size();
  std::vector<std::string> lines;
  for (std::uint64_t n = start; n < end; ++n) lines.push_back(memory_[n - memoryFirst_]);
  next = std::max(from, end);
  return lines;
}

void Journal::StartWriter() {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    queue_.clear();
    dropped_ = 0;
    pushed_ = 0;
    finished_ = 0;
    stop_ = false;
  }
  writer_ = std::thread(&Journal::WriterMain, this);
  open_.store(true, std::memory_order_release);
}

void Journal::Close() {
  if (!writer_.joinable()) return;
  open_.store(false, std::memory_order_release);
  {
    std::lock_guard<std::mutex> guard(mutex_);
    stop_ = true;
  }
  wake_.notify_one();
  writer_.join();
}

void Journal::LogSent(std::string_view port, std::string_view frame) {
  if (!IsOpen()) return;
  Push(Entry{std::chrono::system_clock::now(), std::string(port), true, std::string(frame)});
}

void Journal::LogReceived(std::string_view port, std::uint8_t byte) {
  if (!IsOpen()) return;
  Push(Entry{std::chrono::system_clock::now(), std::string(port), false,
             std::string(1, static_cast<char>(byte))});
}

void Journal::Push(Entry entry) {
  {
    std::lock_guard<std::mutex> guard(mutex_);
    if (queue_.size() >= kQueueLimit) {
      ++dropped_;
      return;
    }
    queue_.push_back(std::move(entry));
    ++pushed_;
  }
  wake_.notify_one();
}

void Journal::Flush() {
  std::unique_lock<std::mutex> guard(mutex_);
  const std::uint64_t target = pushed_;
  written_.wait(guard, [&] { return finished_ >= target || !writer_.joinable() || stop_; });
}

void Journal::WriterMain() {
  std::vector<Entry> batch;
  while (true) {
    std::size_t dropped = 0;
    bool stopping = false;
    {
      std::unique_lock<std::mutex> guard(mutex_);
      wake_.wait(guard, [this] { return stop_ || !queue_.empty(); });
      batch.assign(std::make_move_iterator(queue_.begin()), std::make_move_iterator(queue_.end()));
      queue_.clear();
      dropped = std::exchange(dropped_, 0);
      stopping = stop_;
    }
    for (const Entry& entry : batch) Write(entry);
    if (dropped > 0) {
      Emit("... " + std::to_string(dropped) + " entries dropped: the disk could not keep up");
    }
    if (stopping) {
      while (!pending_.empty()) FlushPending(pending_.begin()->first);
    }
    if (file_ != nullptr) std::fflush(file_);
    {
      std::lock_guard<std::mutex> guard(mutex_);
      finished_ += batch.size();
    }
    written_.notify_all();
    batch.clear();
    if (stopping) break;
  }
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
}

void Journal::Write(const Entry& entry) {
  if (entry.sent) {
    // What arrived before this frame went out belongs above it.
    FlushPending(entry.port);
    WriteLine(entry.time, entry.port, true, entry.bytes);
    return;
  }
  PendingReceive& pending = pending_[entry.port];
  pending.bytes += entry.bytes;
  pending.time = entry.time;
  if (entry.bytes == ")") FlushPending(entry.port);
}

void Journal::FlushPending(const std::string& port) {
  const auto it = pending_.find(port);
  if (it == pending_.end()) return;
  if (!it->second.bytes.empty()) WriteLine(it->second.time, port, false, it->second.bytes);
  pending_.erase(it);
}

std::string LocalTimeText(std::chrono::system_clock::time_point time, const char* format) {
  const std::time_t seconds = std::chrono::system_clock::to_time_t(time);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &seconds);
#else
  localtime_r(&seconds, &local);
#endif
  char text[64];
  std::strftime(text, sizeof text, format, &local);
  return text;
}

void Journal::WriteLine(TimePoint time, const std::string& port, bool sent,
                        std::string_view bytes) {
  const auto millis =
      std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()) % 1000;
  char head[64];
  std::snprintf(head, sizeof head, "%s.%03d ", LocalTimeText(time, "%Y-%m-%d %H:%M:%S").c_str(),
                static_cast<int>(millis.count()));
  Emit(head + Escape(port) + (sent ? " TX " : " RX ") + Escape(bytes));
}

void Journal::Emit(const std::string& line) {
  if (file_ != nullptr) std::fprintf(file_, "%s\n", line.c_str());
  std::lock_guard<std::mutex> guard(memoryMutex_);
  memory_.push_back(line);
  if (memory_.size() > kMemoryLines) {
    memory_.pop_front();
    ++memoryFirst_;
  }
}

}  // namespace corvella::link
