// The MQTT client's messages: publishing that only queues, the set messages
// kept for the bridge's thread, and a look at what the broker holds
// retained. Callbacks run on the network thread and only record values
// under the mutex; the bridge's thread reads them when it is ready.
#include "ctl/bridge/mqtt_client.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <mutex>

#include "ctl/bridge/mqtt_text.h"

namespace quorvane::ctl {
namespace {

using namespace mqtt_text;
using std::chrono::milliseconds;

constexpr std::size_t kSubAcksKept = 16;

}  // namespace

std::map<std::string, std::string> MqttClient::ReadRetained(const std::vector<std::string>& topics,
                                                            const std::string& probe,
                                                            milliseconds limit) {
  std::vector<std::string> all = topics;
  all.push_back(probe);
  std::vector<char*> names;
  for (std::string& topic : all) names.push_back(topic.data());
  {
    std::lock_guard lock(m_mutex);
    m_reading = all;
    m_retainedSeen.clear();
    m_probeBack = false;
  }
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int mid = 0;
  if (mosquitto_subscribe_multiple(m_handle.get(), &mid, static_cast<int>(names.size()),
                                   names.data(), 1, 0, nullptr) == MOSQ_ERR_SUCCESS) {
    std::unique_lock lock(m_mutex);
    const auto acked = [&] {
      return std::find_if(m_subAcks.begin(), m_subAcks.end(),
                          [&](const SubAck& a) { return a.mid == mid; });
    };
    m_changed.wait_until(lock, deadline,
                         [&] { return acked() != m_subAcks.end() || m_quit || m_cancelled; });
    const auto ack = acked();
    // The broker sends what it holds retained right after the SUBACK, before
    // it handles our next packet: once the probe is back, all of it is here.
    if (ack != m_subAcks.end() && ack->granted.size() == all.size() && ack->granted.back() < 0x80) {
      lock.unlock();
      mosquitto_publish(m_handle.get(), nullptr, probe.c_str(), 0, nullptr, 1, false);
      lock.lock();
      m_changed.wait_until(lock, deadline, [&] { return m_probeBack || m_quit || m_cancelled; });
    }
  }
  mosquitto_unsubscribe_multiple(m_handle.get(), nullptr, static_cast<int>(names.size()),
                                 names.data(), nullptr);
  std::lock_guard lock(m_mutex);
  m_reading.clear();
  return std::move(m_retainedSeen);
}

void MqttClient::Claim(const std::string& topic, const std::string& payload, int qos) {
  {
    std::lock_guard lock(m_mutex);
    m_claimTopic = topic;
    m_claimPayload = payload;
    m_claimQos = qos;
  }
  mosquitto_publish(m_handle.get(), nullptr, topic.c_str(), static_cast<int>(payload.size()),
                    payload.data(), qos, true);
}

void MqttClient::OnSessionTakenOver(std::function<void()> listener) {
  std::lock_guard lock(m_mutex);
  m_takenOverListener = std::move(listener);
}

bool MqttClient::SessionTakenOver() const {
  std::lock_guard lock(m_mutex);
  return m_takenOver;
}

bool MqttClient::Publish(const std::string& topic, const std::string& payload, int qos,
                         bool retain) {
  {
    std::lock_guard lock(m_mutex);
    if (!m_connected || m_unsent >= kMaxUnsent) return false;
    ++m_unsent;
  }
  const int rc = mosquitto_publish(m_handle.get(), nullptr, topic.c_str(),
                                   static_cast<int>(payload.size()), payload.data(), qos, retain);
  if (rc == MOSQ_ERR_SUCCESS) return true;
  std::lock_guard lock(m_mutex);
  if (m_unsent > 0) --m_unsent;
  return false;
}

std::uint64_t MqttClient::Connections() const {
  std::lock_guard lock(m_mutex);
  return m_connections;
}

std::vector<MqttMessage> MqttClient::TakeMessages(std::size_t* overflowed) {
  std::lock_guard lock(m_mutex);
  std::vector<MqttMessage> taken(std::make_move_iterator(m_messages.begin()),
                                 std::make_move_iterator(m_messages.end()));
  m_messages.clear();
  m_waitingBytes = 0;
  *overflowed = m_overflowed;
  m_overflowed = 0;
  return taken;
}

void MqttClient::PublishLast(const std::string& topic, const std::string& payload, int qos,
                             milliseconds limit) {
  if (!m_network.joinable()) return;
  int mid = 0;
  bool connected = false;
  {
    std::lock_guard lock(m_mutex);
    connected = m_connected;
  }
  if (connected &&
      mosquitto_publish(m_handle.get(), &mid, topic.c_str(), static_cast<int>(payload.size()),
                        payload.data(), qos, true) == MOSQ_ERR_SUCCESS) {
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, limit, [&] {
      return !m_connected ||
             std::find(m_sentMids.begin(), m_sentMids.end(), mid) != m_sentMids.end();
    });
  }
  mosquitto_disconnect(m_handle.get());
  // Let the DISCONNECT leave before the thread ends.
  StopNetwork();
}

