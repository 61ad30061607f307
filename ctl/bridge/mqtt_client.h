// The bridge's one MQTT connection, on libmosquitto: a last will, reconnects
// with back-off that never give up, publishing that never waits for the
// network, and the set messages handed over as values.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ctl/bridge/bridge_messages.h"

struct mosquitto;
struct mosquitto_message;
struct mqtt5__property;  // libmosquitto's mosquitto_property

namespace quorvane::ctl {

struct MqttConfig {
  BrokerAddress address;
  std::string clientId;
  std::string username;  // empty: anonymous
  std::string password;
  bool tls = false;
  std::string caFile;  // empty with tls: the system's certificates
  std::string willTopic;
  std::string willPayload;
  int willQos = 1;
  std::string subscription;  // subscribed at every connect
  int subscriptionQos = 1;
  bool subscriptionNeeded = false;  // a refusal of it is worth a line in the log
};

struct MqttMessage {
  std::string topic;
  std::string payload;
  bool retained = false;
};

// kAuthRefused: any refusal in the CONNACK (credentials, client id, not authorised).
// kTlsFailed: the broker's certificate not trusted, or --cafile unusable.
// kStopped: CancelConnect came first.
enum class ConnectResult { kConnected, kUnreachable, kAuthRefused, kTlsFailed, kStopped };

// Threads: a network thread of ours (started by Connect) runs libmosquitto's
// loop, reconnects with back-off, and runs the callbacks; every other public
// operation runs on the bridge's thread, but CancelConnect, which may come
// from any. The library's own loop thread gives up for good after a TLS,
// protocol or lookup error; ours tries again whatever the failure, and says
// each kind of failure once. A network thread is what lets a dead or slow
// broker never hold up the serial poll: Publish only queues, and a
// reconnect's waits happen where the poll cannot see them.
class MqttClient {
 public:
  // More unsent messages than this and Publish refuses: a broker that takes
  // them slower than they come must not make the queue grow without bound.
  static constexpr std::size_t kMaxUnsent = 100;
  // Set messages waiting for the bridge's thread; more are counted, not kept.
  // Room for a burst that comes while a setting is carried out: the bridge
  // refuses what it cannot carry out by each message's own request id.
  static constexpr std::size_t kMaxWaitingMessages = 256;
  // And no more payload bytes waiting than this, however many messages: a
  // command is a small object, a flood of large ones must not cost memory.
  static constexpr std::size_t kMaxWaitingBytes = 1 << 20;
  // Announced to the broker, which then drops anything larger instead of
  // sending it: a set command is at most 1024 bytes, and a huge message
  // would be held whole in memory before anyone could refuse it.
  static constexpr std::uint32_t kMaxPacketBytes = 4096;
  // Of a payload longer than a command may be, only this much is kept:
  // enough to be refused as too long, without copying the rest.
  static constexpr std::size_t kLongestPayloadKept = 1025;

  explicit MqttClient(MqttConfig config);
  ~MqttClient();  // disconnects and joins the network thread
  MqttClient(const MqttClient&) = delete;
  MqttClient& operator=(const MqttClient&) = delete;

  // The first connection, waited for up to limit; on anything but
  // kConnected, *why is one sentence for the operator. Once connected, later
  // losses are reconnected with back-off by the network thread.
  ConnectResult Connect(std::chrono::milliseconds limit, std::string* why);
  // Ends a waiting Connect at once, with kStopped, and a ReadRetained with
  // what it has. Any thread.
  void CancelConnect();

  // The values the broker holds retained on topics now (topics without one
  // are left out), read by subscribing for a moment. probe: a topic of ours
  // whose echo marks the end of what the broker had to send; limit bounds
  // the wait when it does not come back.
  std::map<std::string, std::string> ReadRetained(const std::vector<std::string>& topics,
                                                  const std::string& probe,
                                                  std::chrono::milliseconds limit);
  // A retained message published now and again at every new connection.
  void Claim(const std::string& topic, const std::string& payload, int qos);

