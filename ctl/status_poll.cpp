// The status poll's loop: the query, the wait for its reply until the next
// one is due, the note on the first that goes unanswered, and the catch-up.
#include "ctl/status_poll.h"

#include <algorithm>
#include <utility>

namespace quorvane::ctl {

void SessionStatusBoard::SendStatusQuery() { m_session.Send(BuildReadStatus()); }

WaitResult SessionStatusBoard::WaitForStatus(Clock::time_point deadline) {
  return m_session.WaitForReply(
      [](const Reply& r) { return std::holds_alternative<StatusReply>(r); }, deadline);
}

StatusPoll::StatusPoll(PollPace pace, Now now) : m_pace(pace), m_now(std::move(now)) {}

PollEnd StatusPoll::Run(StatusBoard& board, PollFrontEnd& front) const {
  int missed = 0;                                    // in a row, up to missesCounted
  std::optional<Clock::time_point> unansweredSince;  // the first query still unanswered
  Clock::time_point tick = m_now();
  for (;;) {
    board.SendStatusQuery();
    if (!unansweredSince) unansweredSince = m_now();
    tick += m_pace.interval;
    const Clock::time_point giveUp = m_pace.longestSilence
                                         ? *unansweredSince + *m_pace.longestSilence
                                         : Clock::time_point::max();
    switch (board.WaitForStatus(std::min(tick, giveUp))) {
      case WaitResult::kDone:
        unansweredSince.reset();
        switch (front.OnStatus(missed > 0)) {
          case PollStep::kAnswering:
            missed = 0;
            break;
          case PollStep::kNotBackYet:
            break;
          case PollStep::kEnd:
            return PollEnd::kEnded;
          case PollStep::kStopped:
            return PollEnd::kStopped;
          case PollStep::kPortLost:
            return PollEnd::kPortLost;
        }
        break;
      case WaitResult::kTimedOut:
        if (m_now() >= giveUp) return PollEnd::kGaveUp;
        if (missed == 0) front.Note("no status reply; still asking.");
        if (missed < m_pace.missesCounted) ++missed;
        front.OnMissed(missed);
        break;
      case WaitResult::kStopped:
        return PollEnd::kStopped;
      case WaitResult::kPortLost:
        return PollEnd::kPortLost;
    }
    switch (front.Pause(tick)) {
      case WaitResult::kDone:
      case WaitResult::kTimedOut:  // the pause ran its course
        break;
      case WaitResult::kStopped:
        return PollEnd::kStopped;
      case WaitResult::kPortLost:
        return PollEnd::kPortLost;
    }
    // Behind by a whole period or more (a stalled machine, a setting): no
    // burst of queries.
    if (const Clock::time_point now = m_now(); tick < now) tick = now;
  }
}

}  // namespace quorvane::ctl
