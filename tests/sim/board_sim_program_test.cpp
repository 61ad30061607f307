// quorvane-board-sim as a user runs it: another program talks to it through
// its link, the log shows both frames, and Ctrl+C ends it cleanly.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "protocol/command_frames.h"

extern char** environ;

namespace quorvane::sim {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// The program with its standard output on a pipe.
class SimProcess {
 public:
  explicit SimProcess(std::vector<std::string> args) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0) return;
    m_out = fds[0];
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
    args.insert(args.begin(), QUORVANE_BOARD_SIM_PATH);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
  }
  ~SimProcess() {
    if (m_pid > 0) {
      ::kill(m_pid, SIGKILL);
      ::waitpid(m_pid, nullptr, 0);
    }
    if (m_out >= 0) ::close(m_out);
  }
  bool Started() const { return m_pid > 0; }

  // Collects output until it contains needle; false on time-out or end of output.
  bool WaitFor(const std::string& needle, std::chrono::milliseconds limit = 5000ms) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (log.find(needle) == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      pollfd p{m_out, POLLIN, 0};
      if (left <= 0ms || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) return false;
      char buffer[512];
      const ssize_t got = ::read(m_out, buffer, sizeof buffer);
      if (got <= 0) return false;
      log.append(buffer, static_cast<std::size_t>(got));
    }
    return true;
  }

  // Sends the signal and returns the exit status, or -1 when it did not end in time.
  int Stop(int signal) {
    ::kill(m_pid, signal);
    for (int i = 0; i < 500; ++i) {
      int status = 0;
      if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      ::usleep(10'000);
    }
    return -1;
  }

  std::string log;

 private:
  pid_t m_pid = -1;
  int m_out = -1;
};

TEST(BoardSimProgramTest, AnotherProgramTalksToItAndCtrlCEndsItCleanly) {
  char name[] = "/tmp/quorvane-sim-prog-XXXXXX";
  ASSERT_NE(::mkdtemp(name), nullptr);
  const fs::path link = fs::path(name) / "ttyUSB0";
  {
    SimProcess sim({"--link", link.string(), "--max", "4000"});
    ASSERT_TRUE(sim.Started());
    ASSERT_TRUE(sim.WaitFor("link " + link.string() + " -> /dev/pts/")) << sim.log;

    const int fd = ::open(link.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    const CommandFrame frame = BuildReadAll();
    ASSERT_EQ(::write(fd, frame.data(), frame.size), static_cast<ssize_t>(frame.size));
    std::uint8_t reply[19];
    std::size_t got = 0;
    while (got < sizeof reply) {
      pollfd p{fd, POLLIN, 0};
      ASSERT_EQ(::poll(&p, 1, 5000), 1);
      const ssize_t n = ::read(fd, reply + got, sizeof reply - got);
      ASSERT_GT(n, 0);
      got += static_cast<std::size_t>(n);
    }
    ::close(fd);
    EXPECT_EQ(reply[3], 0x02);

    EXPECT_TRUE(sim.WaitFor("<- 4E 53 02 02 A5  CMD_READ_ALL")) << sim.log;
    EXPECT_TRUE(sim.WaitFor("RPL_ALL prefix=12 34 setpoint=0 max=4000")) << sim.log;
    EXPECT_EQ(sim.Stop(SIGINT), 0) << sim.log;
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
  }
  fs::remove_all(name);
}

TEST(BoardSimProgramTest, BadOptionIsNamedAndNothingStarts) {
  SimProcess sim({"--corrupt", "7"});
  ASSERT_TRUE(sim.Started());
  // The message goes to standard error; standard output stays empty and the
  // program ends with status 2 on its own.
  EXPECT_FALSE(sim.WaitFor("board on", 2000ms));
  EXPECT_EQ(sim.Stop(0), 2);
}

}  // namespace
}  // namespace quorvane::sim
