// What the bridge's tests need of MQTT: a real broker of their own on the
// loopback address, stopped by them, and a client that watches the topics.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace quorvane::ctl::test {

using namespace std::chrono_literals;

// mosquitto on 127.0.0.1 on a free port, with a configuration written here.
class TestBroker {
 public:
  // passwordFile: when not empty, only its users may connect.
  explicit TestBroker(std::filesystem::path dir, std::filesystem::path passwordFile = {});
  ~TestBroker();  // kills it
  TestBroker(const TestBroker&) = delete;
  TestBroker& operator=(const TestBroker&) = delete;

  bool Running() const { return m_pid > 0; }
  int Port() const { return m_port; }
  std::string Url() const { return "mqtt://127.0.0.1:" + std::to_string(m_port); }
  void Kill();   // SIGKILL, as a crash would
  bool Start();  // again, on the same port; false when it does not listen within 10 s

 private:
  std::filesystem::path m_config;
  int m_port = 0;
  pid_t m_pid = -1;
};

// A port on 127.0.0.1 nobody listens on (just now).
int FreePort();

struct ReceivedMessage {
  std::string topic;
  std::string payload;
  bool retained = false;
};

// Subscribes to quorvane/# and homeassistant/# and keeps everything it gets.
// Messages arrive on libmosquitto's thread; the test reads them under a mutex.
class TestClient {
 public:
  explicit TestClient(int port, const std::string& user = {}, const std::string& password = {});
  ~TestClient();
  TestClient(const TestClient&) = delete;
  TestClient& operator=(const TestClient&) = delete;

  bool Connected() const;
  void Publish(const std::string& topic, const std::string& payload, bool retain = false);
  // Waits (at most limit) until done(messages) holds.
  bool WaitFor(const std::function<bool(const std::vector<ReceivedMessage>&)>& done,
               std::chrono::milliseconds limit = 10s);
  std::vector<ReceivedMessage> Messages() const;
  // The payloads on topic, oldest first.
  std::vector<std::string> On(const std::string& topic) const;
  // Until the latest payload on topic is payload.
  bool WaitForLatest(const std::string& topic, const std::string& payload,
                     std::chrono::milliseconds limit = 10s);

 private:
  static void OnMessage(mosquitto*, void* self, const mosquitto_message* message);
  static void OnConnect(mosquitto*, void* self, int rc);

  mosquitto* m_handle = nullptr;
  mutable std::mutex m_mutex;  // guards the two below
  std::condition_variable m_changed;
  std::vector<ReceivedMessage> m_messages;
  bool m_connected = false;
};

}  // namespace quorvane::ctl::test
