// Typed-character filter of the three entry fields.
#include "controls/numeric_edit.h"

#include <QKeyEvent>

#include "controller/operator_entry.h"

namespace quorvane {

namespace {

// Keys that move the caret or edit without typing a character: they keep
// their usual meaning. Backspace is here too because it always passes.
bool IsNonTypingKey(int key) {
  switch (key) {
    case Qt::Key_Backspace:
    case Qt::Key_Delete:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Insert:
      return true;
    default:
      return false;
  }
}

// With Ctrl held (and not Alt, which makes AltGr characters) a key types
// either nothing or an ASCII control character; neither is a digit, point,
// minus or backspace, so all are discarded. That is what keeps Ctrl+C/X/V/Z
// (copy, cut, paste, undo) and their relatives from changing the field.
bool TypesWithControl(const QKeyEvent& event) {
  const Qt::KeyboardModifiers mods = event.modifiers();
  return (mods & Qt::ControlModifier) && !(mods & Qt::AltModifier);
}

}  // namespace

CNumericEdit::CNumericEdit(QWidget* parent) : QLineEdit(parent) {
  // Input methods would commit text without key events and so bypass the
  // filter; typing goes through keyPressEvent only.
  setAttribute(Qt::WA_InputMethodEnabled, false);
}

bool CNumericEdit::AdmitsTypedChar(char16_t ch, const QString& currentText) {
  // The rule itself is shared with the other platforms' entry fields.
  return quorvane::AdmitsTypedChar(
      ch, std::u16string_view(reinterpret_cast<const char16_t*>(currentText.utf16()),
                              static_cast<std::size_t>(currentText.size())));
}

void CNumericEdit::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if (IsNonTypingKey(key)) {
    // Ctrl+Backspace would type DEL, which is not backspace: discarded.
    if (key == Qt::Key_Backspace && (event->modifiers() & Qt::ControlModifier)) {
      event->accept();
      return;
    }
    QLineEdit::keyPressEvent(event);
    return;
  }
  if (TypesWithControl(*event) && key >= Qt::Key_Space && key <= Qt::Key_AsciiTilde) {
    event->accept();
    return;
  }
  const QString typed = event->text();
  if (typed.isEmpty()) {
    // Function keys and the like: let the field ignore them so they reach the window (F1).
    QLineEdit::keyPressEvent(event);
    return;
  }
  event->accept();
  // Each character is judged against the text as it stands after the ones
  // before it, as if they had been typed one by one.
  for (const QChar c : typed) {
    if (!AdmitsTypedChar(c.unicode(), text())) continue;
    QKeyEvent single(QEvent::KeyPress, key, Qt::NoModifier, QString(c));
    QLineEdit::keyPressEvent(&single);
  }
}

}  // namespace quorvane
