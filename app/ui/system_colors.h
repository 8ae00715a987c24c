// The classic desktop's 3-D colours, which the shaped buttons and dialogs are drawn with.
#pragma once

#include <QColor>

namespace corvella::shell::SysColor {

inline const QColor kBtnFace{212, 208, 200};
inline const QColor kBtnHighlight{255, 255, 255};
inline const QColor k3dLight{212, 208, 200};
inline const QColor kBtnShadow{128, 128, 128};
inline const QColor k3dDkShadow{64, 64, 64};

}  // namespace corvella::shell::SysColor
