// The program's side of the line in tests: opens a pseudo-terminal's far side like a serial port,
// writes frames and reads answers with a timeout.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <string>
#include <string_view>

namespace corvella::sim::testing {

class PtyClient {
 public:
  explicit PtyClient(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios tio{};
    if (fd_ >= 0 && ::tcgetattr(fd_, &tio) == 0) {
      ::cfmakeraw(&tio);
      ::tcsetattr(fd_, TCSANOW, &tio);
    }
  }
  ~PtyClient() { Close(); }
  PtyClient(const PtyClient&) = delete;
  PtyClient& operator=(const PtyClient&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  bool Write(std::string_view bytes) {
    return ::write(fd_, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  }

  // Everything up to and including the next ")"; what arrived by the timeout when none comes.
  std::string ReadFrame(std::chrono::milliseconds timeout = std::chrono::seconds(3)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    for (;;) {
      if (const auto close = pending_.find(')'); close != std::string::npos) {
        std::string frame = pending_.substr(0, close + 1);
        pending_.erase(0, close + 1);
        return frame;
      }
      if (!ReadSome(end)) break;
    }
    std::string partial;
    partial.swap(pending_);
    return partial;
  }

  std::string Exchange(std::string_view frame) {
    Write(frame);
    return ReadFrame();
  }

  // True once the line reports a hang-up (the unit side closed).
  bool WaitHangUp(std::chrono::milliseconds timeout = std::chrono::seconds(3)) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (ReadSome(end)) {
    }
    return hungUp_;
  }

 private:
  // Appends what arrives before `end`; false on timeout or hang-up.
  bool ReadSome(std::chrono::steady_clock::time_point end) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        end - std::chrono::steady_clock::now());
    pollfd pfd{fd_, POLLIN, 0};
    if (left.count() <= 0 || ::poll(&pfd, 1, static_cast<int>(left.count())) <= 0) return false;
    char bytes[256];
    const ssize_t n = ::read(fd_, bytes, sizeof bytes);
    if (n > 0) {
      pending_.append(bytes, static_cast<std::size_t>(n));
      return true;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return true;
    hungUp_ = (pfd.revents & (POLLHUP | POLLERR)) != 0 || n == 0;
    return false;
  }

  int fd_ = -1;
  std::string pending_;
  bool hungUp_ = false;
};

}  // namespace corvella::sim::testing
