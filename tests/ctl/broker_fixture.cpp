// The test broker and the watching client.
#include "tests/ctl/broker_fixture.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <mosquitto.h>

#include <fstream>
#include <thread>

extern char** environ;

namespace quorvane::ctl::test {
namespace {

bool Listening(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return ok;
}

}  // namespace

int FreePort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  ::close(fd);
  return ntohs(address.sin_port);
}

TestBroker::TestBroker(std::filesystem::path dir, std::filesystem::path passwordFile)
    : m_config(dir / "mosquitto.conf"), m_port(FreePort()) {
  std::ofstream config(m_config);
  // Run as whoever runs the test, so it can read the files made here.
  const passwd* user = ::getpwuid(::getuid());
  config << "listener " << m_port << " 127.0.0.1\n"
         << "user " << (user ? user->pw_name : "root") << "\n"
         << "persistence false\n"
         << "log_dest file " << (dir / "mosquitto.log").string() << "\n";
  if (passwordFile.empty())
    config << "allow_anonymous true\n";
  else
    config << "allow_anonymous false\npassword_file " << passwordFile.string() << "\n";
  config.close();
  Start();
}

TestBroker::~TestBroker() { Kill(); }

void TestBroker::Kill() {
  if (m_pid <= 0) return;
  ::kill(m_pid, SIGKILL);
  ::waitpid(m_pid, nullptr, 0);
  m_pid = -1;
}

bool TestBroker::Start() {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  std::string program = "/usr/sbin/mosquitto", c = "-c", path = m_config.string();
  char* argv[] = {program.data(), c.data(), path.data(), nullptr};
  if (::posix_spawn(&m_pid, argv[0], &actions, nullptr, argv, environ) != 0) m_pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  for (int i = 0; i < 200 && m_pid > 0; ++i) {
    if (Listening(m_port)) return true;
    std::this_thread::sleep_for(50ms);
  }
  Kill();
  return false;
}

TestClient::TestClient(int port, const std::string& user, const std::string& password) {
  mosquitto_lib_init();
  m_handle = mosquitto_new(nullptr, true, this);
  mosquitto_message_callback_set(m_handle, &TestClient::OnMessage);
  mosquitto_connect_callback_set(m_handle, &TestClient::OnConnect);
  mosquitto_reconnect_delay_set(m_handle, 1, 1, false);
  if (!user.empty()) mosquitto_username_pw_set(m_handle, user.c_str(), password.c_str());
  mosquitto_connect(m_handle, "127.0.0.1", port, 10);
  mosquitto_loop_start(m_handle);
  WaitFor([this](const auto&) { return m_connected; }, 5s);
}

TestClient::~TestClient() {
  mosquitto_disconnect(m_handle);
  mosquitto_loop_stop(m_handle, false);
  mosquitto_destroy(m_handle);
}

void TestClient::OnConnect(mosquitto* handle, void* self, int rc) {
  auto* client = static_cast<TestClient*>(self);
  if (rc != 0) return;
  mosquitto_subscribe(handle, nullptr, "quorvane/#", 1);
  mosquitto_subscribe(handle, nullptr, "homeassistant/#", 1);
  std::lock_guard lock(client->m_mutex);
  client->m_connected = true;
  client->m_changed.notify_all();
}

void TestClient::OnMessage(mosquitto*, void* self, const mosquitto_message* message) {
  auto* client = static_cast<TestClient*>(self);
  const char* payload = static_cast<const char*>(message->payload);
  std::lock_guard lock(client->m_mutex);
  client->m_messages.push_back(
      {message->topic, std::string(payload, payload ? message->payloadlen : 0), message->retain});
  client->m_changed.notify_all();
}

bool TestClient::Connected() const {
  std::lock_guard lock(m_mutex);
  return m_connected;
}

void TestClient::Publish(const std::string& topic, const std::string& payload, bool retain) {
  mosquitto_publish(m_handle, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                    payload.data(), 1, retain);
}

bool TestClient::WaitFor(const std::function<bool(const std::vector<ReceivedMessage>&)>& done,
                         std::chrono::milliseconds limit) {
  std::unique_lock lock(m_mutex);
  return m_changed.wait_for(lock, limit, [&] { return done(m_messages); });
}

std::vector<ReceivedMessage> TestClient::Messages() const {
  std::lock_guard lock(m_mutex);
  return m_messages;
}

std::vector<std::string> TestClient::On(const std::string& topic) const {
  std::vector<std::string> payloads;
  for (const ReceivedMessage& m : Messages())
    if (m.topic == topic) payloads.push_back(m.payload);
  return payloads;
}

bool TestClient::WaitForLatest(const std::string& topic, const std::string& payload,
                               std::chrono::milliseconds limit) {
  return WaitFor(
      [&](const std::vector<ReceivedMessage>& messages) {
        for (auto it = messages.rbegin(); it != messages.rend(); ++it)
          if (it->topic == topic) return it->payload == payload;
        return false;
      },
      limit);
}

}  // namespace quorvane::ctl::test
