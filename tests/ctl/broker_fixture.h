// What the bridge's tests need of MQTT: a real broker of their own on the
// loopback address, stopped by them, and a client that watches the topics.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct mosquitto;
struct mosquitto_message;

namespace quorvane::ctl::test {

using namespace std::chrono_literals;

// What a broker may demand beyond the plain, anonymous default.
struct BrokerSetup {
  std::filesystem::path passwordFile;  // only its users may connect
  // The dynamic security plugin's JSON: its ACLs can refuse a subscription
  // (an acl_file only filters what is delivered).
  std::filesystem::path accessFile;
  // A second listener, TLS with these (PEM), on TlsPort(); the plain one stays
  // for the watching client.
  std::filesystem::path certFile;
  std::filesystem::path keyFile;
  // A configuration as shipped for a lab's broker, its lines taken as they
  // are but for /etc/mosquitto/, which becomes etcFolder; it then says who
  // may connect, not passwordFile.
  std::filesystem::path shippedConfig;
  std::filesystem::path etcFolder;
};

// mosquitto on 127.0.0.1 on a free port, with a configuration written here.
class TestBroker {
 public:
  // passwordFile: when not empty, only its users may connect.
  explicit TestBroker(std::filesystem::path dir, std::filesystem::path passwordFile = {});
  TestBroker(std::filesystem::path dir, const BrokerSetup& setup);
  ~TestBroker();  // kills it
  TestBroker(const TestBroker&) = delete;
  TestBroker& operator=(const TestBroker&) = delete;

  bool Running() const { return m_pid > 0; }
  int Port() const { return m_port; }
  std::string Url() const { return "mqtt://127.0.0.1:" + std::to_string(m_port); }
  int TlsPort() const { return m_tlsPort; }
  std::string TlsUrl() const { return "mqtts://127.0.0.1:" + std::to_string(m_tlsPort); }
  // What it has logged so far.
  std::string Log() const;
  void Kill();   // SIGKILL, as a crash would
  bool Start();  // again, on the same port; false when it does not listen within 10 s

 private:
  std::filesystem::path m_config;
  std::filesystem::path m_log;
  int m_port = 0;
  int m_tlsPort = 0;
  pid_t m_pid = -1;
};

// A port on 127.0.0.1 nobody listens on (just now).
int FreePort();

// Made with openssl: a CA (dir/<ca>-ca.pem), and a server certificate it
// signed for host (dir/<name>-cert.pem, dir/<name>-key.pem).
bool MakeCa(const std::filesystem::path& dir, const std::string& ca);
bool MakeServerCertificate(const std::filesystem::path& dir, const std::string& ca,
                           const std::string& name, const std::string& host);

// A TCP listener on 127.0.0.1 that never accepts: connections complete (the
// kernel's backlog) and then nothing answers them.
class SilentListener {
 public:
  SilentListener();
  ~SilentListener();
  SilentListener(const SilentListener&) = delete;
  SilentListener& operator=(const SilentListener&) = delete;
  int Port() const { return m_port; }

 private:
  int m_port = 0;  // before m_fd: set while m_fd is made
  int m_fd = -1;
};

struct ReceivedMessage {
  std::string topic;
  std::string payload;
  bool retained = false;
};

// A stand-in broker speaking just enough MQTT 5 to accept every client; a
// moment after it accepted the connection numbered takeOver (from 1), it
// tells that one its session was taken over (DISCONNECT 0x8E), as a broker
// does when another client connects with the same client id.
class TakeoverBroker {
 public:
  explicit TakeoverBroker(int takeOver);
  ~TakeoverBroker();
  TakeoverBroker(const TakeoverBroker&) = delete;
  TakeoverBroker& operator=(const TakeoverBroker&) = delete;
  std::string Url() const { return "mqtt://127.0.0.1:" + std::to_string(m_port); }

 private:
  void Serve();

  int m_port = 0;  // before m_listener: set while it is made
  int m_listener = -1;
  const int m_takeOver;
  std::atomic<bool> m_quit{false};  // set by the destructor, read by the serving thread
  std::thread m_thread;             // serves every connection
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
