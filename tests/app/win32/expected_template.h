// The main window's template as published: every control's id (from
// control_ids.h), class, caption, dialog-unit rectangle and style.
#pragma once

// clang-format off
#include "controls/win32/windows_api.h"
// clang-format on

#include <string>
#include <vector>

#include "controller/control_ids.h"

namespace quorvane::test {

struct Row {
  int id;
  std::wstring windowClass;
  std::wstring caption;
  short x, y, width, height;
  DWORD style;  // beyond WS_CHILD | WS_VISIBLE
};

inline constexpr DWORD kPush = BS_PUSHBUTTON | WS_TABSTOP;
inline constexpr DWORD kLabel = SS_LEFT | WS_GROUP;
inline constexpr DWORD kDisplay = SS_CENTER | WS_BORDER | WS_GROUP;
inline constexpr DWORD kEdit = ES_CENTER | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;

inline const std::vector<Row> kExpectedTemplate = {
    {IDC_OPEN_PORT, L"Button", L"OpenPort", 101, 11, 34, 14, kPush},
    {IDC_SET_CURRENT, L"Button", L"SET", 95, 36, 32, 14, kPush},
    {IDC_PORT_LIST, L"ComboBoxEx32", L"", 41, 14, 56, 174,
     CBS_DROPDOWNLIST | CBS_SORT | WS_VSCROLL | WS_TABSTOP},
    {-1, L"Static", L"PortList:", 10, 14, 29, 8, kLabel},
    {IDC_CURRENT_EDIT, L"Edit", L"", 43, 38, 42, 12, kEdit},
    {-1, L"Static", L"CurSet:", 10, 39, 25, 8, kLabel},
    {-1, L"Static", L"Pump:", 154, 133, 23, 8, kLabel},
    {IDC_PUMP_TEMP, L"Static", L"", 183, 130, 37, 13, kDisplay},
    {IDC_CURRENT_SLIDER, L"msctls_trackbar32", L"Slider1", 23, 54, 179, 13,
     TBS_HORZ | TBS_BOTTOM | WS_TABSTOP},
    {IDC_CURRENT_DOWN, L"Button", L"\u300A", 11, 54, 12, 9, kPush},
    {IDC_CURRENT_UP, L"Button", L"\u300B", 205, 54, 12, 9, kPush},
    {-1, L"Static", L"Seed:", 159, 101, 17, 8, kLabel},
    {IDC_SEED_TEMP, L"Static", L"", 183, 98, 37, 13, kDisplay},
    {IDC_SET_FREQUENCY, L"Button", L"SET", 92, 93, 32, 14, kPush},
    {IDC_FREQUENCY_EDIT, L"Edit", L"", 42, 95, 46, 12, kEdit},
    {-1, L"Static", L"FreqSet:", 11, 98, 27, 8, kLabel},
    {-1, L"Static", L"CurRead:", 143, 40, 31, 8, kLabel},
    {IDC_CURRENT_READ, L"Static", L"", 178, 38, 37, 12, kDisplay},
    {-1, L"Button", L"PumpCurrent(mA)", 8, 28, 219, 45, BS_GROUPBOX},
    {-1, L"Button", L"RepetitionFrequency(kHz)", 8, 77, 140, 41, BS_GROUPBOX},
    {-1, L"Button", L"PulseDuration(step)", 8, 120, 141, 34, BS_GROUPBOX},
    {-1, L"Button", L"LDTemp(\u2103)", 150, 77, 77, 77, BS_GROUPBOX},
    {IDC_SET_DURATION, L"Button", L"SET", 92, 132, 32, 14, kPush},
    {IDC_DURATION_EDIT, L"Edit", L"", 42, 134, 46, 12, kEdit},
    {-1, L"Static", L"DurSet:", 11, 137, 24, 8, kLabel},
    {-1, L"Static", L"SoftActive", 145, 15, 33, 8, kLabel},
    {IDC_SOFT_ACTIVE, L"Button", L"ON", 183, 11, 32, 14, kPush},
};

}  // namespace quorvane::test
