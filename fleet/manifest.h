// What a fleet run leaves for scripts to read: manifest.json beside the backups, and the units as
// `fleet scan --json` prints them. The command line and the window write the same.
#pragma once

#include <filesystem>
#include <string>

#include "fleet/fleet.h"

namespace corvella::fleet {

// The units found, one object each (port, ID, names, program, result, detail, time).
std::string UnitsJson(const Report& report);
// Units (with their files, an older file kept from an earlier run, and after a download with
// verify how many parameters differ), ports with their state,
// the problems of the run as a whole and its result.
std::string ManifestJson(const Report& report);
// `folder`/manifest.json, replaced whole or not at all.
bool WriteManifest(const Report& report, const std::filesystem::path& folder, std::string& error);

}  // namespace corvella::fleet
