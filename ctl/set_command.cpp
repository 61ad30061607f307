// The setting's checks, its exchange with the board, and the ramp: each step
// a setting of its own, sent only once the board has confirmed the last.
#include "ctl/set_command.h"

#include <algorithm>
#include <string>

#include "controller/timing.h"
#include "ctl/exit_status.h"
#include "ctl/output.h"
#include "ctl/readings_output.h"
#include "ctl/setting.h"
#include "ctl/setting_exchange.h"

namespace quorvane::ctl {
namespace {

// What a setting came to once checked: the status, and the board's last word.
struct SetOutcome {
  int status = kExitOk;
  std::optional<std::uint32_t> value;  // as the board last reported it
  const char* confirmedBy = nullptr;   // "reply" or "read-back"; nullptr: not confirmed
  std::string text;                    // for the output when confirmed
  std::string problem;                 // for err when not (empty: nothing to say)
};

// text: the value in the field's units, as InFieldUnits gives it.
SetOutcome SendSetting(Connection& c, Setting setting, Clock::time_point end,
                       const std::string& text, const SettingPlan& plan) {
  BoardSession& session = c.Session();
  // From the first frame on, the board may take the value: a first Ctrl-C
  // waits for its word rather than leaving the user not knowing.
  session.HoldFirstStop(true);
  const SettingExchange exchange = ExchangeSetting(session, setting, text, end);
  const std::string what = std::string(SettingName(setting)) + " " + plan.shown;
  const std::string mayHave = what + " was sent; the board may have applied it";
  if (exchange.Confirmed())
    return {kExitOk, exchange.reported, "reply", what + ": confirmed by the board\n", ""};
  if (exchange.CutShort()) {
    const Connection::Problem cut = c.WaitProblem(exchange.result, mayHave);
    return {cut.status, exchange.reported, nullptr, "", cut.text};
  }
  if (exchange.reported) {
    return {kExitNotConfirmed, exchange.reported, nullptr, "",
            "the board did not confirm " + what + ": it reports " +
                ShownValue(setting, *exchange.reported) + "."};
  }
  // No answer at all: a lossy line may have lost only the answers.
  WaitResult result = WaitResult::kDone;
  const std::optional<std::uint32_t> held =
      ReadSettingBack(session, setting, std::min(Clock::now() + kReplyLimit, end), result);
  if (held == plan.value) {
    return {kExitOk, held, "read-back",
            what + ": confirmed by reading it back (the board's answer was lost)\n", ""};
  }
  if (held) {
    return {kExitNotConfirmed, held, nullptr, "",
            "the board did not confirm " + what +
                ": no reply to the setting, and reading it back gives " +
                ShownValue(setting, *held) + "."};
  }
  if (result != WaitResult::kTimedOut) {
    const Connection::Problem cut = c.WaitProblem(result, mayHave);
    return {cut.status, std::nullopt, nullptr, "", cut.text};
  }
  return {kExitNotConfirmed, std::nullopt, nullptr, "",
          "the board did not confirm " + what +
              ": no reply to the setting or to reading it back; " + mayHave + "."};
}

// The ramp's progress as one line that rewrites itself, on a terminal only:
// a log or a pipe gets the result alone.
class RampProgress {
 public:
  explicit RampProgress(std::FILE* err) : m_err(err), m_on(IsTerminal(err)) {}
  ~RampProgress() { Clear(); }
  RampProgress(const RampProgress&) = delete;
  RampProgress& operator=(const RampProgress&) = delete;

  void Show(const std::string& text) {
    if (!m_on) return;
    std::string line = "\rquorvane-ctl: " + text;
    const std::size_t width = line.size() - 1;
    // Spaces over what a longer line before left, rather than a terminal's
    // escape sequence that not every console takes.
    if (m_width > width) line.append(m_width - width, ' ');
    Print(m_err, line);
    m_width = width;
  }
  // Before a message or the end: the line is gone, the cursor at its start.
  void Clear() {
    if (m_width == 0) return;
    std::string blank(m_width + 2, ' ');
    blank.front() = '\r';
    blank.back() = '\r';
    Print(m_err, blank);
    m_width = 0;
  }

