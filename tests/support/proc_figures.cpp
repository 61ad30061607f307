// Per-thread CPU time and resident memory of this process, read from /proc.
#include "tests/support/proc_figures.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace quorvane::test {

namespace fs = std::filesystem;

std::set<std::string> Threads() {
  std::set<std::string> tids;
  for (const auto& entry : fs::directory_iterator("/proc/self/task"))
    tids.insert(entry.path().filename().string());
  return tids;
}

// schedstat when the kernel keeps it, else the clock-tick counts of stat.
long long ThreadCpuNs(const std::string& tid) {
  std::ifstream schedstat("/proc/self/task/" + tid + "/schedstat");
  long long ns = 0;
  if (schedstat >> ns) return ns;
  std::ifstream stat("/proc/self/task/" + tid + "/stat");
  std::string line;
  std::getline(stat, line);
  if (line.rfind(')') == std::string::npos) return 0;  // the thread ended meanwhile
  std::istringstream fields(line.substr(line.rfind(')') + 2));
  std::string skip;
  for (int i = 3; i < 14; ++i) fields >> skip;
  long long user = 0, system = 0;
  fields >> user >> system;
  return (user + system) * 1'000'000'000LL / sysconf(_SC_CLK_TCK);
}

std::set<std::string> ThreadsSince(const std::set<std::string>& before) {
  std::set<std::string> started;
  for (const std::string& tid : Threads())
    if (!before.count(tid)) started.insert(tid);
  return started;
}

long long CpuNsExcept(const std::set<std::string>& excluded) {
  long long total = 0;
  for (const std::string& tid : Threads())
    if (!excluded.count(tid)) total += ThreadCpuNs(tid);
  return total;
}

long ResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string key;
  long value = 0;
  while (status >> key) {
    if (key == "VmRSS:") {
      status >> value;
      return value;
    }
    status.ignore(1 << 12, '\n');
  }
  return -1;
}

}  // namespace quorvane::test
