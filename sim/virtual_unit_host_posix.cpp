// The host's pseudo-terminal and its thread (POSIX).
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>

#include "sim/virtual_unit_host.h"

namespace corvella::sim {
namespace {

using Clock = std::chrono::steady_clock;

// Answers a program that stopped reading cannot pile up without end.
constexpr std::size_t kMaxUnwritten = 64 * 1024;

std::string SystemError(const char* what) {
  return std::string(what) + ": " + std::strerror(errno);
}

void CloseFd(int& fd) {
  if (fd >= 0) ::close(fd);
  fd = -1;
}

bool SetFlags(int fd, bool nonBlocking) {
  const int fdFlags = ::fcntl(fd, F_GETFD);
  if (fdFlags < 0 || ::fcntl(fd, F_SETFD, fdFlags | FD_CLOEXEC) < 0) return false;
  if (!nonBlocking) return true;
  const int flags = ::fcntl(fd, F_GETFL);
  return flags >= 0 && ::fcntl(fd, F_SETFL, flags | O_NONBLOCK) >= 0;
}

std::string SlaveName(int master) {
#if defined(__linux__)
  char name[128];
  if (::ptsname_r(master, name, sizeof name) != 0) return {};
  return name;
#else
  const char* name = ::ptsname(master);
  return name ? name : "";
#endif
}

struct Scheduled {
  Clock::time_point due;
  std::string bytes;
  bool hangUp;
  std::string answer;  // what the traffic observer is told when this goes out (paced: whole)
};

const Clock::duration kCharTime = std::chrono::duration_cast<Clock::duration>(
    std::chrono::duration<double>(1.0 / kLineCharsPerSecond));

}  // namespace

bool VirtualUnitHost::Start(std::string* error) {
  if (Running()) return true;
  auto fail = [&](const char* what) {
    if (error) *error = SystemError(what);
    CloseFd(slaveFd_);
    CloseFd(masterFd_);
    CloseFd(wakeRead_);
    CloseFd(wakeWrite_);
    slavePath_.clear();
    return false;
  };
  masterFd_ = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (masterFd_ < 0) return fail("posix_openpt");
  if (::grantpt(masterFd_) != 0) return fail("grantpt");
  if (::unlockpt(masterFd_) != 0) return fail("unlockpt");
  slavePath_ = SlaveName(masterFd_);
  if (slavePath_.empty()) return fail("ptsname");
  slaveFd_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY);
  if (slaveFd_ < 0) return fail("open");
  // Raw before anything flows: with the default echo the line would send every answer straight
  // back, and the unit would take its own "(01bye)" for a new command.
  termios tio{};
  if (::tcgetattr(slaveFd_, &tio) != 0) return fail("tcgetattr");
  ::cfmakeraw(&tio);
  if (::tcsetattr(slaveFd_, TCSANOW, &tio) != 0) return fail("tcsetattr");
  if (!SetFlags(masterFd_, true) || !SetFlags(slaveFd_, false)) return fail("fcntl");
  int wake[2];
  if (::pipe(wake) != 0) return fail("pipe");
  wakeRead_ = wake[0];
  wakeWrite_ = wake[1];
  if (!SetFlags(wakeRead_, true) || !SetFlags(wakeWrite_, true)) return fail("fcntl");
  hungUp_ = false;
  thread_ = std::thread([this] { Run(); });
  return true;
}

void VirtualUnitHost::Stop() {
  if (thread_.joinable()) {
    const char byte = 0;
    while (::write(wakeWrite_, &byte, 1) < 0 && errno == EINTR) {
    }
    thread_.join();
  }
  CloseLine();
  CloseFd(wakeRead_);
  CloseFd(wakeWrite_);
}

void VirtualUnitHost::ReleaseExclusiveUse() {
  // A program that claims the line with TIOCEXCL (as a serial port should be claimed) would lock
  // itself out: the pseudo-terminal outlives the program's close, and so does the claim, so its
  // next open fails with EBUSY for anyone but root. The line is the program's alone anyway; the
  // claim is dropped whenever it talks to the unit.
#if defined(TIOCNXCL)
  ::ioctl(slaveFd_, TIOCNXCL);
#endif
}