 private:
  std::FILE* m_err;
  bool m_on;
  std::size_t m_width = 0;
};

struct RampRun {
  SetOutcome outcome;
  int steps = 0;  // setting exchanges made
};

// Carries out a ramp started from the board's set-point, first being its first
// step: a step per poll period, each a whole setting exchange, the next only
// once the board has confirmed the last. A step the board does not confirm, a
// stop, a lost port or the end of --timeout ends it where it stands.
RampRun Ramp(Connection& c, Clock::time_point end, CurrentRamp& ramp, std::int32_t first,
             std::FILE* err) {
  BoardSession& session = c.Session();
  std::int32_t confirmed = session.Device().currentSetpoint;
  RampProgress progress(err);
  RampRun run;
  const auto stoppedAt = [&] {
    return "the ramp stopped (" + RampStatusText(ramp, confirmed) + ")";
  };
  Clock::time_point due = Clock::now();
  std::optional<std::int32_t> next = first;
  while (next) {
    due += kPollPeriod;
    const std::string text = std::to_string(*next);
    const SettingPlan plan = PlanSetting(Setting::kCurrent, text, session.Device());
    ++run.steps;
    run.outcome = SendSetting(c, Setting::kCurrent, end, text, plan);
    // A first stop, held for this step's word, ends the ramp before its next one.
    session.HoldFirstStop(false);
    if (run.outcome.status != kExitOk) {
      progress.Clear();
      run.outcome.problem +=
          (run.outcome.problem.empty() ? "" : "\nquorvane-ctl: ") + stoppedAt() + ".";
      return run;
    }
    confirmed = static_cast<std::int32_t>(plan.value);
    next = ramp.Next(confirmed);
    if (!ramp.Running()) return run;  // the target is confirmed
    progress.Show(RampStatusText(ramp, confirmed));
    const WaitResult paused = session.PauseUntil(std::min(due, end));
    if (paused == WaitResult::kDone && Clock::now() >= end) {
      progress.Clear();
      run.outcome = {kExitNotConfirmed, static_cast<std::uint32_t>(confirmed), nullptr, "",
                     "the ramp did not reach " + ShownValue(Setting::kCurrent, ramp.Target()) +
                         " within --timeout: " + stoppedAt() + "."};
      return run;
    }
    if (paused != WaitResult::kDone) {
      progress.Clear();
      const Connection::Problem cut = c.WaitProblem(paused, stoppedAt());
      run.outcome = {cut.status, static_cast<std::uint32_t>(confirmed), nullptr, "", cut.text};
      return run;
    }
  }
  // The ramp gave nothing to send short of its target: never a success.
  run.outcome = {kExitNotConfirmed, static_cast<std::uint32_t>(confirmed), nullptr, "",
                 stoppedAt() + "."};
  return run;
}

}  // namespace

int CheckValue(const CtlOptions& o, std::optional<std::int32_t> currentMax, std::FILE* err) {
  const FieldValue field = InFieldUnits(o.setting, o.value, o.bareUnit);
  const std::string problem =
      field.problem.empty() ? ValueProblem(o.setting, field.text, currentMax) : field.problem;
  if (problem.empty()) return kExitOk;
  Fail(err, "bad value '" + o.value + "': " + problem + ".");
  return kExitBadValue;
}

int RunSet(const CtlOptions& o, const LabLimits& limits, Connection& c, Clock::time_point end,
           std::FILE* out, std::FILE* err) {
  const DeviceState device = c.Session().Device();
  // The current's range is the board's, known only now that it has synced.
  if (const int status = CheckValue(o, device.currentMax, err); status != kExitOk) return status;
  const std::string text = InFieldUnits(o.setting, o.value, o.bareUnit).text;
  const SettingPlan plan = PlanSetting(o.setting, text, device);
  // The value as the board would take it, judged against the lab's limits.
  if (const std::string problem =
          LabLimitProblem(limits, o.setting, static_cast<std::int32_t>(plan.value));
      !problem.empty()) {
    Fail(err, "bad value '" + o.value + "': " + problem + ".");
    return kExitBadValue;
  }

  CurrentRamp ramp;
  std::int32_t first = 0;
  const std::int32_t step =
      limits.currentRamp ? RampStep(limits.currentRamp->value, kPollPeriod) : 0;
  if (o.setting == Setting::kCurrent && limits.currentRamp)
    first = ramp.Start(static_cast<std::int32_t>(plan.value), device.currentSetpoint, step);
  RampRun run;
  if (ramp.Running()) {
    run = Ramp(c, end, ramp, first, err);
  } else {
    run.outcome = SendSetting(c, o.setting, end, text, plan);
  }
  const SetOutcome& outcome = run.outcome;
  if (!outcome.problem.empty()) Fail(err, outcome.problem);
  if (o.json) {
    // Whatever the outcome: the frame has gone out, and a program wants to know.
    nlohmann::json result =
        SetResultJson(o.setting, o.value, plan.shown, outcome.value, outcome.confirmedBy);
    if (run.steps > 0) result["ramp_steps"] = run.steps;
    const int written = Output(out, err, JsonText(result, 2) + "\n");
    return outcome.status == kExitOk ? written : outcome.status;
  }
  if (outcome.status != kExitOk) return outcome.status;
  std::string said = outcome.text;
  if (run.steps > 0) {
    said.pop_back();
    said += ", reached in " + std::to_string(run.steps) + " steps of at most " +
            ShownValue(Setting::kCurrent, static_cast<std::uint32_t>(step)) + " (the lab's ramp)\n";
  }
  return Output(out, err, said);
}

}  // namespace quorvane::ctl
