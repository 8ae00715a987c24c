// Arbitrary bytes arriving as an OSC packet: decoding never reads outside the packet; a packet
// that does not decode yields nothing; every value the address tree accepts leaves the set within
// the ranges the repair checks, and the frame it would send is one whole frame.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_checks.h"
#include "link/edit_table.h"
#include "remote/address_tree.h"
#include "remote/osc_packet.h"

namespace {

using corvella::fuzz::Require;
namespace remote = corvella::remote;

void TakeMessage(const remote::OscMessage& message) {
  const auto address = remote::ParseAddress(message.path);
  if (!address) return;
  Require(remote::ParseAddress(remote::AddressOf(address->unit, address->node))->node ==
          address->node);
  if (message.args.size() != 1 || message.foreignType) return;
  const remote::Checked checked = remote::Check(address->node, message.args[0]);
  if (!checked.ok) {
    Require(!checked.error.empty());
    return;
  }
  corvella::ProgramParameters p{};
  corvella::ResetParameters(p);
  if (!remote::Store(p, address->node, checked)) return;
  // Nothing a desk sends may need the repair an unreadable file needs.
  Require(!corvella::RepairParameters(p));
  const auto shown = remote::ValueIn(p, address->node);
  Require(shown.has_value());
  // The echo is the stored value.
  Require(remote::ValueText(*shown) == remote::ValueText(checked.value));
  const corvella::ParameterRef ref = address->node.kind == remote::NodeKind::ProgramName
                                         ? corvella::ParameterRef{corvella::Field::ProgramName}
                                         : address->node.ref;
  Require(corvella::fuzz::WellFormed(corvella::link::EditFrame(1, p, ref)));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto messages = remote::DecodePacket(data, size);
  if (!messages) return 0;
  for (const remote::OscMessage& message : *messages) {
    TakeMessage(message);
    // What is sent back decodes as what was meant.
    const auto again = remote::EncodeMessage(message.path, message.args);
    if (again.empty()) continue;
    const auto decoded = remote::DecodePacket(again.data(), again.size());
    if (message.path.find('\0') == std::string::npos && decoded && decoded->size() == 1) {
      Require(decoded->front().path == message.path);
      Require(decoded->front().args.size() == message.args.size());
    }
  }
  return 0;
}
