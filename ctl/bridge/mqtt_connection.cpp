// The MQTT connection's life: the first connect, our network thread with its
// reconnects, and what the library tells of failures. Callbacks run on the
// network thread and only record values under the mutex.
#include <mosquitto.h>
#include <mqtt_protocol.h>

#include <algorithm>
#include <cerrno>
#include <mutex>

#include "ctl/bridge/mqtt_client.h"
#include "ctl/bridge/mqtt_text.h"

namespace quorvane::ctl {
namespace {

using namespace mqtt_text;
using std::chrono::milliseconds;

// Long enough that an idle bridge costs the broker nothing, short enough that
// a cut network is noticed (and the will published) within a minute.
constexpr int kKeepAliveSeconds = 20;
// Back-off between reconnects: 1 s doubling up to 30 s, from 1 s again after
// a connection that the broker accepted.
constexpr milliseconds kFirstRetry{1000};
constexpr milliseconds kLastRetry{30000};
// How long one turn of the network loop may sit waiting for the socket: what
// a stop waits at most for the thread to see it.
constexpr int kLoopWaitMs = 100;

void InitLibraryOnce() {
  static std::once_flag once;
  std::call_once(once, [] { mosquitto_lib_init(); });
}

}  // namespace

void MqttClient::Deleter::operator()(mosquitto* handle) const { mosquitto_destroy(handle); }

MqttClient::MqttClient(MqttConfig config) : m_config(std::move(config)), m_retryDelay(kFirstRetry) {
  InitLibraryOnce();
  // A clean session: a restarted bridge must not be handed commands queued
  // for its previous life.
  m_handle.reset(mosquitto_new(m_config.clientId.c_str(), true, this));
  if (!m_handle) throw std::bad_alloc();
  mosquitto* h = m_handle.get();
  // Our own thread runs the loop: Publish from the bridge's thread then
  // only queues and wakes it.
  mosquitto_threaded_set(h, true);
  mosquitto_connect_callback_set(h, &MqttClient::OnConnect);
  mosquitto_disconnect_v5_callback_set(h, &MqttClient::OnDisconnect);
  mosquitto_publish_callback_set(h, &MqttClient::OnPublish);
  mosquitto_subscribe_callback_set(h, &MqttClient::OnSubscribe);
  mosquitto_message_callback_set(h, &MqttClient::OnMessage);
  mosquitto_log_callback_set(h, &MqttClient::OnLog);
  // MQTT 5, for its subscription option that keeps a message's retain flag
  // when the broker hands it over live: a command published retained while
  // the bridge listens would otherwise look like a fresh one, be carried
  // out, and still be replayed at every later start.
  mosquitto_int_option(h, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
  // Readings are small and the latency to a dashboard is what matters.
  mosquitto_int_option(h, MOSQ_OPT_TCP_NODELAY, 1);
}

MqttClient::~MqttClient() {
  if (m_network.joinable()) mosquitto_disconnect(m_handle.get());
  StopNetwork();
}

void MqttClient::StopNetwork() {
  {
    std::lock_guard lock(m_mutex);
    m_quit = true;
    m_changed.notify_all();
  }
  if (m_network.joinable()) m_network.join();
}

bool MqttClient::WaitQuitting(milliseconds period) {
  std::unique_lock lock(m_mutex);
  return m_changed.wait_for(lock, period, [this] { return m_quit; });
}

ConnectResult MqttClient::Connect(milliseconds limit, std::string* why) {
  mosquitto* h = m_handle.get();
  const std::string where =
      "the broker at " + m_config.address.host + ":" + std::to_string(m_config.address.port);
  int rc = m_config.willTopic.empty()
               ? MOSQ_ERR_SUCCESS
               : mosquitto_will_set(h, m_config.willTopic.c_str(),
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
      if (rc != MOSQ_ERR_SUCCESS) {
        *why = "cannot use --cafile " + m_config.caFile + ": " + ErrorText(rc);
        return ConnectResult::kTlsFailed;
      }
    }
  }
  if (rc != MOSQ_ERR_SUCCESS) {
    *why = "cannot set up the connection to " + where + ": " + ErrorText(rc);
    return ConnectResult::kUnreachable;
  }
  mosquitto_property* properties = nullptr;
  rc = mosquitto_property_add_int32(&properties, MQTT_PROP_MAXIMUM_PACKET_SIZE, kMaxPacketBytes);
  if (rc == MOSQ_ERR_SUCCESS)
    rc = mosquitto_connect_bind_v5(h, m_config.address.host.c_str(), m_config.address.port,
                                   kKeepAliveSeconds, nullptr, properties);
  mosquitto_property_free_all(&properties);
  if (rc != MOSQ_ERR_SUCCESS) {
    *why = IsTlsError(rc) ? where + ": " + FailureText(rc)
                          : "cannot reach " + where + ": " + FailureText(rc);
    return IsTlsError(rc) ? ConnectResult::kTlsFailed : ConnectResult::kUnreachable;
  }
  m_network = std::thread([this] { NetworkLoop(); });
  int connack = -1;
  int failure = 0;
  bool cancelled = false;
  std::string failureText;
  {
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, limit,
                       [this] { return m_lastConnack >= 0 || m_firstFailure != 0 || m_cancelled; });
    connack = m_lastConnack;
    failure = m_firstFailure;
    failureText = m_firstFailureText;
    cancelled = m_cancelled;
  }
  if (connack == 0) return ConnectResult::kConnected;
  // No retries after a failure at start: the operator must hear of it now.
  mosquitto_disconnect(h);
  StopNetwork();
  if (cancelled) return ConnectResult::kStopped;
  if (connack > 0) {
    *why = where + " refused the connection: " + ConnackText(connack);
    if (connack == MQTT_RC_BAD_USERNAME_OR_PASSWORD || connack == MQTT_RC_NOT_AUTHORIZED)
      *why += " (check --username and --password-file)";
    return ConnectResult::kAuthRefused;
  }
  if (failure != 0) {
    if (IsTlsError(failure)) {
      *why = where + ": " + failureText;
      return ConnectResult::kTlsFailed;
    }
    *why = "cannot reach " + where + ": " + failureText;
    return ConnectResult::kUnreachable;
  }
  *why = where + " did not answer within " + std::to_string(limit.count() / 1000) + " s";
  return ConnectResult::kUnreachable;
}

