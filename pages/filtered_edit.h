// Edits that refuse characters their value can never contain, and commit by giving the focus away.
#pragma once

#include <cstdint>

#include "pages/page_edit.h"

namespace corvella::pages {

// Filter modes: which printable characters an edit lets through.
enum FilterMode : std::uint8_t {
  kFilterCrossover = 0,  // space . 0-9 F K O f k o (the mode at construction)
  kFilterFrequency = 1,  // space . 0-9 K k
  kFilterQ = 2,          // space . 0-9
  kFilterGain = 3,       // space - . 0-9
  kFilterDigits = 4,     // space . 0-9
  kFilterName = 5,       // everything but ( and ), which would break a frame
  kFilterDelay = 6,      // space - . 0-9
  kFilterRatio = 7,      // space . 0-9
  kFilterRelease = 8,    // space . 0-9
  kFilterAttack = 9,     // space . 0-9
};

// True when `ch`, typed into an edit in `mode`, must be discarded. Control characters are never
// rejected; an unknown mode rejects every printable character.
bool IsRejected(std::uint8_t mode, QChar ch);

class FilteredEdit : public PageEdit {
  Q_OBJECT

 public:
  explicit FilteredEdit(QWidget* parent = nullptr);

  std::uint8_t filterMode = kFilterCrossover;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
};

}  // namespace corvella::pages
