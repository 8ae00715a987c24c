// Whole-program transfers from the command line against the virtual unit program: the frames the
// unit receives, the files written, the exit statuses, and units that stop answering.
#include <gtest/gtest.h>

#include "cli_harness.h"
#include "model/parameters_file.h"

namespace corvella::cli::testing {
namespace {

// A set that differs from the start-up values in every kind of block.
ProgramParameters KnownSet() {
  ProgramParameters p{};
  ResetParameters(p, "Known program............");
  p.programNumber = 2;
  p.inputPeq[1][0] = PeqBand{1, 50, 30, 20};
  p.inputLevel[1] = 170;
  p.crossover[0].hpfFrequency = 40;
  p.crossover[1].lpfType = 11;
  p.outputPeq[3][1] = PeqBand{3, 90, 10, 60};
  p.outputLevel[0] = 160;
  p.outputDelay[1] = 321;
  p.dynamics.threshold = 70;
  p.dynamics.ratio = 50;
  p.outputPhase[1] = 1;
  return p;
}

// The bytes the transfer carries: every parameter field.
std::string ParameterBytes(const ProgramParameters& p) {
  const auto image = ToImage(p);
  return std::string(image.begin(), image.begin() + 134);
}

std::string ParameterBytesOf(const fs::path& file) {
  ProgramParameters p{};
  EXPECT_TRUE(LoadParametersFile(file, p).ok) << file;
  return ParameterBytes(p);
}

std::vector<std::string> Framed(const std::string& id, const std::vector<std::string>& bodies) {
  std::vector<std::string> frames;
  for (const auto& body : bodies) frames.push_back("(" + id + body + ")");
  return frames;
}

const std::vector<std::string> kUploadRequests = {
    "%021100", "%021101", "%021200", "%021201",  "%025100", "%025200", "%041100",
    "%042100", "%041200", "%042200", "%043100",  "%044100", "%043200", "%044200",
    "%045100", "%045101", "%045102", "%045103",  "%045104", "%045105", "%045200",
    "%045201", "%045202", "%045203", "%045204",  "%045205", "%049100", "%049200",
    "%051100", "%051200", "%059100", "%0521000", "%0522000"};

const std::vector<std::string> kDownloadAddresses = {
    "$021100", "$021101", "$021200", "$021201", "$0251",   "$0252",   "$0411",
    "$0421",   "$0412",   "$0422",   "$0431",   "$0441",   "$0432",   "$0442",
    "$045100", "$045101", "$045102", "$045103", "$045104", "$045105", "$045200",
    "$045201", "$045202", "$045203", "$045204", "$045205", "$0491",   "$0492",
    "$051100", "$051200", "$059100", "$052100", "$052200"};

TEST(CliTransfer, UploadReadsEveryBlockInOrderAndWritesTheFileAfterSayingGoodbye) {
  const ScratchDir scratch("upload");
  const fs::path& dir = scratch.Path();
  ASSERT_TRUE(SaveParametersFile(dir / "known.asc", KnownSet()).ok);
  SimUnit unit(dir, {"--unit", "3:Stage Left", "--load", (dir / "known.asc").string()});
  ASSERT_FALSE(unit.Path().empty());

  const RunResult run = RunCli({"--ports", unit.Path(), "upload", (dir / "out.asc").string()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(ParameterBytesOf(dir / "out.asc"), ParameterBytes(KnownSet()));
  EXPECT_EQ(fs::file_size(dir / "out.asc"), 168u);

  std::vector<std::string> expected = Framed("03", {"I000"});
  for (const auto& f : Framed("03", kUploadRequests)) expected.push_back(f);
  for (const auto& f : Framed("03", {"U00", "bye"})) expected.push_back(f);
  EXPECT_EQ(unit.AfterSearch(), expected);
  // The search probed every ID once before connecting.
  const auto all = unit.Received();
  ASSERT_GE(all.size(), 10u);
  EXPECT_EQ(all.front(), "(01X)");
  EXPECT_EQ(all[9], "(10X)");
  // Every status line on stderr, in order; nothing on stdout.
  EXPECT_NE(run.err.find("-> Connected...\n-> Uploading Program Data From DEVICE To PC  Please "
                         "Wait...\n-> Program Data Transfered OK...\n-> Disconnected\n"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(run.out, "");
}

TEST(CliTransfer, DownloadSendsTheFileReadsBackAndNamesTheProgram) {
  const ScratchDir scratch("download");
  const fs::path& dir = scratch.Path();
  ASSERT_TRUE(SaveParametersFile(dir / "preset.asc", KnownSet()).ok);
  SimUnit unit(dir, {"--save", (dir / "unit.asc").string()});
  ASSERT_FALSE(unit.Path().empty());

  const RunResult run =
      RunCli({"--quiet", "--ports", unit.Path(), "download", (dir / "preset.asc").string()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err, "");  // --quiet: no status lines, and nothing went wrong

  const auto frames = unit.AfterSearch();
  ASSERT_EQ(frames.size(), 1 + kDownloadAddresses.size() + 4);
  EXPECT_EQ(frames.front(), "(01M00)");
  for (std::size_t i = 0; i < kDownloadAddresses.size(); ++i) {
    EXPECT_EQ(frames[1 + i].rfind("(01" + kDownloadAddresses[i], 0), 0u) << frames[1 + i];
  }
  EXPECT_EQ(frames[30], "(01$0512000321)");
  EXPECT_EQ(frames[33], "(01$0522001)");
  const std::vector<std::string> tail(frames.end() - 4, frames.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"(01I000)", "(01U00)",
                                            "(01N000Known program............)", "(01bye)"}));

  ASSERT_EQ(unit.Stop(), 0);
  ProgramParameters stored{};
  ASSERT_TRUE(LoadParametersFile(dir / "unit.asc", stored).ok);
  ProgramParameters sent = KnownSet();
  // The unit keeps its own program number; the fixed aux codes and the unsent aux threshold are
  // the unit's business.
  sent.programNumber = stored.programNumber;
  sent.dynamics.auxThreshold = stored.dynamics.auxThreshold;
  EXPECT_EQ(ParameterBytes(stored), ParameterBytes(sent));
}

TEST(CliTransfer, DownloadWaitsForALateReadBackButNotForOneThatNeverComes) {
  const ScratchDir scratch("late-read-back");
  const fs::path& dir = scratch.Path();
  ASSERT_TRUE(SaveParametersFile(dir / "preset.asc", KnownSet()).ok);
  const std::string preset = (dir / "preset.asc").string();
  fs::create_directories(dir / "slow");
  fs::create_directories(dir / "silent");
  {
    // Two ticks of the read-back's timer pass before the unit answers.
    SimUnit slow(dir / "slow", {"--delay", "1200", "--delay-for", "U00"});
    const RunResult run = RunCli({"--ports", slow.Path(), "download", preset});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.err.find("-> connect lost...."), std::string::npos) << "the ticks are shown";
    const auto frames = slow.AfterSearch();
    ASSERT_GE(frames.size(), 3u);
    const std::vector<std::string> tail(frames.end() - 3, frames.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"(01U00)", "(01N000Known program............)",
                                              "(01bye)"}));
  }
  {
    SimUnit silent(dir / "silent", {"--silent-for", "U00"});
    const RunResult run = RunCli({"--ports", silent.Path(), "download", preset});
    EXPECT_EQ(run.status, 1);
    EXPECT_NE(run.LastErrLine().find("-> connect lost...."), std::string::npos) << run.err;
  }
}

TEST(CliTransfer, LoadDefaultNamesDownloadsStoresAndReadsBack) {
  const ScratchDir scratch("default");
  const fs::path& dir = scratch.Path();
  ASSERT_TRUE(SaveParametersFile(dir / "house.asc", KnownSet()).ok);
  SimUnit unit(dir, {"--save", (dir / "unit.asc").string()});

  // The factory default beside the program.
  RunResult run = RunCli({"--ports", unit.Path(), "load-default"});
  EXPECT_EQ(run.status, 0) << run.err;
  auto frames = unit.AfterSearch();
  ASSERT_GT(frames.size(), 40u);
  // Connect (upload) first, then the factory default chain.
  const auto named = std::find(frames.begin(), frames.end(), "(01J0003factory default..........)");
  ASSERT_NE(named, frames.end());
  EXPECT_EQ(frames.front(), "(01I000)");
  EXPECT_EQ(*(named + 1), "(01M00)");
  const std::vector<std::string> tail(frames.end() - 4, frames.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"(01S000)", "(01I000)", "(01U00)", "(01bye)"}));
  EXPECT_EQ(frames.end() - 4 - (named + 2), 33);  // the whole set went down in between
  EXPECT_NE(run.err.find("-> Save  OK...\n-> Program Data Transfered OK...\n"), std::string::npos);

