// What the panel keeps of the board's readings while it runs: the history,
// and a recording when the operator has started one. The controller tells it
// of each status reply; it does nothing else, so a reply's handling stays short.
#pragma once

#include <functional>
#include <string>

#include "controller/controller.h"
#include "history/csv_file.h"
#include "history/reading_history.h"

namespace quorvane {

// Runs on the window thread, as the controller does.
class ReadingsLog final : public ReadingsObserver {
 public:
  using Clock = std::function<WallTime()>;
  // Told once when a recording stops because a row could not be written.
  using FailureHandler = std::function<void(const std::string& path, const std::string& reason)>;

  explicit ReadingsLog(Clock clock = &std::chrono::system_clock::now,
                       std::size_t capacity = ReadingHistory::kDefaultCapacity);

  // ReadingsObserver.
  void OnPortOpened() override;
  void OnStatusReading(const DeviceState& device) override;
  // Each alarm's start and end becomes a mark in the history, at the clock's time.
  void OnAlarmChanges(const AlarmChanges& changes) override;

  const ReadingHistory& History() const { return m_history; }

  // A new file at path (emptied if it exists); "" or the reason it failed.
  std::string StartRecording(const std::string& path);
  void StopRecording();
  bool Recording() const { return m_recording.Active(); }
  const std::string& RecordingPath() const { return m_recording.Path(); }
  void OnRecordingFailed(FailureHandler handler) { m_onFailure = std::move(handler); }

  // The whole history into path (see ExportCsv); "" or the reason it failed.
  // Never onto the file being recorded: the export's rename would put a new
  // file in its place while the recording went on writing the old, unlinked
  // one, and every later row would be lost.
  std::string Export(const std::string& path) const;

 private:
  Clock m_clock;
  ReadingHistory m_history;
  CsvRecording m_recording;
  FailureHandler m_onFailure;
};

}  // namespace quorvane
