// Arbitrary keystrokes into any edit of any editor page, left with Enter, Escape or Tab: whatever
// the filters let through and the commit makes of it, the parameter set must hold only codes in
// range and every frame sent must be one whole frame.
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QList>
#include <QTest>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_checks.h"
#include "page_fixture.h"

namespace {

using namespace corvella;
using corvella::fuzz::Require;
using corvella::fuzz::WellFormed;

constexpr Qt::Key kLeaveKeys[] = {Qt::Key_Return, Qt::Key_Escape, Qt::Key_Tab};

// One typed character as the keyboard delivers it: the key code of a printable ASCII character
// (letters by their capital), anything else as an unknown key carrying the character's text.
void Type(QLineEdit* edit, std::uint8_t byte) {
  int key = Qt::Key_unknown;
  if (byte >= 0x20 && byte < 0x7f) key = QChar(byte).toUpper().unicode();
  const QString text(QChar(static_cast<char16_t>(byte)));
  QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
  QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
  QApplication::sendEvent(edit, &press);
  QApplication::sendEvent(edit, &release);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 3) return 0;
  fuzz::Pages& p = fuzz::ThePages();
  const int command =
      pages::kFirstPageCommand + data[0] % (pages::kLastPageCommand - pages::kFirstPageCommand + 1);
  if (!p.set.ShowPage(command)) return 0;
  const QList<QLineEdit*> edits = p.set.VisiblePage()->findChildren<QLineEdit*>();
  if (edits.isEmpty()) return 0;
  QLineEdit* edit = edits[data[1] % edits.size()];
  const Qt::Key leave = kLeaveKeys[data[2] % 3];

  edit->setFocus();
  edit->selectAll();
  for (std::size_t i = 3; i < size; ++i) Type(edit, data[i]);
  QTest::keyClick(edit, leave);
  p.window.setFocus();
  QApplication::processEvents();

  ProgramParameters copy = p.session.parameters;
  Require(!RepairParameters(copy));
  for (const std::string& frame : p.TakeFrames()) Require(WellFormed(frame));
  return 0;
}
