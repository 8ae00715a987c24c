#include "cli/plot_image.h"

#include <QImage>
#include <QPainter>
#include <QSvgGenerator>
#include <array>

#include "model/output_file.h"
#include "graph/crossover_response.h"
#include "graph/graph_frame.h"
#include "graph/page_curves.h"
#include "graph/paint/graph_background.h"
#include "graph/paint/graph_painter.h"

namespace corvella::cli {
namespace {

namespace paint = graph::paint;

template <std::size_t N>
std::array<PeqBand, N> BandsOf(const PeqBand (&bands)[N][2], int channel) {
  std::array<PeqBand, N> out{};
  for (std::size_t b = 0; b < N; ++b) out[b] = bands[b][channel];
  return out;
}

// The page shows band 1 when it opens; the graph marks it as the current band.
constexpr int kCurrentBand = 0;

void DrawOutputResponse(QPainter& painter, const QImage& background, const ProgramParameters& p,
                        int output, int penChannel) {
  const auto bands = BandsOf(p.outputPeq, output);
  paint::DrawPeqGraph(painter, background, bands, graph::OutputPageCurves(p, output), kCurrentBand,
                      graph::kOutputPixelsPerDb, paint::ChannelPenColor(penChannel));
}

void Draw(QPainter& painter, const ProgramParameters& p, GraphKind kind, int channel) {
  const QImage background = paint::MakeGraphBackground();
  const QColor pen = paint::ChannelPenColor(channel);
  switch (kind) {
    case GraphKind::InputPeq: {
      const auto bands = BandsOf(p.inputPeq, channel);
      paint::DrawPeqGraph(painter, background, bands, graph::InputPageCurves(p, channel),
                          kCurrentBand, graph::kInputPeqPixelsPerDb, pen);
      break;
    }
    case GraphKind::OutputPeq:
      DrawOutputResponse(painter, background, p, channel, channel);
      break;
    case GraphKind::Crossover: {
      const graph::Curve db = graph::ComputeCrossover(p.crossover[channel]);
      paint::DrawCrossoverGraph(painter, background, p.crossover[channel], db.data(), pen);
      break;
    }
    case GraphKind::Level:
      if (channel >= 2) {
        DrawOutputResponse(painter, background, p, channel - 2, channel);
      } else {
        paint::DrawInputLevelGraph(painter, background, p.inputLevel[channel], pen);
      }
      break;
  }
}

}  // namespace

bool WritePlotImage(const ProgramParameters& p, GraphKind graph, int channel, PlotFormat format,
                    const std::string& path, std::string& error) {
  switch (format) {
    case PlotFormat::Csv:
      break;
    case PlotFormat::Png:
      return WriteWhole(
          path,
          [&](const std::filesystem::path& temporary) {
            QImage image(graph::kGraphWidth, graph::kGraphHeight, QImage::Format_RGB32);
            {
              QPainter painter(&image);
              Draw(painter, p, graph, channel);
            }
            if (image.save(QString::fromStdString(temporary.string()), "PNG")) return true;
            error = path + ": cannot write the image";
            return false;
          },
          error);
    case PlotFormat::Svg:
      return WriteWhole(
          path,
          [&](const std::filesystem::path& temporary) {
            QSvgGenerator svg;
            svg.setFileName(QString::fromStdString(temporary.string()));
            svg.setSize(QSize(graph::kGraphWidth, graph::kGraphHeight));
            svg.setViewBox(QRect(0, 0, graph::kGraphWidth, graph::kGraphHeight));
            QPainter painter;
            if (!painter.begin(&svg)) {
              error = path + ": cannot write the drawing";
              return false;
            }
            Draw(painter, p, graph, channel);
            return painter.end();
          },
          error);
  }
  error = path + ": not an image format";
  return false;
}

}  // namespace corvella::cli
