// The ring behind ReadingHistory, and where each run of readings begins.
#include "history/reading_history.h"

#include <algorithm>
#include <cassert>

namespace quorvane {

Reading ReadingOf(WallTime time, const DeviceState& device) {
  Reading reading;
  reading.time = time;
  reading.currentRead = device.currentRead;
  reading.seedTemp = device.seedTemp;
  reading.pumpTemp = device.pumpTemp;
  reading.currentSetpoint = device.currentSetpoint;
  reading.frequencyHz = device.frequencyHz;
  reading.pulseSteps = device.pulseSteps;
  reading.softActive = device.softActive;
  return reading;
}

// A ring of no places could hold nothing and would divide by zero.
ReadingHistory::ReadingHistory(std::size_t capacity)
    : m_capacity(std::max<std::size_t>(capacity, 1)) {
  m_ring.reserve(m_capacity);
}

void ReadingHistory::MarkBreak() { m_breakPending = true; }

void ReadingHistory::Append(Reading reading) {
  // The history alone knows what came before, so it alone decides.
  bool startsRun = m_breakPending;
  if (!Empty()) {
    const WallTime newest = Newest().time;
    if (reading.time < newest) {
      reading.time = newest;
      startsRun = true;
    } else if (reading.time - newest > kGapAfter) {
      startsRun = true;
    }
  }
  reading.startsRun = startsRun;
  m_breakPending = false;

  if (m_ring.size() < m_capacity) {
    m_ring.push_back(reading);  // within the reserve: no reallocation
    ++m_size;
  } else {
    m_ring[m_oldest] = reading;
    m_oldest = (m_oldest + 1) % m_capacity;
  }
  ++m_appended;
}

const Reading& ReadingHistory::operator[](std::size_t index) const {
  assert(index < m_size);
  return m_ring[(m_oldest + index) % m_capacity];
}

std::size_t ReadingHistory::LowerBound(WallTime time) const {
  std::size_t low = 0;
  std::size_t high = m_size;
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
