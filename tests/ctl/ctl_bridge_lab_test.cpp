// The bridge under the lab's limits, against a real broker and the virtual
// board: refusals, ramps answered confirmed or stopped, and the alarm topic.
#include "tests/ctl/bridge_fixture.h"

namespace quorvane::ctl::test {
namespace {

// The latest payload on topic as a JSON object; empty when there is none.
json Latest(const Messages& messages, const std::string& topic) {
  const auto it = std::find_if(messages.rbegin(), messages.rend(),
                               [&](const ReceivedMessage& m) { return m.topic == topic; });
  const json parsed = it == messages.rend() ? json() : json::parse(it->payload, nullptr, false);
  return parsed.is_object() ? parsed : json::object();
}

// Under a lab's file a setting beyond it is refused and nothing is sent; a
// file that cannot be used refuses every setting with its line, while the
// readings go on.
TEST_F(BridgeTest, TheLabsLimitsRefuseSettingsBeyondThem) {
  StartBoard();
  const std::string file = (m_dir / "limits.toml").string();
  struct Case {
    const char* payload;
    const char* result;
    std::string reason;  // a part of it
  };
  Finished finished;
  const auto run = [&](const std::string& limits, const std::vector<Case>& cases) {
    TestClient watch(m_broker->Port());
    CtlProcess bridge(LabBridge(limits, {"--allow-set"}));
    ASSERT_TRUE(watch.WaitFor([](const Messages& m) { return Count(m, kReadings) >= 2; }))
        << bridge.Finish().err;
    for (std::size_t i = 0; i < cases.size(); ++i) {
      watch.Publish(kSet, cases[i].payload);
      ASSERT_TRUE(watch.WaitFor([&](const Messages& m) { return Count(m, kResult) == i + 1; }))
          << cases[i].payload << "\n"
          << bridge.Finish().err;
      const json result = json::parse(watch.On(kResult).back());
      EXPECT_EQ(result["result"], cases[i].result) << cases[i].payload << " -> " << result;
      EXPECT_THAT(result.value("reason", ""), HasSubstr(cases[i].reason)) << cases[i].payload;
    }
    bridge.Signal(SIGTERM);
    finished = bridge.Finish();
  };
  run("[default]\ncurrent_max_mA = 2000\nfrequency_kHz = [10.0, 20.0]\n",
      {{R"({"current_mA": 2001, "request_id": "high"})", "refused", file + ":2"},
       {R"({"frequency_Hz": 25000, "request_id": "fast"})", "refused", file + ":3"},
       {R"({"current_mA": 2000, "request_id": "top"})", "confirmed", ""}});
  EXPECT_EQ(CurrentsSent(), (std::vector<int>{2000, 2000}));
  EXPECT_EQ(Received(CMD_SET_FREQUENCY), 0u);

  run("[default]\ncurent_max_mA = 2000\n", {{R"({"duration_steps": 20, "request_id": "any"})",
                                             "refused", "lab limits unusable: " + file + ":2"}});
  EXPECT_EQ(Received(CMD_SET_DURATION), 0u);
  const std::string said = "quorvane-ctl: lab limits unusable: " + file + ":2";
  EXPECT_THAT(finished.err, HasSubstr(said));
  EXPECT_EQ(finished.err.find(said), finished.err.rfind(said)) << "said more than once";
}

// A rise of more than a step goes a step per poll, each confirmed before the
// next; a newer request or a board gone silent stops it where it stands, and
// a decrease is at once.
TEST_F(BridgeTest, ARiseIsRampedUntilSupersededOrTheBoardFallsSilent) {
  StartBoard();
  TestClient watch(m_broker->Port());
  // 100 mA a step at the panel's 500 ms poll.
  CtlProcess bridge(LabBridge("[default]\ncurrent_ramp_mA_per_s = 200\n", {"--allow-set"}));
  ASSERT_TRUE(watch.WaitForLatest(kAvailability, "online")) << bridge.Finish().err;
  watch.Publish(kSet, R"({"current_mA": 3600, "request_id": "far"})");
  ASSERT_TRUE(Eventually([&] { return CurrentsSent().size() >= 4; })) << bridge.Finish().err;
  watch.Publish(kSet, R"({"current_mA": 1000, "request_id": "down"})");
  ASSERT_TRUE(watch.WaitFor([](const Messages& m) { return Count(m, kResult) == 2; }))
      << bridge.Finish().err;
  watch.Publish(kSet, R"({"current_mA": 1500, "request_id": "up"})");
  ASSERT_TRUE(watch.WaitFor([](const Messages& m) { return Count(m, kResult) == 3; }, 20s))
      << bridge.Finish().err;
  // A board that stops answering stops the ramp where it stands.
  const std::size_t before = CurrentsSent().size();
  watch.Publish(kSet, R"({"current_mA": 3000, "request_id": "silenced"})");
  ASSERT_TRUE(Eventually([&] { return CurrentsSent().size() >= before + 2; }));
  m_board->SetSwitches({.silent = true});
  ASSERT_TRUE(watch.WaitFor([](const Messages& m) { return Count(m, kResult) == 4; }, 20s))
      << bridge.Finish().err;
  std::vector<json> results;
  for (const std::string& text : watch.On(kResult)) results.push_back(json::parse(text));
  EXPECT_EQ(results[3]["result"], "stopped") << results[3];
  EXPECT_GE(results[3]["value"].get<int>(), 1500) << results[3];
  EXPECT_LT(results[3]["value"].get<int>(), 3000) << results[3];
  EXPECT_EQ(results[0]["request_id"], "far");
  EXPECT_EQ(results[0]["result"], "stopped") << results[0];
  EXPECT_THAT(results[0].value("reason", ""), HasSubstr("superseded"));
  EXPECT_GT(results[0]["value"].get<int>(), 1234) << results[0];
  EXPECT_LT(results[0]["value"].get<int>(), 3600) << results[0];
  EXPECT_EQ(results[1], json::parse(R"({"request_id": "down", "setting": "current_mA",
                                        "result": "confirmed", "value": 1000})"));
  EXPECT_EQ(results[2]["result"], "confirmed") << results[2];
  EXPECT_EQ(results[2]["value"], 1500);

  // Each step is sent twice, as every setting; no rise of more than a step.
  const std::vector<int> sent = CurrentsSent();
  ASSERT_FALSE(sent.empty());
  EXPECT_LT(sent.back(), 3000);
  int previous = 1234;
  for (const int value : sent) {
    EXPECT_LE(value - previous, 100) << "from " << previous << " to " << value;
    previous = value;
  }
  bridge.Signal(SIGTERM);
  EXPECT_EQ(bridge.Finish().status, 0);
}

// The pump heats with the current past its window: the alarm topic says so
// (only under a file), and the lab's ramp-down takes the current to 0 and
// soft-active off by itself, never raising anything again.
TEST_F(BridgeTest, ATemperatureOutsideItsWindowRaisesTheAlarm) {
  struct Case {
    const char* limits;  // null: no lab file
    bool rampDown;
  };
  const Case cases[] = {
      {nullptr, false},
      {"[default]\npump_C = [15.0, 30.0]\n", false},
      {"[default]\npump_C = [15.0, 30.0]\non_alarm = \"ramp-down\"\n"
       "current_ramp_mA_per_s = 2000\n",
       true},
  };
  const auto active = [](const Messages& m) { return Latest(m, kAlarm).value("active", false); };
  const std::string record = "homeassistant/binary_sensor/" + kId + "/alarm/config";
  for (const Case& c : cases) {
    const std::string name = c.limits ? c.limits : "no file";
    StartBoard();
    m_broker = std::make_unique<TestBroker>(m_dir);  // nothing retained from the case before
    TestClient watch(m_broker->Port());
    // What a run under a file that is gone now left: cleared, not shown forever.
    const std::string stale = R"({"active": true, "alarms": []})";
    if (!c.limits) {
      watch.Publish(kAlarm, stale, true);
      watch.Publish(record, "{}", true);
      ASSERT_TRUE(watch.WaitForLatest(record, "{}"));
    }
    const std::vector<std::string> extra = {"--allow-set", "--discovery"};
    CtlProcess bridge(c.limits ? LabBridge(c.limits, extra) : Bridge(extra));
    if (!c.limits) {
      ASSERT_TRUE(watch.WaitFor([](const Messages& m) {
        return Latest(m, kReadings).value("pump_C", 0.0) > 30.5;
      })) << bridge.Finish().err;
      EXPECT_EQ(watch.On(kAlarm), (std::vector<std::string>{stale, ""}));
      EXPECT_EQ(watch.On(record), (std::vector<std::string>{"{}", ""}));
      continue;
    }
    ASSERT_TRUE(watch.WaitFor(active)) << name << "\n" << bridge.Finish().err;
    EXPECT_EQ(json::parse(watch.On(kAlarm).front()),
              json::parse(R"({"active": false, "alarms": []})"))
        << name;
    const json alarm = Latest(watch.Messages(), kAlarm)["alarms"][0];
    EXPECT_EQ(alarm["reading"], "pump_C") << alarm;
    EXPECT_EQ(alarm["window"], json::parse("[15.0, 30.0]")) << alarm;
    EXPECT_GT(alarm["value"].get<double>(), 30.0) << alarm;
    EXPECT_EQ(Count(watch.Messages(), record), 1u) << name;

    if (!c.rampDown) watch.Publish(kSet, R"({"current_mA": 0, "request_id": "cool"})");
    ASSERT_TRUE(watch.WaitFor([&](const Messages& m) { return !active(m); }, 20s))
        << name << "\n"
        << bridge.Finish().err;
    EXPECT_EQ(Latest(watch.Messages(), kAlarm), json::parse(R"({"active": false, "alarms": []})"));
    bridge.Signal(SIGTERM);
    const Finished run = bridge.Finish();
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(run.err, HasSubstr("alarm: "));
    const std::vector<int> sent = CurrentsSent();
    ASSERT_FALSE(sent.empty()) << name;
    EXPECT_EQ(sent.back(), 0) << name;
    if (!c.rampDown) continue;
    EXPECT_THAT(run.err, HasSubstr("the lab's limits ask"));
    int previous = 1234;
    for (const int value : sent) {
      EXPECT_LE(value, previous) << "raised to " << value;
      EXPECT_LE(previous - value, 1000) << "from " << previous << " to " << value;
      previous = value;
    }
    EXPECT_EQ(m_board->Board().Snapshot().parameters.softActive, 0);
  }
}

}  // namespace
}  // namespace quorvane::ctl::test
