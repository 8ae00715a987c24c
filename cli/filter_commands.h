// corvella-cli import-filters and export-filters: a stage's bands from and to filter text.
#pragma once

#include <cstdio>

#include "cli/cli_options.h"

namespace corvella::cli {

// import-filters: inv.file's set (as stored) with inv.stage's bands taken from the filter text in
// inv.secondFile, snapped to the steps, written to inv.output; prints each band's snapping and
// the largest curve difference.
int RunImportFilters(const Invocation& inv, std::FILE* out, std::FILE* err);

// export-filters: inv.stage's bands as filter text, to inv.output or else to `out`.
int RunExportFilters(const Invocation& inv, std::FILE* out, std::FILE* err);

}  // namespace corvella::cli
