// The parameters file (*.asc): the 168-byte parameter image, recognised by its length alone, and
// the lookup of "factory default.asc". The menu commands and message boxes live in the shell;
// their texts are here, next to the functions whose results they report.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "model/program_parameters.h"

namespace corvella {

inline constexpr std::string_view kParametersFileFilter = "Parameters File(*.asc)";
inline constexpr std::string_view kParametersFileDefaultExtension = "*.asc";
inline constexpr std::string_view kFactoryDefaultFileName = "factory default.asc";

// Open.
inline constexpr std::string_view kFileOpenSuccessText = "-> File Open Success...!";
inline constexpr std::string_view kFileInvalidText = "The File is invalid...!";
inline constexpr std::string_view kFileInvalidCaption = "Warning";
// Save.
inline constexpr std::string_view kFileSavedSuccessText = "-> File Saved Success...!";
inline constexpr std::string_view kFileSaveFailedText = "File Save Failed...!";
inline constexpr std::string_view kFileSaveFailedCaption = "Warnning";
// Factory default.
inline constexpr std::string_view kLoadDefaultQuestionText =
    "Are you sure you want to load default setting ?";
inline constexpr std::string_view kLoadDefaultQuestionCaption = "Question:";
inline constexpr std::string_view kFactoryDefaultMissingText = "File is invalid or not exist...";
inline constexpr std::string_view kFactoryDefaultMissingCaption = "Error";
inline constexpr std::string_view kFactoryDefaultInvalidText = "  File is invalid or not exist...!";
inline constexpr std::string_view kFactoryDefaultInvalidCaption = "Warning";
// A file that cannot be opened or created: the system's own text, under this caption.
inline constexpr std::string_view kFileSystemErrorCaption = "Error";

enum class FileFailure {
  None,
  OpenFailed,    // could not open for reading (systemText says why)
  WrongLength,   // not exactly 168 bytes: kFileInvalidText / kFactoryDefaultInvalidText
  ReadFailed,    // opened, but reading failed (e.g. a directory)
  CreateFailed,  // could not create the file (systemText says why)
  WriteFailed,   // writing, flushing or replacing the target failed: kFileSaveFailedText
};

struct FileResult {
  bool ok = false;
  FileFailure failure = FileFailure::None;
  std::string systemText;  // strerror of the failing call, empty when ok or WrongLength
};

// Loads a parameters file into p. Only a file of exactly 168 bytes is taken, and then every
// parameter field (bytes 0..133); the tail stays as it was. On any failure p is unchanged.
// The caller repairs the set afterwards (RepairParameters) as for every whole-set change.
FileResult LoadParametersFile(const std::filesystem::path& path, ProgramParameters& p);

// Writes the 168-byte image. The bytes go to a temporary file in the target's directory, which
// replaces the target only once all of them are written and flushed, so a failed save never
// destroys the previous file.
FileResult SaveParametersFile(const std::filesystem::path& path, const ProgramParameters& p);

// Where "factory default.asc" is looked for, in order: the executable's directory (a build
// folder), the data directory beside an installed executable's (../share/corvella), then the
// configured installation's data directory.
std::vector<std::filesystem::path> FactoryDefaultCandidates(
    const std::filesystem::path& executableDir);
// The first candidate that exists as a regular file; nullopt means kFactoryDefaultMissingText.
std::optional<std::filesystem::path> FindFactoryDefault(const std::filesystem::path& executableDir);

// The directory of the running executable; empty when the system cannot tell.
std::filesystem::path ExecutableDirectory();

}  // namespace corvella
