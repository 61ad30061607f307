// The bridge's one MQTT connection, on libmosquitto: a last will, reconnects
// with back-off, publishing that never waits for the network, and the set
// messages handed over as values.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "ctl/bridge/bridge_messages.h"

struct mosquitto;
struct mosquitto_message;

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
};

struct MqttMessage {
  std::string topic;
  std::string payload;
  bool retained = false;
};

// kAuthRefused: any refusal in the CONNACK (credentials, client id, not authorised).
enum class ConnectResult { kConnected, kUnreachable, kAuthRefused };

// Threads: libmosquitto's own network thread (mosquitto_loop_start) reads,
// writes, keeps alive and reconnects, and runs the callbacks; every public
// operation runs on the bridge's thread. A network thread of its own is what
// lets a dead or slow broker never hold up the serial poll: Publish only
// queues, and a reconnect's waits happen where the poll cannot see them.
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

  explicit MqttClient(MqttConfig config);
  ~MqttClient();  // disconnects and joins the network thread
  MqttClient(const MqttClient&) = delete;
  MqttClient& operator=(const MqttClient&) = delete;

  // The first connection, waited for up to limit; on anything but
  // kConnected, *why is one sentence for the operator. Once connected, later
  // losses are reconnected with back-off by the network thread.
  ConnectResult Connect(std::chrono::milliseconds limit, std::string* why);

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
  static void OnConnect(mosquitto*, void* self, int rc);
  static void OnDisconnect(mosquitto*, void* self, int rc);
  static void OnPublish(mosquitto*, void* self, int mid);
  static void OnMessage(mosquitto*, void* self, const mosquitto_message* message);

  struct Deleter {
    void operator()(mosquitto* handle) const;
  };

  MqttConfig m_config;
  std::unique_ptr<mosquitto, Deleter> m_handle;
  bool m_looping = false;  // bridge thread only

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
};

}  // namespace quorvane::ctl
