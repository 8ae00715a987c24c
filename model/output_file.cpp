#include "model/output_file.h"

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <system_error>

#include "model/parameters_file.h"

namespace corvella {
namespace fs = std::filesystem;

namespace {

fs::path TemporaryBeside(const fs::path& target) {
  fs::path temporary = target;
  // Unique enough for two runs writing beside each other; the rename settles who wins.
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  temporary.replace_filename("." + target.filename().string() + ".part-" + std::to_string(stamp));
  return temporary;
}

}  // namespace

bool WriteWhole(const fs::path& target, const std::function<bool(const fs::path&)>& write,
                std::string& error) {
  const fs::path temporary = TemporaryBeside(target);
  std::error_code ec;
  if (!write(temporary)) {
    if (error.empty()) error = "cannot write " + target.string();
    fs::remove(temporary, ec);
    return false;
  }
  fs::rename(temporary, target, ec);
  if (ec) {
    error = target.string() + ": " + ec.message();
    fs::remove(temporary, ec);
    return false;
  }
  return true;
}

bool WriteTextWhole(const fs::path& target, std::string_view text, std::string& error) {
  return WriteWhole(
      target,
      [&](const fs::path& temporary) {
        std::FILE* file = std::fopen(temporary.string().c_str(), "wb");
        if (file == nullptr) {
          error = target.string() + ": " + std::strerror(errno);
          return false;
        }
        const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
        const bool closed = std::fclose(file) == 0;
        if (!written || !closed) error = target.string() + ": " + std::strerror(errno);
        return written && closed;
      },
      error);
}

bool OutputDirectoryExists(const fs::path& target, std::string& error) {
  const fs::path directory = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::error_code ec;
  if (fs::is_directory(directory, ec)) return true;
  error = target.string() + ": the directory " + directory.string() + " does not exist";
  return false;
}

bool SaveParametersWhole(const std::string& target, const ProgramParameters& p,
                         std::string& error) {
  return WriteWhole(
      target,
      [&](const std::filesystem::path& temporary) {
        const FileResult result = SaveParametersFile(temporary, p);
        if (!result.ok) error = target + ": " + result.systemText;
        return result.ok;
      },
      error);
}

}  // namespace corvella
