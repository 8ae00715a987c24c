#include "link/port_table.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <utility>

#include "link/network_address.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace corvella::link {
namespace {

bool IsDigit(char c) {
  return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())) != 0) {
    text.remove_prefix(1);
  }
  while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())) != 0) {
    text.remove_suffix(1);
  }
  return text;
}

// Device families in the order the scan lists them: USB adapters first, since a unit is most often
// reached through one, then the board's own UARTs.
struct Family {
  std::string_view prefix;
  bool numbered;  // the rest of the name is a number (ttyS0); else anything (cu.usbserial-A1)
};
constexpr std::array<Family, 10> kFamilies{{
    {"ttyUSB", true},
    {"ttyACM", true},
    {"ttyCH341USB", true},
    {"ttyXRUSB", true},
    {"cu.usbserial", false},
    {"cu.usbmodem", false},
    {"ttyAMA", true},
    {"ttymxc", true},
    {"ttyO", true},
    {"ttyS", true},
}};

std::optional<std::size_t> FamilyOf(std::string_view name) {
  for (std::size_t i = 0; i < kFamilies.size(); ++i) {
    const Family& family = kFamilies[i];
    if (name.size() <= family.prefix.size() ||
        name.substr(0, family.prefix.size()) != family.prefix) {
      continue;
    }
    const std::string_view rest = name.substr(family.prefix.size());
    if (!family.numbered || std::all_of(rest.begin(), rest.end(), IsDigit)) return i;
  }
  return std::nullopt;
}

#ifdef _WIN32
std::string NormaliseComName(std::string path) {
  if (path.size() > 3 && (path.compare(0, 3, "COM") == 0 || path.compare(0, 3, "com") == 0) &&
      std::all_of(path.begin() + 3, path.end(), IsDigit)) {
    return ComDeviceName(std::atoi(path.c_str() + 3));
  }
  return path;
}
#endif

// Splits "--name=value" or "--name value"; false when `arguments[i]` is not this option.
bool TakeOption(const std::vector<std::string>& arguments, std::size_t& i, std::string_view name,
                std::optional<std::string>& value) {
  const std::string& arg = arguments[i];
  if (arg == name) {
    if (i + 1 < arguments.size())
      value = arguments[++i];
    else
      value = std::nullopt;
    return true;
  }
  if (arg.size() > name.size() && arg.compare(0, name.size(), name) == 0 &&
      arg[name.size()] == '=') {
    value = arg.substr(name.size() + 1);
    return true;
  }
  return false;
}

}  // namespace

std::string ComDeviceName(int number) {
  return (number < 10 ? "COM" : "\\\\.\\COM") + std::to_string(number);
}

PortTable::PortTable(std::vector<std::string> paths) : paths_(std::move(paths)) {}

std::optional<PortTable> PortTable::Parse(std::string_view list) {
  if (BadNetworkEntry(list)) return std::nullopt;
  std::vector<std::string> paths;
  while (true) {
    const std::size_t comma = list.find(',');
    const std::string_view path = Trim(list.substr(0, comma));
    if (!path.empty()) {
#ifdef _WIN32
      paths.push_back(NormaliseComName(std::string(path)));
#else
      paths.emplace_back(path);
#endif
    }
    if (comma == std::string_view::npos) break;
    list.remove_prefix(comma + 1);
  }
  if (paths.empty()) return std::nullopt;
  return PortTable(std::move(paths));
}

PortTable PortTable::FromSystem() {
#ifdef _WIN32
  std::vector<std::string> paths;
  for (int n = 1; n <= 256; ++n) paths.push_back(ComDeviceName(n));
  return PortTable(std::move(paths));
#else
  return FromDirectory("/dev");
#endif
}

PortTable PortTable::PresentPorts() {
#ifdef _WIN32
  std::vector<std::string> paths;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return PortTable();
  }
  for (DWORD index = 0;; ++index) {
    char name[256];
    DWORD nameSize = sizeof name;
    BYTE data[256];
    DWORD dataSize = sizeof data - 1;
    DWORD type = 0;
    const LONG status =
        RegEnumValueA(key, index, name, &nameSize, nullptr, &type, data, &dataSize);
    if (status == ERROR_NO_MORE_ITEMS) break;
    if (status != ERROR_SUCCESS || type != REG_SZ) continue;
    data[dataSize] = 0;
    paths.push_back(NormaliseComName(reinterpret_cast<const char*>(data)));
  }
  RegCloseKey(key);
  std::sort(paths.begin(), paths.end(), NaturalLess);
  paths.erase(std::unique(paths.begin(), paths.end()), paths.end());
  return PortTable(std::move(paths));
