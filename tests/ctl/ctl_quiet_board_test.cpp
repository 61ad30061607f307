// quorvane-ctl against a board that stops answering after the sync, and a
// setting cut short: each command ends, and says what may have reached the board.
#include <nlohmann/json.hpp>

#include <algorithm>
#include <csignal>
#include <thread>

#include "protocol/codes.h"
#include "tests/ctl/ctl_board_fixture.h"

namespace quorvane::ctl::test {
namespace {

// The board goes quiet right after its full reply: synced, but nothing after
// it is ever answered. Each command asks again as the sync does and ends.
TEST_F(CtlTest, ABoardThatGoesQuietAfterTheSyncEndsEachCommand) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;
    std::uint8_t asked;  // the query sent again and again
    int times;           // at least
    int most = 1000;     // at most: --timeout cut the asking short
    std::string out = "";
  };
  const Case cases[] = {
      {{"status"}, 7, "stopped answering", CMD_READ_STATUS, 3},
      {{"status", "--timeout", "700ms"}, 7, "stopped answering", CMD_READ_STATUS, 1, 2},
      // With --count, a silence of a few periods ends the run; --timeout sets it.
      {{"monitor", "--interval", "100ms", "--count", "3"},
       7,
       "stopped answering",
       CMD_READ_STATUS,
       3},
      {{"monitor", "--interval", "100ms", "--timeout", "1s"},
       7,
       "stopped answering",
       CMD_READ_STATUS,
       3},
      // Read back once before giving up; the value may have reached the board.
      // A program is told too, once the frame is out.
      {{"--json", "set", "current", "1500"},
       8,
       "current 1500 mA was sent; the board may have applied it",
       CMD_READ_ALL,
       2,
       1000,
       "\"confirmed\": false"},
  };
  std::atomic<PtyBoard*> self{nullptr};
  StartBoard(TestBoard(), [&](const sim::WireEvent& event) {
    if (event.kind == sim::WireKind::kReply && event.bytes.size() > 3 && event.bytes[3] == RPL_ALL)
      if (PtyBoard* board = self.load()) board->SetSwitches({.silent = true});
  });
  for (const Case& c : cases) {
    m_board->SetSwitches({});
    self = m_board.get();
    const std::size_t before = m_board->Board().JournalSize();
    const Finished run = RunCtl(On(c.args));
    self = nullptr;
    const std::string name = testing::PrintToString(c.args);
    EXPECT_EQ(run.status, c.status) << name << ": " << run.err;
    EXPECT_THAT(run.err, HasSubstr(c.message)) << name;
    EXPECT_THAT(run.out, HasSubstr(c.out)) << name;
    const auto journal = m_board->Board().Journal();
    int times = 0;
    for (std::size_t i = before; i < journal.size(); ++i) times += journal[i].code == c.asked;
    EXPECT_GE(times, c.times) << name;
    EXPECT_LE(times, c.most) << name;
  }
}

// Once the frame has gone out, the board may hold the value whatever happens
// next: every ending says what is known about it.
TEST_F(CtlTest, ASetThatIsCutShortSaysTheBoardMayHaveTakenIt) {
  enum class Then { kOneStop, kTwoStops, kHangUp, kLoseReplies };
  struct Case {
    const char* name;
    Then then;
    int status;
    std::string out;
    std::string err;
  };
  const std::string mayHave = "current 300 mA was sent; the board may have applied it";
  const Case cases[] = {
      // The first Ctrl-C lets the confirmation come.
      {"one stop", Then::kOneStop, 0, "current 300 mA: confirmed by the board", ""},
      {"two stops", Then::kTwoStops, 130, "", mayHave},
      {"port gone", Then::kHangUp, 1, "", mayHave},
      {"replies lost", Then::kLoseReplies, 0, "current 300 mA: confirmed by reading it back", ""},
  };
  // Replies withheld from the sync's RPL_ALL until both set frames are in.
  std::atomic<PtyBoard*> losing{nullptr};
  std::atomic<std::size_t> from{0};  // this case's first journal entry
  StartBoard(TestBoard(), [&](const sim::WireEvent& event) {
    PtyBoard* board = losing.load();
    if (!board) return;
    if (event.kind == sim::WireKind::kReply && event.bytes.size() > 3 && event.bytes[3] == RPL_ALL)
      board->SetSwitches({.silent = true});
    if (event.kind == sim::WireKind::kCommand) {
      const auto journal = board->Board().Journal();
      if (std::count_if(journal.begin() + static_cast<std::ptrdiff_t>(from.load()), journal.end(),
                        [](const sim::JournalEntry& e) { return e.code == CMD_SET_CURRENT; }) ==
          2) {
        losing = nullptr;
        board->SetSwitches({});
      }
    }
  });
  for (const Case& c : cases) {
    if (!m_board->Present()) m_board->Reappear();
    from = m_board->Board().JournalSize();
    // Slow replies: the stop or the hang-up comes before the confirmation.
    m_board->SetSwitches({.replyDelay = 600ms});
    if (c.then == Then::kLoseReplies) {
      m_board->SetSwitches({});
      losing = m_board.get();
    }
    CtlProcess set(CtlCommand(On({"set", "current", "300"})));
    const auto sent = [&] {
      const auto journal = m_board->Board().Journal();
      return std::any_of(journal.begin() + static_cast<std::ptrdiff_t>(from.load()), journal.end(),
                         [](const sim::JournalEntry& e) { return e.code == CMD_SET_CURRENT; });
    };
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!sent() && std::chrono::steady_clock::now() < deadline) std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(sent()) << c.name;
    switch (c.then) {
      case Then::kOneStop:
        set.Signal(SIGINT);
        break;
      case Then::kTwoStops:
        // Two signals, so they cannot merge into one pending signal.
        set.Signal(SIGINT);
        set.Signal(SIGTERM);
        break;
      case Then::kHangUp:
        m_board->HangUp();
        break;
      case Then::kLoseReplies:
        break;
    }
    const Finished run = set.Finish();
    losing = nullptr;
    EXPECT_EQ(run.status, c.status) << c.name << ": " << run.err;
    EXPECT_THAT(run.out, HasSubstr(c.out)) << c.name;
    EXPECT_THAT(run.err, HasSubstr(c.err)) << c.name;
  }
  EXPECT_EQ(m_board->Board().Snapshot().parameters.currentSetpoint, 300);
}

}  // namespace
}  // namespace quorvane::ctl::test
