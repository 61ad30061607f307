// The bridge tests share this: a broker of their own beside the virtual
// board, the default id's topics and a way to wait on the board's journal.
#pragma once

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <nlohmann/json.hpp>
#include <numeric>
#include <thread>

#include "protocol/codes.h"
#include "protocol/command_frames.h"
#include "protocol/wire_format.h"
#include "tests/ctl/broker_fixture.h"
#include "tests/ctl/ctl_board_fixture.h"

namespace quorvane::ctl::test {

using Messages = std::vector<ReceivedMessage>;
using nlohmann::json;
using testing::Not;

inline std::string HostName() {
  char name[256] = {};
  ::gethostname(name, sizeof name - 1);
  return name;
}

// The default id: the machine's name and the port's, so two machines with a
// board on ttyUSB0 do not share topics.
inline const std::string kId = HostName() + "-ttyUSB0";
inline const std::string kReadings = "quorvane/" + kId + "/readings";
inline const std::string kState = "quorvane/" + kId + "/state";
inline const std::string kAvailability = "quorvane/" + kId + "/availability";
inline const std::string kSet = "quorvane/" + kId + "/set";
inline const std::string kResult = "quorvane/" + kId + "/set/result";
inline const std::string kOwner = "quorvane/" + kId + "/owner";
inline const std::string kAlarm = "quorvane/" + kId + "/alarm";

inline std::size_t Count(const Messages& messages, const std::string& topic) {
  std::size_t n = 0;
  for (const ReceivedMessage& m : messages) n += m.topic == topic;
  return n;
}

// Until done holds, for at most 10 s: for what only the board's journal shows.
inline bool Eventually(const std::function<bool()>& done) {
  for (int i = 0; i < 200 && !done(); ++i) std::this_thread::sleep_for(50ms);
  return done();
}

class BridgeTest : public CtlTest {
 protected:
  void SetUp() override {
    CtlTest::SetUp();
    m_broker = std::make_unique<TestBroker>(m_dir);
    ASSERT_TRUE(m_broker->Running());
  }
  void TearDown() override {
    m_broker.reset();
    CtlTest::TearDown();
  }
  std::vector<std::string> Bridge(std::vector<std::string> extra = {}) const {
    std::vector<std::string> arguments = {"bridge", "--broker", m_broker->Url(), "--interval",
                                          "100ms"};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    return CtlCommand(On(arguments));
  }
  // The bridge under a lab limits file of the test's own holding text.
  std::vector<std::string> LabBridge(const std::string& text,
                                     std::vector<std::string> extra = {}) const {
    const fs::path file = m_dir / "limits.toml";
    std::ofstream(file) << text;
    fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                              fs::perms::others_read);
    std::vector<std::string> command = Bridge(std::move(extra));
    command.erase(command.begin());  // quorvane-ctl itself
    command.insert(command.begin(), {QUORVANE_CTL_LABFILE_PATH, file.string()});
    return command;
  }
  // The set-points of every CMD_SET_CURRENT the board received, in order.
  std::vector<int> CurrentsSent() const {
    std::vector<int> sent;
    for (const auto& entry : m_board->Board().Journal())
      if (const auto command = DecodeCommand(entry.raw))
        if (const auto* set = std::get_if<SetCurrentCommand>(&*command))
          sent.push_back(set->setpoint);
    return sent;
  }
  std::size_t Received(std::uint8_t code) const {
    std::size_t n = 0;
    for (const auto& entry : m_board->Board().Journal()) n += entry.code == code;
    return n;
  }

  std::unique_ptr<TestBroker> m_broker;
};

}  // namespace quorvane::ctl::test
