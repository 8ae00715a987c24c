// CPU cost of the protocol itself, with the line and the timers taken out: the receive assembly
// per byte, and a whole upload and download between the engine and the virtual unit on the
// virtual clock. Against the 7.8 s a transfer takes on the wire, this is the engine's share.
#include <benchmark/benchmark.h>

#include <string>

#include "support/engine_harness.h"
#include "link/frames.h"
#include "link/protocol_engine.h"

namespace corvella {
namespace {

void BM_ReceiveAssembly(benchmark::State& state) {
  const std::string answer = "(01%045100001049018016)";
  link::LinkState link;
  for (auto _ : state) {
    for (const char c : answer) link::AssembleByte(link, static_cast<std::uint8_t>(c));
    link.frameComplete = 0;
    benchmark::DoNotOptimize(link.rxFrame.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(answer.size()));
}
BENCHMARK(BM_ReceiveAssembly);

void Transfer(benchmark::State& state, int direction) {
  for (auto _ : state) {
    test::Harness h(1);
    h.AddUnit(1);
    h.Connect(direction);
    if (!h.view.SawStatus(link::kTransferOk)) {
      state.SkipWithError("the transfer did not finish");
      return;
    }
  }
}
void BM_VirtualUpload(benchmark::State& state) {
  Transfer(state, 0);
}
void BM_VirtualDownload(benchmark::State& state) {
  Transfer(state, 1);
}
BENCHMARK(BM_VirtualUpload)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_VirtualDownload)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace corvella

BENCHMARK_MAIN();