void MqttClient::CancelConnect() {
  std::lock_guard lock(m_mutex);
  m_cancelled = true;
  m_changed.notify_all();
}

// The loop, and a new connection whenever it ends, until we quit: the
// library's own thread would stop for good after some failures.
void MqttClient::NetworkLoop() {
  mosquitto* h = m_handle.get();
  for (;;) {
    int rc = mosquitto_loop(h, kLoopWaitMs, 1);
    if (rc == MOSQ_ERR_SUCCESS) {
      if (WaitQuitting(milliseconds(0))) return;
      continue;
    }
    // A connection the broker had accepted: OnDisconnect said it is lost.
    if (std::exchange(m_up, false))
      m_retryDelay = kFirstRetry;
    else
      NoteFailure(rc);
    do {
      if (WaitQuitting(m_retryDelay)) return;
      m_retryDelay = std::min(m_retryDelay * 2, kLastRetry);
      rc = mosquitto_reconnect(h);
      if (rc != MOSQ_ERR_SUCCESS) NoteFailure(rc);
    } while (rc != MOSQ_ERR_SUCCESS);
  }
}

std::string MqttClient::FailureText(int rc) {
  std::lock_guard lock(m_mutex);
  std::string text;
  if (!m_tlsProblem.empty())
    text = m_tlsProblem;
  else if (rc == MOSQ_ERR_CONN_REFUSED && m_lastConnack > 0)
    text = "it refused the connection: " + ConnackText(m_lastConnack);
  else
    text = ErrorText(rc);
  m_tlsProblem.clear();
  return text;
}

void MqttClient::NoteFailure(int rc) {
  const std::string text = FailureText(rc);
  {
    std::lock_guard lock(m_mutex);
    if (!m_everConnected) {
      // Connect reports the first attempt's failure; the thread then ends.
      if (m_firstFailure == 0) {
        m_firstFailure = rc;
        m_firstFailureText = text;
      }
      m_changed.notify_all();
      return;
    }
    if (m_takenOver) return;
  }
  if (text == m_lastFailure) return;
  m_lastFailure = text;
  Say("cannot reconnect to the broker at " + m_config.address.host + ":" +
      std::to_string(m_config.address.port) + ": " + text +
      "; trying again (every 1 s to 30 s), polling goes on.");
}

