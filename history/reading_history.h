// The panel's memory of the board's readings: one entry per status reply, in
// a bounded ring, so a session of days never grows without limit.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "controller/timing.h"
#include "protocol/device_state.h"

namespace quorvane {

using WallTime = std::chrono::system_clock::time_point;

// What one status reply showed, with the set-points the panel held then.
struct Reading {
  WallTime time;
  DeviceState device;
  // Nothing joins this reading to the one before: the port was opened again,
  // no reading came for longer than ReadingHistory::kGapAfter, or the clock
  // was set back.
  bool startsRun = false;
};

Reading ReadingOf(WallTime time, const DeviceState& device);

// Used on one thread only (the window thread, in the panel).
class ReadingHistory {
 public:
  // A day of status replies at the poll rate, and an hour more.
  static constexpr std::size_t kDefaultCapacity =
      static_cast<std::size_t>(std::chrono::hours(25) / kPollPeriod);
  // A pause in the readings this long is shown as a gap, not a line.
  static constexpr std::chrono::milliseconds kGapAfter = 10 * kPollPeriod;

  explicit ReadingHistory(std::size_t capacity = kDefaultCapacity);

  // Readings [first, end) by index: one run, in time order.
  struct RunSpan {
    std::size_t first = 0;
    std::size_t end = 0;
  };

  // The port was opened (again): the next reading starts a new run.
  void MarkBreak();
  // Once full, the oldest reading makes room. A reading keeps the time it was
  // taken at, even one before the newest (the clock was set back): it starts
  // a new run, so each run is in time order, though the ring as a whole then
  // is not.
  void Append(Reading reading);

  std::size_t Size() const { return m_size; }
  std::size_t Capacity() const { return m_capacity; }
  bool Empty() const { return m_size == 0; }
  // 0 is the oldest reading kept.
  const Reading& operator[](std::size_t index) const;
  const Reading& Newest() const { return (*this)[m_size - 1]; }
  // The runs kept, oldest first; the first may have lost its start to the ring.
  std::size_t RunCount() const { return m_runStarts.size(); }
  RunSpan Run(std::size_t run) const;
  // The index of run's first reading at or after time; run.end when there is none.
  std::size_t LowerBound(RunSpan run, WallTime time) const;
  // The earliest and latest times kept, which a clock set back may have put
  // anywhere in the ring. Not on an empty history.
  WallTime Earliest() const;
  WallTime Latest() const;
  // Calls visit(reading) for the readings [first, end) in order, a stretch of
  // the ring at a time rather than working out each reading's place.
  template <typename Visit>
  void ForEach(std::size_t first, std::size_t end, Visit&& visit) const {
    std::size_t place = (m_oldest + first) % m_capacity;
    for (std::size_t left = end > first ? end - first : 0; left > 0;) {
      const std::size_t stretch = std::min(left, m_capacity - place);
      for (std::size_t i = 0; i < stretch; ++i) visit(m_ring[place + i]);
      left -= stretch;
      place = 0;
    }
  }
  // Counts every reading ever appended, so a viewer can tell that one came.
  std::uint64_t Appended() const { return m_appended; }

  // A moment the readings themselves do not show (an alarm starting or
  // ending), marked where it fell among them. A mark goes once the reading
  // after it has made room, and the oldest go once there are as many marks
  // as readings fit, so an alarm that comes and goes cannot grow the history.
  struct Mark {
    WallTime time;
    std::uint64_t after = 0;  // the readings appended before it
    std::string text;
  };
  void AddMark(WallTime time, std::string text);
  const std::deque<Mark>& Marks() const { return m_marks; }
  // The reading just before mark, or just after when that is gone; nullptr
  // on an empty history.
  const Reading* ReadingAt(const Mark& mark) const;

 private:
  // The count of readings appended before the oldest one kept.
  std::uint64_t OldestNumber() const { return m_appended - m_size; }

  std::vector<Reading> m_ring;  // reserved whole at the start: appending never reallocates
  std::size_t m_capacity;
  std::size_t m_oldest = 0;
  std::size_t m_size = 0;
  std::uint64_t m_appended = 0;
  // Where each run kept begins, counted in readings ever appended; grows
  // only with runs, which are few unless the port or clock misbehaves.
  std::deque<std::uint64_t> m_runStarts;
  bool m_breakPending = true;
  std::deque<Mark> m_marks;
};

}  // namespace quorvane
