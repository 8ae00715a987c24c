// What every editor page is given by the window that owns it: the program's records, the sender
// of the page's edits, the shared crossover table and the graph background.
#pragma once

#include <QImage>

#include "graph/crossover_response.h"
#include "link/edit_sender.h"
#include "link/session.h"

namespace corvella::pages {

// What the window shows, as opposed to what the program holds: which input and output the last
// page command chose, and the output PEQ page's band, with which the level page draws its curve.
struct PageSelection {
  int inputChannel = 0;   // 0 MIC, 1 LINE
  int outputChannel = 0;  // 0 HIGH, 1 LOW
  int outputPeqBand = 1;  // 1..6
};

struct PageContext {
  // Parameters and link state (linkConnected, deviceId).
  Session& session;
  // Every edit a page makes goes out through this; it sends only while a unit is connected.
  link::EditSender& edits;
  // Written for one output by whichever page recomputes it; read by the output curves.
  graph::CrossoverResponse& crossover;
  // The 580 x 224 picture every graph starts from (graph/paint/graph_background.h).
  const QImage& background;
  PageSelection& selection;
};

}  // namespace corvella::pages
