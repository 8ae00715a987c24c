// The main() of a benchmark that needs widgets: an application on the offscreen platform (unless
// another is asked for), then the benchmarks.
#pragma once

#include <benchmark/benchmark.h>

#include <QApplication>

namespace corvella::bench {

inline int RunWithQt(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}

}  // namespace corvella::bench
