// The bar that shows how far a transfer is ("step n of 34"), hidden outside one.
#pragma once

#include <QProgressBar>

namespace corvella::app {

inline QProgressBar* MakeStepBar(QWidget* parent, const QString& name, const QRect& where) {
  auto* bar = new QProgressBar(parent);
  bar->setObjectName(name);
  bar->setAccessibleName(QStringLiteral("Transfer progress"));
  bar->setGeometry(where);
  bar->setFormat(QStringLiteral("step %v of %m"));
  bar->hide();
  return bar;
}

// Step `step` of `steps`; 0 hides the bar.
inline void ShowStep(QProgressBar& bar, int step, int steps) {
  if (step <= 0) {
    bar.hide();
    return;
  }
  bar.setRange(0, steps);
  bar.setValue(step);
  bar.show();
}

}  // namespace corvella::app
