// The page buttons without the mouse: Tab reaches them in the block diagram's reading order, and
// Ctrl+1 ... Ctrl+9, Ctrl+0, Ctrl+- press them in that order (their tooltips say which).
#pragma once

#include <QKeySequence>
#include <array>
#include <cstddef>

#include "app/window/commands.h"

class QWidget;

namespace corvella::app {

class RegionButton;

struct PageKey {
  int command;
  const char* name;  // in the button's tooltip
};

// Reading order: the input, then the HIGH and the LOW output from left to right, then the
// compressor that serves both.
inline constexpr std::array<PageKey, 11> kPageKeys = {{
    {cmd::kLinePeq, "Input PEQ"},
    {cmd::kLineLevel, "Input level"},
    {cmd::kHighCrossover, "HIGH HPF/LPF"},
    {cmd::kHighPeq, "HIGH PEQ"},
    {cmd::kHighLevel, "HIGH level"},
    {cmd::kHighDelay, "HIGH delay"},
    {cmd::kLowCrossover, "LOW HPF/LPF"},
    {cmd::kLowPeq, "LOW PEQ"},
    {cmd::kLowLevel, "LOW level"},
    {cmd::kLowDelay, "LOW delay"},
    {cmd::kCompressor, "Compressor & limiter"},
}};

// The shortcut of the page button at `position` in kPageKeys.
QKeySequence PageShortcut(std::size_t position);

// Wires `buttons` (in any order) into the Tab order and gives each its shortcut on `view`.
void AddPageKeys(QWidget& view, const std::array<RegionButton*, 11>& buttons);

}  // namespace corvella::app
