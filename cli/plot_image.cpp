#include "cli/plot_image.h"

#include "model/output_file.h"
#include "cli/plot_curves.h"

namespace corvella::cli {

bool WritePlot(const ProgramParameters& p, GraphKind graph, int channel, PlotFormat format,
               const std::string& path, std::string& error) {
  if (format == PlotFormat::Csv) {
    return WriteTextWhole(path, CsvText(PlotCurves(p, graph, channel)), error);
  }
#if CORVELLA_CLI_IMAGES
  return WritePlotImage(p, graph, channel, format, path, error);
#else
  error = path + ": this build of corvella-cli cannot write images (PNG or SVG); plot to a .csv "
                 "file instead";
  return false;
#endif
}

}  // namespace corvella::cli
