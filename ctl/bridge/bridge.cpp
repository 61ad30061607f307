// The bridge's start: everything the operator can get wrong (the URL, the
// password file, the port, the broker's welcome) is found and said before
// the loop begins, each with an exit status of its own.
#include "ctl/bridge/bridge.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include "ctl/bridge/bridge_loop.h"
#include "ctl/bridge/lab_messages.h"
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
// What the broker holds retained for our id comes back at once; this bounds
// the wait for a broker that does not echo our probe.
constexpr milliseconds kOwnerReadLimit{3000};
// A password is one line; anything longer is the wrong file.
constexpr std::size_t kLongestPassword = 4096;

// This machine's name as a topic level may hold it: two machines with a
// board on ttyUSB0 must not share topics (nor, through it, a client id).
std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "localhost";
  std::string host = name;
  for (char& c : host)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.' && c != '_') c = '_';
  return host;
}

void Fail(std::FILE* err, const std::string& text) {
  const std::string line = "quorvane-ctl: " + text + "\n";
  std::fwrite(line.data(), 1, line.size(), err);
  std::fflush(err);
}

// The URL as it may be shown: a password in it (refused, but typed all the
// same) is not echoed into a terminal or a journal.
std::string MaskedUrl(const std::string& url) {
  const std::size_t scheme = url.find("://");
  const std::size_t start = scheme == std::string::npos ? 0 : scheme + 3;
  const std::size_t at = url.find('@', start);
  if (at == std::string::npos) return url;
  const std::size_t colon = url.find(':', start);
  if (colon == std::string::npos || colon > at) return url;
  return url.substr(0, colon + 1) + "***" + url.substr(at);
}

// Liveness is the retained availability: a live bridge holds it at online,
// silent or port-lost, and its will turns it to offline when it dies. The
// owner record (host, pid, client id) says whose it is, so a value left
// behind by a bridge of this machine that is gone (the broker lost the will)
// can be told from a live one; another machine's cannot be checked from
// here, and is left to the operator. Empty when the id may be taken.
// Whether pid is a quorvane-ctl of this machine. Not merely a live pid: after
// a power cut the broker holds the old "online" until the keep-alive runs
// out, and by then the record's pid may well be another program's. A bridge
// of another user, hidden from us, counts as gone; its port would be busy.
bool IsBridgeProcess(long long pid) {
  if (pid <= 0 || pid == ::getpid()) return false;
  std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  return std::getline(comm, name) && name == "quorvane-ctl";
}

