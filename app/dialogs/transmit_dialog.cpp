#include "app/dialogs/transmit_dialog.h"

#include <QLabel>

#include "app/dialogs/dialog_units.h"
#include "app/window/step_bar.h"
#include "app/window/system_colors.h"

namespace corvella::app {

TransmitDialog::TransmitDialog(QWidget* parent) : QFrame(parent) {
  MakeDialogPanel(*this);
  setFixedSize(Dlu(160), Dlu(40));
  auto* text = new QLabel(QStringLiteral("Transmitting data please wait ......"), this);
  text->setGeometry(DluRect(10, 14, 140, 12));
  text->setAlignment(Qt::AlignCenter);
  progress_ = MakeStepBar(this, QStringLiteral("transmitProgress"), DluRect(14, 28, 132, 9));
}

void TransmitDialog::ShowStep(int step, int steps) {
  app::ShowStep(*progress_, step, steps);
}

}  // namespace corvella::app
