// Arbitrary bytes arriving as a web page's WebSocket message: the decoder takes a set or an undo
// or says why not, and whatever it says back (the error, or the echo of a value the address tree
// takes) is JSON a page can read.
#include <cstddef>
#include <cstdint>
#include <nlohmann/json.hpp>
#include <string_view>

#include "fuzz_checks.h"
#include "remote/web_protocol.h"

namespace {

using corvella::fuzz::Require;
namespace remote = corvella::remote;
namespace web = corvella::remote::web;

bool IsJson(const std::string& text) {
  return !nlohmann::json::parse(text, nullptr, false).is_discarded();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  const web::Decoded decoded = web::DecodeMessage(text);
  if (!decoded.request) {
    Require(!decoded.error.empty());
    Require(IsJson(web::ErrorMessage(decoded.path, decoded.error)));
    return 0;
  }
  const auto* set = std::get_if<web::SetRequest>(&*decoded.request);
  if (set == nullptr) return 0;
  Require(remote::ParseNodePath(remote::NodePath(set->node)) == set->node);
  const remote::Checked checked = remote::Check(set->node, set->value);
  Require(checked.ok || !checked.error.empty());
  if (checked.ok) Require(IsJson(web::ChangedMessage(set->unit, set->node, checked.value)));
  return 0;
}
