// Long-running programs for the `serve` tests: corvella-cli serve itself, liblo's oscdump, a
// mosquitto broker, each with its output collected while the test goes on and waited for by
// content, never by time.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <functional>
#include <regex>

#include "cli/cli_harness.h"

namespace corvella::cli::testing {

// A free port on the loopback address for `type` (SOCK_DGRAM or SOCK_STREAM), as the system
// hands one out; it stays free unless another program takes it meanwhile.
inline int FreePort(int type) {
  const int fd = ::socket(AF_INET, type, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t length = sizeof a;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &length);
  ::close(fd);
  return ntohs(a.sin_port);
}

class LiveProcess {
 public:
  LiveProcess(const std::string& program, const std::vector<std::string>& args) {
    int out[2];
    int err[2];
    if (::pipe2(out, O_CLOEXEC | O_NONBLOCK) != 0 || ::pipe2(err, O_CLOEXEC | O_NONBLOCK) != 0) {
      return;
    }
    const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    pid_ = Spawn(program, args, devNull, out[1], err[1]);
    ::close(devNull);
    ::close(out[1]);
    ::close(err[1]);
    out_ = out[0];
    err_ = err[0];
  }
  ~LiveProcess() { Kill(); }
  LiveProcess(const LiveProcess&) = delete;
  LiveProcess& operator=(const LiveProcess&) = delete;

  pid_t Pid() const { return pid_; }
  const std::string& Out() {
    Collect(0);
    return outText_;
  }
  const std::string& Err() {
    Collect(0);
    return errText_;
  }

  // Waits (generously) until `done` holds for the output collected so far.
  bool WaitFor(const std::function<bool()>& done,
               std::chrono::seconds limit = std::chrono::seconds(60)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline || (pid_ <= 0 && !Readable())) return false;
      Collect(50);
    }
    return true;
  }
  bool WaitForOut(const std::string& text) {
    return WaitFor([&] { return outText_.find(text) != std::string::npos; });
  }
  bool WaitForErr(const std::string& text) {
    return WaitFor([&] { return errText_.find(text) != std::string::npos; });
  }
  // The first number matched by `pattern`'s group 1 in standard error so far; -1 without one.
  int ErrNumber(const std::string& pattern) {
    const std::regex re(pattern);
    std::smatch m;
    const std::string& text = Err();
    return std::regex_search(text, m, re) ? std::stoi(m[1].str()) : -1;
  }

  void Signal(int signal) {
    if (pid_ > 0) ::kill(pid_, signal);
  }
  // Waits for the end (after a signal); the exit status, or -1 when it had to be killed.
  int Wait(std::chrono::seconds limit = std::chrono::seconds(120)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (pid_ > 0 && ::waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) return Kill();
      Collect(50);
    }
    if (pid_ > 0) {
      pid_ = -1;
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    Collect(0);
    return status_;
  }
  int Kill() {
    if (pid_ > 0) {
      Reap(pid_, true);
      pid_ = -1;
      status_ = -1;
    }
    for (int* fd : {&out_, &err_}) {
      if (*fd >= 0) {
        Collect(0);
        ::close(*fd);
        *fd = -1;
      }
    }
    return status_;
  }

 private:
  bool Readable() const { return out_ >= 0 || err_ >= 0; }
  void Collect(int waitMs) {
    pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
    if (::poll(fds, 2, waitMs) <= 0) return;
    std::string* sinks[2] = {&outText_, &errText_};
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0) continue;
      char buffer[4096];
      ssize_t n;
      while ((n = ::read(fds[i].fd, buffer, sizeof buffer)) > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      }
    }
  }

  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
  int status_ = -1;
  std::string outText_;
  std::string errText_;
};

// `corvella-cli ... serve ...` once it serves: its ports read from what it says.
class Server {
 public:
  explicit Server(std::vector<std::string> args) : process_(CORVELLA_CLI, args) {
    serving_ = process_.WaitForErr("until SIGINT or SIGTERM");
    if (!serving_) return;
    udp_ = process_.ErrNumber(R"(OSC over UDP on \S+ port (\d+))");
    tcp_ = process_.ErrNumber(R"(OSC over TCP on \S+ port (\d+))");
  }
  bool Serving() const { return serving_; }
  int Udp() const { return udp_; }
  int Tcp() const { return tcp_; }
  LiveProcess& Process() { return process_; }
  // SIGTERM, then the exit status once every goodbye is said.
  int Stop() {
    process_.Signal(SIGTERM);
    return process_.Wait();
  }

 private:
  LiveProcess process_;
  bool serving_ = false;
  int udp_ = -1;
  int tcp_ = -1;
};

}  // namespace corvella::cli::testing
