// The MQTT connection on libmosquitto. Callbacks run on the library's network
// thread and only record values under the mutex; the bridge's thread reads
// them when it is ready.
#include "ctl/bridge/mqtt_client.h"

#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <mutex>

#include "serial/posix/error_text.h"

namespace quorvane::ctl {
namespace {

// Long enough that an idle bridge costs the broker nothing, short enough that
// a cut network is noticed (and the will published) within a minute.
constexpr int kKeepAliveSeconds = 20;
// Back-off between reconnects: 1 s doubling up to 30 s.
constexpr unsigned kFirstRetrySeconds = 1;
constexpr unsigned kLastRetrySeconds = 30;

void InitLibraryOnce() {
  static std::once_flag once;
  std::call_once(once, [] { mosquitto_lib_init(); });
}

std::string ErrorText(int rc) {
  return rc == MOSQ_ERR_ERRNO ? SystemErrorText(errno) : mosquitto_strerror(rc);
}

// The library's sentence, without its full stop: ours follow it. MQTT 5
// reason codes are 128 and up; below are the older protocol's.
std::string ConnackText(int connack) {
  std::string text =
      connack >= 128 ? mosquitto_reason_string(connack) : mosquitto_connack_string(connack);
  if (!text.empty() && text.back() == '.') text.pop_back();
  return text;
}

}  // namespace

void MqttClient::Deleter::operator()(mosquitto* handle) const { mosquitto_destroy(handle); }

MqttClient::MqttClient(MqttConfig config) : m_config(std::move(config)) {
  InitLibraryOnce();
  // A clean session: a restarted bridge must not be handed commands queued
  // for its previous life.
  m_handle.reset(mosquitto_new(m_config.clientId.c_str(), true, this));
  if (!m_handle) throw std::bad_alloc();
  mosquitto* h = m_handle.get();
  mosquitto_connect_callback_set(h, &MqttClient::OnConnect);
  mosquitto_disconnect_callback_set(h, &MqttClient::OnDisconnect);
  mosquitto_publish_callback_set(h, &MqttClient::OnPublish);
  mosquitto_message_callback_set(h, &MqttClient::OnMessage);
  mosquitto_reconnect_delay_set(h, kFirstRetrySeconds, kLastRetrySeconds, true);
  // MQTT 5, for its subscription option that keeps a message's retain flag
  // when the broker hands it over live: a command published retained while
  // the bridge listens would otherwise look like a fresh one, be carried
  // out, and still be replayed at every later start.
  mosquitto_int_option(h, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
  // Readings are small and the latency to a dashboard is what matters.
  mosquitto_int_option(h, MOSQ_OPT_TCP_NODELAY, 1);
}

MqttClient::~MqttClient() {
  if (m_looping) {
    mosquitto_disconnect(m_handle.get());
    mosquitto_loop_stop(m_handle.get(), false);
  }
}

ConnectResult MqttClient::Connect(std::chrono::milliseconds limit, std::string* why) {
  mosquitto* h = m_handle.get();
  const std::string where =
      "the broker at " + m_config.address.host + ":" + std::to_string(m_config.address.port);
  int rc = mosquitto_will_set(h, m_config.willTopic.c_str(),
                              static_cast<int>(m_config.willPayload.size()),
                              m_config.willPayload.data(), m_config.willQos, true);
  if (rc == MOSQ_ERR_SUCCESS && !m_config.username.empty()) {
    rc = mosquitto_username_pw_set(h, m_config.username.c_str(),
                                   m_config.password.empty() ? nullptr : m_config.password.c_str());
  }
  if (rc == MOSQ_ERR_SUCCESS && m_config.tls) {
    if (m_config.caFile.empty()) {
      mosquitto_int_option(h, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
      rc = mosquitto_tls_set(h, nullptr, "/etc/ssl/certs", nullptr, nullptr, nullptr);
    } else {
      rc = mosquitto_tls_set(h, m_config.caFile.c_str(), nullptr, nullptr, nullptr, nullptr);
    }
  }
  if (rc != MOSQ_ERR_SUCCESS) {
    *why = "cannot set up the connection to " + where + ": " + ErrorText(rc);
    return ConnectResult::kUnreachable;
  }
  rc =
      mosquitto_connect(h, m_config.address.host.c_str(), m_config.address.port, kKeepAliveSeconds);
  if (rc != MOSQ_ERR_SUCCESS) {
    *why = "cannot reach " + where + ": " + ErrorText(rc);
    return ConnectResult::kUnreachable;
  }
  rc = mosquitto_loop_start(h);
  if (rc != MOSQ_ERR_SUCCESS) {
    *why = "cannot start talking to " + where + ": " + ErrorText(rc);
    return ConnectResult::kUnreachable;
  }
  m_looping = true;
  int connack = -1;
  {
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, limit, [this] { return m_lastConnack >= 0; });
    connack = m_lastConnack;
  }
  if (connack == 0) return ConnectResult::kConnected;
  // No retries after a refusal at start: the operator must hear of it now.
  mosquitto_disconnect(h);
  mosquitto_loop_stop(h, false);
  m_looping = false;
  if (connack < 0) {
    *why = where + " did not answer within " + std::to_string(limit.count() / 1000) + " s";
    return ConnectResult::kUnreachable;
  }
  *why = where + " refused the connection: " + ConnackText(connack);
  if (connack == MQTT_RC_BAD_USERNAME_OR_PASSWORD || connack == MQTT_RC_NOT_AUTHORIZED)
    *why += " (check --username and --password-file)";
  return ConnectResult::kAuthRefused;
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
                             std::chrono::milliseconds limit) {
  if (!m_looping) return;
  int mid = 0;
  if (mosquitto_publish(m_handle.get(), &mid, topic.c_str(), static_cast<int>(payload.size()),
                        payload.data(), qos, true) == MOSQ_ERR_SUCCESS) {
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, limit, [&] {
      return !m_connected ||
             std::find(m_sentMids.begin(), m_sentMids.end(), mid) != m_sentMids.end();
    });
  }
  mosquitto_disconnect(m_handle.get());
}

void MqttClient::OnConnect(mosquitto* h, void* self, int rc) {
  auto* client = static_cast<MqttClient*>(self);
  bool again = false;
  {
    std::lock_guard lock(client->m_mutex);
    client->m_lastConnack = rc;
    again = client->m_connections > 0;
    if (rc == 0) {
      client->m_connected = true;
      ++client->m_connections;
      // Whatever was unsent went with the old connection.
      client->m_unsent = 0;
    }
    client->m_changed.notify_all();
  }
  if (rc != 0) {
    // At start, Connect says it, once, and the bridge ends.
    if (again)
      std::fprintf(stderr, "quorvane-ctl: the broker refused the connection: %s; trying again.\n",
                   ConnackText(rc).c_str());
    return;
  }
  if (again) std::fprintf(stderr, "quorvane-ctl: connected to the broker again.\n");
  if (!client->m_config.subscription.empty())
    mosquitto_subscribe_v5(h, nullptr, client->m_config.subscription.c_str(),
                           client->m_config.subscriptionQos, MQTT_SUB_OPT_RETAIN_AS_PUBLISHED,
                           nullptr);
}

void MqttClient::OnDisconnect(mosquitto*, void* self, int rc) {
  auto* client = static_cast<MqttClient*>(self);
  bool was = false;
  {
    std::lock_guard lock(client->m_mutex);
    was = client->m_connected;
    client->m_connected = false;
    client->m_changed.notify_all();
  }
  // rc 0 is our own disconnect.
  if (was && rc != 0)
    std::fprintf(stderr, "quorvane-ctl: lost the broker (%s); reconnecting, polling goes on.\n",
                 ErrorText(rc).c_str());
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

void MqttClient::OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
  auto* client = static_cast<MqttClient*>(self);
  {
    std::lock_guard lock(client->m_mutex);
    const char* payload = static_cast<const char*>(message->payload);
    const std::size_t size = payload ? static_cast<std::size_t>(message->payloadlen) : 0;
    if (client->m_messages.size() >= kMaxWaitingMessages ||
        client->m_waitingBytes + size > kMaxWaitingBytes) {
      ++client->m_overflowed;
    } else {
      client->m_waitingBytes += size;
      client->m_messages.push_back({message->topic, std::string(payload, size), message->retain});
    }
  }
  std::lock_guard lock(client->m_notifyMutex);
  if (client->m_notify) client->m_notify();
}

}  // namespace quorvane::ctl
