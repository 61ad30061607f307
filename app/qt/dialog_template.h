// The main window's layout as data: its 27 controls in creation (and tab)
// order, positions in dialog units, and the rule that turns those into pixels.
#pragma once

#include <array>

#include <QFont>
#include <QRect>
#include <QSize>

namespace quorvane {

enum class ControlKind {
  PushButton,  // "Button", push button
  GroupBox,    // "Button", group frame
  Label,       // "Static", left-aligned
  Display,     // "Static", bordered, centred
  Edit,        // "Edit", bordered, centred
  PortList,    // "ComboBoxEx32", drop-down list
  Slider,      // "msctls_trackbar32", ticks below
};

struct TemplateRow {
  int id;                   // -1: a label or frame nobody refers to
  const char* windowClass;  // the control's class name in the template
  const char* caption;      // UTF-8
  int x, y, width, height;  // dialog units
  ControlKind kind;
  bool tabStop;
};

inline constexpr int kNoId = -1;
inline constexpr const char* kDialogCaption = "Quorvane-V20221210-2.5W";
inline constexpr const char* kDialogFontFamily = "Cambria";
inline constexpr int kDialogFontPoints = 15;
inline constexpr QSize kDialogSizeDu{240, 163};

extern const std::array<TemplateRow, 27> kMainTemplate;

// The dialog font's base units: a dialog unit is avgCharWidth / 4 pixels
// across and charHeight / 8 pixels down.
struct DialogBaseUnits {
  int avgCharWidth = 0;
  int charHeight = 0;
};

QFont DialogFont();
DialogBaseUnits BaseUnitsOf(const QFont& font);
QRect MapDialogRect(const QRect& dialogUnits, const DialogBaseUnits& units);
QSize MapDialogSize(const QSize& dialogUnits, const DialogBaseUnits& units);

}  // namespace quorvane
