// The port a command talks to the board on, and the few words every command
// says the same way: shared by status, set and monitor.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "ctl/board_session.h"
#include "ctl/port_choice.h"
#include "ctl/stop_signal.h"
#include "serial/serial_link.h"

namespace quorvane::ctl {

// Notes and errors. Unchecked: when err fails there is nowhere left to say so.
void Print(std::FILE* err, const std::string& text);
// "quorvane-ctl: text" as a line of its own.
void Fail(std::FILE* err, const std::string& text);

// "2 s", "700 ms".
std::string DurationText(milliseconds time);

// The results, all at once: kExitOk, or kExitFailure once said why.
int Output(std::FILE* out, std::FILE* err, const std::string& text);

// The port, the panel's link on it and the conversation, closed in reverse.
// Stop requests reach the conversation while it lives.
class Connection {
 public:
  // stop: the program's Ctrl-C; nullptr where the caller stops the session
  // itself (the Python module).
  Connection(ChosenPort port, StopSignal* stop);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // 0 when open and synced, else the exit status after the message.
  int OpenAndSync(std::FILE* err, milliseconds syncLimit);

  // The exit status for a wait that did not get what it waited for, and what
  // to say (empty: nothing, as for a stop before anything was sent). sent,
  // when not empty, says what may have reached the board all the same.
  struct Problem {
    int status = 0;
    std::string text;
  };
  Problem WaitProblem(WaitResult result, const std::string& sent = "") const;
  // The same, said on err.
  int WaitStatus(WaitResult result, std::FILE* err, const std::string& sent = "") const;

  // Also tells also of a stop request, as long as the returned guard lives.
  class StopAlso {
   public:
    StopAlso(Connection& c, std::function<void()> also);
    ~StopAlso();
    StopAlso(const StopAlso&) = delete;
    StopAlso& operator=(const StopAlso&) = delete;

   private:
    Connection& m_c;
  };

  BoardSession& Session() { return m_session; }
  const ChosenPort& Port() const { return m_port; }

 private:
  ChosenPort m_port;
  CSerialLink m_link;
  BoardSession m_session;
  StopSignal* m_stop;
};

}  // namespace quorvane::ctl