void MqttClient::OnPublish(mosquitto*, void* self, int mid) {
  auto* client = static_cast<MqttClient*>(self);
  std::lock_guard lock(client->m_mutex);
  if (client->m_unsent > 0) --client->m_unsent;
  // Kept briefly: PublishLast may look for its mid only after it has left.
  client->m_sentMids.push_back(mid);
  if (client->m_sentMids.size() > kSentMidsKept) client->m_sentMids.pop_front();
  client->m_changed.notify_all();
}

void MqttClient::NotifyOnMessage(std::function<void()> notify) {
  std::lock_guard lock(m_notifyMutex);
  m_notify = std::move(notify);
}

void MqttClient::OnSubscribe(mosquitto*, void* self, int mid, int count, const int* granted) {
  auto* client = static_cast<MqttClient*>(self);

  if (mid == client->m_subscriptionMid && count > 0 && granted[0] >= 0x80 &&
      client->m_config.subscriptionNeeded) {
    Say("the broker refused the subscription to " + client->m_config.subscription + " (" +
        ConnackText(granted[0]) +
        "): settings from the broker will not arrive; check the broker's ACL for this user.");
  }
  std::lock_guard lock(client->m_mutex);
  client->m_subAcks.push_back({mid, std::vector<int>(granted, granted + std::max(count, 0))});
  if (client->m_subAcks.size() > kSubAcksKept) client->m_subAcks.pop_front();
  client->m_changed.notify_all();
}

void MqttClient::OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
  auto* client = static_cast<MqttClient*>(self);
  const char* payload = static_cast<const char*>(message->payload);
  // Never copied whole: a message longer than any command is kept only far
  // enough to be refused as too long.
  const std::size_t length =
      payload ? std::min(static_cast<std::size_t>(std::max(message->payloadlen, 0)),
                         kLongestPayloadKept)
              : 0;
  {
    std::lock_guard lock(client->m_mutex);
    const auto& reading = client->m_reading;
    if (std::find(reading.begin(), reading.end(), message->topic) != reading.end()) {
      if (message->topic == reading.back())
        client->m_probeBack = true;
      else if (message->retain)
        client->m_retainedSeen[message->topic] = std::string(payload ? payload : "", length);
      client->m_changed.notify_all();
      return;
    }
    if (client->m_messages.size() >= kMaxWaitingMessages ||
        client->m_waitingBytes + length > kMaxWaitingBytes) {
      ++client->m_overflowed;
    } else {
      client->m_waitingBytes += length;
      client->m_messages.push_back(
          {message->topic, std::string(payload ? payload : "", length), message->retain});
    }
  }
  std::lock_guard lock(client->m_notifyMutex);
  if (client->m_notify) client->m_notify();
}

}  // namespace quorvane::ctl
