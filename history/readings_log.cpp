// Each status reply into the history and, while one runs, the recording.
#include "history/readings_log.h"

#include <utility>

namespace quorvane {

ReadingsLog::ReadingsLog(Clock clock, std::size_t capacity)
    : m_clock(std::move(clock)), m_history(capacity) {}

void ReadingsLog::OnPortOpened() { m_history.MarkBreak(); }

void ReadingsLog::OnStatusReading(const DeviceState& device) {
  m_history.Append(ReadingOf(m_clock(), device));
  if (!m_recording.Active()) return;
  // The history's copy: the row and the chart tell the same reading.
  const std::string reason = m_recording.Write(m_history.Newest());
  // A failed write has closed the recording, so this is told only once.
  if (!reason.empty() && m_onFailure) {
    const std::string path = m_recording.Path();  // the handler may start another
    m_onFailure(path, reason);
  }
}

void ReadingsLog::OnAlarmChanges(const AlarmChanges& changes) {
  const WallTime now = m_clock();
  // Ended first: when one alarm gives way to another, the marks say so in order.
  for (const Alarm& alarm : changes.ended) m_history.AddMark(now, "alarm ended: " + alarm.Text());
  for (const Alarm& alarm : changes.started) m_history.AddMark(now, "alarm: " + alarm.Text());
}

std::string ReadingsLog::StartRecording(const std::string& path) {
  return m_recording.Start(path, CsvRecording::Mode::Replace);
}

void ReadingsLog::StopRecording() { m_recording.Stop(); }

std::string ReadingsLog::Export(const std::string& path) const {
  if (m_recording.Writes(path))
    return "it is the file being recorded; stop the recording first, or choose another file";
  return ExportCsv(m_history, path);
}

}  // namespace quorvane
