// Drawing of the response graphs: the background, band curves, markers, sums, the crossover curve
// and the level line. Draws on any QPainter (a widget, an image, an SVG generator) in graph pixels
// with (0,0) at the graph's top-left corner; every number comes from the response math.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <span>

#include "graph/crossover_response.h"
#include "graph/graph_frame.h"
#include "graph/page_curves.h"
#include "model/program_parameters.h"

namespace corvella::graph::paint {

inline const QColor kYellowPen{255, 255, 0};
inline const QColor kWhitePen{255, 255, 255};
inline const QColor kBandPen{0, 128, 0};      // the current band's own curve
inline const QColor kMarkerPen{0, 128, 255};  // dash-dot centre and cut-off lines

// Yellow for the first channel of a pair (MIC, HIGH; level page channels 0 and 2), white for the
// second (LINE, LOW; 1 and 3).
QColor ChannelPenColor(int channel);

// The first step of every graph: the background copied to (0,0), black behind the dash gaps, no
// antialiasing (pixels are exact), clipped to the 580 x 224 graph.
void BeginGraph(QPainter& painter, const QImage& background);

// A curve through the 122 graph points as 121 segments, in a one-pixel solid pen.
void DrawCurve(QPainter& painter, const Rows& rows, const QColor& color);

// An equaliser graph: for each band in order, its own curve in green when it is `currentBand`
// (0-based) and its centre marker; then the sum in `sumColor` on top.
void DrawPeqGraph(QPainter& painter, const QImage& background, std::span<const PeqBand> bands,
                  const PageCurves& curves, int currentBand, double pixelsPerDb,
                  const QColor& sumColor);

// The crossover page's graph of one output: its response (a flat line at row 56 when both filters
// are off) and a marker at each cut-off, also for a filter that is off (it then falls off the
// edge).
void DrawCrossoverGraph(QPainter& painter, const QImage& background,
                        const CrossoverSettings& settings, const double db[kGraphPoints],
                        const QColor& color);

// The level page's graph of an input: one line across at the input's level.
void DrawInputLevelGraph(QPainter& painter, const QImage& background, int levelCode,
                         const QColor& color);

}  // namespace corvella::graph::paint
