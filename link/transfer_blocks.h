// The whole-program transfer's blocks as the journal's decoder reads them back: the same block
// table, read requests and answer reader the transfer itself uses.
#pragma once

#include <string>
#include <string_view>

#include "model/program_parameters.h"

namespace corvella::link {

// How many parameter blocks a transfer moves.
int TransferBlockCount();
// The upload's read request of block `k` (0-based) from unit `id`.
std::string TransferReadRequest(int id, int k);
// The download's frame of block `k` with the values of `p`.
std::string TransferWriteFrame(int id, const ProgramParameters& p, int k);
// Takes an upload's answer to block `k` into `p` as the upload does; false (p untouched) when its
// fields are not what the block's answer holds.
bool TransferReadAnswer(ProgramParameters& p, int k, std::string_view answer);

}  // namespace corvella::link
