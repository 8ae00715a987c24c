// Runs corvella-cli as a script would, against corvella-unit-sim on a real pseudo-terminal, and
// reads back the frames the unit received from the simulator's own log.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace corvella::cli::testing {

namespace fs = std::filesystem;

struct RunResult {
  int status = -1;  // exit status; 128 + signal for a crash; -1 when it had to be killed
  std::string out;
  std::string err;

  // The last line written to stderr.
  std::string LastErrLine() const {
    std::string text = err;
    while (!text.empty() && text.back() == '\n') text.pop_back();
    const std::size_t cut = text.rfind('\n');
    return cut == std::string::npos ? text : text.substr(cut + 1);
  }
};

inline pid_t Spawn(const std::string& program, const std::vector<std::string>& args, int in,
                   int out, int err) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(in, STDIN_FILENO);
    ::dup2(out, STDOUT_FILENO);
    ::dup2(err, STDERR_FILENO);
    std::vector<std::string> copy = args;
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (auto& arg : copy) argv.push_back(arg.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  return pid;
}

inline int Reap(pid_t pid, bool kill) {
  if (kill) ::kill(pid, SIGKILL);
  int status = 0;
  ::waitpid(pid, &status, 0);
  if (kill) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Runs the CLI to its end; a run that outlives `limit` is killed and reported with status -1.
inline RunResult RunCli(const std::vector<std::string>& args,
                        std::chrono::seconds limit = std::chrono::seconds(120)) {
  int out[2];
  int err[2];
  RunResult result;
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return result;
  const int devNull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
  const pid_t pid = Spawn(CORVELLA_CLI, args, devNull, out[1], err[1]);
  ::close(devNull);
  ::close(out[1]);
  ::close(err[1]);
  const auto deadline = std::chrono::steady_clock::now() + limit;
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&result.out, &result.err};
  int open = 2;
  bool late = false;
  while (open > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      late = true;
      break;
    }
    if (::poll(fds, 2, static_cast<int>(left.count())) <= 0) continue;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[4096];
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(n));
      } else {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  for (const pollfd& p : fds) {
    if (p.fd >= 0) ::close(p.fd);
  }
  result.status = Reap(pid, late);
  return result;
}

// corvella-unit-sim with the given options, logging to a file; stopped (and its --save written)
// by Stop() or the destructor.
class SimUnit {
 public:
  SimUnit(const fs::path& dir, std::vector<std::string> args) : log_(dir / "unit.log") {
    args.push_back("--log");
    args.push_back(log_.string());
    int in[2];
    int out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return;
    pid_ = Spawn(CORVELLA_UNIT_SIM, args, in[0], out[1], STDERR_FILENO);
    ::close(in[0]);
    ::close(out[1]);
    stdin_ = in[1];
    pollfd pfd{out[0], POLLIN, 0};
    char c;
    while (::poll(&pfd, 1, 5000) > 0 && ::read(out[0], &c, 1) == 1 && c != '\n') path_ += c;
    ::close(out[0]);
  }
  ~SimUnit() { Stop(); }
  SimUnit(const SimUnit&) = delete;
  SimUnit& operator=(const SimUnit&) = delete;

  const std::string& Path() const { return path_; }

  // Ends the simulator the way a script does, by closing its input; returns its exit status.
  int Stop() {
    if (pid_ <= 0) return status_;
    if (stdin_ >= 0) ::close(stdin_);
    stdin_ = -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        status_ = Reap(pid_, true);
        pid_ = -1;
        return status_;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    pid_ = -1;
    return status_;
  }

  // Every frame the unit received, in order.
  std::vector<std::string> Received() const {
    std::vector<std::string> frames;
    std::ifstream in(log_);
    std::string line;
    while (std::getline(in, line)) {
      const std::size_t at = line.find(" rx ");
      if (at != std::string::npos) frames.push_back(line.substr(at + 4));
    }
    return frames;
  }

  // The frames after the last device search: what the connect and the command sent.
  std::vector<std::string> AfterSearch() const {
    std::vector<std::string> frames = Received();
    std::size_t last = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
      const std::string& f = frames[i];
      if (f.size() == 5 && f.back() == ')' && f[3] == 'X') last = i + 1;
    }
    return {frames.begin() + static_cast<std::ptrdiff_t>(last), frames.end()};
  }

 private:
  fs::path log_;
  std::string path_;
  pid_t pid_ = -1;
  int stdin_ = -1;
  int status_ = -1;
};

// A folder of its own for one test, removed with everything in it when the test ends.
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& name)
      : path_(fs::temp_directory_path() /
              ("corvella_cli_" + name + "_" + std::to_string(::getpid()))) {
    fs::remove_all(path_);
    fs::create_directories(path_);
  }
  ~ScratchDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const fs::path& Path() const { return path_; }

 private:
  fs::path path_;
};

inline std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace corvella::cli::testing
