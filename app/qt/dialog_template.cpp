// The 27 rows of the main window's template and the dialog-unit conversion.
#include "app/qt/dialog_template.h"

#include <QFontMetrics>

#include "controller/control_ids.h"

namespace quorvane {

namespace {
using K = ControlKind;

// Rounds a * b / c to the nearest integer, halves away from zero, the way
// the classic dialog manager scales dialog units.
int MulDiv(int a, int b, int c) {
  const long long product = static_cast<long long>(a) * b;
  const long long half = c / 2;
  return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}
}  // namespace

// clang-format off
const std::array<TemplateRow, 27> kMainTemplate = {{
  {IDC_OPEN_PORT,      "Button",            "OpenPort",                 101,  11,  34,  14, K::PushButton, true},
  {IDC_SET_CURRENT,    "Button",            "SET",                       95,  36,  32,  14, K::PushButton, true},
  {IDC_PORT_LIST,      "ComboBoxEx32",      "",                          41,  14,  56, 174, K::PortList,   true},
  {kNoId,              "Static",            "PortList:",                 10,  14,  29,   8, K::Label,      false},
  {IDC_CURRENT_EDIT,   "Edit",              "",                          43,  38,  42,  12, K::Edit,       true},
  {kNoId,              "Static",            "CurSet:",                   10,  39,  25,   8, K::Label,      false},
  {kNoId,              "Static",            "Pump:",                    154, 133,  23,   8, K::Label,      false},
  {IDC_PUMP_TEMP,      "Static",            "",                         183, 130,  37,  13, K::Display,    false},
  {IDC_CURRENT_SLIDER, "msctls_trackbar32", "Slider1",                   23,  54, 179,  13, K::Slider,     true},
  {IDC_CURRENT_DOWN,   "Button",            "\u300A",                    11,  54,  12,   9, K::PushButton, true},
  {IDC_CURRENT_UP,     "Button",            "\u300B",                   205,  54,  12,   9, K::PushButton, true},
  {kNoId,              "Static",            "Seed:",                    159, 101,  17,   8, K::Label,      false},
  {IDC_SEED_TEMP,      "Static",            "",                         183,  98,  37,  13, K::Display,    false},
  {IDC_SET_FREQUENCY,  "Button",            "SET",                       92,  93,  32,  14, K::PushButton, true},
  {IDC_FREQUENCY_EDIT, "Edit",              "",                          42,  95,  46,  12, K::Edit,       true},
  {kNoId,              "Static",            "FreqSet:",                  11,  98,  27,   8, K::Label,      false},
  {kNoId,              "Static",            "CurRead:",                 143,  40,  31,   8, K::Label,      false},
  {IDC_CURRENT_READ,   "Static",            "",                         178,  38,  37,  12, K::Display,    false},
  {kNoId,              "Button",            "PumpCurrent(mA)",            8,  28, 219,  45, K::GroupBox,   false},
  {kNoId,              "Button",            "RepetitionFrequency(kHz)",   8,  77, 140,  41, K::GroupBox,   false},
  {kNoId,              "Button",            "PulseDuration(step)",        8, 120, 141,  34, K::GroupBox,   false},
  {kNoId,              "Button",            "LDTemp(\u2103)",           150,  77,  77,  77, K::GroupBox,   false},
  {IDC_SET_DURATION,   "Button",            "SET",                       92, 132,  32,  14, K::PushButton, true},
  {IDC_DURATION_EDIT,  "Edit",              "",                          42, 134,  46,  12, K::Edit,       true},
  {kNoId,              "Static",            "DurSet:",                   11, 137,  24,   8, K::Label,      false},
  {kNoId,              "Static",            "SoftActive",               145,  15,  33,   8, K::Label,      false},
  {IDC_SOFT_ACTIVE,    "Button",            "ON",                       183,  11,  32,  14, K::PushButton, true},
}};
// clang-format on

QFont DialogFont() {
  QFont font(kDialogFontFamily, kDialogFontPoints);
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
