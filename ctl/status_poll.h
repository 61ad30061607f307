// The paced status poll that monitor and the bridge share, written once: a
// status query each period, a note when the board stops answering, and no
// burst of queries after a period that ran late. What each does with a reply
// and between two queries is its own (PollFrontEnd).
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "ctl/board_session.h"

namespace quorvane::ctl {

// What the poll asks of the board: BoardSession in the program
// (SessionStatusBoard), a scripted board in the tests.
class StatusBoard {
 public:
  virtual void SendStatusQuery() = 0;
  // Until a status reply or deadline; a stop or a lost port cuts it short.
  virtual WaitResult WaitForStatus(Clock::time_point deadline) = 0;

 protected:
  ~StatusBoard() = default;
};

class SessionStatusBoard final : public StatusBoard {
 public:
  explicit SessionStatusBoard(BoardSession& session) : m_session(session) {}
  void SendStatusQuery() override;
  WaitResult WaitForStatus(Clock::time_point deadline) override;

 private:
  BoardSession& m_session;
};

// What a front end made of a status reply.
enum class PollStep {
  kAnswering,   // the board counts as answering: its next silence is noted again
  kNotBackYet,  // taken, but the board is not back (the bridge's sync again failed)
  kEnd,         // the front end is done; why is its own
  kStopped,
  kPortLost,
};

enum class PollEnd { kEnded, kGaveUp, kStopped, kPortLost };

// The front end's side. Called on the thread that runs the poll.
class PollFrontEnd {
 public:
  // A line on standard error, without the program's name.
  virtual void Note(const std::string& text) = 0;
  // A status reply came (the session's values hold it); missing: the
  // queries before it went unanswered.
  virtual PollStep OnStatus(bool missing) = 0;
  // A query went unanswered; missed: how many in a row, up to PollPace::missesCounted.
  virtual void OnMissed(int missed) = 0;
  // Until next, when the next query is due (it may bring that forward):
  // kDone, or the stop or lost port that cut it short.
  virtual WaitResult Pause(Clock::time_point& next) = 0;

 protected:
  ~PollFrontEnd() = default;
};

struct PollPace {
  milliseconds interval{500};
  // Run ends with kGaveUp once a query has gone unanswered this long; none: asks on.
  std::optional<milliseconds> longestSilence;
  // Unanswered queries in a row are counted as far as this, no further: a
  // board silent for years must not overflow the count.
  int missesCounted = 1;
};

// Runs on the thread that owns the board (the program's main thread).
class StatusPoll {
 public:
  using Now = std::function<Clock::time_point()>;
  explicit StatusPoll(
      PollPace pace, Now now = [] { return Clock::now(); });

  // Polls from now on, as if the board had just answered, until the front
  // end, a silence too long, a stop or a lost port ends it. Once it ends,
  // board is not touched again: a front end may have let it go.
  PollEnd Run(StatusBoard& board, PollFrontEnd& front) const;

 private:
  PollPace m_pace;
  Now m_now;
};

}  // namespace quorvane::ctl
