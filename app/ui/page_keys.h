// The page buttons without the mouse: Tab reaches them in the block diagram's reading order, and
// Ctrl+1 ... Ctrl+9, Ctrl+0, Ctrl+- press them in that order (their tooltips say which).
#pragma once

#include <QKeySequence>
#include <array>
#include <cstddef>

class QWidget;

namespace corvella::shell {

class RegionButton;

// The page commands in reading order: the input, then the HIGH and the LOW output from left to
// right, then the compressor that serves both.
inline constexpr std::array<int, 11> kPageKeyOrder = {1002, 1004, 1005, 1007, 1009, 1012,
                                                      1006, 1008, 1010, 1011, 1013};

// The shortcut of the page button at `position` in kPageKeyOrder.
QKeySequence PageShortcut(std::size_t position);

// Wires `buttons` (in any order) into the Tab order and gives each its shortcut on `view`.
void AddPageKeys(QWidget& view, const std::array<RegionButton*, 11>& buttons);

}  // namespace corvella::shell
