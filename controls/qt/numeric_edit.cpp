// Typed-character filter of the three entry fields.
#include "controls/qt/numeric_edit.h"

#include <memory>

#include <QClipboard>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>

#include "board/operator_entry.h"

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

std::u16string_view View(const QString& text) {
  return std::u16string_view(reinterpret_cast<const char16_t*>(text.utf16()),
                             static_cast<std::size_t>(text.size()));
}

}  // namespace

CNumericEdit::CNumericEdit(QWidget* parent) : QLineEdit(parent) {
  // Input methods would commit text without key events and so bypass the
  // filter; typing goes through keyPressEvent only.
  setAttribute(Qt::WA_InputMethodEnabled, false);
}

bool CNumericEdit::AdmitsTypedChar(char16_t ch, const QString& currentText) {
  // The rule itself is shared with the other platforms' entry fields.
  return quorvane::AdmitsTypedChar(ch, View(currentText));
}

void CNumericEdit::InsertFiltered(const QString& inserted) {
  if (isReadOnly()) return;
  const QString current = text();
  const auto start =
      static_cast<std::size_t>(hasSelectedText() ? selectionStart() : cursorPosition());
  const std::size_t end = start + static_cast<std::size_t>(selectedText().size());
  const std::u16string admitted = FilterInsertedText(View(current), start, end, View(inserted));
  // Nothing admitted leaves the selection, as discarded keys do.
  if (admitted.empty()) return;
  // One insert, so one undo step, as a paste is.
  insert(QString::fromUtf16(admitted.data(), static_cast<qsizetype>(admitted.size())));
}

void CNumericEdit::contextMenuEvent(QContextMenuEvent* event) {
  std::unique_ptr<QMenu> menu(createStandardContextMenu());
  // The toolkit's menu pastes unfiltered; its Paste entry is re-pointed.
  const QString pasteText = QLineEdit::tr("&Paste");
  for (QAction* action : menu->actions()) {
    if (!action->text().startsWith(pasteText)) continue;
    disconnect(action, &QAction::triggered, this, nullptr);
    connect(action, &QAction::triggered, this,
            [this] { InsertFiltered(QGuiApplication::clipboard()->text(QClipboard::Clipboard)); });
  }
  menu->exec(event->globalPos());
}

void CNumericEdit::mouseReleaseEvent(QMouseEvent* event) {
  QClipboard* clipboard = QGuiApplication::clipboard();
  if (event->button() == Qt::MiddleButton && clipboard->supportsSelection() && !isReadOnly()) {
    // Where X11 pastes the selection with the middle button: at the pointer.
    deselect();
    setCursorPosition(cursorPositionAt(event->position().toPoint()));
    InsertFiltered(clipboard->text(QClipboard::Selection));
    event->accept();
    return;
  }
  QLineEdit::mouseReleaseEvent(event);
}

void CNumericEdit::dropEvent(QDropEvent* event) {
  // Moving the field's own text within it adds no character. Text dropped
  // from elsewhere is filtered like a paste, then dropped as usual.
  if (event->source() == this || !event->mimeData()->hasText() || isReadOnly()) {
    QLineEdit::dropEvent(event);
    return;
  }
  const QString current = text();
  const auto at = static_cast<std::size_t>(cursorPositionAt(event->position().toPoint()));
  const QString dropped = event->mimeData()->text();
  const std::u16string admitted = FilterInsertedText(View(current), at, at, View(dropped));
  QMimeData filtered;
  filtered.setText(QString::fromUtf16(admitted.data(), static_cast<qsizetype>(admitted.size())));
  QDropEvent copy(event->position(), event->possibleActions(), &filtered, event->buttons(),
                  event->modifiers());
  if (admitted.empty()) {
    // Nothing to insert: only the drop marker is taken away.
    QDragLeaveEvent leave;
    QLineEdit::dragLeaveEvent(&leave);
    event->ignore();
    return;
  }
  QLineEdit::dropEvent(&copy);
  event->setDropAction(copy.dropAction());
  event->setAccepted(copy.isAccepted());
}

void CNumericEdit::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  // Shift+Insert pastes; Ctrl+V stays dead below, like the other control keys.
  if (key == Qt::Key_Insert && event->modifiers() == Qt::ShiftModifier) {
    InsertFiltered(QGuiApplication::clipboard()->text(QClipboard::Clipboard));
    event->accept();
    return;
  }
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
