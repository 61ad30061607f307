// The shared status poll on a scripted board and a clock of the test's own:
// what the process tests cannot pin without timed checks (each silence and
// each return noted once, the catch-up after a late period, the give-up).
#include "ctl/status_poll.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvane::ctl {
namespace {

using namespace std::chrono_literals;

// One character a query: 'r' answered (10 ms on), '-' unanswered, 'n'
// answered but not back yet for the front end, 's' answered and the pause
// after it overruns by 250 ms (a stalled machine, a setting). Everything
// that happens is written to a log: "q<ms>" a query sent at that time, "a" a
// reply, "A" a reply after missing ones, "m<n>" a miss, "N" the note.
class ScriptedPoll final : public StatusBoard, public PollFrontEnd {
 public:
  explicit ScriptedPoll(std::string script) : m_script(std::move(script)) {}

  Clock::time_point Now() const { return m_now; }
  const std::string& Log() const { return m_log; }

  void SendStatusQuery() override {
    Write("q" + std::to_string((m_now - Clock::time_point()) / 1ms));
    m_current = m_next < m_script.size() ? m_script[m_next++] : '\0';
  }

  WaitResult WaitForStatus(Clock::time_point deadline) override {
    if (m_current == '\0') return WaitResult::kStopped;  // the script has run out
    if (m_current != '-' && m_now + 10ms <= deadline) {
      m_now += 10ms;
      return WaitResult::kDone;
    }
    m_now = std::max(m_now, deadline);
    return WaitResult::kTimedOut;
  }

  void Note(const std::string& text) override {
    Write(text == "no status reply; still asking." ? "N" : "note?" + text);
  }

  PollStep OnStatus(bool missing) override {
    Write(missing ? "A" : "a");
    return m_current == 'n' ? PollStep::kNotBackYet : PollStep::kAnswering;
  }

  void OnMissed(int missed) override { Write("m" + std::to_string(missed)); }

  WaitResult Pause(Clock::time_point& next) override {
    m_now = std::max(m_now, next);
    if (m_current == 's') m_now += 250ms;
    return WaitResult::kDone;
  }

 private:
  void Write(const std::string& entry) { m_log += (m_log.empty() ? "" : " ") + entry; }

  std::string m_script;
  std::size_t m_next = 0;
  char m_current = '\0';
  Clock::time_point m_now;  // the test's clock, from its epoch
  std::string m_log;
};

TEST(StatusPollTest, PacesQueriesAndNotesEachSilenceAndReturnOnce) {
  struct Case {
    const char* name;
    const char* script;
    PollPace pace;
    const char* log;
    PollEnd end = PollEnd::kStopped;  // the scripted board stops when the script ends
  };
  const Case cases[] = {
      {"a silence is noted once and its end once, misses counted as far as asked",
       "r----rr-r",
       {100ms, std::nullopt, 3},
       "q0 a q100 N m1 q200 m2 q300 m3 q400 m3 q500 A q600 a q700 N m1 q800 A q900"},
      {"a reply that does not bring the board back: misses go on, no second note",
       "-n-r-",
       {100ms, std::nullopt, 3},
       "q0 N m1 q100 A q200 m2 q300 A q400 N m1 q500"},
      {"a period that ran late: the next query at once, then at the pace again",
       "rsrr",
       {100ms, std::nullopt, 1},
       "q0 a q100 a q450 a q550 a q650"},
      {"given up once a query has gone unanswered that long, counted from the first",
       "r-r----",
       {100ms, 250ms, 3},
       "q0 a q100 N m1 q200 A q300 N m1 q400 m2 q500",
       PollEnd::kGaveUp},
  };
  for (const Case& c : cases) {
    ScriptedPoll scripted(c.script);
    const PollEnd end = StatusPoll(c.pace, [&] { return scripted.Now(); }).Run(scripted, scripted);
    EXPECT_EQ(scripted.Log(), c.log) << c.name;
    EXPECT_EQ(end, c.end) << c.name;
  }
}

}  // namespace
}  // namespace quorvane::ctl
