// Scratch folders and file contents for the history tests.
#include "tests/history/history_files.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <fstream>
#include <random>
#include <sstream>

namespace quorvane::test {

ScratchFolder::ScratchFolder() {
  std::random_device random;
  m_path = std::filesystem::temp_directory_path() /
           ("quorvane-history-" + std::to_string(random()) + std::to_string(random()));
  std::filesystem::create_directories(m_path);
}

ScratchFolder::~ScratchFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(m_path, ignored);
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream content;
  content << file.rdbuf();
  return content.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

Reading SampleReading(int second) {
  Reading reading;
  reading.time = kSomeTime + std::chrono::seconds(second);
  reading.device.currentRead = 1000 + second;
  reading.device.seedTemp = 2500 + second;
  reading.device.pumpTemp = 3700 + second;
  reading.device.currentSetpoint = 1500;
  reading.device.frequencyHz = 12340;
  reading.device.pulseSteps = 20;
  reading.device.softActive = 1;
  return reading;
}

#ifndef _WIN32
int WithFileSizeLimit(std::uintmax_t limit, const std::function<int()>& body) {
  const pid_t child = ::fork();
  if (child < 0) return -1;
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const rlimit size{static_cast<rlim_t>(limit), static_cast<rlim_t>(limit)};
    // _exit: the child must not run the parent's test teardown.
    ::_exit(::setrlimit(RLIMIT_FSIZE, &size) == 0 ? body() : 100);
  }
  int status = 0;
  while (::waitpid(child, &status, 0) < 0)
    if (errno != EINTR) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

}  // namespace quorvane::test
