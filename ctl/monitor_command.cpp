// The monitor's rows, the CSV log, and the lab's alarms: said once on standard
// error when each starts and ends, carried on every row while active, and
// with on_alarm = "ramp-down" the current taken to 0 and soft-active off.
#include "ctl/monitor_command.h"

#include <algorithm>
#include <cerrno>
#include <optional>
#include <string>

#include "controller/timing.h"
#include "ctl/exit_status.h"
#include "ctl/output.h"
#include "ctl/output_writer.h"
#include "ctl/readings_output.h"
#include "ctl/setting.h"
#include "ctl/setting_exchange.h"
#include "ctl/status_poll.h"
#include "history/csv_file.h"

namespace quorvane::ctl {
namespace {

// The session's status poll, keeping the status reply each wait ended on:
// the alarms are judged on the reply itself.
class WatchedStatusBoard final : public StatusBoard {
 public:
  explicit WatchedStatusBoard(BoardSession& session) : m_session(session) {}
  void SendStatusQuery() override { m_session.Send(BuildReadStatus()); }
  WaitResult WaitForStatus(Clock::time_point deadline) override {
    return m_session.WaitForReply(
        [](const Reply& r) { return std::holds_alternative<StatusReply>(r); }, deadline, &m_last);
  }
  const Reply& Last() const { return m_last; }

 private:
  BoardSession& m_session;
  Reply m_last;
};

// The full reply the sync received, as the session holds its values: the
// set-point is judged from the start.
Reply SyncedReply(const DeviceState& d) {
  return AllReply{d.currentPrefix,
                  static_cast<std::uint16_t>(d.currentSetpoint),
                  static_cast<std::uint16_t>(d.currentMax),
                  static_cast<std::uint32_t>(d.frequencyHz),
                  d.pulseSteps,
                  d.softActive};
}

// The monitor's side of the status poll: a row for each reply, on the
// standard output and in the CSV log.
class MonitorRows final : public PollFrontEnd {
 public:
  MonitorRows(const CtlOptions& o, const PortLimits& limits, Connection& c, CsvRecording& csv,
              OutputWriter& writer, std::FILE* err)
      : m_o(o),
        m_limits(limits.limits),
        m_watching(!limits.ReadOnly() && !limits.limits.Empty()),
        m_watch(m_watching ? limits.limits : LabLimits{}),
        m_c(c),
        m_board(c.Session()),
        m_csv(csv),
        m_writer(writer),
        m_err(err) {}

