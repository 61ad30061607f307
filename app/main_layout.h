// The main window's layout as plain data, for either window toolkit. The
// values are written once, in main_layout.txt; the build generates
// main_layout_table.h (kMainDialog, kMainTemplate) and the Windows dialog
// template from it.
#pragma once

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

// One control, in creation (and tab) order.
struct TemplateRow {
  int id;                   // kNoId: a label or frame nobody refers to
  const char* windowClass;  // the control's class name in the template
  const char* caption;      // UTF-8
  int x, y, width, height;  // dialog units
  ControlKind kind;
  bool tabStop;
};

inline constexpr int kNoId = -1;

// The dialog itself: its title, its size in dialog units and the font the
// dialog units are measured in.
struct DialogFrame {
  const char* caption;  // UTF-8
  int width, height;
  const char* fontFamily;
  int fontPoints;
};

}  // namespace quorvane
