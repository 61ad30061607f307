// The bridge's start: everything the operator can get wrong (the URL, the
// password file, the port, the broker's welcome) is found and said before
// the loop begins, each with an exit status of its own.
#include "ctl/bridge/bridge.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>

#include "ctl/bridge/bridge_loop.h"
#include "ctl/bridge/mqtt_client.h"
#include "ctl/exit_status.h"
#include "ctl/port_choice.h"
#include "serial/posix/error_text.h"

namespace quorvane::ctl {
namespace {

// The broker's first answer; a broker that takes longer is as good as absent.
constexpr milliseconds kConnectLimit{10000};
// The clean end's "offline" is worth this wait; the will covers the rest.
constexpr milliseconds kLastMessageLimit{2000};
// A password is one line; anything longer is the wrong file.
constexpr std::size_t kLongestPassword = 4096;

void Fail(std::FILE* err, const std::string& text) {
  const std::string line = "quorvane-ctl: " + text + "\n";
  std::fwrite(line.data(), 1, line.size(), err);
  std::fflush(err);
}

}  // namespace

std::string ReadPasswordFile(const std::string& path, std::string* password) {
  // Links are followed (secrets are often mounted as one); the mode checked
  // is the target's. O_NONBLOCK: a FIFO must be refused below, not waited on
  // for a writer.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return "cannot open the password file " + path + ": " + SystemErrorText(errno);
  struct stat info {};
  std::string problem;
  if (::fstat(fd, &info) != 0) {
    problem = "cannot read the password file " + path + ": " + SystemErrorText(errno);
  } else if (!S_ISREG(info.st_mode)) {
    problem = "the password file " + path + " is not a regular file";
  } else if ((info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
    problem = "the password file " + path + " is open to group or others (mode " + mode +
              "); chmod 600 it";
  } else {
    std::string text(kLongestPassword + 1, '\0');
    ssize_t got = 0;
    do {
      got = ::read(fd, text.data(), text.size());
    } while (got < 0 && errno == EINTR);
    if (got < 0) {
      problem = "cannot read the password file " + path + ": " + SystemErrorText(errno);
    } else {
      text.resize(static_cast<std::size_t>(got));
      text = text.substr(0, text.find('\n'));
      if (!text.empty() && text.back() == '\r') text.pop_back();
      if (text.empty())
        problem = "the password file " + path + " holds no password";
      else if (text.size() > kLongestPassword)
        problem = "the password file " + path + " is too long";
      else
        *password = text;
    }
  }
  ::close(fd);
  return problem;
}

int RunBridge(const CtlOptions& o, StopSignal& stop, std::FILE* err) {
  const BridgeOptions& b = o.bridge;
  std::string problem;
  const std::optional<BrokerAddress> address = ParseBrokerUrl(b.brokerUrl, &problem);
  if (!address) {
    Fail(err, "bad broker URL '" + b.brokerUrl + "': " + problem + ".");
    return kExitBrokerUrl;
  }
  std::string password;
  if (!b.passwordFile.empty()) {
    if (const std::string why = ReadPasswordFile(b.passwordFile, &password); !why.empty()) {
      Fail(err, why + ".");
      return kExitBrokerAuth;
    }
  }
  std::optional<ChosenPort> port = ChoosePort(o.port, o.deviceDirectory);
  if (!port) {
    Fail(err, "no such port: '" + o.port + "' (see quorvane-ctl list).");
    return kExitNoSuchPort;
  }
  const std::string id =
      b.id.empty() ? std::filesystem::path(port->name).filename().string() : b.id;
  if (const std::string why = BridgeIdProblem(id); !why.empty()) {
    Fail(err, "the port's name '" + id + "' cannot name the board's topics (" + why +
                  "); give one with --id.");
    return kExitUsage;
  }

  const BridgeTopics topics = TopicsFor(id);
  MqttConfig config;
  config.address = *address;
  config.clientId = b.clientId.empty() ? "quorvane-" + id : b.clientId;
  config.username = b.username;
  config.password = password;
  config.tls = address->tls || b.tls || !b.caFile.empty();
  config.caFile = b.caFile;
  config.willTopic = topics.availability;
  config.willPayload = "offline";
  config.willQos = b.availabilityQos;
  config.subscription = topics.set;
  config.subscriptionQos = b.setQos;
  MqttClient mqtt(config);
  switch (mqtt.Connect(kConnectLimit, &problem)) {
    case ConnectResult::kConnected:
      break;
    case ConnectResult::kAuthRefused:
      Fail(err, problem + ".");
      return kExitBrokerAuth;
    case ConnectResult::kUnreachable:
    default:
      Fail(err, problem + ".");
      return kExitBrokerUnreachable;
  }

  BridgeLoop loop(o, std::move(*port), id, mqtt, err);
  stop.Listen([&loop] { loop.Stop(); });
  const int status = loop.Run();
  stop.Listen(nullptr);
  mqtt.PublishLast(topics.availability, "offline", b.availabilityQos, kLastMessageLimit);
  return status;
}

}  // namespace quorvane::ctl