void VirtualUnitHost::CloseLine() {
  CloseFd(slaveFd_);
  CloseFd(masterFd_);
}

void VirtualUnitHost::Run() {
  std::deque<Scheduled> queue;
  std::string unwritten;
  bool hangUpWhenWritten = false;
  // At line rate: when the last character read so far has arrived at the unit, and when the
  // line out of the unit is free again.
  Clock::time_point inboundDone{};
  Clock::time_point outboundFree{};

  // An answer due at `due`: whole, or one character at a time at line rate.
  auto schedule = [&](Clock::time_point due, std::string bytes, bool hangUp) {
    if (!lineRate_ || bytes.empty()) {
      std::string answer = bytes;
      queue.push_back({due, std::move(bytes), hangUp, std::move(answer)});
      return;
    }
    Clock::time_point at = std::max(due, outboundFree);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
      at += kCharTime;
      const bool last = i + 1 == bytes.size();
      queue.push_back({at, std::string(1, bytes[i]), hangUp && last, i == 0 ? bytes : ""});
    }
    outboundFree = at;
  };

  // Moves the answers that are due to the line, in order, and writes what the line takes.
  auto flush = [&] {
    const auto now = Clock::now();
    while (!queue.empty() && queue.front().due <= now && !hangUpWhenWritten) {
      Scheduled& next = queue.front();
      if (observer_ && !next.answer.empty()) observer_(Traffic::Sent, next.answer);
      if (unwritten.size() + next.bytes.size() <= kMaxUnwritten) unwritten += next.bytes;
      hangUpWhenWritten = next.hangUp;
      queue.pop_front();
    }
    while (!unwritten.empty()) {
      const ssize_t n = ::write(masterFd_, unwritten.data(), unwritten.size());
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;  // full: poll says when the line takes more
      unwritten.erase(0, static_cast<std::size_t>(n));
    }
    pendingAnswers_ = queue.size();
  };

  for (;;) {
    flush();
    if (hangUpWhenWritten && unwritten.empty()) break;
    int timeout = -1;
    if (!queue.empty() && !hangUpWhenWritten) {
      const auto wait =
          std::chrono::ceil<std::chrono::milliseconds>(queue.front().due - Clock::now());
      timeout = static_cast<int>(std::max<long long>(0, wait.count()));
    }
    pollfd fds[2] = {
        {wakeRead_, POLLIN, 0},
        {masterFd_, static_cast<short>(POLLIN | (unwritten.empty() ? 0 : POLLOUT)), 0}};
    if (::poll(fds, 2, timeout) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[0].revents != 0) return;
    if ((fds[1].revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;

    char bytes[512];
    const ssize_t n = ::read(masterFd_, bytes, sizeof bytes);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) break;  // the line itself failed: nobody is left to answer
    ReleaseExclusiveUse();
    std::vector<std::string> frames;
    {
      std::lock_guard lock(mutex_);
      const auto now = Clock::now();
      for (ssize_t i = 0; i < n; ++i) {
        if (lineRate_) inboundDone = std::max(inboundDone, now) + kCharTime;
        const Clock::time_point arrived = lineRate_ ? inboundDone : now;
        auto out = bus_.Feed(bytes[i]);
        if (!out.frame) continue;
        for (Reply& reply : out.replies) {
          schedule(arrived + std::chrono::milliseconds(reply.delayMs), std::move(reply.bytes),
                   reply.hangUp);
        }
        frames.push_back(std::move(*out.frame));
      }
    }
    if (observer_) {
      for (const auto& frame : frames) observer_(Traffic::Received, frame);
    }
    flush();
    Record(std::move(frames));
  }
  {
    // Marked before the far side can notice, so that HungUp() agrees with what it sees.
    std::lock_guard lock(mutex_);
    hungUp_ = true;
  }
  CloseLine();
  framesChanged_.notify_all();
  if (onClosed_) onClosed_();
}

}  // namespace corvella::sim
