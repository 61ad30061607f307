// The bridge's settings from the broker: checked, queued, carried out at
// the board between polls, and answered on the result topic.
#include <string>

#include "ctl/bridge/bridge_loop.h"
#include "ctl/bridge/lab_messages.h"
#include "ctl/readings_output.h"
#include "ctl/setting_exchange.h"

namespace quorvane::ctl {
namespace {

// Answers kept for a broker that is away; beyond this the oldest are given
// up (and counted in the state): a broker gone for a day must not cost memory.
constexpr std::size_t kMaxWaitingAnswers = 64;
// Settings carried out between two status queries: a burst must not stop
// the readings (and the temperatures in them) for long.
constexpr std::size_t kSetsPerPoll = 4;
// Settings checked and waiting their turn; beyond this each is refused by
// its own request id, as the last would be carried out seconds late.
constexpr std::size_t kMaxQueuedSets = 32;

std::string IdText(const nlohmann::json& requestId) {
  return requestId.is_null() ? std::string() : ", request " + QuotedForLog(requestId);
}

}  // namespace

// The board may have taken a setting while the broker was away: its answer
// waits, in order, rather than leave the sender not knowing.
void BridgeLoop::Answer(const nlohmann::json& result) {
  m_waitingAnswers.push_back(JsonText(result));
  if (m_waitingAnswers.size() > kMaxWaitingAnswers) {
    m_waitingAnswers.pop_front();
    ++m_answersLost;
  }
  SendAnswers();
}

void BridgeLoop::SendAnswers() {
  while (!m_waitingAnswers.empty() && m_mqtt.Publish(m_topics.setResult, m_waitingAnswers.front(),
                                                     m_options.bridge.setQos, false))
    m_waitingAnswers.pop_front();
}

// Checks what the broker sent: the refused are answered at once, the rest
// wait their turn at the board.
void BridgeLoop::TakeCommands() {
  std::size_t overflowed = 0;
  const std::vector<MqttMessage> messages = m_mqtt.TakeMessages(&overflowed);
  if (overflowed > 0) {
    // Not even kept, so their ids are unknown: said, and answered once.
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
    const SetRequest& request = std::get<SetRequest>(parsed);
    if (m_queuedSets.size() >= kMaxQueuedSets) {
      Refuse(request, "came faster than settings can be carried out (" +
                          std::to_string(kMaxQueuedSets) + " waiting); nothing sent");
      continue;
    }
    m_queuedSets.push_back(request);
  }
}

// A few queued settings, the broker's newest messages taken between them.
// Once stopped nothing more is sent: the rest are refused at the end.
void BridgeLoop::CarryOutQueued() {
  for (std::size_t done = 0; !m_queuedSets.empty() && !Stopping(); ++done) {
    // After a lost port the rest are refused at once: there is no board.
    if (done == kSetsPerPoll && m_session) break;
    const SetRequest request = std::move(m_queuedSets.front());
    m_queuedSets.pop_front();
    CarryOut(request);
    TakeCommands();
  }
}

void BridgeLoop::HandleCommands() {
  TakeCommands();
  CarryOutQueued();
}

std::string BridgeLoop::FromBroker(const nlohmann::json& requestId) const {
  return "from the broker (" + m_topics.set + IdText(requestId) + ")";
}

void BridgeLoop::Refuse(const SetRequest& request, const std::string& why) {
  Note("refused " + request.key + " from " + m_topics.set + IdText(request.requestId) + ": " + why +
       ".");
  Answer(RefusedJson(request.requestId, request.key, why));
}

void BridgeLoop::CarryOut(const SetRequest& request) {
  const auto refuse = [&](const std::string& why) { Refuse(request, why); };
  if (!m_session) return refuse(m_port.name + " has gone; nothing sent");
  const DeviceState device = m_session->Device();
  const std::string problem = ValueProblem(request.setting, request.text, device.currentMax);
  if (!problem.empty()) return refuse("bad value: " + problem + "; nothing sent");
  const auto value =
      static_cast<std::int32_t>(PlanSetting(request.setting, request.text, device).value);
  if (const std::string why =
          LabRefusal(m_limits, request.setting, value, device.currentSetpoint, RampDownAlarm());
      !why.empty())
    return refuse(why);
  if (request.setting == Setting::kCurrent && StartRamp(request, value)) return;

  const SettingExchange exchange = ExchangeSetting(*m_session, request.setting, request.text);
  const std::string what = std::string(SettingName(request.setting)) + " " + exchange.plan.shown;
  const std::string source = FromBroker(request.requestId);
  if (exchange.Confirmed()) {
    Note("setting " + what + " " + source + ": confirmed by the board.");
    Answer(ConfirmedJson(request, *exchange.reported));
    if (request.setting == Setting::kCurrent) AfterCurrentSent(exchange);
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
  if (exchange.result == WaitResult::kPortLost) return LosePort();
  if (request.setting == Setting::kCurrent) AfterCurrentSent(exchange);
}

}  // namespace quorvane::ctl