void MqttClient::OnLog(mosquitto*, void* self, int level, const char* text) {
  if (level != MOSQ_LOG_ERR || !text) return;
  auto* client = static_cast<MqttClient*>(self);
  const std::string line = text;
  std::string problem;
  if (line.find("host name verification failed") != std::string::npos) {
    problem =
        "its certificate does not name " + client->m_config.address.host + " (host name mismatch)";
  } else if (line.find("Unable to load CA certificates") != std::string::npos) {
    problem = "--cafile " + client->m_config.caFile + " holds no CA certificate that can be loaded";
  } else if (line.find("certificate verify failed") != std::string::npos) {
    problem = client->m_config.caFile.empty()
                  ? "its certificate is not signed by a CA this system trusts, or has expired "
                    "(give its CA with --cafile)"
                  : "its certificate is not signed by a CA that --cafile " +
                        client->m_config.caFile + " holds, or has expired";
  } else if (line.starts_with("OpenSSL Error")) {
    problem = "TLS failed: " + line.substr(line.find(':') + 2);
  } else {
    return;
  }
  std::lock_guard lock(client->m_mutex);
  // The first sentence is the cause; OpenSSL's lines that follow repeat it.
  if (client->m_tlsProblem.empty() || client->m_tlsProblem.starts_with("TLS failed"))
    client->m_tlsProblem = problem;
}

void MqttClient::OnConnect(mosquitto* h, void* self, int rc) {
  auto* client = static_cast<MqttClient*>(self);
  bool again = false;
  std::string claimTopic, claimPayload;
  int claimQos = 1;
  {
    std::lock_guard lock(client->m_mutex);
    client->m_lastConnack = rc;
    again = client->m_connections > 0;
    if (rc == 0) {
      client->m_connected = true;
      client->m_everConnected = true;
      ++client->m_connections;
      // Whatever was unsent went with the old connection.
      client->m_unsent = 0;
      claimTopic = client->m_claimTopic;
      claimPayload = client->m_claimPayload;
      claimQos = client->m_claimQos;
    }
    client->m_changed.notify_all();
  }
  // A refusal is said by NoteFailure when the connection then ends.
  if (rc != 0) return;
  client->m_up = true;
  client->m_lastFailure.clear();
  if (again) Say("connected to the broker again.");
  if (!client->m_config.subscription.empty())
    mosquitto_subscribe_v5(h, &client->m_subscriptionMid, client->m_config.subscription.c_str(),
                           client->m_config.subscriptionQos, MQTT_SUB_OPT_RETAIN_AS_PUBLISHED,
                           nullptr);
  if (again && !claimTopic.empty())
    mosquitto_publish(h, nullptr, claimTopic.c_str(), static_cast<int>(claimPayload.size()),
                      claimPayload.data(), claimQos, true);
}

void MqttClient::OnDisconnect(mosquitto*, void* self, int rc, const mqtt5__property*) {
  auto* client = static_cast<MqttClient*>(self);
  bool was = false;
  std::function<void()> listener;
  {
    std::lock_guard lock(client->m_mutex);
    was = client->m_connected;
    client->m_connected = false;
    if (rc == MQTT_RC_SESSION_TAKEN_OVER) {
      // Taking it back would only take it from the other again, forever.
      client->m_takenOver = true;
      client->m_quit = true;
      listener = client->m_takenOverListener;
    }
    client->m_changed.notify_all();
  }
  if (rc == MQTT_RC_SESSION_TAKEN_OVER) {
    Say("the broker gave this bridge's session to another client with the client id '" +
        client->m_config.clientId +
        "' (session taken over); stopping: two bridges must not share a client id.");
    if (listener) listener();
    return;
  }
  // rc 0 is our own disconnect; codes from 128 on are the broker's reasons.
  if (was && rc != 0)
    Say("lost the broker (" + (rc >= 128 ? ConnackText(rc) : ErrorText(rc)) +
        "); reconnecting, polling goes on.");
}

}  // namespace quorvane::ctl
