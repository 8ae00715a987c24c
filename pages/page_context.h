// What every editor page is given by the window that owns it: the program's records, the engine
// that sends the page's frames, the shared crossover table and the graph background.
#pragma once

#include <QImage>

#include "graph/crossover_response.h"
#include "link/protocol_engine.h"
#include "link/session.h"

namespace corvella::pages {

struct PageContext {
  // Parameters, link state (linkConnected, deviceId) and selectedOutputPeqBand.
  Session& session;
  // Page edits go out through SendParameter, which sends only while a unit is connected.
  link::ProtocolEngine& engine;
  // Written for one output by whichever page recomputes it; read by the output curves.
  graph::CrossoverResponse& crossover;
  // The 580 x 224 picture every graph starts from (graph/paint/graph_background.h).
  const QImage& background;
};

}  // namespace corvella::pages
