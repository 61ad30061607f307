// The bridge measured from outside: the virtual boards (in this process, so
// each status reply's hand-out time is known), one quorvane-ctl bridge per
// board, and a subscriber on the same broker. Prints the latency from reply
// to receipt, every reading accounted for, and each bridge's CPU and memory.
//   bench_bridge CTL BROKER_PORT BOARDS INTERVAL_MS (readings N | seconds S)
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <mosquitto.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/support/spread.h"
#include "protocol/codes.h"
#include "protocol/wire_format.h"
#include "sim/pty_board.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;
namespace fs = std::filesystem;
using quorvane::bench::Percentile;

struct BoardRecord {
  std::mutex mutex;  // guards both lists: the board's thread and the subscriber's fill them
  std::vector<Clock::time_point> replies;   // status replies handed out
  std::vector<Clock::time_point> received;  // readings the subscriber got
  long long dropped = -1;                   // from the latest state message
};

std::vector<std::unique_ptr<BoardRecord>> g_records;

void OnMessage(mosquitto*, void*, const mosquitto_message* message) {
  const Clock::time_point now = Clock::now();
  const std::string topic = message->topic;  // quorvane/ttyUSBn/readings
  const std::size_t start = topic.find("ttyUSB") + 6;
  const std::size_t board = std::stoul(topic.substr(start, topic.find('/', start) - start));
  BoardRecord& record = *g_records.at(board);
  std::lock_guard lock(record.mutex);
  if (topic.ends_with("/readings")) {
    record.received.push_back(now);
  } else if (topic.ends_with("/state")) {
    const std::string payload(static_cast<const char*>(message->payload), message->payloadlen);
    const std::size_t at = payload.find("\"dropped\":");
    if (at != std::string::npos) record.dropped = std::stoll(payload.substr(at + 10));
  }
}