std::string OwnerProblem(const std::string& id, const std::map<std::string, std::string>& retained,
                         const std::string& availabilityTopic, const std::string& ownerTopic) {
  const auto availability = retained.find(availabilityTopic);
  if (availability == retained.end() || availability->second == "offline") return {};
  const auto record = retained.find(ownerTopic);
  const nlohmann::json owner = record == retained.end()
                                   ? nlohmann::json()
                                   : nlohmann::json::parse(record->second, nullptr, false);
  std::string who = "another bridge";
  if (owner.is_object() && owner.value("host", nlohmann::json()).is_string() &&
      owner.value("pid", nlohmann::json()).is_number_integer()) {
    const std::string host = owner["host"].get<std::string>();
    const long long pid = owner["pid"].get<long long>();
    if (host == HostName() && !IsBridgeProcess(pid)) return {};
    who = "another bridge (host " + nlohmann::json(host).dump() + ", pid " + std::to_string(pid);
    if (owner.value("client_id", nlohmann::json()).is_string())
      who += ", client id " + owner["client_id"].dump();
    who += ")";
  }
  return who + " already publishes as '" + id + "' (" + availabilityTopic + " is " +
         nlohmann::json(availability->second).dump() +
         "); give this one another --id. If no bridge runs with that id, clear the value: "
         "mosquitto_pub -r -n -t " +
         availabilityTopic;
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

int RunBridge(const CtlOptions& o, const LimitsSources& sources, StopSignal& stop, std::FILE* err) {
  const BridgeOptions& b = o.bridge;
  std::string problem;
  const std::optional<BrokerAddress> address = ParseBrokerUrl(b.brokerUrl, &problem);
  if (!address) {
    Fail(err, "bad broker URL '" + MaskedUrl(b.brokerUrl) + "': " + problem + ".");
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
      b.id.empty() ? HostName() + "-" + std::filesystem::path(port->name).filename().string()
                   : b.id;
  if (const std::string why = BridgeIdProblem(id); !why.empty()) {
    Fail(err, "the default id '" + id + "' cannot name the board's topics (" + why +
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
  config.subscriptionNeeded = b.allowSet;
  // kExitOk when connected; a stop while the broker is awaited ends the
  // wait, not after it. The caller ends the listening.
  const auto connect = [&](MqttClient& client) {
    stop.Listen([&client] { client.CancelConnect(); });
    switch (client.Connect(kConnectLimit, &problem)) {
      case ConnectResult::kConnected:
        return kExitOk;
      case ConnectResult::kStopped:
        return kExitInterrupted;
      case ConnectResult::kAuthRefused:
        Fail(err, problem + ".");
        return kExitBrokerAuth;
      case ConnectResult::kTlsFailed:
        Fail(err, problem + ".");
        return kExitBrokerTls;
      case ConnectResult::kUnreachable:
        Fail(err, problem + ".");
        return kExitBrokerUnreachable;
    }
    return kExitFailure;
  };
  // A stop at start is the same clean end as later.
  const auto stopped = [](int status) { return status == kExitInterrupted ? kExitOk : status; };

  // Who holds the id is read on a connection of its own, before ours: our
  // client id would take the session of a bridge that has it (and have the
  // broker send that one's will).
  const std::string ownerTopic = "quorvane/" + id + "/owner";
  // An earlier run's alarm and its dashboard record, read with the rest: left
  // standing without a lab's file now, they would show an alarm forever.
  const std::string alarmRecord = AlarmDiscoveryConfig(id).first;
  std::map<std::string, std::string> retained;
  {
    MqttConfig checkConfig = config;
    checkConfig.clientId = config.clientId + "-check-" + std::to_string(::getpid());
    checkConfig.willTopic.clear();
    checkConfig.subscription.clear();
    MqttClient check(checkConfig);
    const int status = connect(check);
    if (status == kExitOk)
      retained = check.ReadRetained({topics.availability, ownerTopic, topics.alarm, alarmRecord},
                                    ownerTopic + "/probe", kOwnerReadLimit);
    stop.Listen(nullptr);
    if (status != kExitOk) return stopped(status);
    const std::string owned = OwnerProblem(id, retained, topics.availability, ownerTopic);
    if (!owned.empty()) {
      Fail(err, owned + ".");
      return kExitIdTaken;
    }
  }
  MqttClient mqtt(config);
  if (const int status = connect(mqtt); status != kExitOk) {
    stop.Listen(nullptr);
    return stopped(status);
  }
  mqtt.Claim(
      ownerTopic,
      nlohmann::json{{"host", HostName()}, {"pid", ::getpid()}, {"client_id", config.clientId}}
          .dump(),
      b.stateQos);

  BridgeLoop loop(o, sources, std::move(*port), id, mqtt, err);
  for (const std::string& topic : {topics.alarm, alarmRecord})
    if (const auto held = retained.find(topic); held != retained.end())
      loop.HeldByBroker(topic, held->second);
  mqtt.OnSessionTakenOver([&loop] { loop.Stop(); });
  if (mqtt.SessionTakenOver()) loop.Stop();  // before the listener was there
  stop.Listen([&loop] { loop.Stop(); });
  const int status = loop.Run();
  stop.Listen(nullptr);
  mqtt.OnSessionTakenOver(nullptr);
  // Another client has our session: whatever we said now would be taken
  // for the other's.
  if (mqtt.SessionTakenOver()) return kExitIdTaken;
  mqtt.PublishLast(topics.availability, "offline", b.availabilityQos, kLastMessageLimit);
  // Stopped while the board was still being synced: the same clean end.
  return stopped(status);
}

}  // namespace quorvane::ctl
