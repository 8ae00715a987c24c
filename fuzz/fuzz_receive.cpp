// Arbitrary bytes on the line during a transfer (and, if the input asks, the device search): the
// unit's answers are replaced, damaged, delayed or withheld as the input says. Whatever arrives,
// the engine must not read out of range, must finish (no timer left running), must keep its
// receive buffer bounded, must send only whole frames, and a transfer it reports as done must
// leave a parameter set that needs no repair.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "support/engine_harness.h"
#include "fuzz_checks.h"
#include "link/frames.h"
#include "link/protocol_engine.h"
#include "model/program_parameters.h"

namespace {

using corvella::test::Answer;

using corvella::fuzz::Require;
using corvella::fuzz::WellFormed;

// The input as a stream of answer plans, one per frame the engine sends after the connect.
class Plans {
 public:
  Plans(const std::uint8_t* data, std::size_t size) : data_(data), size_(size) {}

  std::uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  std::string Bytes(std::size_t n) {
    std::string out;
    while (n-- > 0 && pos_ < size_) out.push_back(static_cast<char>(data_[pos_++]));
    return out;
  }
  bool Empty() const { return pos_ >= size_; }

 private:
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t pos_ = 0;
};

// One frame's answer: the unit's own (mode 0), the unit's with input bytes spliced in (1), the
// input bytes alone (2), or silence (3); the upper bits delay it in 40 ms steps, so answers also
// arrive after the timer that waits for them has ticked.
std::vector<Answer> Plan(Plans& plans, std::vector<Answer> genuine) {
  if (plans.Empty()) return genuine;
  const std::uint8_t mode = plans.Byte();
  const int delay = (mode >> 2) * 40;
  std::vector<Answer> out;
  switch (mode & 3) {
    case 0:
      out = std::move(genuine);
      break;
    case 1: {
      const std::size_t at = plans.Byte();
      const std::string noise = plans.Bytes(plans.Byte() % 16);
      out = std::move(genuine);
      if (out.empty()) out.push_back({});
      std::string& bytes = out.front().bytes;
      bytes.insert(at % (bytes.size() + 1), noise);
      break;
    }
    case 2:
      out.push_back({plans.Bytes(plans.Byte()), 0, false});
      break;
    default:
      break;
  }
  for (Answer& a : out) a.delayMs += delay;
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  corvella::test::Harness h;
  corvella::sim::VirtualUnit& unit = h.AddUnit(1);
  Plans plans(data, size);
  const std::uint8_t how = plans.Byte();
  const int direction = how & 1;
  const bool searchToo = (how & 2) != 0;  // the probe answers are planned as well

  h.port.script = [&](int, const std::string& frame) {
    std::vector<Answer> genuine;
    for (const char c : frame) {
      if (auto reply = unit.Feed(c)) genuine.push_back({reply->bytes, reply->delayMs, false});
    }
    // Unless asked otherwise the search's probes are answered truly, so the input reaches the
    // transfer.
    if (h.session.link.linkConnected == 0 && !searchToo) return genuine;
    return Plan(plans, std::move(genuine));
  };

  h.view.selectChoice = corvella::link::SelectChoice{0, direction};
  h.engine.EnableCommunications();
  h.RunIdle(30 * 60'000);
  Require(h.NoTimers());
  Require(h.session.link.rxFrame.size() <= corvella::link::kRxFrameCap);
  for (const auto& sent : h.port.sent) Require(WellFormed(sent.frame));

  if (h.view.SawStatus(corvella::link::kTransferOk)) {
    corvella::ProgramParameters copy = h.session.parameters;
    Require(!corvella::RepairParameters(copy));
  }
  return 0;
}
