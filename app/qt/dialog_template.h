// The Qt window's side of the main window's layout: the rows and the frame
// generated from app/main_layout.txt, and the rule that turns dialog units
// into pixels for the dialog font.
#pragma once

#include <QFont>
#include <QRect>
#include <QSize>

#include "main_layout_table.h"  // generated in the build folder

namespace quorvane {

inline constexpr const char* kDialogCaption = kMainDialog.caption;
inline constexpr QSize kDialogSizeDu{kMainDialog.width, kMainDialog.height};

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
