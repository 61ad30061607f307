// What a screen reader says for each control of the main window, written once
// for either window toolkit: the captions on screen are terse ("SET" three
// times, "《", an empty read-out), so every control carries a name and, where
// the caption leaves it out, a description in the window's own terms.
#pragma once

#include <string_view>

#include "controller/control_ids.h"
#include "controller/panel_controls.h"

namespace quorvane {

struct AccessibleText {
  int id;
  const char* name;         // UTF-8, unique within the window
  const char* description;  // UTF-8, may be empty
};

// A control that shows one of the board's settings or readings says what
// the board model says of it.
constexpr AccessibleText FromBoard(int id) {
  const SpokenText text = BoardSpokenText(id);
  return {id, text.name, text.description};
}

inline constexpr AccessibleText kAccessibleTexts[] = {
    {IDC_OPEN_PORT, "Open port",
     "Opens the serial port chosen in the list, or closes the open one"},
    FromBoard(IDC_SET_CURRENT),
    {IDC_PORT_LIST, "Serial port", "The serial port the board is attached to"},
    FromBoard(IDC_CURRENT_EDIT),
    FromBoard(IDC_PUMP_TEMP),
    {IDC_CURRENT_SLIDER, "Pump current slider, mA",
     "The pump current set-point from 0 to the board's maximum; moving it sends the new value"},
    {IDC_CURRENT_DOWN, "Step pump current down",
     "Lowers the set-point by 1 mA; held down, it repeats with steps growing to 10 mA"},
    {IDC_CURRENT_UP, "Step pump current up",
     "Raises the set-point by 1 mA; held down, it repeats with steps growing to 10 mA"},
    FromBoard(IDC_SEED_TEMP),
    FromBoard(IDC_SET_FREQUENCY),
    FromBoard(IDC_FREQUENCY_EDIT),
    FromBoard(IDC_CURRENT_READ),
    FromBoard(IDC_SET_DURATION),
    FromBoard(IDC_DURATION_EDIT),
    FromBoard(IDC_SOFT_ACTIVE),
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
