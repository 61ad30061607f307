// The main window's layout as drawn, written out by hand for the tests of
// both windows. It is the independent check of the layout table the windows
// are built from, so a slip in either shows up: never derive it from that
// table.
#pragma once

#include "controller/control_ids.h"

namespace quorvane::test {

// What a control is; each window's test knows what its toolkit makes of it.
enum class Kind { PushButton, GroupBox, Label, Display, Edit, PortList, Slider };

// Class names and captions in wide characters: the Windows template holds
// UTF-16, and Qt converts from wchar_t as readily.
struct ExpectedRow {
  int id;  // -1: a label or frame nobody refers to
  const wchar_t* windowClass;
  const wchar_t* caption;
  short x, y, width, height;  // dialog units
  Kind kind;
};

inline constexpr const wchar_t* kExpectedCaption = L"Quorvane-V20221210-2.5W";
inline constexpr const wchar_t* kExpectedFontFamily = L"Cambria";
inline constexpr int kExpectedFontPoints = 15;
inline constexpr short kExpectedWidth = 240;  // dialog units
inline constexpr short kExpectedHeight = 163;

// In creation order.
inline constexpr ExpectedRow kExpectedLayout[] = {
    {IDC_OPEN_PORT, L"Button", L"OpenPort", 101, 11, 34, 14, Kind::PushButton},
    {IDC_SET_CURRENT, L"Button", L"SET", 95, 36, 32, 14, Kind::PushButton},
    {IDC_PORT_LIST, L"ComboBoxEx32", L"", 41, 14, 56, 174, Kind::PortList},
    {-1, L"Static", L"PortList:", 10, 14, 29, 8, Kind::Label},
    {IDC_CURRENT_EDIT, L"Edit", L"", 43, 38, 42, 12, Kind::Edit},
    {-1, L"Static", L"CurSet:", 10, 39, 25, 8, Kind::Label},
    {-1, L"Static", L"Pump:", 154, 133, 23, 8, Kind::Label},
    {IDC_PUMP_TEMP, L"Static", L"", 183, 130, 37, 13, Kind::Display},
    {IDC_CURRENT_SLIDER, L"msctls_trackbar32", L"Slider1", 23, 54, 179, 13, Kind::Slider},
    {IDC_CURRENT_DOWN, L"Button", L"\u300A", 11, 54, 12, 9, Kind::PushButton},
    {IDC_CURRENT_UP, L"Button", L"\u300B", 205, 54, 12, 9, Kind::PushButton},
    {-1, L"Static", L"Seed:", 159, 101, 17, 8, Kind::Label},
    {IDC_SEED_TEMP, L"Static", L"", 183, 98, 37, 13, Kind::Display},
    {IDC_SET_FREQUENCY, L"Button", L"SET", 92, 93, 32, 14, Kind::PushButton},
    {IDC_FREQUENCY_EDIT, L"Edit", L"", 42, 95, 46, 12, Kind::Edit},
    {-1, L"Static", L"FreqSet:", 11, 98, 27, 8, Kind::Label},
    {-1, L"Static", L"CurRead:", 143, 40, 31, 8, Kind::Label},
    {IDC_CURRENT_READ, L"Static", L"", 178, 38, 37, 12, Kind::Display},
    {-1, L"Button", L"PumpCurrent(mA)", 8, 28, 219, 45, Kind::GroupBox},
    {-1, L"Button", L"RepetitionFrequency(kHz)", 8, 77, 140, 41, Kind::GroupBox},
    {-1, L"Button", L"PulseDuration(step)", 8, 120, 141, 34, Kind::GroupBox},
    {-1, L"Button", L"LDTemp(\u2103)", 150, 77, 77, 77, Kind::GroupBox},
    {IDC_SET_DURATION, L"Button", L"SET", 92, 132, 32, 14, Kind::PushButton},
    {IDC_DURATION_EDIT, L"Edit", L"", 42, 134, 46, 12, Kind::Edit},
    {-1, L"Static", L"DurSet:", 11, 137, 24, 8, Kind::Label},
    {-1, L"Static", L"SoftActive", 145, 15, 33, 8, Kind::Label},
    {IDC_SOFT_ACTIVE, L"Button", L"ON", 183, 11, 32, 14, Kind::PushButton},
};

// The controls Tab visits, from the one that has the focus at start.
inline constexpr int kExpectedTabOrder[] = {
    IDC_OPEN_PORT,      IDC_SET_CURRENT,  IDC_PORT_LIST,     IDC_CURRENT_EDIT,
    IDC_CURRENT_SLIDER, IDC_CURRENT_DOWN, IDC_CURRENT_UP,    IDC_SET_FREQUENCY,
    IDC_FREQUENCY_EDIT, IDC_SET_DURATION, IDC_DURATION_EDIT, IDC_SOFT_ACTIVE};

// The Qt window's Tab goes on to the read-outs, top to bottom, so that a
// screen reader can reach them.
inline constexpr int kExpectedTabOrderWithReadouts[] = {
    IDC_OPEN_PORT,     IDC_SET_CURRENT, IDC_PORT_LIST,     IDC_CURRENT_EDIT,   IDC_CURRENT_SLIDER,
    IDC_CURRENT_DOWN,  IDC_CURRENT_UP,  IDC_SET_FREQUENCY, IDC_FREQUENCY_EDIT, IDC_SET_DURATION,
    IDC_DURATION_EDIT, IDC_SOFT_ACTIVE, IDC_CURRENT_READ,  IDC_SEED_TEMP,      IDC_PUMP_TEMP};

}  // namespace quorvane::test
