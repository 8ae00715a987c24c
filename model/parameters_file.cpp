// Reading and writing the parameters file, and finding the factory default.
#include "model/parameters_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "corvella_config.h"

#ifdef _WIN32
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace corvella {

namespace {

// Bytes 0..133 hold every parameter; the tail after them carries nothing.
constexpr std::size_t kParameterBytes = offsetof(ProgramParameters, tail);

// Closes the stream on every path out of a function.
class File {
 public:
  File() = default;
  File(const std::filesystem::path& path, const char* mode) {
#ifdef _WIN32
    std::wstring wideMode(mode, mode + std::strlen(mode));
    file_ = _wfopen(path.c_str(), wideMode.c_str());
#else
    file_ = std::fopen(path.c_str(), mode);
#endif
  }
  File(File&& other) noexcept : file_(other.file_) {
    other.file_ = nullptr;
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File& operator=(File&&) = delete;
  ~File() {
    if (file_ != nullptr) std::fclose(file_);
  }

  std::FILE* get() const {
    return file_;
  }
  explicit operator bool() const {
    return file_ != nullptr;
  }

  // Closes now, reporting whether the buffered bytes reached the system.
  bool Close() {
    std::FILE* f = file_;
    file_ = nullptr;
    return f != nullptr && std::fclose(f) == 0;
  }

 private:
  std::FILE* file_ = nullptr;
};

FileResult Failure(FileFailure failure, int error) {
  return {false, failure, error != 0 ? std::strerror(error) : std::string()};
}

FileResult Failure(FileFailure failure, const std::error_code& error) {
  return {false, failure, error.message()};
}

bool FlushToDisk(std::FILE* f) {
  if (std::fflush(f) != 0) return false;
#ifdef _WIN32
  return _commit(_fileno(f)) == 0;
#else
  return fsync(fileno(f)) == 0;
#endif
}

// A fresh name beside the target; "x" refuses to reuse a file that exists already.
File CreateTemporaryBeside(const std::filesystem::path& target, std::filesystem::path& tempPath,
                           int& error) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    tempPath = target;
    tempPath += ".tmp" + std::to_string(attempt);
    errno = 0;
    File file(tempPath, "wbx");
    if (file || errno != EEXIST) {
      error = errno;
      return file;
    }
  }
  error = EEXIST;
  return File();
}

}  // namespace

FileResult LoadParametersFile(const std::filesystem::path& path, ProgramParameters& p) {
  errno = 0;
  File file(path, "rb");
  if (!file) return Failure(FileFailure::OpenFailed, errno);

  // One byte more than an image, so that a longer file shows itself without a separate size call
  // that could disagree with what is read.
  std::uint8_t buffer[kParameterImageSize + 1];
  errno = 0;
  const std::size_t count = std::fread(buffer, 1, sizeof buffer, file.get());
  if (std::ferror(file.get())) return Failure(FileFailure::ReadFailed, errno);
  if (count != kParameterImageSize) return {false, FileFailure::WrongLength, {}};

  auto image = ToImage(p);
  std::memcpy(image.data(), buffer, kParameterBytes);
  p = FromImage(image);
  return {true, FileFailure::None, {}};
}

FileResult SaveParametersFile(const std::filesystem::path& path, const ProgramParameters& p) {
  std::filesystem::path tempPath;
  int createError = 0;
  File file = CreateTemporaryBeside(path, tempPath, createError);
  if (!file) return Failure(FileFailure::CreateFailed, createError);

  const auto image = ToImage(p);
  errno = 0;
  const bool written = std::fwrite(image.data(), 1, image.size(), file.get()) == image.size() &&
                       FlushToDisk(file.get());
  const int writeError = errno;
  const bool closed = file.Close();
  std::error_code ec;
  if (!written || !closed) {
    std::filesystem::remove(tempPath, ec);
    return Failure(FileFailure::WriteFailed, writeError != 0 ? writeError : EIO);
  }
  if (std::filesystem::file_size(tempPath, ec) != kParameterImageSize || ec) {
    std::filesystem::remove(tempPath, ec);
    return Failure(FileFailure::WriteFailed, EIO);
  }
  std::filesystem::rename(tempPath, path, ec);
  if (ec) {
    const std::error_code renameError = ec;
    std::filesystem::remove(tempPath, ec);
    return Failure(FileFailure::WriteFailed, renameError);
  }
  return {true, FileFailure::None, {}};
}

std::vector<std::filesystem::path> FactoryDefaultCandidates(
    const std::filesystem::path& executableDir) {
  std::vector<std::filesystem::path> candidates;
  if (!executableDir.empty()) {
    candidates.push_back(executableDir / kFactoryDefaultFileName);
    candidates.push_back((executableDir / config::kDataDirFromBinDir).lexically_normal() /
                         kFactoryDefaultFileName);
  }
  candidates.push_back(std::filesystem::path(config::kInstallDataDir) / kFactoryDefaultFileName);
  return candidates;
}

std::optional<std::filesystem::path> FindFactoryDefault(
    const std::filesystem::path& executableDir) {
  for (const auto& candidate : FactoryDefaultCandidates(executableDir)) {
    std::error_code ec;
    if (std::filesystem::is_regular_file(candidate, ec)) return candidate;
  }
  return std::nullopt;
}

std::filesystem::path ExecutableDirectory() {
#ifdef _WIN32
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) {
      buffer.resize(n);
      break;
    }
    buffer.resize(buffer.size() * 2);
  }
  return std::filesystem::path(buffer).parent_path();
#else
  std::error_code ec;
  const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  return exe.parent_path();
#endif
}

}  // namespace corvella
