// The corvella-unit-sim program, run as a user or a script runs it.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "model/parameters_file.h"
#include "sim/pty_client.h"
#include "sim/virtual_unit.h"

namespace corvella::sim {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The program with its standard input and output on pipes.
class ToolProcess {
 public:
  explicit ToolProcess(std::vector<std::string> args) {
    int in[2];
    int out[2];
    if (::pipe(in) != 0 || ::pipe(out) != 0) return;
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(in[0], STDIN_FILENO);
      ::dup2(out[1], STDOUT_FILENO);
      ::close(in[1]);
      ::close(out[0]);
      std::vector<char*> argv{const_cast<char*>(CORVELLA_UNIT_SIM)};
      for (auto& arg : args) argv.push_back(arg.data());
      argv.push_back(nullptr);
      ::execv(argv[0], argv.data());
      ::_exit(127);
    }
    ::close(in[0]);
    ::close(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];
  }
  ~ToolProcess() {
    CloseStdin();
    if (stdout_ >= 0) ::close(stdout_);
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }

  // Everything up to the first newline (the far side's path), or up to the end of the output.
  std::string ReadLine() { return Read(true); }
  std::string ReadAll() { return Read(false); }
  void CloseStdin() {
    if (stdin_ >= 0) ::close(stdin_);
    stdin_ = -1;
  }
  void Signal(int sig) { ::kill(pid_, sig); }
  // The exit status, or -1 when the program has not ended within the timeout.
  int Wait(std::chrono::milliseconds timeout = 10s) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > end) return -1;
      std::this_thread::sleep_for(10ms);
    }
    exited_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

 private:
  pid_t pid_ = -1;
  int stdin_ = -1;
  int stdout_ = -1;
  bool exited_ = false;

  std::string Read(bool oneLine) {
    std::string text;
    char c;
    pollfd pfd{stdout_, POLLIN, 0};
    while (::poll(&pfd, 1, 5000) > 0 && ::read(stdout_, &c, 1) == 1) {
      if (oneLine && c == '\n') break;
      text += c;
    }
    return text;
  }
};

fs::path TempDir() {
  const fs::path dir = fs::temp_directory_path() / ("unit_sim_test_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  return dir;
}

TEST(UnitSimTool, HelpDocumentsTheOptionsAndBadOptionsAreRefused) {
  ToolProcess help({"--help"});
  const std::string text = help.ReadAll();
  EXPECT_EQ(help.Wait(), 0);
  for (const char* option :
       {"--unit", "--link", "--load", "--save", "--log", "--delay", "--delay-for", "--silent",
        "--silent-after", "--silent-for", "--garble", "--no-close", "--junk-before", "--junk-after",
        "--hang-up-after", "--line-rate", "--stale", "--stale-from-read", "--stale-first"}) {
    EXPECT_NE(text.find(option), std::string::npos) << option;
  }
  for (std::vector<std::string> bad : {std::vector<std::string>{"--unit", "11"},
                                       {"--unit", "3:a(b"},
                                       {"--unit", "3:Name:2"},
                                       {"--unit", "3", "--unit", "3"},
                                       {"--delay", "soon"},
                                       {"--stale-from-read", "0"},
                                       {"--load"},
                                       {"--frobnicate"}}) {
    ToolProcess tool(bad);
    EXPECT_EQ(tool.ReadLine(), "");  // no path printed
    EXPECT_EQ(tool.Wait(), 2) << bad.front();
  }
}

TEST(UnitSimTool, ServesUnitsUntilStdinClosesThenSavesAndCleansUp) {
  const fs::path dir = TempDir();
  ProgramParameters loaded{};
  ResetParameters(loaded, PadName("From file", kProgramNameLength));
  loaded.outputDelay[1] = 321;
  ASSERT_TRUE(SaveParametersFile(dir / "in.asc", loaded).ok);

  ToolProcess tool({"--unit", "2:Left:1", "--unit", "5", "--load", (dir / "in.asc").string(),
                    "--save", (dir / "out.asc").string(), "--log", (dir / "traffic.log").string(),
                    "--link", (dir / "port").string()});
  const std::string path = tool.ReadLine();
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(fs::read_symlink(dir / "port"), path);
  {
    testing::PtyClient client(path);
    EXPECT_EQ(client.Exchange("(02X)"), "(02XLeft..........)");
    EXPECT_EQ(client.Exchange("(05X)").size(), 21u);
    EXPECT_EQ(client.Exchange("(02%051200)"), "(02%051200000321)");
    EXPECT_EQ(client.Exchange("(02I000)").substr(11, 25), "From file................");
    EXPECT_EQ(client.Exchange("(02$0491111)"), "(02$049)");
  }
  tool.CloseStdin();
  EXPECT_EQ(tool.Wait(), 0);
  EXPECT_FALSE(fs::exists(fs::symlink_status(dir / "port")));

  ProgramParameters saved{};
  ASSERT_TRUE(LoadParametersFile(dir / "out.asc", saved).ok);
  loaded.outputLevel[0] = 111;
  EXPECT_EQ(ToImage(saved), ToImage(loaded));

  std::ifstream logFile(dir / "traffic.log");
  std::stringstream log;
  log << logFile.rdbuf();
  EXPECT_NE(log.str().find(" rx (02X)\n"), std::string::npos);
  EXPECT_NE(log.str().find(" tx (02$049)\n"), std::string::npos);
  fs::remove_all(dir);
}

TEST(UnitSimTool, EndsOnSigtermAndOnAHangUpFault) {
  ToolProcess onSignal({"--ignore-stdin"});
  ASSERT_FALSE(onSignal.ReadLine().empty());
  onSignal.CloseStdin();  // ignored: still running until the signal
  onSignal.Signal(SIGTERM);
  EXPECT_EQ(onSignal.Wait(), 0);

  ToolProcess hangUp({"--hang-up-after", "2", "--junk-after", "#"});
  testing::PtyClient client(hangUp.ReadLine());
  EXPECT_EQ(client.Exchange("(01U00)"), "(01U00)");
  client.Write("(01U00)");
  EXPECT_TRUE(client.WaitHangUp());
  EXPECT_EQ(hangUp.Wait(), 0);

  const fs::path dir = TempDir();
  ToolProcess badLoad({"--load", (dir / "missing.asc").string()});
  EXPECT_EQ(badLoad.ReadLine(), "");
  EXPECT_EQ(badLoad.Wait(), 1);
  fs::remove_all(dir);
}

}  // namespace
}  // namespace corvella::sim
