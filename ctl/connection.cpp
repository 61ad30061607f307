// The connection's opening, sync and the messages for a wait cut short.
#include "ctl/connection.h"

#include "ctl/exit_status.h"
#include "ctl/output.h"

namespace quorvane::ctl {

void Print(std::FILE* err, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), err);
  std::fflush(err);
}

void Fail(std::FILE* err, const std::string& text) { Print(err, "quorvane-ctl: " + text + "\n"); }

std::string DurationText(milliseconds time) {
  return time.count() % 1000 == 0 ? std::to_string(time.count() / 1000) + " s"
                                  : std::to_string(time.count()) + " ms";
}

int Output(std::FILE* out, std::FILE* err, const std::string& text) {
  const int error = WriteWhole(out, text);
  return error == 0 ? kExitOk : OutputFailed(error, err);
}

Connection::Connection(ChosenPort port, StopSignal* stop)
    : m_port(std::move(port)),
      m_link(m_port.deviceDirectory),
      m_session(m_link, m_port),
      m_stop(stop) {
  if (m_stop != nullptr) m_stop->Listen([this] { m_session.Stop(); });
}

Connection::~Connection() {
  if (m_stop != nullptr) m_stop->Listen(nullptr);
  m_session.Close();
}

int Connection::OpenAndSync(std::FILE* err, milliseconds syncLimit) {
  if (!m_session.Open(m_port.number)) {
    // Opened, but the thread that reads the port could not start.
    const std::string why = m_link.LastOpenError().empty()
                                ? "could not start reading " + m_port.name + "."
                                : m_link.LastOpenError();
    Fail(err, InTermsOf(m_port, why));
    return OpenFailureStatus(m_link.LastOpenFailure());
  }
  const WaitResult synced = m_session.Sync(syncLimit);
  if (synced == WaitResult::kTimedOut) {
    const std::string within = " within " + DurationText(syncLimit);
    const std::uint64_t bytes = m_session.BytesReceived();
    if (bytes > 0 && m_session.RepliesReceived() == 0) {
      Fail(err, "the board on " + m_port.name + " sent " + std::to_string(bytes) +
                    " bytes but no frame it could understand" + within +
                    " (wrong speed, or not this board?).");
    } else {
      Fail(err,
           "the board on " + m_port.name + " is silent: no full reply (RPL_ALL)" + within + ".");
    }
    return kExitBoardSilent;
  }
  return WaitStatus(synced, err);
}

Connection::Problem Connection::WaitProblem(WaitResult result, const std::string& sent) const {
  const std::string end = sent.empty() ? "." : "; " + sent + ".";
  switch (result) {
    case WaitResult::kDone:
      return {kExitOk, ""};
    case WaitResult::kStopped:
      return {kExitInterrupted, sent.empty() ? "" : "interrupted" + end};
    case WaitResult::kPortLost:
      return {kExitFailure, m_port.name + " has gone (unplugged or hung up)" + end};
    case WaitResult::kTimedOut:
      // Silent after the sync is silent all the same: the status a script tells apart.
      return {kExitBoardSilent,
              "the board on " + m_port.name + " stopped answering: no status reply."};
  }
  return {kExitFailure, ""};  // not reached: every result is listed above
}

int Connection::WaitStatus(WaitResult result, std::FILE* err, const std::string& sent) const {
  const Problem problem = WaitProblem(result, sent);
  if (!problem.text.empty()) Fail(err, problem.text);
  return problem.status;
}

Connection::StopAlso::StopAlso(Connection& c, std::function<void()> also) : m_c(c) {
  if (m_c.m_stop == nullptr) return;
  m_c.m_stop->Listen([&c, also = std::move(also)] {
    c.m_session.Stop();
    also();
  });
}

Connection::StopAlso::~StopAlso() {
  if (m_c.m_stop != nullptr) m_c.m_stop->Listen([&c = m_c] { c.m_session.Stop(); });
}

}  // namespace quorvane::ctl
