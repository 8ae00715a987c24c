// The panel shown while a whole program is sent to the unit.
#pragma once

#include <QFrame>

namespace corvella::shell {

class TransmitDialog : public QFrame {
  Q_OBJECT

 public:
  static constexpr int kTemplate = 168;
  explicit TransmitDialog(QWidget* parent = nullptr);
};

}  // namespace corvella::shell
