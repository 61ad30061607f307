// Readings written to a CSV file: whole rows only, each handed to the system
// as soon as it is written, so whatever ends the program leaves no half row.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "history/reading_history.h"

namespace quorvane {

// The one place a file error's errno becomes the operator's text, for the
// programs' own output too. Some C runtimes leave errno alone on a failed
// write (error 0); the operator still gets a reason.
std::string SystemReason(int error);

// Failures come back as the system's reason ("No space left on device");
// an empty string means success. Callers put the reason into their message.
class CsvRecording {
 public:
  enum class Mode {
    Replace,  // a new file, or an existing one emptied
    Append,   // an existing file continued; the header only when it is empty
  };

  CsvRecording() = default;
  CsvRecording(const CsvRecording&) = delete;
  CsvRecording& operator=(const CsvRecording&) = delete;
  ~CsvRecording();

  // Opens path and writes the header. On failure nothing is left open.
  std::string Start(const std::string& path, Mode mode);
  // One row, flushed. On failure the file is cut back to its last whole row
  // and closed: the recording has stopped.
  std::string Write(const Reading& reading);
  void Stop();

  bool Active() const { return m_file != nullptr; }
  // Whether path names the file being written, however spelt or linked.
  bool Writes(const std::string& path) const;
  const std::string& Path() const { return m_path; }
  std::uint64_t Rows() const { return m_rows; }

 private:
  std::string WriteWhole(const std::string& text);

  std::FILE* m_file = nullptr;
  std::string m_path;
  std::uintmax_t m_goodSize = 0;  // bytes of whole rows in the file
  std::uint64_t m_rows = 0;
};

// Makes a file that may grow no further (a file-size limit) a failed write,
// reported like a full disk, instead of the end of the program by SIGXFSZ.
// Programs that write readings call it once at start.
void TakeFileSizeLimitAsWriteError();

// The whole history into path, by way of a temporary file beside it that
// replaces path only when complete: a failure leaves path as it was.
std::string ExportCsv(const ReadingHistory& history, const std::string& path);

}  // namespace quorvane
