// quorvane-ctl bridge between the virtual board and a real broker: what it
// publishes, what becomes of it when the board or the broker goes away, and
// which settings from the broker reach the wire.
#include "tests/ctl/bridge_fixture.h"

namespace quorvane::ctl::test {
namespace {

TEST_F(BridgeTest, PublishesEveryReadingAndFollowsTheBoardOutAndBackIn) {
  StartBoard();
  TestClient watch(m_broker->Port());
  ASSERT_TRUE(watch.Connected());
  // A record where an older bridge kept it, one level for the id and the
  // sensor together: cleared, or a dashboard would list the sensor twice.
  const std::string former = "homeassistant/sensor/" + kId + "_current/config";
  watch.Publish(former, "{}", true);
  ASSERT_TRUE(watch.WaitForLatest(former, "{}"));
  CtlProcess bridge(Bridge({"--discovery"}));
  ASSERT_TRUE(watch.WaitFor([](const Messages& m) { return Count(m, kReadings) >= 10; }))
      << bridge.Finish().err;
  EXPECT_EQ(watch.On(former).back(), "");
  EXPECT_EQ(watch.On(kAvailability), std::vector<std::string>{"online"});
  const json reading = json::parse(watch.On(kReadings).back());
  EXPECT_EQ(reading["setpoint_mA"], 1234);
  EXPECT_EQ(reading["frequency_Hz"], 12340);
  EXPECT_EQ(reading["duration_steps"], 33);
  EXPECT_THAT(reading["time"].get<std::string>(), testing::EndsWith("Z"));
  const json state = json::parse(watch.On(kState).back());
  EXPECT_EQ(state["maximum_mA"], 4000);
  EXPECT_EQ(state["port"], "ttyUSB0");
  EXPECT_EQ(state["dropped"], 0);
  // The id a level of its own, so a broker's ACL can give each bridge its own records.
  EXPECT_EQ(Count(watch.Messages(), "homeassistant/sensor/" + kId + "/current/config"), 1u);

  m_board->HangUp();
  ASSERT_TRUE(watch.WaitForLatest(kAvailability, "port-lost"));
  const std::size_t before = watch.On(kReadings).size();
  m_board->Reappear();
  ASSERT_TRUE(watch.WaitForLatest(kAvailability, "online"));
  ASSERT_TRUE(watch.WaitFor([&](const Messages& m) { return Count(m, kReadings) >= before + 5; }));
  // Synced again on the new port: a second RPL_ALL was asked for.
  EXPECT_GE(Received(CMD_READ_ALL), 2u);

  bridge.Signal(SIGKILL);
  EXPECT_TRUE(watch.WaitForLatest(kAvailability, "offline")) << "no last will";
  // Every status reply was published: the poll's count is the readings' count.
  EXPECT_EQ(Received(CMD_READ_STATUS), watch.On(kReadings).size());
}

TEST_F(BridgeTest, ABrokerOutageNeitherPausesThePollNorClosesThePort) {
  StartBoard();
  CtlProcess bridge(Bridge());
  {
    TestClient watch(m_broker->Port());
    ASSERT_TRUE(watch.WaitFor([](const Messages& m) { return Count(m, kReadings) >= 3; }))
        << bridge.Finish().err;
  }
  m_broker->Kill();
  const std::size_t polledAtKill = Received(CMD_READ_STATUS);
  std::this_thread::sleep_for(1500ms);
  // About 15 at 100 ms; far fewer would mean the poll waited on the broker.
  EXPECT_GE(Received(CMD_READ_STATUS) - polledAtKill, 8u);
  ASSERT_TRUE(m_broker->Start());

  TestClient watch(m_broker->Port());
  // The restarted broker kept nothing: online and the state come back from the bridge.
  ASSERT_TRUE(watch.WaitForLatest(kAvailability, "online", 20s)) << bridge.Finish().err;
  ASSERT_TRUE(watch.WaitFor(
      [](const Messages& m) { return Count(m, kState) > 0 && Count(m, kReadings) >= 3; }));
  EXPECT_GE(json::parse(watch.On(kState).back())["dropped"].get<int>(), 8);
  bridge.Signal(SIGTERM);
  const Finished run = bridge.Finish();
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.err, Not(HasSubstr("has gone"))) << "the port was closed";
  EXPECT_THAT(run.err, HasSubstr("lost the broker"));
  EXPECT_TRUE(watch.WaitForLatest(kAvailability, "offline"));
}

// What a board holds may change while it does not answer (a reboot, a
// setting applied but not answered): silent is said, and it is synced anew.
TEST_F(BridgeTest, ASilentBoardIsSaidSilentAndSyncedAgainWhenItAnswers) {
  StartBoard();
  TestClient watch(m_broker->Port());
  CtlProcess bridge(Bridge({"--allow-set"}));
  ASSERT_TRUE(watch.WaitForLatest(kAvailability, "online")) << bridge.Finish().err;
  m_board->SetSwitches({.silent = true});
  ASSERT_TRUE(watch.WaitForLatest(kAvailability, "silent")) << bridge.Finish().err;
  watch.Publish(kSet, R"({"duration_steps": 200, "request_id": "quiet"})");
  ASSERT_TRUE(watch.WaitFor([](const Messages& m) { return Count(m, kResult) == 1; }));
  EXPECT_EQ(json::parse(watch.On(kResult).back())["result"], "unconfirmed");
  m_board->SetSwitches({});
  ASSERT_TRUE(watch.WaitForLatest(kAvailability, "online")) << bridge.Finish().err;
  EXPECT_TRUE(watch.WaitFor([](const Messages& m) {
    const auto state =
        std::find_if(m.rbegin(), m.rend(), [](auto& s) { return s.topic == kState; });
    return state != m.rend() && json::parse(state->payload)["duration_steps"] == 200;
  })) << watch.On(kState).back();
  EXPECT_EQ(Received(CMD_READ_ALL), 2u);
  bridge.Signal(SIGTERM);
  const Finished run = bridge.Finish();
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_THAT(run.err, HasSubstr("is silent"));
}

// An answer the broker could not take (it died while the board was asked)
// waits for its return. The bridge is paused while the watcher comes in, so
// the watcher surely listens before the bridge is back.
TEST_F(BridgeTest, AnAnswerWaitsForTheBrokerToComeBack) {
  StartBoard();
  CtlProcess bridge(Bridge({"--allow-set"}));
  {
    TestClient watch(m_broker->Port());
    ASSERT_TRUE(watch.WaitForLatest(kAvailability, "online")) << bridge.Finish().err;
    // Applied and never answered: the answer is given when its wait ends, 2 s on.
    m_board->SetSwitches({.silent = true});
    watch.Publish(kSet, R"({"duration_steps": 200, "request_id": "outage"})");
    ASSERT_TRUE(Eventually([&] { return Received(CMD_SET_DURATION) > 0; }));
  }
  m_broker->Kill();
  // The poll comes back only once the answer has been given, to nobody.
  const std::size_t polled = Received(CMD_READ_STATUS);
  ASSERT_TRUE(Eventually([&] { return Received(CMD_READ_STATUS) > polled; }));
  bridge.Signal(SIGSTOP);
  ASSERT_TRUE(m_broker->Start());
  TestClient watch(m_broker->Port());
  watch.Publish("quorvane/test/probe", "subscribed");
  ASSERT_TRUE(watch.WaitFor([](const Messages& m) { return !m.empty(); }));
  bridge.Signal(SIGCONT);
  ASSERT_TRUE(watch.WaitFor([](const Messages& m) { return Count(m, kResult) == 1; }, 30s))
      << bridge.Finish().err;
  const json result = json::parse(watch.On(kResult).back());
  EXPECT_EQ(result["request_id"], "outage");
  EXPECT_EQ(result["result"], "unconfirmed");
  ASSERT_TRUE(watch.WaitFor([](const Messages& m) { return Count(m, kState) > 0; }));
  EXPECT_EQ(json::parse(watch.On(kState).back())["results_lost"], 0);
}

// A setting is carried out when it comes, not at the next poll; a burst of
// them leaves readings in between and an answer for each, by its own id.
TEST_F(BridgeTest, SettingsAreCarriedOutAtOnceAndABurstKeepsThePollGoing) {
  StartBoard();
  {
    TestClient watch(m_broker->Port());
    CtlProcess bridge(CtlCommand(
        On({"bridge", "--broker", m_broker->Url(), "--interval", "20s", "--allow-set"})));
    ASSERT_TRUE(watch.WaitFor([](const Messages& m) { return Count(m, kReadings) == 1; }))
        << bridge.Finish().err;
    watch.Publish(kSet, R"({"current_mA": 1500, "request_id": "now"})");
    ASSERT_TRUE(watch.WaitFor([](const Messages& m) { return Count(m, kResult) == 1; }, 15s))
        << bridge.Finish().err;
    EXPECT_EQ(json::parse(watch.On(kResult).back())["result"], "confirmed");
    EXPECT_EQ(Received(CMD_READ_STATUS), 1u) << "the setting waited for the next poll";
    bridge.Signal(SIGTERM);
    EXPECT_EQ(bridge.Finish().status, 0);
  }
  TestClient watch(m_broker->Port());
  CtlProcess bridge(Bridge({"--allow-set"}));
  ASSERT_TRUE(watch.WaitForLatest(kAvailability, "online")) << bridge.Finish().err;
  // The burst comes while the bridge waits 2 s for an answer that never comes.
  m_board->SetSwitches({.silent = true});
  watch.Publish(kSet, R"({"duration_steps": 100, "request_id": "slow"})");
  ASSERT_TRUE(Eventually([&] { return Received(CMD_SET_DURATION) == 2; }));
  m_board->SetSwitches({});
  constexpr int kBurst = 40;
  for (int i = 0; i < kBurst; ++i)
    watch.Publish(kSet, json{{"duration_steps", i + 1}, {"request_id", i}}.dump());
  ASSERT_TRUE(watch.WaitFor([](const Messages& m) { return Count(m, kResult) > kBurst; }, 30s))
      << bridge.Finish().err;
  std::vector<int> answered;
  for (const std::string& text : watch.On(kResult)) {
    const json result = json::parse(text);
    if (result["request_id"] == "slow") continue;
    ASSERT_TRUE(result["request_id"].is_number()) << result;
    answered.push_back(result["request_id"].get<int>());
    if (result["result"] == "refused") {
      EXPECT_THAT(result.value("reason", ""), HasSubstr("faster"));
    }
  }
  std::sort(answered.begin(), answered.end());
  std::vector<int> all(kBurst);
  std::iota(all.begin(), all.end(), 0);
  EXPECT_EQ(answered, all);
  // Readings between the settings: never more than a few (each sent twice) in a row.
  std::size_t run = 0;
  std::size_t longest = 0;
  for (const auto& entry : m_board->Board().Journal()) {
    run = entry.code == CMD_READ_STATUS ? 0 : run + (entry.code == CMD_SET_DURATION);
    longest = std::max(longest, run);
  }
  EXPECT_LE(longest, 8u);
  bridge.Signal(SIGTERM);
  EXPECT_EQ(bridge.Finish().status, 0);
}

// Each message either refused without a frame on the wire or carried out as
// the panel would, and answered either way with its request id.
TEST_F(BridgeTest, SettingsFromTheBrokerAreGuarded) {
  StartBoard();
  struct Case {
    const char* payload;
    const char* result;
    const char* reason;  // a part of it
    bool retain = false;
  };
  const Case refused[] = {
      {R"({"current_mA": 1500, "request_id": "off"})", "refused", "--allow-set"},
  };
  const Case allowed[] = {
      {R"({"current_mA": 15)", "refused", "not JSON"},
      {R"({"current": 1500, "request_id": "unknown"})", "refused", "unknown key"},
      {R"({"current_mA": 1500, "duration_steps": 3, "request_id": "two"})", "refused",
       "one setting"},
      {R"({"current_mA": 4001, "request_id": "range"})", "refused", "0 to 4000 mA"},
      {R"({"frequency_Hz": 1.5e12, "request_id": "float"})", "refused", "2147483.64 kHz"},
      {R"({"frequency_Hz": 12345, "request_id": "grid"})", "refused", "multiple of 10 Hz"},
      {R"({"current_mA": 1500, "current_mA": 0, "request_id": "twice"})", "refused", "twice"},
      // A forged line in the log, in the key and in the id.
      {"{\"x\\nquorvane-ctl: setting current 2999 mA\": 1, \"request_id\": "
       "\"\\nquorvane-ctl: setting current 2998 mA\"}",
       "refused", "unknown key"},
      // Retained while the bridge listens: handed over live, yet stored to
      // replay at the next start all the same.
      {R"({"current_mA": 200, "request_id": "live"})", "refused", "retained", true},
      {R"({"current_mA": 1500, "request_id": "ok"})", "confirmed", nullptr},
  };
  Finished finished;
  const auto run = [&](const std::vector<std::string>& extra, const auto& cases) {
    TestClient watch(m_broker->Port());
    CtlProcess bridge(Bridge(extra));
    ASSERT_TRUE(watch.WaitForLatest(kAvailability, "online")) << bridge.Finish().err;
    // Retained, so replayed at every start: never carried out.
    const bool retained = Count(watch.Messages(), kSet) > 0;
    std::size_t answers = retained ? 1 : 0;
    ASSERT_TRUE(watch.WaitFor([&](const Messages& m) { return Count(m, kResult) == answers; }));
    for (const Case& c : cases) {
      watch.Publish(kSet, c.payload, c.retain);
      ++answers;
      ASSERT_TRUE(watch.WaitFor([&](const Messages& m) { return Count(m, kResult) == answers; }))
          << c.payload << "\n"
          << bridge.Finish().err;
      const json result = json::parse(watch.On(kResult).back());
      EXPECT_EQ(result["result"], c.result) << c.payload << " -> " << result;
      if (c.reason) {
        EXPECT_THAT(result.value("reason", ""), HasSubstr(c.reason)) << c.payload;
      }
    }
    bridge.Signal(SIGTERM);
    finished = bridge.Finish();
  };
  run(std::vector<std::string>{}, refused);
  EXPECT_EQ(Received(CMD_SET_CURRENT), 0u);

  TestClient publisher(m_broker->Port());
  publisher.Publish(kSet, R"({"current_mA": 100, "request_id": "retained"})", true);
  // Back from the broker, so stored: a bridge that subscribed before it got
  // there would be handed it live, not retained.
  ASSERT_TRUE(publisher.WaitFor([](const Messages& m) { return Count(m, kSet) > 0; }));
  run(std::vector<std::string>{"--allow-set"}, allowed);
  EXPECT_THAT(finished.err, HasSubstr("setting current 1500 mA from the broker"));
  EXPECT_THAT(finished.err, Not(HasSubstr("\nquorvane-ctl: setting current 299"))) << finished.err;
  // Only the last message reached the board, as the panel sends it: twice.
  const CommandFrame frame = BuildSetCurrent(0xAB, 0xCD, 1500);
  const std::vector<std::uint8_t> expected(frame.data(), frame.data() + frame.size);
  std::vector<std::vector<std::uint8_t>> sent;
  for (const auto& entry : m_board->Board().Journal())
    if (entry.code == CMD_SET_CURRENT) sent.push_back(entry.raw);
  EXPECT_EQ(sent, (std::vector<std::vector<std::uint8_t>>{expected, expected}));
}

}  // namespace
}  // namespace quorvane::ctl::test
