// Recordings and exports on real files: exact content, continuing a file,
// and every way a write can fail leaving only whole rows and no stray files.
#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <system_error>

#include "history/csv_file.h"
#include "history/readings_csv.h"
#include "tests/history/history_files.h"

namespace quorvane::test {
namespace {

namespace fs = std::filesystem;
using Mode = CsvRecording::Mode;

std::string Rows(int from, int to) {
  std::string text;
  for (int i = from; i < to; ++i) text += CsvRow(SampleReading(i));
  return text;
}

std::size_t Entries(const fs::path& folder) {
  return static_cast<std::size_t>(
      std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

TEST(CsvRecordingTest, ARowPerWriteAndAContinuedFileKeepsOneHeader) {
  struct Case {
    const char* what;
    Mode mode;
    std::string before;    // the file's content before Start; none when empty
    std::string expected;  // after Start and rows 0..2
  };
  const std::string header = CsvHeader();
  const Case cases[] = {
      {"a new file", Mode::Replace, "", header + Rows(0, 3)},
      {"an old file replaced", Mode::Replace, header + Rows(7, 9), header + Rows(0, 3)},
      {"an empty file continued", Mode::Append, "", header + Rows(0, 3)},
      {"a file continued", Mode::Append, header + Rows(7, 9), header + Rows(7, 9) + Rows(0, 3)},
      // Another program stopped inside a row: ours start on a line of their own.
      {"a file with a cut last row continued", Mode::Append, header + "2026-12-07T16:3",
       header + "2026-12-07T16:3\n" + Rows(0, 3)},
  };
  for (const Case& c : cases) {
    ScratchFolder folder;
    const std::string path = folder / "readings.csv";
    if (!c.before.empty() || c.mode == Mode::Append) WriteFile(path, c.before);
    CsvRecording recording;
    ASSERT_EQ(recording.Start(path, c.mode), "") << c.what;
    for (int i = 0; i < 3; ++i) {
      ASSERT_EQ(recording.Write(SampleReading(i)), "") << c.what;
      // Flushed at once: a reader sees every row written so far.
      EXPECT_EQ(ReadFile(path), c.expected.substr(0, c.expected.size() - Rows(i + 1, 3).size()))
          << c.what;
    }
    EXPECT_EQ(recording.Rows(), 3u) << c.what;
    recording.Stop();
    EXPECT_FALSE(recording.Active()) << c.what;
    EXPECT_EQ(ReadFile(path), c.expected) << c.what;
  }
}

// Continuing is for our own logs: rows of ours under another header would
// be read under the wrong column names. Such a file is left as it was.
TEST(CsvRecordingTest, AFileUnderAnotherHeaderIsNotContinued) {
  const std::string header = CsvHeader();
  const std::string cases[] = {
      "a,b,c\n1,2,3\n",
      "time,current_mA,seed_C\n" + Rows(0, 1),
      header.substr(0, header.size() - 1) + "\r\n" + Rows(0, 1),
      "\n" + header + Rows(0, 1),
  };
  for (const std::string& before : cases) {
    ScratchFolder folder;
    const std::string path = folder / "readings.csv";
    WriteFile(path, before);
    CsvRecording recording;
    EXPECT_NE(recording.Start(path, Mode::Append).find("header"), std::string::npos) << before;
    EXPECT_FALSE(recording.Active()) << before;
    EXPECT_EQ(ReadFile(path), before);
  }
}

TEST(CsvRecordingTest, AnUnwritablePathLeavesNothingOpen) {
  ScratchFolder folder;
  CsvRecording recording;
  EXPECT_NE(recording.Start(folder / "missing/readings.csv", Mode::Replace), "");
  EXPECT_FALSE(recording.Active());
  EXPECT_NE(recording.Write(SampleReading(0)), "");
}

#ifndef _WIN32
TEST(CsvRecordingTest, AFullDiskIsReportedAndStopsTheRecording) {
  const std::string noSpace = std::generic_category().message(ENOSPC);
  for (const Mode mode : {Mode::Replace, Mode::Append}) {
    CsvRecording recording;
    std::string reason = recording.Start("/dev/full", mode);
    if (reason.empty()) reason = recording.Write(SampleReading(0));
    EXPECT_EQ(reason, noSpace);
    EXPECT_FALSE(recording.Active());
  }
}

// The file size limit falls inside the third row; the rows before it stay.
TEST(CsvRecordingTest, AFailedWriteLeavesOnlyWholeRows) {
  ScratchFolder folder;
  const std::string path = folder / "readings.csv";
  const std::string whole = CsvHeader() + Rows(0, 2);
  const std::size_t limit = whole.size() + CsvRow(SampleReading(2)).size() / 2;
  const int result = WithFileSizeLimit(limit, [&] {
    CsvRecording recording;
    if (!recording.Start(path, Mode::Replace).empty()) return 1;
    for (int i = 0; i < 10; ++i)
      if (!recording.Write(SampleReading(i)).empty()) return recording.Active() ? 2 : 0;
    return 3;
  });
  EXPECT_EQ(result, 0) << "1: no start, 2: still active after a failure, 3: no failure";
  EXPECT_EQ(ReadFile(path), whole);
}
#endif

TEST(ExportCsvTest, WritesEveryReadingOverAnyOldFile) {
  ReadingHistory history(4);
  for (int i = 0; i < 6; ++i) history.Append(SampleReading(i));
  ScratchFolder folder;
  const std::string path = folder / "export.csv";
  for (const char* before : {"", "an older export\n"}) {
    if (*before) WriteFile(path, before);
    ASSERT_EQ(ExportCsv(history, path), "") << before;
    EXPECT_EQ(ReadFile(path), CsvHeader() + Rows(2, 6)) << before;
    EXPECT_EQ(Entries(folder.Path()), 1u) << "a file was left beside the export";
  }
}

TEST(ExportCsvTest, AFailureLeavesTheTargetAsItWasAndNoTemporaryFile) {
  ReadingHistory history(16);
  for (int i = 0; i < 10; ++i) history.Append(SampleReading(i));
  ScratchFolder folder;
  const std::string folderTarget = folder / "a-folder";
  fs::create_directories(folderTarget + "/inside");
  for (const std::string& target : {folder / "missing/export.csv", folderTarget}) {
    EXPECT_NE(ExportCsv(history, target), "") << target;
    EXPECT_TRUE(fs::is_directory(folderTarget + "/inside")) << target;
    EXPECT_EQ(Entries(folder.Path()), 1u) << target << ": a file was left beside the target";
  }
#ifndef _WIN32
  // The disk fills in the middle of the export: the older export stays whole.
  const std::string old = folder / "old.csv";
  WriteFile(old, "kept as it was\n");
  EXPECT_EQ(WithFileSizeLimit(200, [&] { return ExportCsv(history, old).empty() ? 1 : 0; }), 0);
  EXPECT_EQ(ReadFile(old), "kept as it was\n");
  EXPECT_EQ(Entries(folder.Path()), 2u) << "a file was left beside the target";
#endif
}

// Paths are UTF-8 on every platform. Windows' C runtime would read a narrow
// path in the system's code page, where these folder names do not exist.
TEST(CsvFilesTest, AFolderNamedInAnyScriptHoldsRecordingsExportsAndContinuations) {
  ScratchFolder scratch;
  const fs::path folder = scratch.Path() / fs::path(u8"\u6570\u636e caf\u00e9");
  fs::create_directory(folder);
  const auto utf8 = [&](const char8_t* name) {
    const std::u8string path = (folder / fs::path(name)).u8string();
    return std::string(path.begin(), path.end());
  };
  const std::string recorded = utf8(u8"\u8bb0\u5f55.csv");
  const std::string exported = utf8(u8"export \u00e0 \u00e9.csv");
  ReadingHistory history;
  for (int i = 0; i < 3; ++i) history.Append(SampleReading(i));
  for (const Mode mode : {Mode::Replace, Mode::Append}) {
    CsvRecording recording;
    ASSERT_EQ(recording.Start(recorded, mode), "") << recorded;
    ASSERT_EQ(recording.Write(SampleReading(mode == Mode::Replace ? 0 : 1)), "");
    EXPECT_TRUE(recording.Writes(recorded));
  }
  ASSERT_EQ(ExportCsv(history, exported), "") << exported;
  const auto contents = [](const fs::path& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
  };
  EXPECT_EQ(contents(folder / fs::path(u8"\u8bb0\u5f55.csv")), CsvHeader() + Rows(0, 2));
  EXPECT_EQ(contents(folder / fs::path(u8"export \u00e0 \u00e9.csv")), CsvHeader() + Rows(0, 3));
  EXPECT_EQ(Entries(folder), 2u) << "a file was left beside the export, or one went elsewhere";
}

}  // namespace
}  // namespace quorvane::test
