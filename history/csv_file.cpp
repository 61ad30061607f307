// Recording and exporting readings as CSV through std::FILE, which the
// Windows build of quorvane-ctl shares; a failed write never leaves half a row.
#include "history/csv_file.h"

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include <cerrno>
#include <csignal>
#include <filesystem>
#include <system_error>

#include "history/readings_csv.h"

namespace quorvane {
namespace {

namespace fs = std::filesystem;

// Paths are UTF-8 on every platform. Windows' narrow file functions would
// read them in the system's code page, where most names outside it cannot be
// spelt, so the file functions are given them as paths of their own. A name
// that is no UTF-8 is no path at all, not a reason to stop.
fs::path PathOf(const std::string& utf8) {
  try {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
  } catch (const std::exception&) {
    return {};
  }
}

std::FILE* OpenFile(const std::string& path, const char* mode) {
#ifdef _WIN32
  const fs::path wide = PathOf(path);
  if (wide.empty()) {
    errno = ENOENT;
    return nullptr;
  }
  const std::string narrowMode(mode);
  return ::_wfopen(wide.c_str(), std::wstring(narrowMode.begin(), narrowMode.end()).c_str());
#else
  return std::fopen(path.c_str(), mode);
#endif
}

// Bytes in the file now, or 0 when it is no regular file (a device or a pipe
// holds no rows to keep).
std::uintmax_t SizeOf(const std::string& path) {
  std::error_code error;
  const std::uintmax_t size = fs::file_size(PathOf(path), error);
  return error ? 0 : size;
}

// Only ever shortens: a file someone else cut shorter is not padded out.
void CutBackTo(const std::string& path, std::uintmax_t size) {
  std::error_code error;
  const std::uintmax_t now = fs::file_size(PathOf(path), error);
  if (!error && now > size) fs::resize_file(PathOf(path), size, error);
}

// Whether a file with content ends its last line. One that cannot be read is
// taken as cut: an empty line harms a reader less than two rows glued into one.
bool EndsLine(const std::string& path) {
  std::FILE* file = OpenFile(path, "rb");
  if (!file) return false;
  const bool ends = std::fseek(file, -1, SEEK_END) != 0 || std::fgetc(file) == '\n';
  std::fclose(file);
  return ends;
}

// Whether a file with content starts with our header line. Read before it is
// opened for appending, so a refused file is never touched.
bool StartsWithOurHeader(const std::string& path) {
  const std::string header = CsvHeader();
  std::FILE* file = OpenFile(path, "rb");
  if (!file) return false;
  std::string start(header.size(), '\0');
  start.resize(std::fread(start.data(), 1, start.size(), file));
  std::fclose(file);
  return start == header;
}

}  // namespace

std::string SystemReason(int error) {
  return std::generic_category().message(error != 0 ? error : EIO);
}

CsvRecording::~CsvRecording() { Stop(); }

std::string CsvRecording::Start(const std::string& path, Mode mode) {
  Stop();
  // Rows of ours under another program's header would be read under the
  // wrong column names. Only regular files have a size, so a device or a
  // pipe is still written as it is.
  if (mode == Mode::Append && SizeOf(path) > 0 && !StartsWithOurHeader(path)) {
    return "its first line is not the header of a readings log (" +
           CsvHeader().substr(0, CsvHeader().size() - 1) +
           "); name a new or empty file, or a log this program wrote";
  }
  errno = 0;
  std::FILE* file = OpenFile(path, mode == Mode::Replace ? "wb" : "ab");
  if (!file) return SystemReason(errno);
  m_file = file;
  m_path = path;
  m_rows = 0;
  m_goodSize = mode == Mode::Replace ? 0 : SizeOf(path);
  // A continued file already has its header, unless it is empty. A trailing
  // half row left by a program that is not this one is kept, since it is not
  // ours, but ended, so that our first row stays a row of its own.
  if (m_goodSize == 0) return WriteWhole(CsvHeader());
  return EndsLine(path) ? std::string() : WriteWhole("\n");
}

std::string CsvRecording::Write(const Reading& reading) {
  if (!m_file) return SystemReason(EBADF);
  std::string reason = WriteWhole(CsvRow(reading));
  if (reason.empty()) ++m_rows;
  return reason;
}

bool CsvRecording::Writes(const std::string& path) const {
  if (!m_file) return false;
#ifdef _WIN32
  // The C runtime opens files without sharing their deletion, so the file
  // being written cannot be renamed or removed: its path still names it, and
  // equivalent compares volume and file index.
  std::error_code error;
  return fs::equivalent(PathOf(path), PathOf(m_path), error);
#else
  // The open file itself, by device and inode: its path may have been renamed
  // or removed since, and another file put there.
  struct stat open {};
  struct stat named {};
  return ::fstat(::fileno(m_file), &open) == 0 && ::stat(path.c_str(), &named) == 0 &&
         open.st_dev == named.st_dev && open.st_ino == named.st_ino;
#endif
}

void CsvRecording::Stop() {
  if (!m_file) return;
  // Every row was flushed as it was written: nothing is left to fail here.
  std::fclose(m_file);
  m_file = nullptr;
}

std::string CsvRecording::WriteWhole(const std::string& text) {
  errno = 0;
  if (std::fwrite(text.data(), 1, text.size(), m_file) == text.size() && std::fflush(m_file) == 0) {
    m_goodSize += text.size();
    return {};
  }
  const std::string reason = SystemReason(errno);
  // Closed first: fclose may push the rest of the row out, and the cut must
  // come after the last byte the C library writes.
  std::fclose(m_file);
  m_file = nullptr;
  CutBackTo(m_path, m_goodSize);
  return reason;
}

std::string ExportCsv(const ReadingHistory& history, const std::string& path) {
  // Beside the target, so the rename stays on one file system.
  const std::string partial = path + ".quorvane-export";
  errno = 0;
  std::FILE* file = OpenFile(partial, "wb");
  if (!file) return SystemReason(errno);

  bool written = std::fputs(CsvHeader().c_str(), file) >= 0;
  for (std::size_t i = 0; written && i < history.Size(); ++i) {
    const std::string row = CsvRow(history[i]);
    written = std::fwrite(row.data(), 1, row.size(), file) == row.size();
  }
  written = written && std::fflush(file) == 0;
  int error = errno;
  if (std::fclose(file) != 0 && written) {
    written = false;
    error = errno;
  }

  std::error_code renamed;
  if (written) {
    fs::rename(PathOf(partial), PathOf(path), renamed);
    if (!renamed) return {};
  }
  std::error_code ignored;
  fs::remove(PathOf(partial), ignored);
  // A rename's error on Windows may be the system's own code, not an errno.
  if (renamed) return renamed.message();
  return SystemReason(error);
}

void TakeFileSizeLimitAsWriteError() {
#ifdef SIGXFSZ
  std::signal(SIGXFSZ, SIG_IGN);
#endif
}

}  // namespace quorvane
