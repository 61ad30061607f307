// quorvane-ctl against the virtual board on a pseudo-terminal: what each
// command prints and sends, and every failure's exit status and message.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <csignal>
#include <thread>

#include "protocol/codes.h"
#include "tests/ctl/ctl_board_fixture.h"

namespace quorvane::ctl::test {
namespace {

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
      // What status --json reads can be written back.
      {{"set", "frequency", "20000Hz"}, CMD_SET_FREQUENCY, 2, "frequency 20.00 kHz: confirmed"},
      {{"set", "frequency_Hz", "12340"}, CMD_SET_FREQUENCY, 2, "frequency 12.34 kHz: confirmed"},
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
  // The same result for a program.
  const Finished json = RunCtl(On({"--json", "set", "frequency", "12.345"}));
  ASSERT_EQ(json.status, 0) << json.err;
  ASSERT_TRUE(nlohmann::json::accept(json.out)) << json.out;
  const auto result = nlohmann::json::parse(json.out);
  EXPECT_EQ(result["setting"], "frequency");
  EXPECT_EQ(result["requested"], "12.345");
  EXPECT_EQ(result["value"], 12340);
  EXPECT_EQ(result["unit"], "Hz");
  EXPECT_EQ(result["confirmed"], true);
  EXPECT_EQ(result["confirmed_by"], "reply");

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
  const std::string absent = (m_dir / "ttyUSB7").string();
  const std::string gone = (m_dir / "gone" / "ttyX").string();
  const fs::path foreign = m_dir / "other.csv";
  std::ofstream(foreign) << "date,temperature\n";
  const Case cases[] = {
      {"unknown name", {}, {"-p", "ttyXYZ", "status"}, 4, "no such port: 'ttyXYZ'"},
      // The device is named as the user knows it, not by the panel's COM number.
      {"absent port", {}, {"-p", "ttyUSB7", "status"}, 4, absent + " is not present"},
      {"absent path", {}, {"-p", gone, "status"}, 4, gone + " is not present"},
      {"not a serial port", {}, {"-p", "/dev/null", "status"}, 4, "/dev/null is not a serial port"},
      {"silent board", {.silent = true}, {"-p", "ttyUSB0", "status"}, 7, "is silent"},
      // Bytes that never form a frame: a wrong speed or device, not silence.
      {"only noise",
       {.silent = true, .noiseBytesPerSecond = 300},
       {"-p", "ttyUSB0", "status"},
       7,
       "bytes but no frame it could understand"},
      {"bad checksums",
       {.corruptChecksumProbability = 1},
       {"-p", "ttyUSB0", "status"},
       7,
       "bytes but no frame it could understand"},
      {"bad number", {}, {"-p", "ttyUSB0", "set", "current", "1e3"}, 3, "bad value '1e3'"},
      {"bad switch", {}, {"-p", "ttyUSB0", "set", "soft-active", "yes"}, 3, "on or off"},
      // Beyond what the board takes: refused, not clamped or wrapped.
      {"long pulse", {}, {"-p", "ttyUSB0", "set", "duration", "300"}, 3, "takes 0 to 255"},
      {"negative kHz", {}, {"-p", "ttyUSB0", "set", "frequency", "-3"}, 3, "0 to 2147483.64 kHz"},
      {"huge kHz",
       {},
       {"-p", "ttyUSB0", "set", "frequency", "99999999999kHz"},
       3,
       "2147483.64 kHz"},
      // Hz as status --json gives it, typed where kHz are meant.
      {"bare Hz", {}, {"-p", "ttyUSB0", "set", "frequency", "20000"}, 3, "did you mean 20000Hz?"},
      {"negative mA", {}, {"-p", "ttyUSB0", "set", "current", "-5"}, 3, "takes 0 to 4000 mA"},
      {"above maximum", {}, {"-p", "ttyUSB0", "set", "current", "4001"}, 3, "takes 0 to 4000 mA"},
      {"bad interval", {}, {"-p", "ttyUSB0", "monitor", "--interval", "5ms"}, 3, "--interval"},
      {"foreign CSV",
       {},
       {"-p", "ttyUSB0", "monitor", "--count", "1", "--csv", foreign.string()},
       1,
       "cannot write " + foreign.string() + ": its first line is not"},
      {"no command", {}, {"-p", "ttyUSB0"}, 2, "Usage: quorvane-ctl"},
      {"no port", {}, {"status"}, 2, "--port is required"},
      // A name the program does not know is a usage error, not a bad value.
      {"unknown setting",
       {},
       {"-p", "ttyUSB0", "set", "Current", "1"},
       2,
       "Usage: quorvane-ctl set"},
      {"no port's usage", {}, {"status"}, 2, "Usage: quorvane-ctl [OPTIONS] SUBCOMMAND"},
      {"count 0",
       {},
       {"-p", "ttyUSB0", "monitor", "--count", "0"},
       3,
       "--count: wants a whole number of at least 1"},
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
    // One message of ours: no serial error box on top, no COM number.
    EXPECT_THAT(run.err, testing::Not(HasSubstr("Failed with"))) << c.name;
    EXPECT_THAT(run.err, testing::Not(testing::ContainsRegex("COM[0-9]|Port: [0-9]"))) << c.name;
    EXPECT_EQ(run.out, "") << c.name;
    const auto journal = board.Board().Journal();
    for (std::size_t i = before; i < journal.size(); ++i)
      EXPECT_EQ(int{journal[i].code}, int{CMD_READ_ALL}) << c.name << ": only the sync may pass";
  }
  std::string kept;
  std::getline(std::ifstream(foreign), kept, '\0');
  EXPECT_EQ(kept, "date,temperature\n") << "the foreign file must be left as it was";
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

// The device here (root's crw------- pty, or chmod 0) lets no group read and
// write it, so joining one would not help: the fix is the administrator's.
TEST_F(CtlTest, PermissionDeniedSaysWhoCanFixIt) {
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
  EXPECT_THAT(run.err, HasSubstr("udev rule"));
  EXPECT_THAT(run.err, testing::Not(HasSubstr("usermod")));
}

TEST_F(CtlTest, HelpAndVersion) {
  const Finished help = RunCtl({"--help"});
  EXPECT_EQ(help.status, 0);
  for (const char* text : {"--port", "--json", "--interval"})
    EXPECT_THAT(help.out, HasSubstr(text));
  // The exit table, its numbers right-aligned, in every command's help.
  for (const auto& args : {std::vector<std::string>{"--help"},
                           {"status", "--help"},
                           {"set", "--help"},
                           {"monitor", "--help"}}) {
    const Finished run = RunCtl(args);
    EXPECT_EQ(run.status, 0) << args[0];
    for (const char* row : {"Exit status:\n    0  success\n", "\n       be written)\n",
                            "\n    8  board did not confirm", "\n   10  bridge: broker unreachable",
                            "\n  130  interrupted"})
      EXPECT_THAT(run.out, HasSubstr(row)) << testing::PrintToString(args);
  }
  const Finished version = RunCtl({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "quorvane-ctl 1.0.0.1\n");
}

}  // namespace
}  // namespace quorvane::ctl::test
