// The one table of parameter edits: for every kind of stored value, the command that sets it on
// the unit, the timer that waits for the answer and its interval, and the frame that carries the
// value. Whatever sends a single parameter (the pages, a comparison's "send", undo) builds its
// frame here, so no two places spell the same edit differently.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "model/parameter_listing.h"
#include "model/program_parameters.h"

namespace corvella::link {

struct EditRow {
  Field field;
  std::string_view code;  // "$" command code ("022"), or the letter command ("J0003")
  int timerId;            // the page's answer timer for it
  int intervalMs;
};

// The row of `field`; nullopt for the program number, which no command sets.
std::optional<EditRow> FindEdit(Field field);
// Every row, in the table's order (the journal's decoder reads frames back through them).
std::span<const EditRow> EditRows();

// The frame that sets `ref` on unit `id` to the value it has in `p`. Several fields may share a
// frame (the compressor/limiter settings travel together); empty for the program number.
std::string EditFrame(int id, const ProgramParameters& p, const ParameterRef& ref);
// The answer the unit gives when it took that frame.
std::string EditAcknowledgement(int id, Field field);

// `edits` in order, less those no command sets (the program number) and those whose frame an
// earlier one already carries (the compressor/limiter settings travel together).
std::vector<ParameterRef> DistinctEdits(const std::vector<ParameterRef>& edits);
// The least time those edits take one after another: each waits at least its own interval.
int EditsMinimumMs(const std::vector<ParameterRef>& edits);
// Whether a whole download (one step per block, its handshake and the read-back of the program
// number) is quicker than sending those edits one by one.
bool EditsTakeLongerThanADownload(const std::vector<ParameterRef>& edits);

}  // namespace corvella::link
