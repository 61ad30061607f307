// Starting quorvane-ctl with pipes on both outputs and collecting them.
#include "tests/ctl/ctl_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace quorvane::ctl::test {

CtlProcess::CtlProcess(std::vector<std::string> command, int outputPipeSize) {
  int out[2], err[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return;
  if (outputPipeSize > 0) ::fcntl(out[0], F_SETPIPE_SZ, outputPipeSize);
  if (::pipe2(err, O_CLOEXEC) != 0) {
    ::close(out[0]);
    ::close(out[1]);
    return;
  }
  m_out = out[0];
  m_err = err[0];
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t defaults;
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
  std::vector<char*> argv;
  for (auto& a : command) argv.push_back(a.data());
  argv.push_back(nullptr);
  if (posix_spawnp(&m_pid, argv[0], &actions, &attributes, argv.data(), environ) != 0) m_pid = -1;
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  ::close(err[1]);
}

CtlProcess::~CtlProcess() {
  if (m_pid > 0) {
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
  }
  if (m_out >= 0) ::close(m_out);
  if (m_err >= 0) ::close(m_err);
}

bool CtlProcess::ReadSome(std::chrono::milliseconds limit, bool readOutput) {
  pollfd p[2] = {{readOutput ? m_out : -1, POLLIN, 0}, {m_err, POLLIN, 0}};
  if (::poll(p, 2, static_cast<int>(limit.count())) <= 0) return false;
  bool open = false;
  for (int i = 0; i < 2; ++i) {
    if (p[i].fd < 0 || p[i].revents == 0) {
      open = open || p[i].fd >= 0;
      continue;
    }
    char buffer[4096];
    const ssize_t got = ::read(p[i].fd, buffer, sizeof buffer);
    if (got <= 0) {
      ::close(p[i].fd);
      (i == 0 ? m_out : m_err) = -1;
      continue;
    }
    open = true;
    (i == 0 ? m_result.out : m_result.err).append(buffer, static_cast<std::size_t>(got));
  }
  return open;
}

bool CtlProcess::WaitForOutput(const std::string& needle, int count,
                               std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  const auto occurrences = [&] {
    int n = 0;
    for (auto at = m_result.out.find(needle); at != std::string::npos;
         at = m_result.out.find(needle, at + 1))
      ++n;
    return n;
  };
  while (occurrences() < count) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left <= 0ms || (m_out < 0 && m_err < 0) || !ReadSome(left)) return false;
  }
  return true;
}

// Only while it runs: once reaped (or never started) m_pid is -1, and
// kill(-1) would signal every process the test may signal.
void CtlProcess::Signal(int signal) const {
  if (m_pid > 0) ::kill(m_pid, signal);
}

void CtlProcess::CloseOutput() {
  if (m_out >= 0) ::close(m_out);
  m_out = -1;
}

Finished CtlProcess::Finish(std::chrono::milliseconds limit, bool readOutput) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (((readOutput && m_out >= 0) || m_err >= 0) &&
         std::chrono::steady_clock::now() < deadline) {
    ReadSome(std::chrono::duration_cast<std::chrono::milliseconds>(
                 deadline - std::chrono::steady_clock::now()),
             readOutput);
  }
  if (m_pid <= 0) return m_result;
  int status = 0;
  while (::waitpid(m_pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= deadline) {
      ::kill(m_pid, SIGKILL);
      ::waitpid(m_pid, nullptr, 0);
      m_pid = -1;
      return m_result;
    }
    ::usleep(10'000);
  }
  m_pid = -1;
  m_result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return m_result;
}

std::vector<std::string> CtlCommand(const std::vector<std::string>& arguments) {
  std::vector<std::string> command{QUORVANE_CTL_PATH};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return command;
}

Finished RunCtl(const std::vector<std::string>& arguments) {
  return CtlProcess(CtlCommand(arguments)).Finish();
}

}  // namespace quorvane::ctl::test
