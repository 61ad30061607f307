// quorvane-ctl monitor against the virtual board: the CSV log, Ctrl-C, a
// failed row, a lost port, and output that cannot be written.
#include <signal.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>
#include <thread>

#include "protocol/codes.h"
#include "tests/ctl/ctl_board_fixture.h"

namespace quorvane::ctl::test {
namespace {

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string FileText(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::stringstream content;
  content << file.rdbuf();
  return content.str();
}

// Standard error without the notes a loaded machine may cause at the fastest
// poll (a reply later than the next query: said, and then its return), which
// are not what these checks are about.
std::string WithoutSilenceNotes(const std::string& err) {
  std::string kept;
  for (const std::string& line : Lines(err))
    if (line != "quorvane-ctl: no status reply; still asking." &&
        line != "quorvane-ctl: the board answers again.")
      kept += line + "\n";
  return kept;
}

// A whole row of the test board's readings.
bool IsCsvRow(const std::string& line) {
  static const std::regex row(
      R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z,\d+,-?\d+\.\d\d,-?\d+\.\d\d,1234,12340,33,1)");
  return std::regex_match(line, row);
}

TEST_F(CtlTest, MonitorWritesOneRowPerStatusReplyAndCtrlCEndsItWithWholeRows) {
  StartBoard();
  const fs::path csv = m_dir / "log.csv";
  {
    const Finished run =
        RunCtl(On({"monitor", "--interval", "0.1s", "--count", "3", "--csv", csv.string()}));
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(Lines(run.out).size(), 3u);
  }
  CtlProcess monitor(
      CtlCommand(On({"--json", "monitor", "--interval", "50ms", "--csv", csv.string()})));
  ASSERT_TRUE(monitor.WaitForOutput("\n", 4));
  monitor.Signal(SIGINT);
  const Finished run = monitor.Finish();
  EXPECT_EQ(run.status, 0) << run.err;

  const std::string content = FileText(csv);
  ASSERT_EQ(content.back(), '\n');
  const std::vector<std::string> rows = Lines(content);
  const std::vector<std::string> json = Lines(run.out);
  // One header for both runs: the second appended to the first's log.
  ASSERT_EQ(rows.size(), 1 + 3 + json.size());
  EXPECT_EQ(rows[0],
            "time,current_mA,seed_C,pump_C,setpoint_mA,frequency_Hz,duration_steps,soft_active");
  for (std::size_t i = 1; i < rows.size(); ++i) EXPECT_TRUE(IsCsvRow(rows[i])) << rows[i];
  for (std::size_t i = 0; i < json.size(); ++i) {
    const auto reading = nlohmann::json::parse(json[i]);
    EXPECT_EQ(reading["time"], rows[4 + i].substr(0, 24));
    EXPECT_EQ(reading["setpoint_mA"], 1234);
  }
}

// The disk fills in the middle of the third row: the rows before it stay whole.
TEST_F(CtlTest, MonitorEndsAtAFailedRowLeavingOnlyWholeRows) {
  StartBoard();
  const fs::path csv = m_dir / "log.csv";
  ASSERT_EQ(RunCtl(On({"monitor", "--count", "1", "--csv", csv.string()})).status, 0);
  const std::string first = FileText(csv);
  const std::size_t header = first.find('\n') + 1;
  const std::size_t row = first.size() - header;
  fs::remove(csv);

  std::vector<std::string> command =
      CtlCommand(On({"monitor", "--interval", "50ms", "--count", "10", "--csv", csv.string()}));
  command.insert(command.begin(),
                 {"prlimit", "--fsize=" + std::to_string(header + 2 * row + row / 2), "--"});
  // The program itself must take the limit as a failed write, not as the
  // end of the program by SIGXFSZ.
  const Finished run = CtlProcess(command).Finish();
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_THAT(run.err, HasSubstr("writing " + csv.string() + " failed: File too large."));

  const std::string content = FileText(csv);
  ASSERT_FALSE(content.empty());
  EXPECT_EQ(content.back(), '\n') << content;
  const std::vector<std::string> rows = Lines(content);
  ASSERT_EQ(rows.size(), 3u) << content;
  for (std::size_t i = 1; i < rows.size(); ++i) EXPECT_TRUE(IsCsvRow(rows[i])) << rows[i];
}

// Standard output that nobody reads (a paused pager, Ctrl-S): the CSV log
// goes on, and every stop request still ends the program at once, removing
// the private link made for a device path.
TEST_F(CtlTest, AStalledOutputHoldsUpNeitherTheCsvLogNorAStop) {
  StartBoard();
  const fs::path temp = m_dir / "temp";
  fs::create_directory(temp);
  for (const int signal : {SIGTERM, SIGINT, SIGHUP}) {
    const fs::path csv = m_dir / ("log" + std::to_string(signal) + ".csv");
    std::vector<std::string> command =
        CtlCommand({"-p", m_board->SlavePath().string(), "--json", "monitor", "--interval", "50ms",
                    "--csv", csv.string()});
    command.insert(command.begin(), {"env", "TMPDIR=" + temp.string()});
    CtlProcess monitor(command, 4096);
    // A page holds some 25 JSON lines: 80 rows are well past a full pipe.
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (Lines(FileText(csv)).size() < 80 && std::chrono::steady_clock::now() < deadline)
      std::this_thread::sleep_for(50ms);
    EXPECT_GE(Lines(FileText(csv)).size(), 80u) << signal << ": the log stopped with the output";
    monitor.Signal(signal);
    const Finished run = monitor.Finish(10s, false);
    EXPECT_EQ(run.status, 0) << signal << ": " << run.err;
    EXPECT_THAT(run.err, HasSubstr("not written to the standard output")) << signal;
    EXPECT_TRUE(fs::is_empty(temp)) << signal << ": the private link was left behind";
  }
}

TEST_F(CtlTest, MonitorEndsWithAFailureWhenThePortGoes) {
  PtyBoard& board = StartBoard();
  CtlProcess monitor(CtlCommand(On({"monitor", "--interval", "50ms"})));
  ASSERT_TRUE(monitor.WaitForOutput("\n"));
  board.HangUp();
  const Finished run = monitor.Finish();
  EXPECT_EQ(run.status, 1) << run.err;
  EXPECT_THAT(run.err, HasSubstr("ttyUSB0 has gone"));
}

// Output that cannot be written is a failure, as a full disk is; a reader
// that goes away is how a monitor in a pipeline ends, quietly, whether the
// program was started with SIGPIPE ignored (it then used to run on) or not.
TEST_F(CtlTest, OutputThatCannotBeWrittenFailsAndAMonitorEndsWithItsReader) {
  StartBoard();
  const std::vector<std::string> toFull = {"sh", "-c", "exec \"$0\" \"$@\" >/dev/full"};
  const struct {
    const char* name;
    std::vector<std::string> arguments;
  } cases[] = {
      {"list", {"--dev", m_dir.string(), "list"}},
      {"status", On({"status"})},
      {"json status", On({"--json", "status"})},
      {"set", On({"set", "duration", "20"})},
      {"monitor", On({"monitor", "--interval", "50ms", "--count", "3"})},
      {"version", {"--version"}},
  };
  for (const auto& c : cases) {
    std::vector<std::string> command = CtlCommand(c.arguments);
    command.insert(command.begin(), toFull.begin(), toFull.end());
    const Finished run = CtlProcess(command).Finish(10s);
    EXPECT_EQ(run.status, 1) << c.name << ": " << run.err;
    EXPECT_EQ(WithoutSilenceNotes(run.err),
              "quorvane-ctl: cannot write the output: No space left on device.\n")
        << c.name;
  }

  const std::vector<std::string> pipeWrappers[] = {
      {}, {"sh", "-c", "trap '' PIPE; exec \"$0\" \"$@\""}};
  for (const auto& wrapper : pipeWrappers) {
    std::vector<std::string> command = CtlCommand(On({"monitor", "--interval", "50ms"}));
    command.insert(command.begin(), wrapper.begin(), wrapper.end());
    CtlProcess monitor(command);
    ASSERT_TRUE(monitor.WaitForOutput("\n"));
    monitor.CloseOutput();
    const Finished run = monitor.Finish(10s);
    const char* shown = wrapper.empty() ? "SIGPIPE default" : "SIGPIPE ignored";
    EXPECT_EQ(run.status, 0) << shown << ": " << run.err;
    EXPECT_EQ(WithoutSilenceNotes(run.err), "") << shown;
  }
}

}  // namespace
}  // namespace quorvane::ctl::test
