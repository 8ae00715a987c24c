#include "pages/input_peq_page.h"

#include "graph/graph_frame.h"

namespace corvella::pages {
namespace {

const PeqPageLayout kInputLayout = {
    .templateId = 135,
    .output = false,
    .bandCount = kInputBands,
    .firstBandButton = kInputBandButton1,
    .typeList = kInputTypeList,
    .frequencyEdit = kInputFrequencyEdit,
    .qEdit = kInputQEdit,
    .gainEdit = kInputGainEdit,
    .frequencyBar = kInputFrequencyBar,
    .qBar = kInputQBar,
    .gainBar = kInputGainBar,
    .initialFrequencyText = "1.00kHz",
    .typeField = corvella::Field::InputPeqType,
    .frequencyField = corvella::Field::InputPeqFrequency,
    .gainField = corvella::Field::InputPeqGain,
    .qField = corvella::Field::InputPeqQ,
    .pixelsPerDb = graph::kInputPeqPixelsPerDb,
    .titles = {"MIC INPUT PEQ", "LINE INPUT PEQ"},
    .titlePositions = {QPoint(755, 1), QPoint(745, 1)},
    .filterLabelY = 75,
    .labelRows = {75, 133, 193, 251},
};

}  // namespace

InputPeqPage::InputPeqPage(const PageContext& context, QWidget* parent)
    : PeqPage(kInputLayout, context, parent) {}

}  // namespace corvella::pages