  // kExitOk when done, stopped, or the output failed (the writer knows how),
  // else the exit status after the message.
  int Poll() {
    // How long a query may go unanswered: --timeout; with --count a run must
    // end, so a few periods; without, a monitor asks on.
    PollPace pace{m_o.interval, m_o.timeout};
    if (!pace.longestSilence && m_o.count)
      pace.longestSilence = std::max(3 * m_o.interval, kReplyLimit);
    if (m_watching) {
      Say(m_watch.OnReply(SyncedReply(m_c.Session().Device()), m_c.Session().Device(), Clock::now(),
                          std::chrono::system_clock::now()));
    }
    switch (StatusPoll(pace).Run(m_board, *this)) {
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

  // Each alarm once when it starts and once when it ends.
  void Say(const AlarmChanges& changes) {
    for (const Alarm& alarm : changes.started) Fail(m_err, "ALARM " + alarm.Text());
    for (const Alarm& alarm : changes.ended) Fail(m_err, "alarm over: " + alarm.Text());
  }

  PollStep OnStatus(bool missing) override {
    const WallTime now = std::chrono::system_clock::now();
    const DeviceState device = m_c.Session().Device();
    if (missing) Note("the board answers again.");
    if (m_watching) Say(m_watch.OnReply(m_board.Last(), device, Clock::now(), now));
    // The CSV columns are the readings history's, shared with the panel:
    // alarms stay out of them.
    if (m_csv.Active()) {
      if (const std::string reason = m_csv.Write(ReadingOf(now, device)); !reason.empty()) {
        Fail(m_err, "writing " + m_o.csvPath + " failed: " + reason + ".");
        m_status = kExitFailure;
        return PollStep::kEnd;
      }
    }
    // Queued, never waited for: a reader that is behind loses lines, not the log.
    m_writer.Write(m_o.json ? JsonText(RowJson(now, device)) + "\n" : RowText(now, device));
    // A reader that has had enough (monitor | head) is how a log in a
    // pipeline is meant to end; any other failure ends it too.
    if (m_writer.Error() != 0) return PollStep::kEnd;
    ++m_rows;
    return m_o.count && m_rows == *m_o.count ? PollStep::kEnd : PollStep::kAnswering;
  }

  std::string RowText(WallTime now, const DeviceState& device) const {
    std::string text = ReadingText(now, device);
    text.pop_back();
    for (const Alarm& alarm : m_watch.Active()) text += "  ALARM " + alarm.Text();
    return text + "\n";
  }

  nlohmann::json RowJson(WallTime now, const DeviceState& device) const {
    nlohmann::json row = ReadingJson(now, device);
    if (m_watching) {
      row["alarms"] = nlohmann::json::array();
      for (const Alarm& alarm : m_watch.Active()) row["alarms"].push_back(AlarmJson(alarm));
    }
    return row;
  }

  void OnMissed(int) override {}

  WaitResult Pause(Clock::time_point& next) override {
    if (!m_watching) return m_c.Session().PauseUntil(next);
    Say(m_watch.OnTime(Clock::now(), std::chrono::system_clock::now()));
    // A ramp-down goes on at its own pace, a step per poll period, whatever
    // the monitor's interval: between two queries there may be none or several.
    for (;;) {
      if (const WaitResult result = RampDown(); result != WaitResult::kDone) return result;
      const Clock::time_point until = m_rampDown ? std::min(next, m_stepDue) : next;
      if (const WaitResult result = m_c.Session().PauseUntil(until); result != WaitResult::kDone)
        return result;
      if (Clock::now() >= next) return WaitResult::kDone;
    }
  }

  // With on_alarm = "ramp-down": once an alarm has started, the current goes
  // to 0 at the lab's ramp rate (at once without one), then soft-active off;
  // once per alarm, never raised again. kDone, or the stop or lost port that
  // cut a step short.
  WaitResult RampDown() {
    if (!m_watch.WantsRampDown()) {
      if (m_watch.Active().empty()) m_rampDownDone = false;
      m_rampDown.reset();
      return WaitResult::kDone;
    }
    if (m_rampDownDone) return WaitResult::kDone;
    BoardSession& session = m_c.Session();
    const DeviceState device = session.Device();
    if (!m_rampDown) {
      // Already where the lab wants it: nothing to send, nothing to say.
      if (device.currentSetpoint == 0 && device.softActive == 0) return Finish();
      Fail(m_err, RampDownText(m_watch.Active().front()) + ".");
      const std::int32_t step = m_limits.currentRamp
                                    ? RampStep(m_limits.currentRamp->value, kPollPeriod)
                                    : std::max(device.currentSetpoint, 1);
      m_rampDown.emplace();
      m_nextValue = m_rampDown->Start(0, device.currentSetpoint, step, true);
      if (device.currentSetpoint == 0) m_nextValue.reset();  // soft-active alone
      m_stepDue = Clock::now();
    }
    if (Clock::now() < m_stepDue) return WaitResult::kDone;
    m_stepDue += kPollPeriod;
    if (m_nextValue) {
      const std::string text = std::to_string(*m_nextValue);
      const SettingExchange step = ExchangeSetting(session, Setting::kCurrent, text);
      if (step.CutShort()) return Stopped(step.result);
      if (!step.Confirmed()) {
        Fail(m_err, "the board did not confirm the ramp-down's current " +
                        ShownValue(Setting::kCurrent, step.plan.value) + " (it reports " +
                        ShownValue(Setting::kCurrent,
                                   static_cast<std::uint32_t>(session.Device().currentSetpoint)) +
                        "): the ramp-down stopped.");
        return Finish();
      }
      const std::int32_t confirmed = static_cast<std::int32_t>(step.plan.value);
      // The board's own word on the set-point, which its status replies do not carry.
      Say(m_watch.OnReply(CurrentReply{device.currentPrefix, static_cast<std::uint16_t>(confirmed)},
                          session.Device(), Clock::now(), std::chrono::system_clock::now()));
      m_nextValue = m_rampDown->Next(confirmed);
      if (m_rampDown->Running()) return WaitResult::kDone;
      m_nextValue.reset();
    }
    const SettingExchange off = ExchangeSetting(session, Setting::kSoftActive, "off");
    if (off.CutShort()) return Stopped(off.result);
    Fail(m_err, off.Confirmed()
                    ? std::string("the current is at 0 mA and soft-active off, as the lab's "
                                  "limits ask.")
                    : std::string("the current is at 0 mA, but the board did not confirm "
                                  "soft-active off."));
    return Finish();
  }

  WaitResult Stopped(WaitResult result) {
    Fail(m_err, "the ramp-down stopped with the monitor; the current is at " +
                    ShownValue(Setting::kCurrent,
                               static_cast<std::uint32_t>(m_c.Session().Device().currentSetpoint)) +
                    ".");
    Finish();
    return result;
  }

  WaitResult Finish() {
    m_rampDown.reset();
    m_rampDownDone = true;
    return WaitResult::kDone;
  }

  const CtlOptions& m_o;
  const LabLimits m_limits;
  const bool m_watching;  // the port has usable limits
  AlarmWatch m_watch;
  Connection& m_c;
  WatchedStatusBoard m_board;
  CsvRecording& m_csv;
  OutputWriter& m_writer;
  std::FILE* m_err;
  unsigned long long m_rows = 0;
  int m_status = kExitOk;  // how the run ends when the rows end it
  // The ramp-down under way, its next set-point (none: soft-active is next)
  // and when that step is due; done: carried out for the alarms now active.
  std::optional<CurrentRamp> m_rampDown;
  std::optional<std::int32_t> m_nextValue;
  Clock::time_point m_stepDue;
  bool m_rampDownDone = false;
};

}  // namespace

int RunMonitor(const CtlOptions& o, const PortLimits& limits, Connection& c, std::FILE* out,
               std::FILE* err) {
  // Appends: an existing log is continued, never overwritten.
  CsvRecording csv;
  if (!o.csvPath.empty()) {
    if (const std::string reason = csv.Start(o.csvPath, CsvRecording::Mode::Append);
        !reason.empty()) {
      Fail(err, "cannot write " + o.csvPath + ": " + reason + ".");
      return kExitFailure;
    }
  }
  // Reading needs no limits; without usable ones nothing is watched, and the
  // operator relying on the alarms is told.
  if (limits.ReadOnly())
    Fail(err, "the limits cannot be used, so no alarm is watched: " + limits.unusable);
  OutputWriter writer(out);
  int status = kExitOk;
  {
    // A stop ends the wait for a reader that does not read, too.
    const Connection::StopAlso stop(c, [&writer] { writer.Abandon(); });
    status = MonitorRows(o, limits, c, csv, writer, err).Poll();
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

}  // namespace quorvane::ctl
