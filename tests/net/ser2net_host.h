// ser2net, the device server the network ports are tried against: started with a configuration
// of its own that bridges one serial device to two ports on 127.0.0.1 (one raw TCP, one Telnet
// with RFC 2217), stopped by Stop() or the destructor. Nothing leaves the loopback address.
#pragma once

#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>

namespace corvella::test {

class Ser2net {
 public:
  // The installed program, or empty when ser2net is missing.
  static std::string Program() {
    for (const char* candidate : {"/usr/sbin/ser2net", "/usr/bin/ser2net",
                                  "/usr/local/sbin/ser2net", "/usr/local/bin/ser2net"}) {
      if (::access(candidate, X_OK) == 0) return candidate;
    }
    return {};
  }

  // A loopback port nobody listens on at the moment.
  static int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    int port = -1;
    if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0) {
      port = ntohs(address.sin_port);
    }
    if (fd >= 0) ::close(fd);
    return port;
  }

  Ser2net() = default;
  ~Ser2net() { Stop(); }
  Ser2net(const Ser2net&) = delete;
  Ser2net& operator=(const Ser2net&) = delete;

  // Serves `device` (set to `line`, e.g. "9600n82") on two fresh loopback ports; the
  // configuration goes into `dir`. False, with the reason in Error(), when it does not come up.
  bool Start(const std::string& device, const std::filesystem::path& dir,
             const std::string& line = "9600n82") {
    const std::string program = Program();
    if (program.empty()) return Fail("ser2net is not installed");
    rawPort_ = FreePort();
    do {
      telnetPort_ = FreePort();
    } while (telnetPort_ == rawPort_);
    const std::filesystem::path config = dir / "ser2net.yaml";
    {
      std::ofstream out(config);
      out << "%YAML 1.1\n---\n"
          << "connection: &corvella_raw\n"
          << "  accepter: tcp,127.0.0.1," << rawPort_ << "\n"
          << "  connector: serialdev," << device << "," << line << ",local\n"
          << "connection: &corvella_rfc2217\n"
          << "  accepter: telnet(rfc2217),tcp,127.0.0.1," << telnetPort_ << "\n"
          << "  connector: serialdev," << device << "," << line << ",local\n";
      if (!out) return Fail("cannot write " + config.string());
    }
    log_ = dir / "ser2net.log";
    pid_ = ::fork();
    if (pid_ == 0) {
      const int sink = ::open(log_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (sink >= 0) {
        ::dup2(sink, STDOUT_FILENO);
        ::dup2(sink, STDERR_FILENO);
      }
      // -n: stay in the foreground; -u: no UUCP lock files for a device that is not a real line.
      ::execl(program.c_str(), program.c_str(), "-n", "-d", "-u", "-c", config.c_str(),
              static_cast<char*>(nullptr));
      ::_exit(127);
    }
    if (pid_ < 0) return Fail("fork failed");
    // Listening shows in the kernel's socket table; no probing connection that would open the
    // device before the test does.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!(Listening(rawPort_) && Listening(telnetPort_))) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        pid_ = -1;
        return Fail("ser2net ended at start: " + Log());
      }
      if (std::chrono::steady_clock::now() > deadline) {
        Stop();
        return Fail("ser2net did not listen within 10 s: " + Log());
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }

  // Ends ser2net as an operator would (SIGTERM), killing it when it lingers.
  void Stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
  }

  std::string RawUrl() const { return "tcp://127.0.0.1:" + std::to_string(rawPort_); }
  std::string TelnetUrl() const { return "rfc2217://127.0.0.1:" + std::to_string(telnetPort_); }
  const std::string& Error() const { return error_; }

 private:
  bool Fail(std::string why) {
    error_ = std::move(why);
    return false;
  }

  std::string Log() const {
    std::ifstream in(log_);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  static bool Listening(int port) {
    std::ifstream table("/proc/net/tcp");
    std::string line;
    char wanted[32];
    std::snprintf(wanted, sizeof wanted, "0100007F:%04X", static_cast<unsigned>(port));
    while (std::getline(table, line)) {
      std::istringstream fields(line);
      std::string slot;
      std::string local;
      std::string remote;
      std::string state;
      fields >> slot >> local >> remote >> state;
      if (local == wanted && state == "0A") return true;
    }
    return false;
  }

  pid_t pid_ = -1;
  int rawPort_ = -1;
  int telnetPort_ = -1;
  std::filesystem::path log_;
  std::string error_;
};

}  // namespace corvella::test