  // A named file goes down the same way, still under the factory default's name.
  run = RunCli({"--quiet", "--ports", unit.Path(), "load-default", (dir / "house.asc").string()});
  EXPECT_EQ(run.status, 0) << run.err;
  ASSERT_EQ(unit.Stop(), 0);
  ProgramParameters stored{};
  ASSERT_TRUE(LoadParametersFile(dir / "unit.asc", stored).ok);
  EXPECT_EQ(stored.outputDelay[1], 321);
  EXPECT_EQ(ProgramNameText(stored), "factory default..........");
}

TEST(CliTransfer, WrongAnswersFailTheCommandAfterTheWindowsMessages) {
  const ScratchDir scratch("garbled");
  const fs::path& dir = scratch.Path();
  ASSERT_TRUE(SaveParametersFile(dir / "preset.asc", KnownSet()).ok);
  SimUnit unit(dir, {"--garble", "$041"});

  RunResult run = RunCli({"--ports", unit.Path(), "download", (dir / "preset.asc").string()});
  EXPECT_EQ(run.status, 1);
  // One box per wrong answer, as the window shows them; the rest of the set still went down.
  EXPECT_NE(run.err.find("Warnning: Crossover Type Set Failed!\n"), std::string::npos) << run.err;
  const auto frames = unit.Received();
  EXPECT_NE(std::find(frames.begin(), frames.end(), "(01$0522001)"), frames.end());
  EXPECT_EQ(frames.back(), "(01bye)");
  EXPECT_EQ(run.LastErrLine(),
            "corvella-cli: download failed: Warnning: Crossover Type Set Failed!");

  // Garbled upload answers are asked for again, then end the upload: no file is made of them.
  fs::create_directories(dir / "second");
  SimUnit garbling(dir / "second", {"--garble", "%04"});
  const fs::path out = dir / "garbled.asc";
  run = RunCli({"--quiet", "--ports", garbling.Path(), "upload", out.string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.LastErrLine(), "corvella-cli: upload failed: -> Response Error");
  EXPECT_FALSE(fs::exists(out));

  // Garbled once: the second request is answered and the upload completes.
  fs::create_directories(dir / "third");
  SimUnit once(dir / "third", {"--garble", "%045", "--garble-first", "1"});
  run = RunCli({"--quiet", "--ports", once.Path(), "upload", out.string()});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(fs::exists(out));
}

// A unit whose program holds codes out of range: the upload refuses to save it unless asked to,
// and says how; asked to, it saves the repaired program and still shows the warning.
TEST(CliTransfer, ARepairedUploadIsSavedOnlyWhenAccepted) {
  const ScratchDir scratch("repaired");
  const fs::path& dir = scratch.Path();
  ProgramParameters odd = KnownSet();
  odd.inputLevel[0] = 250;
  ASSERT_TRUE(SaveParametersFile(dir / "odd.asc", odd).ok);
  SimUnit unit(dir, {"--load", (dir / "odd.asc").string()});
  const fs::path out = dir / "out.asc";
  const std::string warning =
      "Warnning: Error existed in Program data, Upgrated by valiable data!";

  RunResult run = RunCli({"--quiet", "--ports", unit.Path(), "upload", out.string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.LastErrLine(),
            "corvella-cli: upload failed: " + warning + " (--accept-repaired saves it repaired)");
  EXPECT_FALSE(fs::exists(out));

  run = RunCli(
      {"--quiet", "--ports", unit.Path(), "upload", out.string(), "--accept-repaired"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_NE(run.err.find(warning), std::string::npos) << run.err;
  ProgramParameters saved{};
  ASSERT_TRUE(LoadParametersFile(out, saved).ok);
  EXPECT_FALSE(RepairParameters(saved)) << "saved as repaired";
  EXPECT_EQ(saved.inputLevel[1], odd.inputLevel[1]);
  EXPECT_NE(saved.inputLevel[0], 250);
}

TEST(CliTransfer, SilentUnitEndsWithConnectionLostAndLeavesTheOldFileAlone) {
  const ScratchDir scratch("silent");
  const fs::path& dir = scratch.Path();
  const std::string before = "an older upload that must survive";
  {
    std::ofstream old(dir / "out.asc", std::ios::binary);
    old << before;
  }
  // Answers the ten probes and the program information, then nothing.
  SimUnit unit(dir, {"--silent-after", "12"});
  const RunResult run = RunCli({"--ports", unit.Path(), "upload", (dir / "out.asc").string()});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.LastErrLine().find("-> Connection Lost..."), std::string::npos) << run.err;
  EXPECT_EQ(ReadAll(dir / "out.asc"), before);
  // No stray temporary file either.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
}

TEST(CliTransfer, UnitHangingUpMidUploadEndsTheCommandWithoutACrash) {
  const ScratchDir scratch("hangup");
  const fs::path& dir = scratch.Path();
  SimUnit unit(dir, {"--hang-up-after", "20"});
  // Well inside this limit, or the run is killed and reported as -1.
  const RunResult run = RunCli({"--ports", unit.Path(), "upload", (dir / "out.asc").string()},
                               std::chrono::seconds(30));
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_NE(run.LastErrLine().find("-> Connection Lost..."), std::string::npos) << run.err;
  EXPECT_FALSE(fs::exists(dir / "out.asc"));
  // The twentieth frame for unit 1 went unanswered; nothing was sent down the dead line after it.
  EXPECT_EQ(unit.Received().back(), "(01%045103)");
}

}  // namespace
}  // namespace corvella::cli::testing
