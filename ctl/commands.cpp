// list, status, set and monitor: each opens the port as the panel does, talks
// to the board through the panel's frames, and ends in an exit status.
#include "ctl/commands.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "controller/timing.h"
#include "ctl/board_session.h"
#ifndef _WIN32
#include "ctl/bridge/bridge.h"
#endif
#include "ctl/exit_status.h"
#include "ctl/output.h"
#include "ctl/output_writer.h"
#include "ctl/port_choice.h"
#include "ctl/readings_output.h"
#include "ctl/setting.h"
#include "ctl/setting_exchange.h"
#include "ctl/status_poll.h"
#include "history/csv_file.h"
#include "serial/port_table.h"
#include "serial/serial_link.h"

namespace quorvane::ctl {
namespace {

// Notes and errors. Unchecked: when err fails there is nowhere left to say so.
void Print(std::FILE* err, const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), err);
  std::fflush(err);
}

void Fail(std::FILE* err, const std::string& text) { Print(err, "quorvane-ctl: " + text + "\n"); }

// "2 s", "700 ms".
std::string DurationText(milliseconds time) {
  return time.count() % 1000 == 0 ? std::to_string(time.count() / 1000) + " s"
                                  : std::to_string(time.count()) + " ms";
}

// The results, all at once: kExitOk, or kExitFailure once said why.
int Output(std::FILE* out, std::FILE* err, const std::string& text) {
  const int error = WriteWhole(out, text);
  return error == 0 ? kExitOk : OutputFailed(error, err);
}

// The port, the panel's link on it and the conversation, closed in reverse.
// Stop requests reach the conversation while it lives.
class Connection {
 public:
  Connection(ChosenPort port, StopSignal& stop)
      : m_port(std::move(port)),
        m_link(m_port.deviceDirectory),
        m_session(m_link, m_port),
        m_stop(stop) {
    m_stop.Listen([this] { m_session.Stop(); });
  }
  ~Connection() {
    m_stop.Listen(nullptr);
    m_session.Close();
  }

