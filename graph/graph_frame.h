// The frame every response graph shares: 122 evaluation points with their frequencies and pixel
// columns, and the mapping of dB to pixel rows.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>

#include "model/scales.h"

namespace corvella::graph {

inline constexpr int kGraphWidth = 580;
inline constexpr int kGraphHeight = 224;
inline constexpr int kGraphPoints = 122;
inline constexpr int kZeroDbRow = 56;
inline constexpr int kLastPoint = kGraphPoints - 1;

// Pixels per dB of each kind of graph.
inline constexpr double kInputPeqPixelsPerDb = 2.8;
inline constexpr double kOutputPixelsPerDb = 2.75;  // output PEQ, crossover, level page outputs
inline constexpr double kInputLevelPixelsPerDb = 2.78;

using Curve = std::array<double, kGraphPoints>;
using Rows = std::array<int, kGraphPoints>;

namespace detail {

constexpr Curve MakeGraphFrequencyList() {
  Curve list{};
  for (int k = 0; k < kFrequencyScaleSize; ++k) {
    list[static_cast<std::size_t>(k)] = FrequencyHz(k + 1);
  }
  list[kLastPoint] = 20700.0;
  return list;
}

constexpr Curve MakeHpfFrequencyList() {
  Curve list{};
  list[0] = 16.0;
  for (int k = 1; k < kGraphPoints; ++k) list[static_cast<std::size_t>(k)] = FrequencyHz(k);
  return list;
}

}  // namespace detail

// Hz of point k: the frequency scale, then 20.7 kHz. Point k lies one scale step above code k,
// which it shares a pixel column with; curves compare f and fc on the same list, so a response
// centred on code c peaks at point c.
inline constexpr Curve GraphFrequencyList = detail::MakeGraphFrequencyList();

// Hz of point k for the high-pass term: 16 Hz, then the frequency scale, so entry k is code k.
inline constexpr Curve HpfFrequencyList = detail::MakeHpfFrequencyList();

// Pixel column of each point; point k >= 1 is also the column of frequency code k, point 0 lies
// off the left edge.
inline constexpr std::array<int, kGraphPoints> GraphPointX = {
    -5,  0,   5,   10,  15,  20,  25,  30,  34,  39,  44,  49,  54,  58,  63,  68,  73,  77,
    82,  88,  93,  98,  103, 106, 112, 116, 121, 126, 130, 135, 138, 143, 148, 153, 158, 163,
    168, 173, 178, 183, 188, 193, 198, 203, 208, 213, 218, 223, 228, 233, 238, 243, 248, 252,
    257, 262, 266, 270, 275, 280, 286, 291, 296, 301, 306, 310, 315, 320, 324, 328, 333, 338,
    343, 348, 353, 358, 363, 368, 373, 378, 382, 388, 393, 398, 403, 408, 413, 418, 422, 427,
    432, 437, 442, 446, 450, 454, 459, 464, 469, 474, 479, 484, 489, 494, 499, 503, 508, 513,
    518, 523, 528, 533, 538, 543, 548, 553, 558, 563, 568, 573, 576, 579};

// 10 log10 of a power ratio. The natural logarithm is several times faster than log10 in common C
// libraries, and every curve takes one per point and band.
inline double PowerRatioDb(double ratio) {
  constexpr double kTenOverLn10 = 4.342944819032518;  // 10 / ln 10
  return kTenOverLn10 * std::log(ratio);
}

// A code used as a point index (a band's frequency, a cut-off): values past the list are taken
// as its last point, so an unrepaired image can never index outside the tables.
constexpr std::size_t PointIndex(int code) {
  return static_cast<std::size_t>(code < 0 ? 0 : code > kLastPoint ? kLastPoint : code);
}

// Row of a level: 56 - trunc(s x dB), truncation toward zero. Far-off values (and NaN) are held
// well outside the graph so that the conversion to int stays defined; clipping does the rest.
inline int RowForDb(double db, double pixelsPerDb) {
  constexpr double kFar = 1.0e6;
  double offset = pixelsPerDb * db;
  if (std::isnan(offset)) offset = -kFar;
  if (offset > kFar) offset = kFar;
  if (offset < -kFar) offset = -kFar;
  return kZeroDbRow - static_cast<int>(std::trunc(offset));
}

inline Rows RowsForCurve(const Curve& db, double pixelsPerDb) {
  Rows rows{};
  for (std::size_t k = 0; k < rows.size(); ++k) rows[k] = RowForDb(db[k], pixelsPerDb);
  return rows;
}

}  // namespace corvella::graph
