// The system response in three panes on one logarithmic frequency axis (10 Hz - 24 kHz):
// magnitude, phase and group delay of HIGH, LOW and their sum, with a legend and a readout of the
// values under the mouse.
#pragma once

#include <QString>
#include <QWidget>
#include <array>

#include "graph/system_response.h"

class QIODevice;
class QLabel;
class QChart;
class QLineSeries;
class QValueAxis;

namespace corvella::graph::chart {

class ReadoutChartView;

enum class Pane { Magnitude = 0, Phase = 1, GroupDelay = 2 };
inline constexpr int kPaneCount = 3;
inline constexpr int kCurveCount = 3;  // HIGH, LOW, sum

class SystemChartPanes : public QWidget {
  Q_OBJECT

 public:
  explicit SystemChartPanes(QWidget* parent = nullptr);

  // Replaces every curve; values that are not drawn (NaN) leave the curve out there.
  void SetCurves(const SystemCurves& curves);
  const SystemCurves& Curves() const { return curves_; }

  // The readout for the point nearest `hz`, as shown under the panes.
  QString ReadoutText(double hz) const;
  QLabel* Readout() const { return readout_; }
  QWidget* PaneView(Pane pane) const;
  QLineSeries* Series(Pane pane, int curve) const;

  // The panes and the readout at `size` logical pixels (drawn at `scale` device pixels each).
  QImage RenderImage(QSize size, qreal scale = 1.0);
  // The same as an SVG drawing into `device`; false when it cannot be written.
  bool RenderSvg(QIODevice& device, QSize size);

  void ShowReadoutAt(double hz);

 private:
  void FitVerticalAxes();
  void SetAxis(Pane pane, double min, double max, int ticks);

  SystemCurves curves_;
  std::array<QChart*, kPaneCount> charts_{};
  std::array<ReadoutChartView*, kPaneCount> views_{};
  std::array<QValueAxis*, kPaneCount> yAxes_{};
  std::array<std::array<QLineSeries*, kCurveCount>, kPaneCount> series_{};
  QLabel* readout_;
};

}  // namespace corvella::graph::chart
