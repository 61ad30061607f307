// What a screen reader says for each control of the main window, written once
// for either window toolkit: the captions on screen are terse ("SET" three
// times, "《", an empty read-out), so every control carries a name and, where
// the caption leaves it out, a description in the window's own terms.
#pragma once

#include <string_view>

#include "controller/control_ids.h"

namespace quorvane {

struct AccessibleText {
  int id;
  const char* name;         // UTF-8, unique within the window
  const char* description;  // UTF-8, may be empty
};

inline constexpr AccessibleText kAccessibleTexts[] = {
    {IDC_OPEN_PORT, "Open port",
     "Opens the serial port chosen in the list, or closes the open one"},
    {IDC_SET_CURRENT, "Set pump current", "Sends the pump current set-point to the board"},
    {IDC_PORT_LIST, "Serial port", "The serial port the board is attached to"},
    {IDC_CURRENT_EDIT, "Pump current set-point, mA",
     "Milliamperes, from 0 to the board's maximum; Enter sends it"},
    {IDC_PUMP_TEMP, "Pump temperature, °C", "The pump diode's temperature as the board reports it"},
    {IDC_CURRENT_SLIDER, "Pump current slider, mA",
     "The pump current set-point from 0 to the board's maximum; moving it sends the new value"},
    {IDC_CURRENT_DOWN, "Step pump current down",
     "Lowers the set-point by 1 mA; held down, it repeats with steps growing to 10 mA"},
    {IDC_CURRENT_UP, "Step pump current up",
     "Raises the set-point by 1 mA; held down, it repeats with steps growing to 10 mA"},
    {IDC_SEED_TEMP, "Seed temperature, °C", "The seed diode's temperature as the board reports it"},
    {IDC_SET_FREQUENCY, "Set repetition frequency",
     "Sends the repetition frequency set-point to the board"},
    {IDC_FREQUENCY_EDIT, "Repetition frequency set-point, kHz",
     "Kilohertz with up to two decimals; Enter sends it"},
    {IDC_CURRENT_READ, "Measured current, mA", "The pump current the board measures"},
    {IDC_SET_DURATION, "Set pulse duration", "Sends the pulse duration set-point to the board"},
    {IDC_DURATION_EDIT, "Pulse duration set-point, steps", "Steps, from 0 to 255; Enter sends it"},
    {IDC_SOFT_ACTIVE, "Soft-active",
     "Switches the board's soft-active state; checked while the board reports it on"},
};

// A drop-down list's own name is the item it shows, so it is named by the
// caption beside it, which then says what the list is.
struct NamingLabel {
  int id;
  const char* caption;
};

inline constexpr NamingLabel kNamingLabels[] = {{IDC_PORT_LIST, "PortList:"}};

// The open button's caption says what a press does; its spoken name says the
// same in words.
struct CaptionName {
  int id;
  const char* caption;
  const char* name;
};

inline constexpr CaptionName kCaptionNames[] = {
    {IDC_OPEN_PORT, "OpenPort", "Open port"},
    {IDC_OPEN_PORT, "ClosePort", "Close port"},
};

// The texts of control id, or nullptr for a control nobody refers to.
constexpr const AccessibleText* AccessibleTextOf(int id) {
  for (const AccessibleText& text : kAccessibleTexts)
    if (text.id == id) return &text;
  return nullptr;
}

// The name control id takes while it shows caption, or nullptr when its name
// does not follow its caption.
constexpr const char* NameForCaption(int id, std::string_view caption) {
  for (const CaptionName& entry : kCaptionNames)
    if (entry.id == id && caption == entry.caption) return entry.name;
  return nullptr;
}

}  // namespace quorvane