// utime + stime in clock ticks, and the resident set in KiB.
std::pair<long long, long long> Usage(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), {});
  if (text.find(')') == std::string::npos) return {0, 0};  // already gone
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string field;
  long long ticks = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i)
    if (i == 14 || i == 15) ticks += std::stoll(field);
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  long long rss = 0;
  for (std::string line; std::getline(status, line);)
    if (line.starts_with("VmRSS:")) rss = std::stoll(line.substr(6));
  return {ticks, rss};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 7) {
    std::fprintf(stderr, "usage: %s CTL BROKER_PORT BOARDS INTERVAL_MS readings|seconds N\n",
                 argv[0]);
    return 2;
  }
  const std::string ctl = argv[1];
  const int brokerPort = std::stoi(argv[2]);
  const int boards = std::stoi(argv[3]);
  const std::string interval = std::string(argv[4]) + "ms";
  const bool byReadings = std::string(argv[5]) == "readings";
  const long long goal = std::stoll(argv[6]);

  char name[] = "/tmp/quorvane-bridge-bench-XXXXXX";
  const fs::path dir = ::mkdtemp(name);
  std::vector<std::unique_ptr<quorvane::sim::PtyBoard>> sims;
  for (int i = 0; i < boards; ++i) {
    g_records.push_back(std::make_unique<BoardRecord>());
    BoardRecord* record = g_records.back().get();
    quorvane::sim::PtyBoardOptions options;
    options.link = dir / ("ttyUSB" + std::to_string(i));
    options.observer = [record](const quorvane::sim::WireEvent& event) {
      if (event.kind == quorvane::sim::WireKind::kReply && event.bytes.size() > 3 &&
          event.bytes[3] == quorvane::RPL_STATUS) {
        std::lock_guard lock(record->mutex);
        record->replies.push_back(Clock::now());
      }
    };
    sims.push_back(std::make_unique<quorvane::sim::PtyBoard>(std::move(options)));
  }

  mosquitto_lib_init();
  mosquitto* sub = mosquitto_new(nullptr, true, nullptr);
  mosquitto_message_callback_set(sub, &OnMessage);
  mosquitto_int_option(sub, MOSQ_OPT_TCP_NODELAY, 1);
  if (mosquitto_connect(sub, "127.0.0.1", brokerPort, 30) != MOSQ_ERR_SUCCESS) {
    std::fprintf(stderr, "bench: no broker on 127.0.0.1:%d\n", brokerPort);
    return 1;
  }
  mosquitto_subscribe(sub, nullptr, "quorvane/+/readings", 0);
  mosquitto_subscribe(sub, nullptr, "quorvane/+/state", 0);
  mosquitto_loop_start(sub);
  std::this_thread::sleep_for(300ms);

  std::vector<pid_t> bridges;
  const std::string url = "mqtt://127.0.0.1:" + std::to_string(brokerPort);
  for (int i = 0; i < boards; ++i) {
    std::vector<std::string> args = {
        ctl,      "--dev",    dir.string(), "-p",         "ttyUSB" + std::to_string(i),
        "bridge", "--broker", url,          "--interval", interval};
    std::vector<char*> argv2;
    for (auto& a : args) argv2.push_back(a.data());
    argv2.push_back(nullptr);
    pid_t pid = -1;
    posix_spawn(&pid, argv2[0], nullptr, nullptr, argv2.data(), environ);
    bridges.push_back(pid);
  }
  // Measured from the first reading of each, after start-up.
  std::this_thread::sleep_for(2s);
  std::vector<std::pair<long long, long long>> startUsage;
  for (pid_t pid : bridges) startUsage.push_back(Usage(pid));
  const Clock::time_point start = Clock::now();
  const auto enough = [&] {
    if (!byReadings) return Clock::now() - start >= std::chrono::seconds(goal);
    for (auto& r : g_records) {
      std::lock_guard lock(r->mutex);
      if (static_cast<long long>(r->received.size()) < goal) return false;
    }
    return true;
  };
  // Bounded whatever happens: a bridge that died or a reading count never
  // reached ends the run with what was measured.
  const Clock::duration limit =
      byReadings ? std::chrono::milliseconds(std::stoll(argv[4]) * goal * 3) + 60s
                 : std::chrono::seconds(goal) + 10s;
  long long peakRss = 0;
  while (!enough()) {
    std::this_thread::sleep_for(500ms);
    for (pid_t pid : bridges) peakRss = std::max(peakRss, Usage(pid).second);
    bool ended = false;
    for (pid_t pid : bridges) ended = ended || ::waitpid(pid, nullptr, WNOHANG) == pid;
    if (ended || Clock::now() - start > limit) {
      std::fprintf(stderr, "bench: %s; stopping early\n",
                   ended ? "a bridge ended" : "the readings did not come in time");
      break;
    }
  }
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  std::vector<std::pair<long long, long long>> endUsage;
  for (pid_t pid : bridges) endUsage.push_back(Usage(pid));
  for (pid_t pid : bridges) ::kill(pid, SIGTERM);
  for (pid_t pid : bridges) ::waitpid(pid, nullptr, 0);
  std::this_thread::sleep_for(500ms);
  mosquitto_disconnect(sub);
  mosquitto_loop_stop(sub, false);
  sims.clear();

  std::vector<double> latencies;
  long long replies = 0, received = 0, lost = 0, dropped = 0;
  for (auto& r : g_records) {
    std::lock_guard lock(r->mutex);
    replies += static_cast<long long>(r->replies.size());
    received += static_cast<long long>(r->received.size());
    lost += static_cast<long long>(r->replies.size()) - static_cast<long long>(r->received.size());
    dropped += std::max(0LL, r->dropped);
    for (const Clock::time_point t : r->received) {
      auto it = std::upper_bound(r->replies.begin(), r->replies.end(), t);
      if (it == r->replies.begin()) continue;
      latencies.push_back(std::chrono::duration<double, std::milli>(t - *std::prev(it)).count());
    }
  }
  const double tick = static_cast<double>(::sysconf(_SC_CLK_TCK));
  double cpu = 0;
  for (std::size_t i = 0; i < bridges.size(); ++i)
    cpu += static_cast<double>(endUsage[i].first - startUsage[i].first) / tick;
  std::printf("boards %d, interval %s, measured %.0f s\n", boards, interval.c_str(), seconds);
  std::printf(
      "status replies %lld, readings received %lld, not received %lld, counted dropped %lld\n",
      replies, received, lost, dropped);
  std::printf("latency reply -> subscriber: p50 %.3f ms, p99 %.3f ms, max %.3f ms (%zu readings)\n",
              Percentile(latencies, 50), Percentile(latencies, 99), Percentile(latencies, 100),
              latencies.size());
  std::printf("CPU per bridge %.2f %% of one core; resident memory peak %lld KiB\n",
              100.0 * cpu / static_cast<double>(boards) / seconds, peakRss);
  fs::remove_all(dir);
  return 0;
}
