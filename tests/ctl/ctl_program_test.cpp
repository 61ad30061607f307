// quorvane-ctl against the virtual board on a pseudo-terminal: what each
// command prints and sends, every failure's exit status and message, the
// CSV log, and Ctrl-C during monitor.
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <regex>
#include <sstream>

#include "protocol/codes.h"
#include "sim/pty_board.h"
#include "tests/ctl/ctl_process.h"

namespace quorvane::ctl::test {
namespace {

namespace fs = std::filesystem;
using sim::BoardConfig;
using sim::BoardSwitches;
using sim::PtyBoard;
using testing::HasSubstr;

// Distinct from every default, so a value shown from the wrong field shows.
BoardConfig TestBoard() {
  BoardConfig config;
  config.parameters.currentPrefix[0] = 0xAB;
  config.parameters.currentPrefix[1] = 0xCD;
  config.parameters.currentSetpoint = 1234;
  config.parameters.currentMax = 4000;
  config.parameters.frequencyHz = 12340;
  config.parameters.pulseSteps = 33;
  config.parameters.softActive = 1;
  return config;
}

// A folder standing in for /dev with the board linked in as ttyUSB0.
class CtlTest : public testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/quorvane-ctl-test-XXXXXX";
    ASSERT_NE(::mkdtemp(name), nullptr);
    m_dir = name;
    // Readable by anyone: the permission case runs the program as another user.
    fs::permissions(m_dir, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                               fs::perms::others_read | fs::perms::others_exec);
  }
  void TearDown() override {
    m_board.reset();
    fs::remove_all(m_dir);
  }

  PtyBoard& StartBoard(BoardConfig config = TestBoard(), sim::WireObserver observer = {}) {
    m_board = std::make_unique<PtyBoard>(
        sim::PtyBoardOptions{config, false, m_dir / "ttyUSB0", std::move(observer)});
    return *m_board;
  }
  std::vector<std::string> On(std::vector<std::string> arguments) const {
    arguments.insert(arguments.begin(), {"--dev", m_dir.string(), "-p", "ttyUSB0"});
    return arguments;
  }
  std::vector<std::uint8_t> CodesReceived() const {
    std::vector<std::uint8_t> codes;
    for (const auto& entry : m_board->Board().Journal()) codes.push_back(entry.code);
    return codes;
  }

  fs::path m_dir;
  std::unique_ptr<PtyBoard> m_board;
};

TEST_F(CtlTest, ListShowsTheBoardsPortAsTextAndJson) {
  StartBoard();
  const Finished text = RunCtl({"--dev", m_dir.string(), "list"});
  EXPECT_EQ(text.status, 0) << text.err;
  EXPECT_THAT(text.out, testing::StartsWith(" 33  ttyUSB0"));
  const Finished json = RunCtl({"--dev", m_dir.string(), "list", "--json"});
  ASSERT_EQ(json.status, 0) << json.err;
  const auto list = nlohmann::json::parse(json.out);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0]["number"], 33);
  EXPECT_EQ(list[0]["name"], "ttyUSB0");
}

TEST_F(CtlTest, StatusSyncsThenQueriesAndShowsEveryValue) {
  StartBoard();
  const Finished text = RunCtl(On({"status"}));
  ASSERT_EQ(text.status, 0) << text.err;
  for (const char* row :
       {"setpoint     1234 mA", "maximum      4000 mA", "frequency    12.34 kHz", "duration     33",
        "soft-active  ON", "prefix       ABCD", "seed ", "pump ", "current "})
    EXPECT_THAT(text.out, HasSubstr(row));
  EXPECT_THAT(CodesReceived(), testing::ElementsAre(CMD_READ_ALL, CMD_READ_STATUS));

  // A device path works as well as a list name, also one that is no port name.
  const std::string pts = m_board->SlavePath().string();
  const Finished json = RunCtl({"-p", pts, "--json", "status"});
  ASSERT_EQ(json.status, 0) << json.err;
  const auto status = nlohmann::json::parse(json.out);
  EXPECT_EQ(status["port"], pts);
  EXPECT_EQ(status["setpoint_mA"], 1234);
  EXPECT_EQ(status["maximum_mA"], 4000);
  EXPECT_EQ(status["frequency_Hz"], 12340);
  EXPECT_EQ(status["duration_steps"], 33);
  EXPECT_EQ(status["soft_active"], true);
  const auto snapshot = m_board->Board().Snapshot();
  EXPECT_NEAR(status["pump_C"].get<double>(), snapshot.readings.pumpTemp / 100.0, 2.0);
}

