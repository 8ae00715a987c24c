#include "app/ui/transmit_dialog.h"

#include <QLabel>
#include <QProgressBar>

#include "app/ui/dialog_units.h"
#include "app/ui/system_colors.h"

namespace corvella::shell {

TransmitDialog::TransmitDialog(QWidget* parent)
    : QFrame(parent), progress_(new QProgressBar(this)) {
  MakeDialogPanel(*this);
  setFixedSize(Dlu(160), Dlu(40));
  auto* text = new QLabel(QStringLiteral("Transmitting data please wait ......"), this);
  text->setGeometry(DluRect(10, 14, 140, 12));
  text->setAlignment(Qt::AlignCenter);
  progress_->setObjectName(QStringLiteral("transmitProgress"));
  progress_->setGeometry(DluRect(14, 28, 132, 9));
  progress_->setFormat(QStringLiteral("step %v of %m"));
  progress_->hide();
}

void TransmitDialog::ShowStep(int step, int steps) {
  if (step <= 0) {
    progress_->hide();
    return;
  }
  progress_->setRange(0, steps);
  progress_->setValue(step);
  progress_->show();
}

}  // namespace corvella::shell
