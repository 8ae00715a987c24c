#include "model/parameters_file.h"

#include <gtest/gtest.h>

#include "support/temp_dir.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace corvella {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

using test::TempDir;

Bytes ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

ProgramParameters ResetSet() {
  ProgramParameters p{};
  ResetParameters(p);
  return p;
}

TEST(ParametersFile, SaveWritesTheImageAndLoadBringsEveryParameterBack) {
  TempDir dir;
  ProgramParameters saved = ResetSet();
  saved.programNumber = 4;
  saved.outputDelay[0] = 0x01020304;  // integers are little-endian whatever the host
  saved.outputDelay[1] = 700;
  saved.outputPhase[1] = 1;
  ASSERT_TRUE(SaveParametersFile(dir / "show.asc", saved).ok);
  const Bytes bytes = ReadAll(dir / "show.asc");
  ASSERT_EQ(bytes.size(), kParameterImageSize);
  EXPECT_EQ(bytes[0], 4);
  EXPECT_EQ(std::string(bytes.begin() + 1, bytes.begin() + 26), kFactoryDefaultName);
  EXPECT_EQ(bytes[26], saved.inputPeq[0][0].type);
  EXPECT_EQ((Bytes{bytes.begin() + 124, bytes.begin() + 134}),
            (Bytes{4, 3, 2, 1, 700 & 0xFF, 700 >> 8, 0, 0, 0, 1}));
  EXPECT_EQ(dir.Entries(), 1);  // no temporary file left beside it

  // Bytes 128..133 (LOW delay, phases) are loaded too; the tail is not.
  ProgramParameters loaded = ResetSet();
  loaded.tail[0] = 7;
  const FileResult result = LoadParametersFile(dir / "show.asc", loaded);
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.failure, FileFailure::None);
  EXPECT_EQ(loaded.outputDelay[0], 0x01020304);
  EXPECT_EQ(loaded.outputDelay[1], 700);
  EXPECT_EQ(loaded.outputPhase[1], 1);
  EXPECT_EQ(loaded.tail[0], 7);
  loaded.tail[0] = 0;
  EXPECT_EQ(ToImage(loaded), ToImage(saved));
}

TEST(ParametersFile, OnlyAFileOfExactlyTheImageLengthIsTaken) {
  TempDir dir;
  const auto before = ToImage(ResetSet());
  for (std::size_t length : {std::size_t{0}, kParameterImageSize - 1, kParameterImageSize + 1}) {
    const fs::path file = dir / ("len" + std::to_string(length) + ".asc");
    WriteAll(file, Bytes(length, 0x55));
    ProgramParameters p = ResetSet();
    const FileResult result = LoadParametersFile(file, p);
    EXPECT_EQ(result.failure, FileFailure::WrongLength) << length;
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(ToImage(p), before) << length;
  }
}

TEST(ParametersFile, FilesThatCannotBeOpenedOrCreatedReportTheSystemsReason) {
  TempDir dir;
  ProgramParameters p = ResetSet();
  const auto before = ToImage(p);
  const FileResult missing = LoadParametersFile(dir / "absent.asc", p);
  EXPECT_EQ(missing.failure, FileFailure::OpenFailed);
  EXPECT_EQ(missing.systemText, "No such file or directory");
  const FileResult directory = LoadParametersFile(dir.path(), p);
  EXPECT_FALSE(directory.ok);
  EXPECT_FALSE(directory.systemText.empty());
  EXPECT_EQ(ToImage(p), before);

  const FileResult noFolder = SaveParametersFile(dir / "no such folder" / "x.asc", p);
  EXPECT_EQ(noFolder.failure, FileFailure::CreateFailed);
  EXPECT_EQ(noFolder.systemText, "No such file or directory");
}

TEST(ParametersFile, AFailedSaveLeavesThePreviousFileIntact) {
  TempDir dir;
  ProgramParameters p = ResetSet();
  p.programNumber = 1;
  ASSERT_TRUE(SaveParametersFile(dir / "keep.asc", p).ok);
  p.programNumber = 2;
  ASSERT_TRUE(SaveParametersFile(dir / "keep.asc", p).ok);  // an existing file is replaced
  EXPECT_EQ(ReadAll(dir / "keep.asc")[0], 2);

  // A target that is a directory cannot be replaced: it survives with what it holds, and no
  // temporary file is left behind.
  fs::create_directory(dir / "folder.asc");
  WriteAll(dir / "folder.asc" / "inside", {1, 2, 3});
  const FileResult result = SaveParametersFile(dir / "folder.asc", p);
  EXPECT_EQ(result.failure, FileFailure::WriteFailed);
  EXPECT_FALSE(result.systemText.empty());
  EXPECT_EQ(ReadAll(dir / "folder.asc" / "inside").size(), 3u);
  EXPECT_EQ(dir.Entries(), 2);
}

TEST(FactoryDefault, LookedForBesideTheProgramFirst) {
  TempDir dir;
  const fs::path beside = dir / "factory default.asc";
  EXPECT_NE(FindFactoryDefault(dir.path()), beside);
  fs::create_directory(beside);  // a folder of that name is no file
  EXPECT_NE(FindFactoryDefault(dir.path()), beside);
  fs::remove(beside);
  WriteAll(beside, Bytes(kParameterImageSize, 0));
  EXPECT_EQ(FindFactoryDefault(dir.path()), beside);
  EXPECT_EQ(FactoryDefaultCandidates(dir.path()).back().filename(), "factory default.asc");

  EXPECT_TRUE(fs::exists(ExecutableDirectory() / "corvella_model_tests"));
}

TEST(FactoryDefault, AnInstalledProgramFindsItInTheDataFolderBesideItsOwn) {
  // An installed tree as a package lays it out, under a prefix the build was not configured for.
  TempDir root;
  const fs::path bin = root / "bin";
  const fs::path data = root / "share" / "corvella";
  fs::create_directories(bin);
  fs::create_directories(data);
  const fs::path shipped = data / "factory default.asc";
  WriteAll(shipped, Bytes(kParameterImageSize, 0));
  EXPECT_EQ(FindFactoryDefault(bin), shipped);

  // A copy beside the program (a build folder) still comes first.
  const fs::path beside = bin / "factory default.asc";
  WriteAll(beside, Bytes(kParameterImageSize, 0));
  EXPECT_EQ(FindFactoryDefault(bin), beside);
}

TEST(FactoryDefault, TheShippedFileHoldsTheStartUpValues) {
  const Bytes bytes = ReadAll(CORVELLA_FACTORY_DEFAULT_FILE);
  const auto expected = ToImage(ResetSet());
  EXPECT_EQ(bytes, Bytes(expected.begin(), expected.end()));
}

}  // namespace
}  // namespace corvella