  // Whom to tell (on the network thread) when the broker handed our session
  // to another client with our client id; the client then stays disconnected.
  void OnSessionTakenOver(std::function<void()> listener);
  bool SessionTakenOver() const;

  // Queues a message and returns at once: false when it was not queued
  // (no connection, or too much unsent), so the caller can count it lost.
  bool Publish(const std::string& topic, const std::string& payload, int qos, bool retain);

  // Connections made so far; a new one means the broker may have lost what
  // we told it (a restart without persistence, our will after a cut).
  std::uint64_t Connections() const;

  // The messages received since the last call, oldest first, and how many
  // did not fit in the waiting room.
  std::vector<MqttMessage> TakeMessages(std::size_t* overflowed);

  // notify runs on the network thread after each message is kept, so the
  // bridge's thread can stop waiting for its next poll; it must not block.
  // Cleared with nullptr, which waits for a call under way to end.
  void NotifyOnMessage(std::function<void()> notify);

  // A last message sent before a clean end (the will is for unclean ends):
  // waits up to limit for it to leave, then disconnects.
  void PublishLast(const std::string& topic, const std::string& payload, int qos,
                   std::chrono::milliseconds limit);

 private:
  struct SubAck {
    int mid = 0;
    std::vector<int> granted;  // a QoS, or a reason code from 0x80 on
  };

  static void OnConnect(mosquitto*, void* self, int rc);
  static void OnDisconnect(mosquitto*, void* self, int rc, const mqtt5__property*);
  static void OnPublish(mosquitto*, void* self, int mid);
  static void OnSubscribe(mosquitto*, void* self, int mid, int count, const int* granted);
  static void OnMessage(mosquitto*, void* self, const mosquitto_message* message);
  static void OnLog(mosquitto*, void* self, int level, const char* text);

  void NetworkLoop();
  void StopNetwork();
  // A failed connection attempt: said once per kind (network thread).
  void NoteFailure(int rc);
  std::string FailureText(int rc);
  bool WaitQuitting(std::chrono::milliseconds period);

  struct Deleter {
    void operator()(mosquitto* handle) const;
  };

  MqttConfig m_config;
  std::unique_ptr<mosquitto, Deleter> m_handle;
  std::thread m_network;  // started by Connect, joined by StopNetwork (bridge thread)

  // Network thread only.
  bool m_up = false;  // the current connection got its CONNACK
  std::chrono::milliseconds m_retryDelay;
  std::string m_lastFailure;  // the last failure said
  int m_subscriptionMid = -1;

  // m_mutex guards everything below; m_changed is signalled on a CONNACK and
  // on each message that has left.
  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  bool m_connected = false;
  int m_lastConnack = -1;  // -1 until the broker answered a CONNECT
  std::uint64_t m_connections = 0;
  std::size_t m_unsent = 0;
  static constexpr std::size_t kSentMidsKept = 64;
  std::deque<int> m_sentMids;  // the latest messages that have left
  std::deque<MqttMessage> m_messages;
  std::size_t m_overflowed = 0;
  std::size_t m_waitingBytes = 0;  // payload bytes in m_messages

  // m_notifyMutex guards m_notify and is held while it runs.
  std::mutex m_notifyMutex;
  std::function<void()> m_notify;
  bool m_quit = false;
  bool m_cancelled = false;
  bool m_takenOver = false;
  std::function<void()> m_takenOverListener;
  bool m_everConnected = false;
  int m_firstFailure = 0;              // a MOSQ_ERR_* that ended the first attempt
  std::string m_firstFailureText;      // and what to say of it
  std::string m_tlsProblem;            // from the library's log, since the last attempt
  std::deque<SubAck> m_subAcks;        // the latest, for ReadRetained
  std::vector<std::string> m_reading;  // ReadRetained's topics, the probe last
  std::map<std::string, std::string> m_retainedSeen;
  bool m_probeBack = false;
  std::string m_claimTopic, m_claimPayload;
  int m_claimQos = 1;
};

}  // namespace quorvane::ctl
