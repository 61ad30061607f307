// The bridge's poll loop and its two sides: the board, exactly as monitor
// and set talk to it, and the broker, only ever through non-blocking calls.
#include "ctl/bridge/bridge_loop.h"

#include <algorithm>

#include "controller/timing.h"
#include "ctl/bridge/lab_messages.h"
#include "ctl/exit_status.h"
#include "ctl/readings_output.h"
#include "ctl/setting_exchange.h"

namespace quorvane::ctl {
namespace {

// How often a lost port is looked for again.
constexpr milliseconds kReopenPeriod{1000};
// Status queries unanswered in a row, and for at least this long, before
// the board is said silent: a lost reply on a noisy line, or a busy machine
// at a short interval, is not worth a dashboard's alarm.
constexpr int kMissesBeforeSilent = 3;
constexpr milliseconds kSilentAfter{1000};
}  // namespace

BridgeLoop::BridgeLoop(const CtlOptions& options, const LimitsSources& sources, ChosenPort port,
                       std::string id, MqttClient& mqtt, std::FILE* err)
    : m_options(options),
      m_sources(sources),
      m_port(std::move(port)),
      m_id(std::move(id)),
      m_topics(TopicsFor(m_id)),
      m_mqtt(mqtt),
      m_err(err),
      m_connectionsSeen(mqtt.Connections()) {
  m_mqtt.NotifyOnMessage([this] { Wake(); });
}

BridgeLoop::~BridgeLoop() { m_mqtt.NotifyOnMessage(nullptr); }

void BridgeLoop::Note(const std::string& text) {
  const std::string line = "quorvane-ctl: " + text + "\n";
  std::fwrite(line.data(), 1, line.size(), m_err);
  std::fflush(m_err);
}

void BridgeLoop::Stop() {
  std::lock_guard lock(m_mutex);
  m_stopped = true;
  if (m_session) m_session->Stop();
  m_stopChanged.notify_all();
}

void BridgeLoop::Wake() {
  std::lock_guard lock(m_mutex);
  m_woken = true;
  if (m_session) m_session->Wake();
  m_stopChanged.notify_all();
}

bool BridgeLoop::Stopping() const {
  std::lock_guard lock(m_mutex);
  return m_stopped;
}

bool BridgeLoop::WaitStopped(Clock::time_point deadline) {
  std::unique_lock lock(m_mutex);
  m_stopChanged.wait_until(lock, deadline, [this] { return m_stopped || m_woken; });
  m_woken = false;
  return m_stopped;
}

// kExitOk when open and synced. At start a failure ends the bridge with the
// port's status; later (first false) it is only said, once, and tried again.
int BridgeLoop::OpenBoard(bool first) {
  auto link = std::make_unique<CSerialLink>(m_port.deviceDirectory);
  auto session = std::make_unique<BoardSession>(*link, m_port);
  const auto fail = [&](const std::string& why, int status) {
    // While unplugged the port is simply missing: not worth a line a second.
    if (first)
      Note(why);
    else if (why != m_reopenProblem && status != kExitNoSuchPort)
      Note(why + " Trying again.");
    m_reopenProblem = why;
    return status;
  };
  if (!session->Open(m_port.number)) {
    const std::string why = link->LastOpenError().empty()
                                ? "could not start reading " + m_port.name + "."
                                : link->LastOpenError();
    return fail(InTermsOf(m_port, why), OpenFailureStatus(link->LastOpenFailure()));
  }
  {
    std::lock_guard lock(m_mutex);
    if (m_stopped) session->Stop();
    m_link = std::move(link);
    m_session = std::move(session);
  }
  const WaitResult synced = m_session->Sync();
  if (synced == WaitResult::kDone) {
    m_reopenProblem.clear();
    m_resyncFailed = false;
    m_saidSilent = false;
    m_lastAnswer = Clock::now();
    ReadLimits();
    return kExitOk;
  }
  CloseBoard();
  if (synced == WaitResult::kStopped) return kExitInterrupted;
  if (synced == WaitResult::kPortLost)
    return fail(m_port.name + " has gone (unplugged or hung up).", kExitFailure);
  return fail("the board on " + m_port.name + " is silent: no full reply (RPL_ALL) within " +
                  std::to_string(kSyncLimit.count() / 1000) + " s.",
              kExitBoardSilent);
}

void BridgeLoop::CloseBoard() {
  std::unique_ptr<BoardSession> session;
  std::unique_ptr<CSerialLink> link;
  {
    std::lock_guard lock(m_mutex);
    session = std::move(m_session);
    link = std::move(m_link);
  }
  // Closed outside the mutex: closing joins the link's monitor thread.
  session.reset();
}

void BridgeLoop::LosePort() {
  EndRamp(m_port.name + " has gone");
  CloseBoard();
  // Nothing is watched without a board; its alarms start anew when it is back.
  TakeAlarmChanges(m_alarms.Reset());
  m_rampDownDue = false;
  m_portLost = true;
  m_reopenAt = Clock::now() + kReopenPeriod;
  PublishRetained(m_topics.availability, "port-lost", m_options.bridge.availabilityQos);
  Note(m_port.name + " has gone (unplugged or hung up); waiting for it to come back.");
}

void BridgeLoop::PublishRetained(const std::string& topic, const std::string& payload, int qos) {
  Retained& r = m_retained[topic];
  if (r.payload == payload && r.published) return;
  r = {payload, qos, m_mqtt.Publish(topic, payload, qos, true)};
}

// After a reconnect the broker may hold our will, or nothing at all (a
// restart without persistence): everything retained is said again.
void BridgeLoop::RefreshBroker() {
  SendAnswers();
  if (const std::uint64_t connections = m_mqtt.Connections(); connections != m_connectionsSeen) {
    m_connectionsSeen = connections;
    for (auto& [topic, r] : m_retained) r.published = false;
  }
  if (m_session) {
    PublishRetained(
        m_topics.state,
        JsonText(BridgeStateJson(m_port.name, m_session->Device(), m_dropped, m_answersLost)),
        m_options.bridge.stateQos);
  }
  for (auto& [topic, r] : m_retained)
    if (!r.published) r.published = m_mqtt.Publish(topic, r.payload, r.qos, true);
}

void BridgeLoop::PublishReading() {
  const WallTime now = std::chrono::system_clock::now();
  const std::string reading = JsonText(ReadingJson(now, m_session->Device()));
  // A broker that is away or behind costs readings, never the poll.
  if (!m_mqtt.Publish(m_topics.readings, reading, m_options.bridge.readingsQos, false)) ++m_dropped;
}

// Between two status queries: settings as they come (a message wakes the
// pause), a reading after every few, and the broker kept up to date.
WaitResult BridgeLoop::Pause(Clock::time_point& next) {
  for (;;) {
    HandleCommands();
    // Said and published already; the session has gone with the port.
    if (m_portLost) return WaitResult::kPortLost;
    RunLab();
    if (m_portLost) return WaitResult::kPortLost;
    RefreshBroker();
    if (!m_queuedSets.empty() && !Stopping()) {
      next = Clock::now();  // a reading now, then the next few
      return WaitResult::kDone;
    }
    // A ramp steps at the panel's pace whatever the interval: the poll
    // comes sooner, as a step waits for a status reply after the last.
    if (m_ramp.Running()) next = std::min(next, m_nextRampStep);
    const WaitResult result = m_session->PauseUntilWoken(next);
    if (result != WaitResult::kDone || Clock::now() >= next) return result;
  }
}

PollStep BridgeLoop::OnStatus(bool missing) {
  PublishReading();
  m_lastAnswer = Clock::now();
  const DeviceState d = m_session->Device();
  WatchReply(StatusReply{static_cast<std::uint16_t>(d.currentRead),
                         static_cast<std::uint16_t>(d.seedTemp),
                         static_cast<std::uint16_t>(d.pumpTemp)});
  m_rampStepDue = true;
  return missing ? Resync() : PollStep::kAnswering;
}

void BridgeLoop::OnMissed(int missed) {
  if (missed == kMissesBeforeSilent && !m_saidSilent &&
      Clock::now() - m_lastAnswer >= kSilentAfter) {
    m_saidSilent = true;
    PublishRetained(m_topics.availability, "silent", m_options.bridge.availabilityQos);
    Note("the board on " + m_port.name + " is silent: " + std::to_string(missed) +
         " status queries unanswered; still asking.");
    EndRamp("the board stopped answering");
  }
  TakeAlarmChanges(m_alarms.OnTime(Clock::now(), std::chrono::system_clock::now()));
}

// A board that missed replies may have been reset or changed meanwhile (a
// reboot, a setting applied but not answered): its set-points, maximum and
// soft-active state are asked for again before it counts as answering, so
// the state topic and the range checks hold what it holds now.
PollStep BridgeLoop::Resync() {
  switch (m_session->Sync()) {
    case WaitResult::kDone:
      break;
    case WaitResult::kTimedOut:
      // Still missing: asked again after its next status reply.
      if (!m_resyncFailed)
        Note("the board on " + m_port.name + " answers a status query but sends no full reply " +
             "(RPL_ALL); still asking.");
      m_resyncFailed = true;
      return PollStep::kNotBackYet;
    case WaitResult::kStopped:
      return PollStep::kStopped;
    case WaitResult::kPortLost:
      return PollStep::kPortLost;
  }
  Note(m_saidSilent
           ? "the board on " + m_port.name + " answers again; synced, publishing its state again."
           : "the board answers again; synced.");
  m_resyncFailed = false;
  m_saidSilent = false;
  PublishRetained(m_topics.availability, "online", m_options.bridge.availabilityQos);
  // A ramp-down the silence cut short is taken up again.
  if (m_alarms.WantsRampDown()) m_rampDownDue = true;
  return PollStep::kAnswering;
}

int BridgeLoop::Run() {
  if (const int status = OpenBoard(true); status != kExitOk) return status;
  PublishRetained(m_topics.availability, "online", m_options.bridge.availabilityQos);
  if (m_options.bridge.discovery) {
    // Best effort: a broker whose ACL keeps the bridge to its own records
    // refuses these, and has none there to clear.
    for (const std::string& topic : FormerDiscoveryTopics(m_id))
      m_mqtt.Publish(topic, "", m_options.bridge.stateQos, true);
    for (const auto& [topic, config] : DiscoveryConfigs(m_id, m_options.interval))
      PublishRetained(topic, config, m_options.bridge.stateQos);
  }
  RefreshBroker();

  // Misses counted as far as the silent note needs them.
  const StatusPoll poll({m_options.interval, std::nullopt, kMissesBeforeSilent});
  for (bool stopped = false; !stopped;) {
    if (m_portLost) {
      // A message ends the wait so it is answered at once, not the reopen's period.
      if (WaitStopped(m_reopenAt)) break;
      if (Clock::now() >= m_reopenAt) {
        m_reopenAt = Clock::now() + kReopenPeriod;
        if (OpenBoard(false) == kExitOk) {
          m_portLost = false;
          PublishRetained(m_topics.availability, "online", m_options.bridge.availabilityQos);
          Note(m_port.name + " is back; publishing again.");
        }
      }
      HandleCommands();
      RefreshBroker();
      continue;
    }
    SessionStatusBoard board(*m_session);
    switch (poll.Run(board, *this)) {
      case PollEnd::kPortLost:
        // A setting that found the port gone has said so and published it.
        if (!m_portLost) LosePort();
        break;
      case PollEnd::kStopped:
      case PollEnd::kEnded:   // not reached: the bridge asks on
      case PollEnd::kGaveUp:  // not reached: the bridge asks on
        stopped = true;
        break;
    }
  }
  EndRamp("the bridge was stopped");
  CloseBoard();
  for (const SetRequest& request : m_queuedSets)
    Refuse(request, "the bridge was stopped first; nothing sent");
  m_queuedSets.clear();
  // Queued ahead of the last "offline", which the end waits for.
  SendAnswers();
  return kExitOk;
}

}  // namespace quorvane::ctl
