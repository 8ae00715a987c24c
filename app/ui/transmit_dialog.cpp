#include "app/ui/transmit_dialog.h"

#include <QLabel>

#include "app/ui/dialog_units.h"
#include "app/ui/system_colors.h"

namespace corvella::shell {

TransmitDialog::TransmitDialog(QWidget* parent) : QFrame(parent) {
  MakeDialogPanel(*this);
  setFixedSize(Dlu(160), Dlu(40));
  auto* text = new QLabel(QStringLiteral("Transmitting data please wait ......"), this);
  text->setGeometry(DluRect(10, 14, 140, 12));
  text->setAlignment(Qt::AlignCenter);
}

}  // namespace corvella::shell
