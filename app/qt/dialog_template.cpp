// The dialog font and the dialog-unit conversion of the Qt window.
#include "app/qt/dialog_template.h"

#include <QFontMetrics>

namespace quorvane {

namespace {
// Rounds a * b / c to the nearest integer, halves away from zero, the way
// the classic dialog manager scales dialog units.
int MulDiv(int a, int b, int c) {
  const long long product = static_cast<long long>(a) * b;
  const long long half = c / 2;
  return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}
}  // namespace

QFont DialogFont() {
  QFont font(kMainDialog.fontFamily, kMainDialog.fontPoints);
  font.setWeight(QFont::Normal);
  font.setItalic(false);
  return font;
}

// The average character width is taken the way the classic dialog manager
// takes it: the advance of the 52 letters A-Z a-z, divided by 26, plus one,
// halved (a rounded mean over both cases). The height is the font's line
// height without extra leading.
DialogBaseUnits BaseUnitsOf(const QFont& font) {
  const QFontMetrics metrics(font);
  const int letters = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  return {(letters / 26 + 1) / 2, metrics.height()};
}

QRect MapDialogRect(const QRect& dialogUnits, const DialogBaseUnits& units) {
  return QRect(MulDiv(dialogUnits.x(), units.avgCharWidth, 4),
               MulDiv(dialogUnits.y(), units.charHeight, 8),
               MulDiv(dialogUnits.width(), units.avgCharWidth, 4),
               MulDiv(dialogUnits.height(), units.charHeight, 8));
}

QSize MapDialogSize(const QSize& dialogUnits, const DialogBaseUnits& units) {
  return MapDialogRect(QRect(QPoint(0, 0), dialogUnits), units).size();
}

}  // namespace quorvane
