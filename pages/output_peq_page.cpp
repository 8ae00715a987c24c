#include "pages/output_peq_page.h"

#include "graph/crossover_response.h"
#include "graph/graph_frame.h"

namespace corvella::pages {
namespace {

const PeqPageLayout kOutputLayout = {
    .templateId = 137,
    .output = true,
    .bandCount = kOutputBands,
    .firstBandButton = kOutputBandButton1,
    .typeList = kOutputTypeList,
    .frequencyEdit = kOutputFrequencyEdit,
    .qEdit = kOutputQEdit,
    .gainEdit = kOutputGainEdit,
    .frequencyBar = kOutputFrequencyBar,
    .qBar = kOutputQBar,
    .gainBar = kOutputGainBar,
    .initialFrequencyText = "1.00k",
    .typeField = corvella::Field::OutputPeqType,
    .frequencyField = corvella::Field::OutputPeqFrequency,
    .gainField = corvella::Field::OutputPeqGain,
    .qField = corvella::Field::OutputPeqQ,
    .pixelsPerDb = graph::kOutputPixelsPerDb,
    .titles = {"HIGH OUTPUT PEQ", "LOW OUTPUT PEQ"},
    .titlePositions = {QPoint(745, 1), QPoint(735, 1)},
    .filterLabelY = 65,
    .labelRows = {75, 135, 191, 250},
};

}  // namespace

OutputPeqPage::OutputPeqPage(const PageContext& context, QWidget* parent)
    : PeqPage(kOutputLayout, context, parent) {}

void OutputPeqPage::RecomputeCrossover() {
  const auto c = static_cast<std::size_t>(Channel());
  graph::ComputeCrossover(Context().session.parameters.crossover[c], Context().crossover.db[c]);
}

void OutputPeqPage::OnPaintTimer() {
  RecomputeCrossover();
  DrawPeqResponse(Band() - 1);
}

}  // namespace corvella::pages
