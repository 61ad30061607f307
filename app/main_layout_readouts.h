// The main window's read-outs: the layout's Display rows that have an id,
// top to bottom. Both windows let Tab reach them after the settings and
// speak their values, so the list is taken from the layout, once.
#pragma once

#include <array>
#include <cstddef>

#include "app/main_layout.h"
#include "main_layout_table.h"  // generated in the build folder

namespace quorvane {

namespace readout_detail {

constexpr bool IsReadoutRow(const TemplateRow& row) {
  return row.kind == ControlKind::Display && row.id != kNoId;
}

constexpr std::size_t CountReadouts() {
  std::size_t count = 0;
  for (const TemplateRow& row : kMainTemplate)
    if (IsReadoutRow(row)) ++count;
  return count;
}

// The rows' order is the creation order, not the reading order: sorted by
// position, top first, then left first.
constexpr std::array<int, CountReadouts()> ReadoutsTopToBottom() {
  std::array<const TemplateRow*, CountReadouts()> rows{};
  std::size_t count = 0;
  for (const TemplateRow& row : kMainTemplate) {
    if (!IsReadoutRow(row)) continue;
    std::size_t at = count++;
    for (; at > 0 &&
           (rows[at - 1]->y > row.y || (rows[at - 1]->y == row.y && rows[at - 1]->x > row.x));
         --at)
      rows[at] = rows[at - 1];
    rows[at] = &row;
  }
  std::array<int, CountReadouts()> ids{};
  for (std::size_t i = 0; i < ids.size(); ++i) ids[i] = rows[i]->id;
  return ids;
}

}  // namespace readout_detail

inline constexpr std::array<int, readout_detail::CountReadouts()> kReadoutsTopToBottom =
    readout_detail::ReadoutsTopToBottom();

// Where id stands in kReadoutsTopToBottom; -1 for a control that is no read-out.
constexpr int ReadoutIndex(int id) {
  for (std::size_t i = 0; i < kReadoutsTopToBottom.size(); ++i)
    if (kReadoutsTopToBottom[i] == id) return static_cast<int>(i);
  return -1;
}

constexpr bool IsReadout(int id) { return ReadoutIndex(id) >= 0; }

}  // namespace quorvane
