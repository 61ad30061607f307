// What the lab's limits add to a control's tooltip and accessible description,
// written once for either window toolkit: a note on a setting's controls ("lab
// limit 2000 mA", a ramp's progress) and an alarm on a read-out. Without
// either the control says exactly what it says without a limits file.
#pragma once

#include <string>
#include <string_view>

#include "app/accessible_texts.h"

namespace quorvane {

struct LimitMarks {
  std::string note;
  std::string alarm;  // the reason, empty while there is no alarm
};

// The tooltip: the alarm first, since it is what needs doing something about,
// then the note, a line each; empty with neither.
inline std::string MarkedTooltip(const LimitMarks& marks) {
  std::string tip;
  if (!marks.alarm.empty()) tip = "Alarm: " + marks.alarm;
  if (!marks.note.empty()) tip += (tip.empty() ? "" : "\n") + marks.note;
  return tip;
}

// The accessible description: the alarm before the control's own
// description (a reader hears the news first), the note after it.
inline std::string MarkedDescription(int id, const LimitMarks& marks) {
  const AccessibleText* text = AccessibleTextOf(id);
  std::string description = text != nullptr ? text->description : "";
  if (!marks.alarm.empty())
    description = "Alarm: " + marks.alarm + (description.empty() ? "" : ". ") + description;
  if (!marks.note.empty()) description += (description.empty() ? "" : "; ") + marks.note;
  return description;
}

// The open button's description while it carries a hint: a failed open says
// so; anything else is what the panel says of the port it opened (settings
// refused under an unusable limits file).
inline std::string OpenPortDescription(std::string_view hint, bool openFailed) {
  if (hint.empty()) return AccessibleTextOf(IDC_OPEN_PORT)->description;
  return (openFailed ? "Did not open: " : "") + std::string(hint);
}

}  // namespace quorvane