// A path in another encoding than UTF-8 is still a path: JSON carries it with
// the bad byte replaced, and the private link goes with the program.
TEST_F(CtlTest, JsonReplacesBytesThatAreNotUtf8AndLeavesNoLinkBehind) {
  StartBoard();
  const fs::path latin1 = m_dir / "port\xE9";
  fs::create_symlink(m_board->SlavePath(), latin1);
  const fs::path temp = m_dir / "temp";
  fs::create_directory(temp);
  std::vector<std::string> command = CtlCommand({"-p", latin1.string(), "--json", "status"});
  command.insert(command.begin(), {"env", "TMPDIR=" + temp.string()});
  const Finished run = CtlProcess(command).Finish();
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(fs::is_empty(temp)) << "the private link was left behind";
  ASSERT_TRUE(nlohmann::json::accept(run.out)) << run.out;
  EXPECT_EQ(nlohmann::json::parse(run.out)["port"], (m_dir / "port\uFFFD").string());
}

TEST_F(CtlTest, SetSendsAsThePanelAndExitsZeroOnlyOnceConfirmed) {
  struct Case {
    std::vector<std::string> args;
    std::uint8_t code;
    int frames;  // the panel sends current, frequency and duration twice
    std::string shown;
  };
  const Case cases[] = {
      {{"set", "current", "4000.9"}, CMD_SET_CURRENT, 2, "current 4000 mA: confirmed"},
      {{"set", "current", "1500"}, CMD_SET_CURRENT, 2, "current 1500 mA: confirmed"},
      {{"set", "frequency", "0.29"}, CMD_SET_FREQUENCY, 2, "frequency 0.29 kHz: confirmed"},
      {{"set", "frequency", "12.345"}, CMD_SET_FREQUENCY, 2, "frequency 12.34 kHz: confirmed"},
      {{"set", "duration", "255"}, CMD_SET_DURATION, 2, "duration 255: confirmed"},
      {{"set", "soft-active", "off"}, CMD_SET_SOFT_ACTIVE, 1, "soft-active OFF: confirmed"},
  };
  PtyBoard& board = StartBoard();
  for (const Case& c : cases) {
    const std::size_t before = board.Board().JournalSize();
    const Finished run = RunCtl(On(c.args));
    EXPECT_EQ(run.status, 0) << c.args[2] << ": " << run.err;
    EXPECT_THAT(run.out, HasSubstr(c.shown)) << c.args[2];
    const auto journal = board.Board().Journal();
    std::vector<sim::JournalEntry> sets;
    for (std::size_t i = before; i < journal.size(); ++i)
      if (journal[i].code == c.code) sets.push_back(journal[i]);
    ASSERT_EQ(sets.size(), static_cast<std::size_t>(c.frames)) << c.args[2];
    if (c.frames == 2) {
      EXPECT_EQ(sets[0].raw, sets[1].raw);
      // 100 ms apart when sent; the board's clock stamps them when its thread
      // gets to them, so a loaded machine narrows the gap. Back to back would be < 5 ms.
      EXPECT_GE(sets[1].time - sets[0].time, 50ms) << c.args[2];
    }
  }
  const auto p = board.Board().Snapshot().parameters;
  EXPECT_EQ(p.currentSetpoint, 1500);
  EXPECT_EQ(p.frequencyHz, 12340u);
  EXPECT_EQ(p.pulseSteps, 255);
  EXPECT_EQ(p.softActive, 0);
}

