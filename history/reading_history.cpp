// The ring behind ReadingHistory, and where each run of readings begins.
#include "history/reading_history.h"

#include <algorithm>
#include <cassert>

namespace quorvane {

Reading ReadingOf(WallTime time, const DeviceState& device) { return {time, device}; }

// A ring of no places could hold nothing and would divide by zero.
ReadingHistory::ReadingHistory(std::size_t capacity)
    : m_capacity(std::max<std::size_t>(capacity, 1)) {
  m_ring.reserve(m_capacity);
}

void ReadingHistory::MarkBreak() { m_breakPending = true; }

void ReadingHistory::Append(Reading reading) {
  // The history alone knows what came before, so it alone decides.
  const bool startsRun = m_breakPending || Empty() || reading.time < Newest().time ||
                         reading.time - Newest().time > kGapAfter;
  reading.startsRun = startsRun;
  m_breakPending = false;
  if (startsRun) m_runStarts.push_back(m_appended);

  if (m_ring.size() < m_capacity) {
    m_ring.push_back(reading);  // within the reserve: no reallocation
    ++m_size;
  } else {
    m_ring[m_oldest] = reading;
    m_oldest = (m_oldest + 1) % m_capacity;
  }
  ++m_appended;
  // A run whose every reading made room is no longer kept.
  while (m_runStarts.size() > 1 && m_runStarts[1] <= OldestNumber()) m_runStarts.pop_front();
  while (!m_marks.empty() && m_marks.front().after < OldestNumber()) m_marks.pop_front();
}

void ReadingHistory::AddMark(WallTime time, std::string text) {
  m_marks.push_back({time, m_appended, std::move(text)});
  if (m_marks.size() > m_capacity) m_marks.pop_front();
}

const Reading* ReadingHistory::ReadingAt(const Mark& mark) const {
  if (Empty()) return nullptr;
  const std::uint64_t oldest = OldestNumber();
  if (mark.after <= oldest) return &(*this)[0];
  return &(
      *this)[static_cast<std::size_t>(std::min<std::uint64_t>(mark.after - oldest, m_size) - 1)];
}

ReadingHistory::RunSpan ReadingHistory::Run(std::size_t run) const {
  assert(run < m_runStarts.size());
  const std::uint64_t oldest = OldestNumber();
  RunSpan span;
  span.first = run == 0 ? 0 : static_cast<std::size_t>(m_runStarts[run] - oldest);
  span.end = run + 1 < m_runStarts.size() ? static_cast<std::size_t>(m_runStarts[run + 1] - oldest)
                                          : m_size;
  return span;
}

WallTime ReadingHistory::Earliest() const {
  WallTime earliest = WallTime::max();
  for (std::size_t run = 0; run < RunCount(); ++run)
    earliest = std::min(earliest, (*this)[Run(run).first].time);
  return earliest;
}

WallTime ReadingHistory::Latest() const {
  WallTime latest = WallTime::min();
  for (std::size_t run = 0; run < RunCount(); ++run)
    latest = std::max(latest, (*this)[Run(run).end - 1].time);
  return latest;
}

const Reading& ReadingHistory::operator[](std::size_t index) const {
  assert(index < m_size);
  return m_ring[(m_oldest + index) % m_capacity];
}

std::size_t ReadingHistory::LowerBound(RunSpan run, WallTime time) const {
  std::size_t low = run.first;
  std::size_t high = run.end;
  while (low < high) {
    const std::size_t middle = low + (high - low) / 2;
    if ((*this)[middle].time < time)
      low = middle + 1;
    else
      high = middle;
  }
  return low;
}

}  // namespace quorvane
