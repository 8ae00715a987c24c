#include "fleet/manifest.h"

#include <cmath>
#include <nlohmann/json.hpp>

#include "model/latin1.h"
#include "model/output_file.h"

namespace corvella::fleet {
namespace {

// Keys in the order written, as a reader expects them.
using json = nlohmann::ordered_json;

double Seconds(std::chrono::milliseconds elapsed) {
  return std::round(static_cast<double>(elapsed.count()) / 10.0) / 100.0;
}

// Names come from a unit or a file as Latin-1 bytes.
json Unit(const UnitResult& u) {
  return {{"port", u.port},
          {"portName", u.portName},
          {"id", u.id},
          {"deviceName", Latin1ToUtf8(u.deviceName)},
          {"kind", u.kind},
          {"programNumber", u.programNumber ? json(*u.programNumber) : json(nullptr)},
          {"programName", u.programNumber ? json(Latin1ToUtf8(u.programName)) : json(nullptr)},
          {"result", u.ok ? "ok" : "failed"},
          {"detail", Latin1ToUtf8(u.detail)},
          {"seconds", Seconds(u.elapsed)}};
}

std::string Dump(const json& value) {
  return value.dump(2) + "\n";
}

}  // namespace

std::string UnitsJson(const Report& report) {
  json units = json::array();
  for (const UnitResult& u : report.Units()) units.push_back(Unit(u));
  return Dump(units);
}

std::string ManifestJson(const Report& report) {
  json units = json::array();
  for (const UnitResult& u : report.Units()) {
    json entry = Unit(u);
    entry["file"] = u.file.empty() ? json(nullptr) : json(u.file.filename().string());
    if (!u.olderFile.empty()) {
      entry["olderFile"] = {{"name", u.olderFile.filename().string()},
                            {"written", u.olderFileTime}};
    }
    // Only a download with verify compares; a backup's manifest has no such key.
    if (u.differences) entry["differences"] = *u.differences;
    units.push_back(std::move(entry));
  }
  json ports = json::array();
  for (const PortResult& p : report.ports) {
    ports.push_back({{"port", p.port},
                     {"portName", p.portName},
                     {"result", std::string(PortStateWord(p.state))},
                     {"detail", p.detail},
                     {"units", p.units.size()},
                     {"seconds", Seconds(p.elapsed)}});
  }
  json problems = json::array();
  for (const std::string& problem : report.problems) problems.push_back(problem);
  const json manifest = {{"units", units},
                         {"ports", ports},
                         {"problems", problems},
                         {"result", report.AllOk() ? "ok" : "failed"},
                         {"seconds", Seconds(report.elapsed)}};
  return Dump(manifest);
}

bool WriteManifest(const Report& report, const std::filesystem::path& folder, std::string& error) {
  return WriteTextWhole(folder / "manifest.json", ManifestJson(report), error);
}

}  // namespace corvella::fleet
