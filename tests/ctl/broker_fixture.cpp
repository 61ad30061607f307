// The test broker and the watching client.
#include "tests/ctl/broker_fixture.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <mosquitto.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
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

namespace {
bool RunQuietly(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}
}  // namespace

bool MakeCa(const std::filesystem::path& dir, const std::string& ca) {
  const std::string base = (dir / ca).string();
  return RunQuietly("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=" + ca +
                    " -keyout " + base + "-ca-key.pem -out " + base + "-ca.pem");
}

bool MakeServerCertificate(const std::filesystem::path& dir, const std::string& ca,
                           const std::string& name, const std::string& host) {
  const std::string base = (dir / name).string();
  const std::string caBase = (dir / ca).string();
  const std::string san =
      host.find_first_not_of("0123456789.") == std::string::npos ? "IP:" + host : "DNS:" + host;
  std::ofstream(base + ".ext") << "subjectAltName=" << san << "\n";
  return RunQuietly("openssl req -newkey rsa:2048 -nodes -subj /CN=" + host + " -keyout " + base +
                    "-key.pem -out " + base + ".csr") &&
         RunQuietly("openssl x509 -req -days 2 -in " + base + ".csr -CA " + caBase +
                    "-ca.pem -CAkey " + caBase + "-ca-key.pem -CAcreateserial -extfile " + base +
                    ".ext -out " + base + "-cert.pem");
}

namespace {
// A listening socket on 127.0.0.1 on a port the system picks, and that port.
int ListenOnLoopback(int* port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  ::listen(fd, 8);
  socklen_t length = sizeof address;
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  *port = ntohs(address.sin_port);
  return fd;
}
}  // namespace

SilentListener::SilentListener() : m_fd(ListenOnLoopback(&m_port)) {}

SilentListener::~SilentListener() { ::close(m_fd); }

TakeoverBroker::TakeoverBroker(int takeOver)
    : m_listener(ListenOnLoopback(&m_port)), m_takeOver(takeOver) {
  m_thread = std::thread([this] { Serve(); });
}

TakeoverBroker::~TakeoverBroker() {
  m_quit = true;
  m_thread.join();
  ::close(m_listener);
}

void TakeoverBroker::Serve() {
  struct Client {
    int fd;
    int number;
    std::chrono::steady_clock::time_point acceptedAt;
  };
  std::vector<Client> clients;
  int accepted = 0;
  while (!m_quit) {
    std::vector<pollfd> fds{{m_listener, POLLIN, 0}};
    for (const Client& c : clients) fds.push_back({c.fd, POLLIN, 0});
    ::poll(fds.data(), fds.size(), 50);
    if (fds[0].revents & POLLIN) {
      const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd >= 0) clients.push_back({fd, ++accepted, {}});
    }
    // Those polled: one just accepted waits for the next turn.
    for (std::size_t i = 0; i + 1 < fds.size(); ++i) {
      Client& c = clients[i];
      if (!(fds[i + 1].revents & (POLLIN | POLLHUP))) continue;
      char buffer[4096];
      if (::read(c.fd, buffer, sizeof buffer) <= 0) {
        ::close(c.fd);
        c.fd = -1;
        continue;
      }
      // The CONNECT: accepted. Anything later is left unanswered.
      if (c.acceptedAt == std::chrono::steady_clock::time_point{} && buffer[0] == 0x10) {
        const unsigned char connack[] = {0x20, 0x03, 0x00, 0x00, 0x00};
        ::write(c.fd, connack, sizeof connack);
        c.acceptedAt = std::chrono::steady_clock::now();
      }
    }
    for (Client& c : clients) {
      if (c.fd < 0 || c.number != m_takeOver ||
          c.acceptedAt == std::chrono::steady_clock::time_point{} ||
          std::chrono::steady_clock::now() - c.acceptedAt < 1s)
        continue;
      const unsigned char takenOver[] = {0xE0, 0x02, 0x8E, 0x00};
      ::write(c.fd, takenOver, sizeof takenOver);
      ::close(c.fd);
      c.fd = -1;
    }
    std::erase_if(clients, [](const Client& c) { return c.fd < 0; });
  }
  for (const Client& c : clients) ::close(c.fd);
}

TestBroker::TestBroker(std::filesystem::path dir, std::filesystem::path passwordFile)
    : TestBroker(std::move(dir), BrokerSetup{std::move(passwordFile), {}, {}, {}, {}, {}}) {}

TestBroker::TestBroker(std::filesystem::path dir, const BrokerSetup& setup)
    : m_config(dir / "mosquitto.conf"), m_log(dir / "mosquitto.log"), m_port(FreePort()) {
  std::ofstream config(m_config);
  // Run as whoever runs the test, so it can read the files made here.
  const passwd* user = ::getpwuid(::getuid());
  config << "listener " << m_port << " 127.0.0.1\n"
         << "user " << (user ? user->pw_name : "root") << "\n"
         << "persistence false\n"
         << "log_dest file " << m_log.string() << "\n";
  if (!setup.shippedConfig.empty()) {
    std::ifstream shipped(setup.shippedConfig);
    const std::string etc = "/etc/mosquitto/";
    for (std::string line; std::getline(shipped, line);) {
      if (const std::size_t at = line.find(etc); at != std::string::npos)
        line.replace(at, etc.size(), (setup.etcFolder / "").string());
      config << line << "\n";
    }
  } else if (setup.passwordFile.empty()) {
    config << "allow_anonymous true\n";
  } else {
    config << "allow_anonymous false\npassword_file " << setup.passwordFile.string() << "\n";
  }
  if (!setup.accessFile.empty())
    config << "plugin /usr/lib/x86_64-linux-gnu/mosquitto_dynamic_security.so\n"
           << "plugin_opt_config_file " << setup.accessFile.string() << "\n";
  if (!setup.certFile.empty()) {
    m_tlsPort = FreePort();
    config << "listener " << m_tlsPort << " 127.0.0.1\n"
           << "certfile " << setup.certFile.string() << "\n"
           << "keyfile " << setup.keyFile.string() << "\n";
  }
  config.close();
  Start();
}

std::string TestBroker::Log() const {
  std::ifstream in(m_log);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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
    if (Listening(m_port) && (m_tlsPort == 0 || Listening(m_tlsPort))) return true;
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
