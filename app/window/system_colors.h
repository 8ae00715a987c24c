// The classic desktop's 3-D colours, which the shaped buttons and dialogs are drawn with.
#pragma once

#include <QColor>
#include <QFrame>
#include <QPalette>

namespace corvella::app::SysColor {

inline const QColor kBtnFace{212, 208, 200};
inline const QColor kBtnHighlight{255, 255, 255};
inline const QColor k3dLight{212, 208, 200};
inline const QColor kBtnShadow{128, 128, 128};
inline const QColor k3dDkShadow{64, 64, 64};

}  // namespace corvella::app::SysColor

namespace corvella::app {

// The raised, button-face panel of the small progress windows that sit over the view, whatever the
// view behind them looks like.
inline void MakeDialogPanel(QFrame& panel) {
  panel.setFrameStyle(QFrame::Panel | QFrame::Raised);
  panel.setLineWidth(2);
  panel.setAutoFillBackground(true);
  QPalette face = panel.palette();
  face.setColor(QPalette::Window, SysColor::kBtnFace);
  face.setColor(QPalette::WindowText, Qt::black);
  panel.setPalette(face);
}

}  // namespace corvella::app
