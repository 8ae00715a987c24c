// Long-running programs for the `serve` tests: corvella-cli serve itself, liblo's oscdump, a
// mosquitto broker, each with its output collected while the test goes on and waited for by
// content, never by time.
#pragma once

#include <functional>
#include <memory>
#include <regex>

#include "cli/cli_harness.h"
#include "support/loopback.h"

namespace corvella::cli::testing {

using test::FreePort;

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
      if (std::chrono::steady_clock::now() > deadline) return false;
      if (Exited()) {
        Collect(0);
        return done();
      }
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
    while (!Exited()) {
      if (std::chrono::steady_clock::now() > deadline) return Kill();
      Collect(50);
    }
    Collect(0);
    return status_;
  }
  // Whether the program has ended (its status is then kept).
  bool Exited() {
    int status = 0;
    if (pid_ > 0 && ::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    return pid_ <= 0;
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

// A mosquitto broker on a free loopback port with the configuration lines given, running until
// the test ends.
class Broker {
 public:
  Broker(const fs::path& dir, const std::vector<std::string>& lines)
      : port_(FreePort(SOCK_STREAM)) {
    const fs::path conf = dir / "mosquitto.conf";
    std::ofstream out(conf);
    out << "listener " << port_ << " 127.0.0.1\npersistence false\n";
    for (const std::string& line : lines) out << line << "\n";
    out.close();
    process_ = std::make_unique<LiveProcess>(CORVELLA_MOSQUITTO,
                                             std::vector<std::string>{"-c", conf.string()});
    running_ = process_->WaitForErr(" running");
  }
  bool Running() const { return running_; }
  int Port() const { return port_; }
  std::string Address() const { return "127.0.0.1:" + std::to_string(port_); }
  // The messages of `topic` (retained ones first), waiting until `count` came.
  std::string Take(const std::string& topic, int count, const std::vector<std::string>& more = {}) {
    std::vector<std::string> args{"-h", "127.0.0.1", "-p", std::to_string(port_),
                                  "-t", topic,       "-C", std::to_string(count),
                                  "-W", "60"};
    args.insert(args.end(), more.begin(), more.end());
    LiveProcess sub(CORVELLA_MOSQUITTO_SUB, args);
    sub.Wait();
    return sub.Out();
  }
  int Publish(const std::string& topic, const std::string& message) {
    LiveProcess pub(CORVELLA_MOSQUITTO_PUB,
                    {"-h", "127.0.0.1", "-p", std::to_string(port_), "-t", topic, "-m", message});
    return pub.Wait();
  }

 private:
  int port_;
  std::unique_ptr<LiveProcess> process_;
  bool running_ = false;
};

}  // namespace corvella::cli::testing