  // 0 when open and synced, else the exit status after the message.
  int OpenAndSync(std::FILE* err, milliseconds syncLimit) {
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

  // The exit status for a wait that did not get what it waited for. sent,
  // when not empty, says what may have reached the board all the same.
  int WaitStatus(WaitResult result, std::FILE* err, const std::string& sent = "") const {
    const std::string end = sent.empty() ? "." : "; " + sent + ".";
    switch (result) {
      case WaitResult::kDone:
        return kExitOk;
      case WaitResult::kStopped:
        if (!sent.empty()) Fail(err, "interrupted" + end);
        return kExitInterrupted;
      case WaitResult::kPortLost:
        Fail(err, m_port.name + " has gone (unplugged or hung up)" + end);
        return kExitFailure;
      case WaitResult::kTimedOut:
        // Silent after the sync is silent all the same: the status a script tells apart.
        Fail(err, "the board on " + m_port.name + " stopped answering: no status reply.");
        return kExitBoardSilent;
    }
    return kExitFailure;  // not reached: every result is listed above
  }

  // Also tells also of a stop request, as long as the returned guard lives.
  class StopAlso {
   public:
    StopAlso(Connection& c, std::function<void()> also) : m_c(c) {
      m_c.m_stop.Listen([&c, also = std::move(also)] {
        c.m_session.Stop();
        also();
      });
    }
    ~StopAlso() {
      m_c.m_stop.Listen([&c = m_c] { c.m_session.Stop(); });
    }
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
  StopSignal& m_stop;
};

int RunList(const CtlOptions& o, std::FILE* out, std::FILE* err) {
  const std::vector<ListedPort> ports = MakePortTable(o.deviceDirectory)->DiscoverPorts();
  return Output(out, err, o.json ? JsonText(PortListJson(ports), 2) + "\n" : PortListText(ports));
}

// end: when the whole run must be over (--timeout), else Clock::time_point::max().
int RunStatus(const CtlOptions& o, Connection& c, Clock::time_point end, std::FILE* out,
              std::FILE* err) {
  BoardSession& session = c.Session();
  session.DiscardReplies();
  const auto isStatus = [](const Reply& r) { return std::holds_alternative<StatusReply>(r); };
  const WaitResult result =
      session.Ask(BuildReadStatus(), isStatus, std::min(Clock::now() + kReplyLimit, end));
  if (result != WaitResult::kDone) return c.WaitStatus(result, err);
  const DeviceState device = session.Device();
  return Output(out, err,
                o.json ? JsonText(StatusJson(c.Port().name, device), 2) + "\n"
                       : StatusText(c.Port().name, device));
}

// kExitOk when the value may be sent, else kExitBadValue after saying why:
// not a number the entry field takes, or beyond what the board takes.
int CheckValue(const CtlOptions& o, std::optional<std::int32_t> currentMax, std::FILE* err) {
  const FieldValue field = InFieldUnits(o.setting, o.value, o.bareUnit);
  const std::string problem =
      field.problem.empty() ? ValueProblem(o.setting, field.text, currentMax) : field.problem;
  if (problem.empty()) return kExitOk;
  Fail(err, "bad value '" + o.value + "': " + problem + ".");
  return kExitBadValue;
}

// What a set came to once checked: the status, and the board's last word.
struct SetOutcome {
  int status = kExitOk;
  std::optional<std::uint32_t> value;  // as the board last reported it
  const char* confirmedBy = nullptr;   // "reply" or "read-back"; nullptr: not confirmed
  std::string text;                    // for the output when confirmed; failures are said on err
};

// text: the value in the field's units, as InFieldUnits gives it.
SetOutcome SendSetting(const CtlOptions& o, Connection& c, Clock::time_point end,
                       const std::string& text, const SettingPlan& plan, std::FILE* err) {
  BoardSession& session = c.Session();
  // From the first frame on, the board may take the value: a first Ctrl-C
  // waits for its word rather than leaving the user not knowing.
  session.HoldFirstStop(true);
  const SettingExchange exchange = ExchangeSetting(session, o.setting, text, end);
  const std::string what = std::string(SettingName(o.setting)) + " " + plan.shown;
  const std::string mayHave = what + " was sent; the board may have applied it";
  if (exchange.Confirmed())
    return {kExitOk, exchange.reported, "reply", what + ": confirmed by the board\n"};
  if (exchange.CutShort())
    return {c.WaitStatus(exchange.result, err, mayHave), exchange.reported, nullptr, ""};
  if (exchange.reported) {
    Fail(err, "the board did not confirm " + what + ": it reports " +
                  ShownValue(o.setting, *exchange.reported) + ".");
    return {kExitNotConfirmed, exchange.reported, nullptr, ""};
  }
  // No answer at all: a lossy line may have lost only the answers.
  WaitResult result = WaitResult::kDone;
  const std::optional<std::uint32_t> held =
      ReadSettingBack(session, o.setting, std::min(Clock::now() + kReplyLimit, end), result);
  if (held == plan.value) {
    return {kExitOk, held, "read-back",
            what + ": confirmed by reading it back (the board's answer was lost)\n"};
  }
  if (held) {
    Fail(err, "the board did not confirm " + what +
                  ": no reply to the setting, and reading it back gives " +
                  ShownValue(o.setting, *held) + ".");
    return {kExitNotConfirmed, held, nullptr, ""};
  }
  if (result != WaitResult::kTimedOut)
    return {c.WaitStatus(result, err, mayHave), std::nullopt, nullptr, ""};
  Fail(err, "the board did not confirm " + what +
                ": no reply to the setting or to reading it back; " + mayHave + ".");
  return {kExitNotConfirmed, std::nullopt, nullptr, ""};
}

int RunSet(const CtlOptions& o, Connection& c, Clock::time_point end, std::FILE* out,
           std::FILE* err) {
  // The current's range is the board's, known only now that it has synced.
  if (const int status = CheckValue(o, c.Session().Device().currentMax, err); status != kExitOk)
    return status;
  const std::string text = InFieldUnits(o.setting, o.value, o.bareUnit).text;
  const SettingPlan plan = PlanSetting(o.setting, text, c.Session().Device());
  const SetOutcome outcome = SendSetting(o, c, end, text, plan, err);
  if (o.json) {
    // Whatever the outcome: the frame has gone out, and a program wants to know.
    const int written = Output(
        out, err,
        JsonText(SetResultJson(o.setting, o.value, plan.shown, outcome.value, outcome.confirmedBy),
                 2) +
            "\n");
    return outcome.status == kExitOk ? written : outcome.status;
  }
  return outcome.status == kExitOk ? Output(out, err, outcome.text) : outcome.status;
}

// The monitor's side of the status poll: a row for each reply, on the
// standard output and in the CSV log.
class MonitorRows final : public PollFrontEnd {
 public:
  MonitorRows(const CtlOptions& o, Connection& c, CsvRecording& csv, OutputWriter& writer,
              std::FILE* err)
      : m_o(o), m_c(c), m_csv(csv), m_writer(writer), m_err(err) {}

  // kExitOk when done, stopped, or the output failed (the writer knows how),
  // else the exit status after the message.
  int Poll() {
    // How long a query may go unanswered: --timeout; with --count a run must
    // end, so a few periods; without, a monitor asks on.
    PollPace pace{m_o.interval, m_o.timeout};
    if (!pace.longestSilence && m_o.count)
      pace.longestSilence = std::max(3 * m_o.interval, kReplyLimit);
    SessionStatusBoard board(m_c.Session());
    switch (StatusPoll(pace).Run(board, *this)) {
      case PollEnd::kEnded:
        return m_status;
      case PollEnd::kGaveUp:
        Fail(m_err, "the board on " + m_c.Port().name + " stopped answering: no status reply for " +
                        DurationText(*pace.longestSilence) + ".");
        return kExitBoardSilent;
      case PollEnd::kStopped:
        return kExitOk;  // Ctrl-C is how a monitor is meant to end
      case PollEnd::kPortLost:
        return m_c.WaitStatus(WaitResult::kPortLost, m_err);
    }
    return kExitFailure;  // not reached: every end is listed above
  }

 private:
  void Note(const std::string& text) override { Fail(m_err, text); }

  PollStep OnStatus(bool missing) override {
    const WallTime now = std::chrono::system_clock::now();
    const DeviceState device = m_c.Session().Device();
    if (missing) Note("the board answers again.");
    if (m_csv.Active()) {
      if (const std::string reason = m_csv.Write(ReadingOf(now, device)); !reason.empty()) {
        Fail(m_err, "writing " + m_o.csvPath + " failed: " + reason + ".");
        m_status = kExitFailure;
        return PollStep::kEnd;
      }
    }
    // Queued, never waited for: a reader that is behind loses lines, not the log.
    m_writer.Write(m_o.json ? JsonText(ReadingJson(now, device)) + "\n" : ReadingText(now, device));
    // A reader that has had enough (monitor | head) is how a log in a
    // pipeline is meant to end; any other failure ends it too.
    if (m_writer.Error() != 0) return PollStep::kEnd;
    ++m_rows;
    return m_o.count && m_rows == *m_o.count ? PollStep::kEnd : PollStep::kAnswering;
  }

  void OnMissed(int) override {}

  WaitResult Pause(Clock::time_point& next) override { return m_c.Session().PauseUntil(next); }

  const CtlOptions& m_o;
  Connection& m_c;
  CsvRecording& m_csv;
  OutputWriter& m_writer;
  std::FILE* m_err;
  unsigned long long m_rows = 0;
  int m_status = kExitOk;  // how the run ends when the rows end it
};

int RunMonitor(const CtlOptions& o, Connection& c, std::FILE* out, std::FILE* err) {
  // Appends: an existing log is continued, never overwritten.
  CsvRecording csv;
  if (!o.csvPath.empty()) {
    if (const std::string reason = csv.Start(o.csvPath, CsvRecording::Mode::Append);
        !reason.empty()) {
      Fail(err, "cannot write " + o.csvPath + ": " + reason + ".");
      return kExitFailure;
    }
  }
  OutputWriter writer(out);
  int status = kExitOk;
  {
    // A stop ends the wait for a reader that does not read, too.
    const Connection::StopAlso stop(c, [&writer] { writer.Abandon(); });
    status = MonitorRows(o, c, csv, writer, err).Poll();
    writer.Drain();
  }
  if (const int error = writer.Error(); error != 0) {
    if (error == EPIPE || status != kExitOk) return status;
    return OutputFailed(error, err);
  }
  if (const unsigned long long lost = writer.Unwritten(); lost != 0) {
    Print(err, "quorvane-ctl: " + std::to_string(lost) +
                   " readings were not written to the standard output: it was not being read.\n");
  }
  return status;
}

// The limits in effect for the port (its list name; none: the [default]
// table), as text or JSON; kExitLimitsUnusable when a file cannot be used.
int RunLimits(const CtlOptions& o, const LimitsSources& sources, std::FILE* out, std::FILE* err) {
  std::string port;
  if (!o.port.empty()) {
    const std::optional<ChosenPort> chosen = ChoosePort(o.port, o.deviceDirectory);
    port = chosen ? chosen->name : std::filesystem::path(o.port).filename().string();
  }
  const PortLimits limits = LimitsFor(port, sources);
  int status = kExitOk;
  if (limits.ReadOnly()) {
    Fail(err, "the limits cannot be used, so every setting is refused: " + limits.unusable);
    status = kExitLimitsUnusable;
  }
  std::string text;
  if (o.json) {
    nlohmann::json json = {{"file", sources.labFile},
                           {"port", port.empty() ? nlohmann::json() : nlohmann::json(port)},
                           {"usable", !limits.ReadOnly()}};
    if (!sources.stricterFile.empty()) json["stricter_file"] = sources.stricterFile;
    if (limits.ReadOnly()) json["problem"] = limits.unusable;
    nlohmann::json rows = nlohmann::json::object();
    for (const LimitRow& row : LimitRows(limits.limits))
      rows[row.key] = {{"value", nlohmann::json::parse(row.value)}, {"source", row.source.Text()}};
    json["limits"] = rows;
    text = JsonText(json, 2) + "\n";
  } else {
    text = LimitsText(limits, sources.labFile);
  }
  const int written = Output(out, err, text);
  return status == kExitOk ? written : status;
}

}  // namespace

int RunCommand(const CtlOptions& o, const LimitsSources& sources, StopSignal& stop,
               std::FILE* out, std::FILE* err) {
  if (o.command == Command::kList) return RunList(o, out, err);
  if (o.command == Command::kLimits) return RunLimits(o, sources, out, err);
#ifndef _WIN32
  if (o.command == Command::kBridge) return RunBridge(o, sources, stop, err);
#endif
  if (o.command == Command::kSet) {
    if (const int status = CheckValue(o, std::nullopt, err); status != kExitOk) return status;
  }
  std::optional<ChosenPort> port = ChoosePort(o.port, o.deviceDirectory);
  if (!port) {
    Fail(err, "no such port: '" + o.port + "' (see quorvane-ctl list).");
    return kExitNoSuchPort;
  }
  Connection connection(std::move(*port), stop);
  // status and set: --timeout bounds the whole run; monitor's bounds a
  // silence, and the sync is one.
  const Clock::time_point end = o.timeout && o.command != Command::kMonitor
                                    ? Clock::now() + *o.timeout
                                    : Clock::time_point::max();
  const milliseconds syncLimit = o.timeout ? std::min(kSyncLimit, *o.timeout) : kSyncLimit;
  if (const int status = connection.OpenAndSync(err, syncLimit); status != kExitOk) return status;
  switch (o.command) {
    case Command::kStatus:
      return RunStatus(o, connection, end, out, err);
    case Command::kSet:
      return RunSet(o, connection, end, out, err);
    case Command::kMonitor:
      return RunMonitor(o, connection, out, err);
    case Command::kList:
    case Command::kLimits:
    case Command::kBridge:
      break;  // run above, without a connection of this kind
  }
  return kExitFailure;
}

}  // namespace quorvane::ctl
