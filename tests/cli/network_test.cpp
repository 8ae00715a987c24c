// corvella-cli against the virtual unit program through ser2net, a real serial device server on
// the loopback address: the same commands and files as over the pseudo-terminal. Skipped only
// where ser2net is not installed.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "cli_harness.h"
#include "model/parameters_file.h"
#include "net/ser2net_host.h"

namespace corvella::cli::testing {
namespace {

using test::Ser2net;

ProgramParameters StageSet() {
  ProgramParameters p{};
  ResetParameters(p, "Over the network.........");
  p.inputLevel[0] = 150;
  p.crossover[1].lpfType = 11;
  p.outputDelay[1] = 255;  // a block whose answer carries the byte Telnet escapes is still plain
  p.outputPeq[2][1] = PeqBand{2, 80, 12, 50};
  return p;
}

#define SKIP_WITHOUT_SER2NET()                                                                    \
  if (Ser2net::Program().empty())                                                                 \
  GTEST_SKIP() << "ser2net is not installed (Debian package ser2net; scripts/bootstrap installs " \
                  "it)"

// ser2net lets go of the device a moment after a connection ends.
void LetGo() {
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
}

TEST(CliNetwork, ScanAndUploadThroughADeviceServerMatchThePseudoTerminal) {
  SKIP_WITHOUT_SER2NET();
  const ScratchDir scratch("net");
  const fs::path& dir = scratch.Path();
  ASSERT_TRUE(SaveParametersFile(dir / "stage.asc", StageSet()).ok);
  SimUnit unit(dir, {"--unit", "4:Delay Tower", "--load", (dir / "stage.asc").string()});
  ASSERT_FALSE(unit.Path().empty());
  Ser2net server;
  ASSERT_TRUE(server.Start(unit.Path(), dir)) << server.Error();

  for (const std::string& url : {server.RawUrl(), server.TelnetUrl()}) {
    SCOPED_TRACE(url);
    const RunResult run = RunCli({"--ports", url, "scan"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "4\tDelay Tower...\t" + url + "\n");
    LetGo();
  }

  // The same upload three ways gives the same file, byte for byte.
  const std::vector<std::pair<std::string, std::string>> uploads = {
      {unit.Path(), "pty.asc"}, {server.RawUrl(), "raw.asc"}, {server.TelnetUrl(), "telnet.asc"}};
  for (const auto& [port, file] : uploads) {
    const RunResult run = RunCli({"--quiet", "--ports", port, "upload", (dir / file).string()});
    EXPECT_EQ(run.status, 0) << port << ": " << run.err;
    LetGo();
  }
  const std::string viaPty = ReadAll(dir / "pty.asc");
  ASSERT_EQ(viaPty.size(), 168u);
  EXPECT_TRUE(ReadAll(dir / "raw.asc") == viaPty);
  EXPECT_TRUE(ReadAll(dir / "telnet.asc") == viaPty);
}

// The backup file of the unit with `id` in `folder`, whatever the port's part of its name.
std::string BackupOf(const fs::path& folder, int id) {
  const std::string tail = "-" + std::to_string(id) + "-";
  for (const auto& entry : fs::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name.find(tail) != std::string::npos && entry.path().extension() == ".asc") {
      return ReadAll(entry.path());
    }
  }
  return {};
}

TEST(CliNetwork, AFleetWorksLinesBehindDeviceServersAsItWorksPseudoTerminals) {
  SKIP_WITHOUT_SER2NET();
  const ScratchDir scratch("net-fleet");
  const fs::path& dir = scratch.Path();
  for (const char* sub : {"a", "b", "pty", "net"}) fs::create_directories(dir / sub);
  ASSERT_TRUE(SaveParametersFile(dir / "stage.asc", StageSet()).ok);
  SimUnit lineA(dir / "a",
                {"--unit", "2:Left", "--load", (dir / "stage.asc").string(), "--unit", "5:Right"});
  SimUnit lineB(dir / "b", {"--unit", "7:Sub"});
  ASSERT_FALSE(lineA.Path().empty() || lineB.Path().empty());
  Ser2net serverA;
  Ser2net serverB;
  ASSERT_TRUE(serverA.Start(lineA.Path(), dir / "a")) << serverA.Error();
  ASSERT_TRUE(serverB.Start(lineB.Path(), dir / "b")) << serverB.Error();
  const std::string urls = serverA.RawUrl() + "," + serverB.TelnetUrl();

  const RunResult scan = RunCli({"--quiet", "--ports", urls, "fleet", "scan"});
  EXPECT_EQ(scan.status, 0) << scan.err;
  for (const std::string& row : {serverA.RawUrl() + "\t2\tLeft", serverA.RawUrl() + "\t5\tRight",
                                 serverB.TelnetUrl() + "\t7\tSub"}) {
    EXPECT_NE(scan.out.find(row), std::string::npos) << row << " in\n" << scan.out;
  }
  LetGo();

  // The same backup over the pseudo-terminals and over the network gives the same files.
  const RunResult viaPty = RunCli({"--quiet", "--ports", lineA.Path() + "," + lineB.Path(), "fleet",
                                   "backup", "--fast", (dir / "pty").string()});
  EXPECT_EQ(viaPty.status, 0) << viaPty.err;
  const RunResult viaNet =
      RunCli({"--quiet", "--ports", urls, "fleet", "backup", "--fast", (dir / "net").string()});
  EXPECT_EQ(viaNet.status, 0) << viaNet.out << viaNet.err;
  for (const int id : {2, 5, 7}) {
    SCOPED_TRACE(id);
    const std::string pty = BackupOf(dir / "pty", id);
    ASSERT_EQ(pty.size(), 168u);
    EXPECT_TRUE(BackupOf(dir / "net", id) == pty);
  }
  // Names made of an address hold no ":" or "/".
  for (const auto& entry : fs::directory_iterator(dir / "net")) {
    const std::string name = entry.path().filename().string();
    EXPECT_EQ(name.find_first_of(":/"), std::string::npos) << name;
  }
}

TEST(CliNetwork, DownloadsThroughADeviceServerSendWhatThePseudoTerminalSends) {
  SKIP_WITHOUT_SER2NET();
  const ScratchDir scratch("net-down");
  const fs::path& dir = scratch.Path();
  SimUnit unit(dir, {"--unit", "4:Delay Tower", "--save", (dir / "unit.asc").string()});
  ASSERT_FALSE(unit.Path().empty());
  Ser2net server;
  ASSERT_TRUE(server.Start(unit.Path(), dir)) << server.Error();

  ProgramParameters other = StageSet();
  other.outputLevel[1] = 120;
  ASSERT_TRUE(SaveParametersFile(dir / "other.asc", other).ok);
  std::vector<std::vector<std::string>> sent;
  for (const std::string& port : {unit.Path(), server.RawUrl(), server.TelnetUrl()}) {
    const RunResult run =
        RunCli({"--quiet", "--ports", port, "download", (dir / "other.asc").string()});
    EXPECT_EQ(run.status, 0) << port << ": " << run.err;
    sent.push_back(unit.AfterSearch());
    LetGo();
  }
  ASSERT_EQ(sent[0].size(), 38u);
  EXPECT_EQ(sent[1], sent[0]);
  EXPECT_EQ(sent[2], sent[0]);
  server.Stop();
  ASSERT_EQ(unit.Stop(), 0);
  ProgramParameters stored{};
  ASSERT_TRUE(LoadParametersFile(dir / "unit.asc", stored).ok);
  EXPECT_EQ(stored.outputLevel[1], 120);
  EXPECT_EQ(stored.outputDelay[1], 255);
}

TEST(CliNetwork, TheDeviceServerStoppingMidUploadIsOneLossAndEndsTheCommand) {
  SKIP_WITHOUT_SER2NET();
  const ScratchDir scratch("net-stop");
  const fs::path& dir = scratch.Path();
  SimUnit unit(dir, {});
  ASSERT_FALSE(unit.Path().empty());
  Ser2net server;
  ASSERT_TRUE(server.Start(unit.Path(), dir)) << server.Error();

  // Stopped once the upload is well under way: the search's ten probes and a dozen blocks.
  std::atomic<bool> done{false};
  std::thread operatorHand([&] {
    while (!done.load() && unit.Received().size() < 24) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    server.Stop();
  });
  const RunResult run =
      RunCli({"--ports", server.TelnetUrl(), "upload", (dir / "out.asc").string()},
             std::chrono::seconds(30));
  done = true;
  operatorHand.join();
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.LastErrLine().find("-> Connection Lost..."), std::string::npos) << run.err;
  std::size_t losses = 0;
  for (std::size_t at = run.err.find("\n-> Connection Lost...\n"); at != std::string::npos;
       at = run.err.find("\n-> Connection Lost...\n", at + 1)) {
    ++losses;
  }
  EXPECT_EQ(losses, 1u) << run.err;
  EXPECT_EQ(run.err.find("WARNING:"), std::string::npos) << "a dropped connection is no error box";
  EXPECT_FALSE(fs::exists(dir / "out.asc"));
}

TEST(CliNetwork, AnAddressWhereNothingListensIsPassedOverForTheNextPort) {
  SKIP_WITHOUT_SER2NET();
  const ScratchDir scratch("net-none");
  const fs::path& dir = scratch.Path();
  SimUnit unit(dir, {"--unit", "2:Fill"});
  ASSERT_FALSE(unit.Path().empty());
  const std::string nobody = "rfc2217://127.0.0.1:" + std::to_string(Ser2net::FreePort());

  RunResult run = RunCli({"--ports", nobody + "," + unit.Path(), "scan"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out, "2\tFill..........\t" + unit.Path() + "\n");

  run = RunCli({"--ports", nobody, "scan"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.LastErrLine(), "corvella-cli: scan failed: Search: Device Not Found!") << run.err;

  run = RunCli({"--ports", "tcp://127.0.0.1", "scan"});
  EXPECT_EQ(run.status, 2);
  EXPECT_NE(run.err.find("--ports: \"tcp://127.0.0.1\" is not a network port"), std::string::npos)
      << run.err;
}

}  // namespace
}  // namespace corvella::cli::testing
