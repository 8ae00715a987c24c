#include "model/parameters_file.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace corvella {
namespace {

namespace fs = std::filesystem;

class TempDir {
 public:
  TempDir() {
    std::string pattern = (fs::temp_directory_path() / "corvella-file-XXXXXX").string();
    path_ = ::mkdtemp(pattern.data());
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
  }
  const fs::path& path() const { return path_; }

 private:
  fs::path path_;
};

std::vector<std::uint8_t> ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

ProgramParameters ResetSet() {
  ProgramParameters p{};
  ResetParameters(p);
  return p;
}

TEST(ParametersFile, SaveWritesTheImageAndLoadBringsItBack) {
  TempDir dir;
  const fs::path file = dir.path() / "show.asc";
  ProgramParameters saved = ResetSet();
  saved.programNumber = 3;
  saved.outputDelay[0] = 0x0305;
  saved.outputDelay[1] = 700;
  saved.outputPhase[0] = 1;
  saved.outputPhase[1] = 1;
  ASSERT_TRUE(SaveParametersFile(file, saved).ok);

  const auto bytes = ReadAll(file);
  ASSERT_EQ(bytes.size(), kParameterImageSize);
  EXPECT_EQ(bytes[0], 3);
  EXPECT_EQ(std::string(bytes.begin() + 1, bytes.begin() + 26), kFactoryDefaultName);
  EXPECT_EQ(bytes[26], saved.inputPeq[0][0].type);
  EXPECT_EQ(bytes[124], 0x05);
  EXPECT_EQ(bytes[125], 0x03);
  EXPECT_EQ(bytes[126], 0);
  EXPECT_EQ(bytes[127], 0);
  // No temporary file is left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);

  // Every parameter comes back, including the LOW delay and both phases.
  ProgramParameters loaded{};
  const FileResult result = LoadParametersFile(file, loaded);
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.failure, FileFailure::None);
  EXPECT_EQ(loaded.outputDelay[1], 700);
  EXPECT_EQ(loaded.outputPhase[0], 1);
  EXPECT_EQ(loaded.outputPhase[1], 1);
  EXPECT_EQ(ToImage(loaded), ToImage(saved));
}

TEST(ParametersFile, LoadTakesEveryParameterButNotTheTail) {
  TempDir dir;
  const fs::path file = dir.path() / "other.asc";
  std::vector<std::uint8_t> bytes(kParameterImageSize, 0);
  bytes[0] = 5;
  bytes[128] = 0x10;  // outputDelay[LOW] = 0x0110
  bytes[129] = 0x01;
  bytes[132] = 1;
  bytes[133] = 1;
  for (std::size_t i = 134; i < kParameterImageSize; ++i) bytes[i] = 0xEE;
  WriteAll(file, bytes);

  ProgramParameters p = ResetSet();
  p.tail[0] = 7;
  ASSERT_TRUE(LoadParametersFile(file, p).ok);
  EXPECT_EQ(p.programNumber, 5);
  EXPECT_EQ(p.outputDelay[0], 0);
  EXPECT_EQ(p.outputDelay[1], 0x0110);
  EXPECT_EQ(p.outputPhase[0], 1);
  EXPECT_EQ(p.outputPhase[1], 1);
  EXPECT_EQ(p.tail[0], 7);
  EXPECT_EQ(p.tail[33], 0);
}

TEST(ParametersFile, OnlyAFileOfExactlyTheImageLengthIsTaken) {
  TempDir dir;
  const ProgramParameters before = ResetSet();
  for (std::size_t length :
       {std::size_t{0}, kParameterImageSize - 1, kParameterImageSize + 1, std::size_t{4096}}) {
    const fs::path file = dir.path() / ("len" + std::to_string(length) + ".asc");
    WriteAll(file, std::vector<std::uint8_t>(length, 0x55));
    ProgramParameters p = before;
    const FileResult result = LoadParametersFile(file, p);
    EXPECT_FALSE(result.ok) << length;
    EXPECT_EQ(result.failure, FileFailure::WrongLength) << length;
    EXPECT_EQ(ToImage(p), ToImage(before)) << length;
  }
}

