// Scratch folders and file contents for the history tests, on Linux and under Wine.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

#include "history/reading_history.h"

namespace quorvane::test {

// A fresh folder under the system's temporary folder, removed with everything in it.
class ScratchFolder {
 public:
  ScratchFolder();
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  std::string operator/(const std::string& name) const { return (m_path / name).string(); }
  const std::filesystem::path& Path() const { return m_path; }

 private:
  std::filesystem::path m_path;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);

// 2026-12-07 16:30:00.123 UTC, and readings seconds after it with values that
// differ from one to the next but keep every row the same length.
inline const WallTime kSomeTime{std::chrono::milliseconds(1796661000123)};
Reading SampleReading(int second);

#ifndef _WIN32
// Runs body in a child process whose files may not grow past limit bytes, as
// on a disk that fills: a write past it fails (EFBIG) instead of ending the
// program. Returns body's result, or -1 when the child did not finish.
int WithFileSizeLimit(std::uintmax_t limit, const std::function<int()>& body);
#endif

}  // namespace quorvane::test
