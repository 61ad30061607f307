// Entry field that only lets typing produce characters a decimal number can
// contain; text set by the program or pasted by non-typing commands is not filtered.
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

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace quorvane