TEST(ParametersFile, FilesThatCannotBeOpenedReportTheSystemsReason) {
  TempDir dir;
  ProgramParameters p = ResetSet();
  const auto before = ToImage(p);

  FileResult missing = LoadParametersFile(dir.path() / "absent.asc", p);
  EXPECT_FALSE(missing.ok);
  EXPECT_EQ(missing.failure, FileFailure::OpenFailed);
  EXPECT_EQ(missing.systemText, "No such file or directory");

  FileResult directory = LoadParametersFile(dir.path(), p);
  EXPECT_FALSE(directory.ok);
  EXPECT_NE(directory.failure, FileFailure::None);
  EXPECT_FALSE(directory.systemText.empty());
  EXPECT_EQ(ToImage(p), before);

  FileResult noFolder = SaveParametersFile(dir.path() / "no such folder" / "x.asc", p);
  EXPECT_FALSE(noFolder.ok);
  EXPECT_EQ(noFolder.failure, FileFailure::CreateFailed);
  EXPECT_EQ(noFolder.systemText, "No such file or directory");
}

TEST(ParametersFile, AFailedSaveLeavesThePreviousFileIntact) {
  TempDir dir;
  // Replacing an existing file works and keeps no leftovers.
  const fs::path file = dir.path() / "keep.asc";
  ProgramParameters first = ResetSet();
  first.programNumber = 1;
  ASSERT_TRUE(SaveParametersFile(file, first).ok);
  ProgramParameters second = first;
  second.programNumber = 2;
  ASSERT_TRUE(SaveParametersFile(file, second).ok);
  EXPECT_EQ(ReadAll(file)[0], 2);

  // A target that is a directory cannot be replaced: the directory and what it holds survive,
  // and no temporary file is left behind.
  const fs::path folder = dir.path() / "folder.asc";
  fs::create_directory(folder);
  WriteAll(folder / "inside", {1, 2, 3});
  const FileResult result = SaveParametersFile(folder, second);
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.failure, FileFailure::WriteFailed);
  EXPECT_FALSE(result.systemText.empty());
  EXPECT_TRUE(fs::is_directory(folder));
  EXPECT_EQ(ReadAll(folder / "inside").size(), 3u);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 2);
  EXPECT_EQ(ReadAll(file)[0], 2);
}

TEST(FactoryDefault, LookedForBesideTheProgramFirst) {
  TempDir dir;
  const auto candidates = FactoryDefaultCandidates(dir.path());
  ASSERT_EQ(candidates.size(), 2u);
  EXPECT_EQ(candidates[0], dir.path() / "factory default.asc");
  EXPECT_EQ(candidates[1].filename(), "factory default.asc");
  EXPECT_NE(FindFactoryDefault(dir.path()), candidates[0]);

  WriteAll(candidates[0], std::vector<std::uint8_t>(kParameterImageSize, 0));
  EXPECT_EQ(FindFactoryDefault(dir.path()), candidates[0]);

  // A folder of that name is no file.
  TempDir other;
  fs::create_directory(other.path() / "factory default.asc");
  EXPECT_NE(FindFactoryDefault(other.path()), other.path() / "factory default.asc");
}

TEST(FactoryDefault, TheShippedFileHoldsTheStartUpValues) {
  const fs::path shipped = CORVELLA_FACTORY_DEFAULT_FILE;
  const auto bytes = ReadAll(shipped);
  const auto expected = ToImage(ResetSet());
  ASSERT_EQ(bytes.size(), kParameterImageSize);
  EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), expected.begin()));

  ProgramParameters loaded{};
  ASSERT_TRUE(LoadParametersFile(shipped, loaded).ok);
  EXPECT_FALSE(RepairParameters(loaded));
}

TEST(FactoryDefault, ExecutableDirectoryHoldsThisTest) {
  const fs::path dir = ExecutableDirectory();
  ASSERT_FALSE(dir.empty());
  EXPECT_TRUE(fs::exists(dir / "corvella_model_tests"));
}

}  // namespace
}  // namespace corvella
