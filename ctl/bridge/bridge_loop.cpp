// The bridge's poll loop and its two sides: the board, exactly as monitor
// and set talk to it, and the broker, only ever through non-blocking calls.
#include "ctl/bridge/bridge_loop.h"

#include "controller/timing.h"
#include "ctl/exit_status.h"
#include "ctl/readings_output.h"
#include "ctl/setting_exchange.h"

namespace quorvane::ctl {
namespace {

// How often a lost port is looked for again.
constexpr milliseconds kReopenPeriod{1000};

bool IsStatus(const Reply& reply) { return std::holds_alternative<StatusReply>(reply); }

std::string IdText(const nlohmann::json& requestId) {
  return requestId.is_null() ? std::string() : ", request " + JsonText(requestId);
}

}  // namespace

BridgeLoop::BridgeLoop(const CtlOptions& options, ChosenPort port, std::string id, MqttClient& mqtt,
                       std::FILE* err)
    : m_options(options),
      m_port(std::move(port)),
      m_id(std::move(id)),
      m_topics(TopicsFor(m_id)),
      m_mqtt(mqtt),
      m_err(err),
      m_connectionsSeen(mqtt.Connections()) {}

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

bool BridgeLoop::WaitStopped(Clock::duration period) {
  std::unique_lock lock(m_mutex);
  return m_stopChanged.wait_for(lock, period, [this] { return m_stopped; });
}

// kExitOk when open and synced. At start a failure ends the bridge with the
// port's status; later (first false) it is only said, once, and tried again.
int BridgeLoop::OpenBoard(bool first) {
  auto link = std::make_unique<CSerialLink>(m_port.deviceDirectory);
  auto session = std::make_unique<BoardSession>(*link);
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
  CloseBoard();
  m_portLost = true;
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
  if (const std::uint64_t connections = m_mqtt.Connections(); connections != m_connectionsSeen) {
    m_connectionsSeen = connections;
    for (auto& [topic, r] : m_retained) r.published = false;
  }
  if (m_session) {
    PublishRetained(m_topics.state,
                    JsonText(BridgeStateJson(m_port.name, m_session->Device(), m_dropped)),
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

void BridgeLoop::Answer(const nlohmann::json& result) {
  m_mqtt.Publish(m_topics.setResult, JsonText(result), m_options.bridge.setQos, false);
}

void BridgeLoop::HandleCommands() {
  std::size_t overflowed = 0;
  const std::vector<MqttMessage> messages = m_mqtt.TakeMessages(&overflowed);
  if (overflowed > 0) {
    const std::string why = std::to_string(overflowed) +
                            " set messages came faster than they can be carried out; ignored";
    Note(why + ".");
    Answer(RefusedJson(nullptr, "", why));
  }
  for (const MqttMessage& message : messages) {
    if (message.topic != m_topics.set) continue;
    // An empty retained message is how a retained command is cleared.
    if (message.retained && message.payload.empty()) continue;
    const SetMessage parsed =
        ParseSetMessage(message.payload, message.retained, m_options.bridge.allowSet);
    if (const auto* refusal = std::get_if<SetRefusal>(&parsed)) {
      Note("refused a message on " + m_topics.set + IdText(refusal->requestId) + ": " +
           refusal->reason + ".");
      Answer(RefusedJson(refusal->requestId, "", refusal->reason));
      continue;
    }
    // After a lost port the rest are refused: there is no board to send to.
    CarryOut(std::get<SetRequest>(parsed));
  }
}

void BridgeLoop::CarryOut(const SetRequest& request) {
  const auto refuse = [&](const std::string& why) {
    Note("refused " + request.key + " from " + m_topics.set + IdText(request.requestId) + ": " +
         why + ".");
    Answer(RefusedJson(request.requestId, request.key, why));
  };
  if (!m_session) return refuse(m_port.name + " has gone; nothing sent");
  const std::string problem =
      ValueProblem(request.setting, request.text, m_session->Device().currentMax);
  if (!problem.empty()) return refuse("bad value: " + problem + "; nothing sent");

  const SettingExchange exchange = ExchangeSetting(*m_session, request.setting, request.text);
  const std::string what = std::string(SettingName(request.setting)) + " " + exchange.plan.shown;
  const std::string source = "from the broker (" + m_topics.set + IdText(request.requestId) + ")";
  if (exchange.Confirmed()) {
    Note("setting " + what + " " + source + ": confirmed by the board.");
    Answer(ConfirmedJson(request, *exchange.reported));
    return;
  }
  std::string why;
  if (exchange.result == WaitResult::kPortLost) {
    why = m_port.name + " went away before the board answered";
  } else if (exchange.result == WaitResult::kStopped) {
    why = "the bridge was stopped before the board answered";
  } else {
    why = exchange.reported ? "the board reports " + ShownValue(request.setting, *exchange.reported)
                            : "no reply to the setting";
  }
  Note("setting " + what + " " + source + ": not confirmed: " + why + ".");
  Answer(UnconfirmedJson(request, exchange.reported, why));
  if (exchange.result == WaitResult::kPortLost) LosePort();
}

int BridgeLoop::Run() {
  if (const int status = OpenBoard(true); status != kExitOk) return status;
  PublishRetained(m_topics.availability, "online", m_options.bridge.availabilityQos);
  if (m_options.bridge.discovery) {
    for (const auto& [topic, config] : DiscoveryConfigs(m_id, m_options.interval))
      PublishRetained(topic, config, m_options.bridge.stateQos);
  }
  RefreshBroker();

  bool silent = false;
  Clock::time_point tick = Clock::now();
  for (;;) {
    if (m_portLost) {
      if (WaitStopped(kReopenPeriod)) break;
      if (OpenBoard(false) == kExitOk) {
        m_portLost = false;
        PublishRetained(m_topics.availability, "online", m_options.bridge.availabilityQos);
        Note(m_port.name + " is back; publishing again.");
        tick = Clock::now();
      }
      HandleCommands();
      RefreshBroker();
      continue;
    }
    m_session->Send(BuildReadStatus());
    tick += m_options.interval;
    WaitResult result = m_session->WaitForReply(IsStatus, tick);
    if (result == WaitResult::kDone) {
      if (silent) Note("the board answers again.");
      silent = false;
      PublishReading();
    } else if (result == WaitResult::kTimedOut) {
      if (!silent) Note("no status reply; still asking.");
      silent = true;
      result = WaitResult::kDone;
    }
    if (result == WaitResult::kDone) {
      HandleCommands();
      if (m_portLost) continue;
      RefreshBroker();
      result = m_session->PauseUntil(tick);
    }
    if (result == WaitResult::kStopped) break;
    if (result == WaitResult::kPortLost) {
      LosePort();
      continue;
    }
    // Behind by a whole period or more (a setting, a stalled machine): no
    // burst of queries.
    if (tick < Clock::now()) tick = Clock::now();
  }
  CloseBoard();
  return kExitOk;
}

}  // namespace quorvane::ctl
