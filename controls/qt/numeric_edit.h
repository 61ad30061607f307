// Entry field that only lets typing and pasting produce characters a decimal
// number can contain; text set by the program is not filtered.
#pragma once

#include <QLineEdit>

namespace quorvane {

class CNumericEdit : public QLineEdit {
  Q_OBJECT

 public:
  explicit CNumericEdit(QWidget* parent = nullptr);

  // Whether a typed character ch may reach the field whose whole text is
  // currentText. Looks at nothing else: not the caret, not the selection.
  static bool AdmitsTypedChar(char16_t ch, const QString& currentText);

  // Inserts text at the caret (over the selection) as if its characters were
  // typed one by one: those typing could not produce are dropped.
  void InsertFiltered(const QString& inserted);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  // Every way text is pasted in goes through InsertFiltered: the context
  // menu's Paste, the middle button's selection paste and a drop.
  void contextMenuEvent(QContextMenuEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void dropEvent(QDropEvent* event) override;
};

}  // namespace quorvane