TEST_F(CtlTest, EachFailureHasItsExitStatusAndMessage) {
  struct Case {
    const char* name;
    BoardSwitches switches;
    std::vector<std::string> args;
    int status;
    std::string message;
  };
  const Case cases[] = {
      {"unknown name", {}, {"-p", "ttyXYZ", "status"}, 4, "no such port: 'ttyXYZ'"},
      {"absent port", {}, {"-p", "ttyUSB7", "status"}, 4, "is not present"},
      {"silent board", {.silent = true}, {"-p", "ttyUSB0", "status"}, 7, "is silent"},
      {"bad number", {}, {"-p", "ttyUSB0", "set", "current", "1e3"}, 3, "bad value '1e3'"},
      {"bad switch", {}, {"-p", "ttyUSB0", "set", "soft-active", "yes"}, 3, "on or off"},
      // Beyond what the board takes: refused, not clamped or wrapped.
      {"long pulse", {}, {"-p", "ttyUSB0", "set", "duration", "300"}, 3, "takes 0 to 255"},
      {"negative kHz", {}, {"-p", "ttyUSB0", "set", "frequency", "-3"}, 3, "0 to 2147483.64 kHz"},
      {"huge kHz", {}, {"-p", "ttyUSB0", "set", "frequency", "99999999999"}, 3, "2147483.64 kHz"},
      {"negative mA", {}, {"-p", "ttyUSB0", "set", "current", "-5"}, 3, "takes 0 to 4000 mA"},
      {"above maximum", {}, {"-p", "ttyUSB0", "set", "current", "4001"}, 3, "takes 0 to 4000 mA"},
      {"bad interval", {}, {"-p", "ttyUSB0", "monitor", "--interval", "5ms"}, 3, "--interval"},
      {"no command", {}, {"-p", "ttyUSB0"}, 2, "Usage: quorvane-ctl"},
      {"no port", {}, {"status"}, 2, "--port is required"},
      {"unknown setting", {}, {"-p", "ttyUSB0", "set", "power", "3"}, 3, "power"},
      {"missing value", {}, {"-p", "ttyUSB0", "set", "current"}, 2, "Usage: quorvane-ctl set"},
  };
  PtyBoard& board = StartBoard();
  for (const Case& c : cases) {
    board.SetSwitches(c.switches);
    std::vector<std::string> args{"--dev", m_dir.string()};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const std::size_t before = board.Board().JournalSize();
    const Finished run = RunCtl(args);
    EXPECT_EQ(run.status, c.status) << c.name << ": " << run.err;
    EXPECT_THAT(run.err, HasSubstr(c.message)) << c.name;
    EXPECT_EQ(run.out, "") << c.name;
    const auto journal = board.Board().Journal();
    for (std::size_t i = before; i < journal.size(); ++i)
      EXPECT_EQ(int{journal[i].code}, int{CMD_READ_ALL}) << c.name << ": only the sync may pass";
  }
}

TEST_F(CtlTest, SettingTheBoardDoesNotAnswerIsNotConfirmed) {
  // The board goes quiet right after its full reply: synced, but no setting
  // is ever answered.
  std::atomic<PtyBoard*> self{nullptr};
  StartBoard(TestBoard(), [&](const sim::WireEvent& event) {
    if (event.kind == sim::WireKind::kReply && event.bytes.size() > 3 && event.bytes[3] == RPL_ALL)
      if (PtyBoard* board = self.load()) board->SetSwitches({.silent = true});
  });
  self = m_board.get();
  const Finished run = RunCtl(On({"set", "current", "1500"}));
  EXPECT_EQ(run.status, 8) << run.err;
  EXPECT_THAT(run.err, HasSubstr("did not confirm current 1500 mA"));
  self = nullptr;
}

TEST_F(CtlTest, PortHeldByAnotherProgramIsBusy) {
  StartBoard();
  const int fd = ::open((m_dir / "ttyUSB0").c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
  const Finished run = RunCtl(On({"status"}));
  ::close(fd);
  EXPECT_EQ(run.status, 6) << run.err;
  EXPECT_THAT(run.err, HasSubstr("is busy: in use by ctl_program_tes"));
}

TEST_F(CtlTest, PermissionDeniedNamesTheGroupAndTheFix) {
  StartBoard();
  std::vector<std::string> command = CtlCommand(On({"status"}));
  if (::geteuid() == 0) {
    // Root opens anything; the program runs as nobody instead.
    command.insert(command.begin(),
                   {"setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"});
  } else {
    ASSERT_EQ(::chmod(m_board->SlavePath().c_str(), 0), 0);
  }
  const Finished run = CtlProcess(command).Finish();
  EXPECT_EQ(run.status, 5) << run.err;
  EXPECT_THAT(run.err, HasSubstr("Permission denied on " + (m_dir / "ttyUSB0").string()));
  EXPECT_THAT(run.err, HasSubstr("sudo usermod -aG"));
}

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
    EXPECT_EQ(run.err, "quorvane-ctl: cannot write the output: No space left on device.\n")
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
    EXPECT_EQ(run.err, "") << shown;
  }
}

TEST_F(CtlTest, HelpAndVersion) {
  const Finished help = RunCtl({"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* text :
       {"--port", "--json", "--interval", "Exit status:", "8  board did not confirm"})
    EXPECT_THAT(help.out, HasSubstr(text));
  const Finished version = RunCtl({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "quorvane-ctl 1.0.0.1\n");
}

}  // namespace
}  // namespace quorvane::ctl::test
