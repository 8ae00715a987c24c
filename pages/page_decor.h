// What the crossover, delay and level pages paint around their controls: the title bands, texts at
// fixed pixel positions, the graph's axis labels, and the graph control that shows a drawn graph.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QString>
#include <QWidget>

#include "graph/graph_frame.h"

namespace corvella::pages {

inline const QColor kTitleBandColor{0, 64, 64};

// Names `control` by its ID (its object name is the number) and places it at x, y, width, height
// dialog units in its page.
void PlaceControl(QWidget* control, int id, int x, int y, int width, int height);

// A solid band in the title colour from (left, top) up to, not including, (right, bottom).
void PaintTitleBand(QPainter& painter, int left, int top, int right, int bottom);

// `text` with its top-left corner at (x, y), on a transparent background.
void PaintText(QPainter& painter, int x, int y, const QString& text, const QColor& color);

// The response graph's axis labels in black, in page pixels ("+20 (dB)" at (25,50) to
// "20k  (Hz)" at (605,295)).
void PaintAxisLabels(QPainter& painter);

// Control 1054: the black-framed area the page draws its response graph into. The page draws the
// graph some time after it has painted itself; until then the area shows only its frame.
class GraphControl : public QWidget {
  Q_OBJECT

 public:
  // At (24,34) dialog units, 292 x 114, in its page.
  explicit GraphControl(QWidget* page);

  // The picture the page draws its graph on, (0,0) at the graph's top-left corner; Present shows
  // it once the drawing is done.
  QImage& Canvas();
  void Present();
  bool HasGraph() const { return hasGraph_; }
  // Says in words what the drawn curve shows, for a screen reader (its description).
  void Describe(const graph::Curve& db);
  const QImage& Picture() const { return picture_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void MakePicture(qreal ratio);

  QImage picture_;
  bool hasGraph_ = false;
};

}  // namespace corvella::pages
