// quorvane-ctl under a lab limits file of the test's own (through the
// test-only program): refusals that send nothing, the ramp confirmed step by
// step, the limits command, and the monitor's alarms.
#include <signal.h>

#include <fstream>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>
#include <thread>

#include "protocol/codes.h"
#include "protocol/wire_format.h"
#include "tests/ctl/ctl_board_fixture.h"

namespace quorvane::ctl::test {
namespace {

class CtlLimitsTest : public CtlTest {
 protected:
  // A limits file in the test's folder, owned and writable by us alone.
  std::string File(const std::string& name, const std::string& text) const {
    const fs::path path = m_dir / name;
    std::ofstream(path) << text;
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write);
    return path.string();
  }
  // The program under the lab file given, with arguments.
  static std::vector<std::string> Under(const std::string& labFile,
                                        const std::vector<std::string>& arguments) {
    std::vector<std::string> command = CtlCommand(arguments);
    command[0] = QUORVANE_CTL_LABFILE_PATH;
    command.insert(command.begin() + 1, labFile);
    return command;
  }
  static Finished RunUnder(const std::string& labFile, const std::vector<std::string>& arguments) {
    return CtlProcess(Under(labFile, arguments)).Finish(30s);
  }
  // The current set-points the board received from entry from on, in order.
  std::vector<int> CurrentsSent(std::size_t from) const {
    std::vector<int> sent;
    const auto journal = m_board->Board().Journal();
    for (std::size_t i = from; i < journal.size(); ++i) {
      const std::optional<Command> command = DecodeCommand(journal[i].raw);
      if (const auto* set = command ? std::get_if<SetCurrentCommand>(&*command) : nullptr)
        sent.push_back(set->setpoint);
    }
    return sent;
  }
  // Each value once, in the order first sent: a step's two frames are one.
  static std::vector<int> Steps(const std::vector<int>& sent) {
    std::vector<int> steps;
    for (const int value : sent)
      if (steps.empty() || steps.back() != value) steps.push_back(value);
    return steps;
  }
};

TEST_F(CtlLimitsTest, ASettingBeyondTheLimitsOrUnderAnUnusableFileIsRefusedAndNothingSent) {
  const std::string lab = File("lab.toml",
                               "[default]\n"
                               "current_max_mA = 2000\n"
                               "frequency_kHz = [10.0, 20.0]\n"
                               "duration_steps = [10, 100]\n"
                               "[port.\"ttyUSB0\"]\n"
                               "current_max_mA = 1800\n");
  const std::string stricter = File("mine.toml", "[default]\ncurrent_max_mA = 1000\n");
  const std::string broken = File("broken.toml", "[default]\ncurrent_max_mA = 2000\ncurent = 1\n");
  const std::string absent = (m_dir / "absent.toml").string();
  struct Case {
    const char* name;
    std::string labFile;
    std::vector<std::string> args;
    int status;
    std::string message;
    bool synced = true;  // the sync may pass, never a setting
  };
  const Case cases[] = {
      {"current", lab, {"set", "current", "1801"}, 3, "lab limit 1800 mA (" + lab + ":6)"},
      {"frequency",
       lab,
       {"set", "frequency", "25kHz"},
       3,
       "above the lab limit 20.0 kHz (" + lab + ":3)"},
      {"frequency below", lab, {"set", "frequency", "9.99"}, 3, "below the lab limit 10.0 kHz ("},
      {"duration", lab, {"set", "duration", "101"}, 3, "(" + lab + ":4)"},
      {"stricter file",
       lab,
       {"--limits", stricter, "set", "current", "1001"},
       3,
       "lab limit 1000 mA (" + stricter + ":2)"},
      {"unusable lab file", broken, {"set", "current", "10"}, 14, broken + ":3:", false},
      {"unusable own file",
       lab,
       {"--limits", broken, "set", "duration", "20"},
       14,
       broken + ":3:",
       false},
      // A port given by a link to it is under its own table all the same.
      {"by a link", lab, {"set", "current", "1801"}, 3, "lab limit 1800 mA"},
  };
  PtyBoard& board = StartBoard();
  fs::create_directory(m_dir / "by-id");
  fs::create_symlink("../ttyUSB0", m_dir / "by-id" / "usb-Quorvane_Driver-if00");
  for (const Case& c : cases) {
    std::vector<std::string> args = On(c.args);
    if (std::string(c.name) == "by a link")
      args[3] = (m_dir / "by-id" / "usb-Quorvane_Driver-if00").string();
    const std::size_t before = board.Board().JournalSize();
    const Finished run = RunUnder(c.labFile, args);
    EXPECT_EQ(run.status, c.status) << c.name << ": " << run.err;
    EXPECT_THAT(run.err, HasSubstr(c.message)) << c.name;
    EXPECT_EQ(run.out, "") << c.name;
    const auto journal = board.Board().Journal();
    if (!c.synced) {
      EXPECT_EQ(journal.size(), before) << c.name << ": nothing may be sent";
    }
    for (std::size_t i = before; i < journal.size(); ++i)
      EXPECT_EQ(int{journal[i].code}, int{CMD_READ_ALL}) << c.name << ": only the sync may pass";
  }
  // Within every limit, and with no lab file at all, a setting goes through.
  for (const std::string& file : {lab, absent}) {
    const Finished run = RunUnder(file, On({"set", "current", "1800"}));
    EXPECT_EQ(run.status, 0) << file << ": " << run.err;
    EXPECT_EQ(run.out, "current 1800 mA: confirmed by the board\n") << file;
  }
}

TEST_F(CtlLimitsTest, ARiseIsRampedAStepPerPollEachConfirmedBeforeTheNext) {
  // 1000 mA/s at the 500 ms poll: steps of 500 mA.
  const std::string lab = File("lab.toml", "[default]\ncurrent_ramp_mA_per_s = 1000\n");
  // Every current set-point sent and confirmed, in the order they crossed the wire.
  std::mutex mutex;
  std::vector<std::pair<bool, int>> wire;  // (sent, value): false for the board's confirmation
  StartBoard(TestBoard(), [&](const sim::WireEvent& event) {
    if (event.kind == sim::WireKind::kCommand) {
      const std::optional<Command> command = DecodeCommand(event.bytes);
      if (const auto* set = command ? std::get_if<SetCurrentCommand>(&*command) : nullptr) {
        std::lock_guard lock(mutex);
        wire.emplace_back(true, set->setpoint);
      }
    } else if (event.kind == sim::WireKind::kReply) {
      const std::optional<Reply> reply = DecodeReply(event.bytes);
      if (const auto* current = reply ? std::get_if<CurrentReply>(&*reply) : nullptr) {
        std::lock_guard lock(mutex);
        wire.emplace_back(false, current->setpoint);
      }
    }
  });
  struct Case {
    std::vector<std::string> args;
    std::vector<int> steps;
    std::string out;
  };
  const Case cases[] = {
      {{"set", "current", "3000"},
       {1734, 2234, 2734, 3000},
       "current 3000 mA: confirmed by the board, reached in 4 steps of at most 500 mA"},
      // No more than a step: sent at once. A decrease is never ramped.
      {{"set", "current", "3400"}, {3400}, "current 3400 mA: confirmed by the board\n"},
      {{"set", "current", "1000"}, {1000}, "current 1000 mA: confirmed by the board\n"},
      {{"--json", "set", "current", "1600"}, {1500, 1600}, "\"ramp_steps\": 2"},
  };
  for (const Case& c : cases) {
    const std::size_t before = m_board->Board().JournalSize();
    {
      std::lock_guard lock(mutex);
      wire.clear();
    }
    const Finished run = RunUnder(lab, On(c.args));
    const std::string name = c.args[c.args.size() - 1];
    ASSERT_EQ(run.status, 0) << name << ": " << run.err;
    EXPECT_THAT(run.out, HasSubstr(c.out)) << name;
    EXPECT_EQ(Steps(CurrentsSent(before)), c.steps) << name;
    // Each step's frames go out only once the board has confirmed the one before.
    std::lock_guard lock(mutex);
    int confirmed = -1;
    int last = -1;
    for (const auto& [sent, value] : wire) {
      if (!sent) {
        confirmed = value;
      } else if (value != last) {
        if (last != -1) {
          EXPECT_EQ(confirmed, last) << name << ": " << value << " sent too early";
        }
        last = value;
      }
    }
  }
  EXPECT_EQ(m_board->Board().Snapshot().parameters.currentSetpoint, 1600);
}

TEST_F(CtlLimitsTest, ARampEndsWhereItStandsWhenTheBoardStopsAnsweringOnCtrlCOrItsTimeout) {
  const std::string lab = File("lab.toml", "[default]\ncurrent_ramp_mA_per_s = 1000\n");
  enum class Then { kBoardQuiet, kCtrlC, kTimeout };
  struct Case {
    const char* name;
    Then then;
    int status;
    std::string message;
  };
  const Case cases[] = {
      {"board quiet", Then::kBoardQuiet, 8,
       "the ramp stopped (ramping the current to 3000 mA: "
       "1734 mA confirmed)"},
      {"Ctrl-C", Then::kCtrlC, 130, "the ramp stopped (ramping the current to 3000 mA: "},
      // Four steps take 1.5 s at least.
      {"timeout", Then::kTimeout, 8, "the ramp stopped (ramping the current to 3000 mA: "},
  };
  // Quiet once the first step's second confirmation is out.
  std::atomic<PtyBoard*> quieting{nullptr};
  std::atomic<int> confirmations{0};
  StartBoard(TestBoard(), [&](const sim::WireEvent& event) {
    if (event.kind != sim::WireKind::kReply || event.bytes.size() <= 3 ||
        event.bytes[3] != RPL_CURRENT)
      return;
    if (PtyBoard* board = quieting.load(); board && ++confirmations == 2)
      board->SetSwitches({.silent = true});
  });
  for (const Case& c : cases) {
    m_board->SetSwitches({});
    // From 1234 mA every time.
    ASSERT_EQ(RunCtl(On({"set", "current", "1234"})).status, 0);
    const std::size_t before = m_board->Board().JournalSize();
    confirmations = 0;
    if (c.then == Then::kBoardQuiet) quieting = m_board.get();
    CtlProcess set(Under(lab, c.then == Then::kTimeout
                                  ? On({"set", "current", "3000", "--timeout", "700ms"})
                                  : On({"set", "current", "3000"})));
    if (c.then == Then::kCtrlC) {
      const auto deadline = std::chrono::steady_clock::now() + 10s;
      while (CurrentsSent(before).empty() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(5ms);
      set.Signal(SIGINT);
    }
    const Finished run = set.Finish(30s);
    quieting = nullptr;
    EXPECT_EQ(run.status, c.status) << c.name << ": " << run.err;
    EXPECT_THAT(run.err, HasSubstr(c.message)) << c.name;
    // The step under way may be finished; none after it is begun.
    const std::vector<int> steps = Steps(CurrentsSent(before));
    ASSERT_FALSE(steps.empty()) << c.name;
    EXPECT_LE(steps.size(), c.then == Then::kTimeout ? 3u : 2u) << c.name << ": the ramp went on";
    EXPECT_EQ(steps[0], 1734) << c.name;
  }
}

TEST_F(CtlLimitsTest, LimitsShowsTheEffectiveLimitsAndWhereEachComesFrom) {
  const std::string lab = File("lab.toml",
                               "[default]\n"
                               "current_max_mA = 2000\n"
                               "seed_C = [15.0, 30.0]\n"
                               "[port.\"ttyUSB0\"]\n"
                               "current_max_mA = 1500\n");
  const std::string stricter = File("mine.toml", "[default]\nseed_C = [20.0, 30.0]\n");
  const std::string broken = File("broken.toml", "[default]\ncurrent_max_mA = -1\n");
  struct Case {
    const char* name;
    std::string labFile;
    std::vector<std::string> args;
    int status;
    nlohmann::json limits;  // key: [value, where]
  };
  const Case cases[] = {
      {"default table",
       lab,
       {"limits", "--json"},
       0,
       {{"current_max_mA", {2000, lab + ":2"}}, {"seed_C", {{15.0, 30.0}, lab + ":3"}}}},
      {"port's table",
       lab,
       {"--dev", m_dir.string(), "-p", "ttyUSB0", "limits", "--json"},
       0,
       {{"current_max_mA", {1500, lab + ":5"}}, {"seed_C", {{15.0, 30.0}, lab + ":3"}}}},
      {"stricter",
       lab,
       {"--limits", stricter, "limits", "--json"},
       0,
       {{"current_max_mA", {2000, lab + ":2"}}, {"seed_C", {{20.0, 30.0}, stricter + ":2"}}}},
      {"unusable", broken, {"limits", "--json"}, 14, nlohmann::json::object()},
  };
  StartBoard();
  for (const Case& c : cases) {
    const Finished run = RunUnder(c.labFile, c.args);
    EXPECT_EQ(run.status, c.status) << c.name << ": " << run.err;
    ASSERT_TRUE(nlohmann::json::accept(run.out)) << c.name << ": " << run.out;
    const auto json = nlohmann::json::parse(run.out);
    EXPECT_EQ(json["usable"], c.status == 0) << c.name;
    if (c.status != 0) {
      EXPECT_THAT(json["problem"].get<std::string>(), HasSubstr(broken + ":2:"));
    }
    nlohmann::json shown = nlohmann::json::object();
    for (const auto& [key, row] : json["limits"].items())
      shown[key] = {row["value"], row["source"]};
    EXPECT_EQ(shown, c.limits) << c.name;
  }
  const Finished text = RunUnder(lab, {"limits"});
  EXPECT_EQ(text.status, 0) << text.err;
  EXPECT_THAT(text.out, testing::ContainsRegex("current_max_mA +2000 mA +\\(" + lab + ":2\\)"));
}

TEST_F(CtlLimitsTest, MonitorCarriesTheAlarmsOnItsRowsButNotInTheCsvLog) {
  // The virtual board's seed stays near 25 C: outside this window throughout.
  const std::string lab = File("lab.toml", "[default]\nseed_C = [30.0, 40.0]\n");
  const std::string quiet = File("quiet.toml", "[default]\ncurrent_max_mA = 4000\n");
  const std::string absent = (m_dir / "absent.toml").string();
  StartBoard();
  const fs::path csv = m_dir / "log.csv";
  struct Case {
    const char* name;
    std::string labFile;
    bool json;
    bool alarms;  // the rows carry an alarms field
    int inAlarm;  // rows with the seed alarm
  };
  const Case cases[] = {
      {"text", lab, false, false, 3},
      {"json", lab, true, true, 3},
      {"json, no alarm", quiet, true, true, 0},
      {"json, no file", absent, true, false, 0},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args =
        On({"monitor", "--interval", "100ms", "--count", "3", "--csv", csv.string()});
    if (c.json) args.insert(args.begin(), "--json");
    const Finished run = RunUnder(c.labFile, args);
    ASSERT_EQ(run.status, 0) << c.name << ": " << run.err;
    std::istringstream rows(run.out);
    int count = 0;
    int inAlarm = 0;
    for (std::string row; std::getline(rows, row); ++count) {
      if (!c.json) {
        inAlarm += row.find("  ALARM seed ") != std::string::npos;
        continue;
      }
      const auto reading = nlohmann::json::parse(row);
      EXPECT_EQ(reading.contains("alarms"), c.alarms) << c.name << ": " << row;
      if (!reading.contains("alarms")) continue;
      for (const auto& a : reading["alarms"]) {
        inAlarm += a["alarm"] == "seed_C";
        EXPECT_EQ(a["window"], nlohmann::json({30.0, 40.0})) << c.name;
        EXPECT_EQ(a["source"], lab + ":2") << c.name;
      }
    }
    EXPECT_EQ(count, 3) << c.name;
    EXPECT_EQ(inAlarm, c.inAlarm) << c.name << ":\n" << run.out;
    // Said once, when it starts, however many rows carry it.
    const auto said = std::count(run.err.begin(), run.err.end(), '\n');
    EXPECT_EQ(said, c.inAlarm ? 1 : 0) << c.name << ": " << run.err;
    if (c.inAlarm) {
      EXPECT_THAT(run.err, HasSubstr("ALARM seed ")) << c.name;
    }
  }
  // The history's eight columns, nothing added.
  std::ifstream log(csv);
  for (std::string row; std::getline(log, row);)
    EXPECT_EQ(std::count(row.begin(), row.end(), ','), 7) << row;
}

// The silence is judged between queries too, not only on a reply that never comes.
TEST_F(CtlLimitsTest, MonitorSaysOnceWhenTheBoardFallsSilent) {
  const std::string lab = File("lab.toml", "[default]\nboard_silent_alarm_s = 0.3\n");
  std::atomic<PtyBoard*> self{nullptr};
  StartBoard(TestBoard(), [&](const sim::WireEvent& event) {
    if (event.kind == sim::WireKind::kReply && event.bytes.size() > 3 && event.bytes[3] == RPL_ALL)
      if (PtyBoard* board = self.load()) board->SetSwitches({.silent = true});
  });
  self = m_board.get();
  const Finished run = RunUnder(lab, On({"monitor", "--interval", "100ms", "--timeout", "1500ms"}));
  self = nullptr;
  EXPECT_EQ(run.status, 7) << run.err;
  const std::string alarm = "quorvane-ctl: ALARM board silent for ";
  ASSERT_THAT(run.err, HasSubstr(alarm));
  EXPECT_EQ(run.err.find(alarm), run.err.rfind(alarm)) << run.err;
}

TEST_F(CtlLimitsTest, MonitorRampsDownOnAnAlarmWhenTheLabAsksAndSaysSo) {
  // Steps of 1000 mA: 1234, 234, 0, then soft-active off.
  const std::string lab = File("lab.toml",
                               "[default]\n"
                               "seed_C = [30.0, 40.0]\n"
                               "current_ramp_mA_per_s = 2000\n"
                               "on_alarm = \"ramp-down\"\n");
  StartBoard();
  const std::size_t before = m_board->Board().JournalSize();
  const Finished run = RunUnder(lab, On({"monitor", "--interval", "100ms", "--count", "20"}));
  ASSERT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.err, HasSubstr("the lab's limits ask for the current to go to 0 and "
                                 "soft-active off: seed "));
  EXPECT_THAT(run.err, HasSubstr("soft-active off, as the lab's limits ask"));
  EXPECT_EQ(Steps(CurrentsSent(before)), (std::vector<int>{234, 0}));
  const auto p = m_board->Board().Snapshot().parameters;
  EXPECT_EQ(p.currentSetpoint, 0);
  EXPECT_EQ(p.softActive, 0);
  // Once: the alarm goes on, the current is not sent again.
  EXPECT_EQ(CurrentsSent(before).size(), 4u);
}

}  // namespace
}  // namespace quorvane::ctl::test