#else
  return FromSystem();
#endif
}

PortTable PortTable::FromDirectory(const std::string& directory) {
  std::vector<std::pair<std::size_t, std::string>> found;
  std::error_code error;
  for (std::filesystem::directory_iterator it(directory, error), end; !error && it != end;
       it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (it->is_directory(error)) continue;
    if (const auto family = FamilyOf(name)) found.emplace_back(*family, name);
  }
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
    return a.first != b.first ? a.first < b.first : NaturalLess(a.second, b.second);
  });
  std::vector<std::string> paths;
  paths.reserve(found.size());
  for (const auto& entry : found)
    paths.push_back((std::filesystem::path(directory) / entry.second).string());
  return PortTable(std::move(paths));
}

void PortTable::PutFirst(const std::string& path) {
  paths_.erase(std::remove(paths_.begin(), paths_.end(), path), paths_.end());
  paths_.insert(paths_.begin(), path);
}

std::optional<std::string> PortTable::PathFor(int portNumber) const {
  if (portNumber < 1 || portNumber > Size()) return std::nullopt;
  return paths_[static_cast<std::size_t>(portNumber - 1)];
}

bool NaturalLess(std::string_view a, std::string_view b) {
  std::size_t i = 0;
  std::size_t j = 0;
  while (i < a.size() && j < b.size()) {
    if (IsDigit(a[i]) && IsDigit(b[j])) {
      // Compare the digit runs by value: skip leading zeros, then the longer run is larger.
      std::size_t ai = i;
      std::size_t bj = j;
      while (ai < a.size() && a[ai] == '0') ++ai;
      while (bj < b.size() && b[bj] == '0') ++bj;
      std::size_t aEnd = ai;
      std::size_t bEnd = bj;
      while (aEnd < a.size() && IsDigit(a[aEnd])) ++aEnd;
      while (bEnd < b.size() && IsDigit(b[bEnd])) ++bEnd;
      if (aEnd - ai != bEnd - bj) return aEnd - ai < bEnd - bj;
      const int order = a.substr(ai, aEnd - ai).compare(b.substr(bj, bEnd - bj));
      if (order != 0) return order < 0;
      i = aEnd;
      j = bEnd;
    } else {
      if (a[i] != b[j]) return a[i] < b[j];
      ++i;
      ++j;
    }
  }
  return a.size() - i < b.size() - j;
}

LinkOptions ParseLinkOptions(const std::vector<std::string>& arguments) {
  LinkOptions options;
  std::optional<std::string> portsList;
  bool portsGiven = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::optional<std::string> value;
    if (i > 0 && TakeOption(arguments, i, "--ports", value)) {
      portsGiven = true;
      portsList = value;
      if (!value || !PortTable::Parse(*value)) {
        options.error =
            "--ports needs a comma-separated list of serial devices, e.g. "
            "--ports /dev/ttyUSB0,/dev/ttyUSB1";
      }
      if (value) {
        if (auto bad = BadNetworkEntry(*value)) options.error = "--ports: " + *bad;
      }
    } else if (i > 0 && TakeOption(arguments, i, "--log", value)) {
      if (!value || value->empty()) {
        options.error = "--log needs the name of the journal file, e.g. --log link.log";
      }
      options.logPath = value;
    } else {
      options.rest.push_back(arguments[i]);
    }
  }
  if (portsGiven) {
    if (portsList) {
      if (auto table = PortTable::Parse(*portsList)) options.ports = std::move(*table);
    }
    return options;
  }
  const char* environment = std::getenv(kPortsEnvironmentVariable);
  if (environment != nullptr) {
    if (auto table = PortTable::Parse(environment)) {
      options.ports = std::move(*table);
      return options;
    }
  }
  options.ports = PortTable::FromSystem();
  return options;
}

LinkOptions ParseLinkOptions(int argc, const char* const* argv) {
  std::vector<std::string> arguments;
  for (int i = 0; i < argc; ++i) arguments.emplace_back(argv[i]);
  return ParseLinkOptions(arguments);
}

}  // namespace corvella::link
