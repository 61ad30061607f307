// quorvane-board-sim: the virtual board on a pseudo-terminal, for trying the
// panel by hand and for watching what crosses the wire.
#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>
#include <vector>

#include "quorvane_version.h"  // generated in the build folder
#include "sim/frame_text.h"
#include "sim/pty_board.h"
#include "sim/sim_options.h"

namespace {

using namespace quorvane::sim;
using quorvane::UniqueFd;
using Clock = std::chrono::steady_clock;

const Clock::time_point g_start = Clock::now();

void Log(const std::string& text) {
  const double seconds = std::chrono::duration<double>(Clock::now() - g_start).count();
  // One call per line: stdio locks the stream, so lines from the board thread
  // and the main thread never interleave.
  std::fprintf(stdout, "%9.3f %s\n", seconds, text.c_str());
}

void LogWhereTheBoardIs(const PtyBoard& board) {
  Log("board on " + board.SlavePath().string());
  if (!board.LinkPath().empty()) {
    Log("link " + board.LinkPath().string() + " -> " + board.SlavePath().string());
  }
}

int Run(SimOptions options) {
  // Blocked before the board thread starts, so it inherits the mask and the
  // signals reach only the signalfd.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  sigaddset(&signals, SIGUSR1);
  if (sigprocmask(SIG_BLOCK, &signals, nullptr) != 0) {
    std::perror("quorvane-board-sim: sigprocmask");
    return 1;
  }
  UniqueFd signalFd(signalfd(-1, &signals, SFD_CLOEXEC));
  if (!signalFd.Valid()) {
    std::perror("quorvane-board-sim: signalfd");
    return 1;
  }

  options.board.observer = [](const WireEvent& event) { Log(DescribeWireEvent(event)); };
  try {
    PtyBoard board(options.board);
    LogWhereTheBoardIs(board);
    std::optional<Clock::time_point> hangUpAt, reappearAt;
    if (options.hangUpAfter) hangUpAt = Clock::now() + *options.hangUpAfter;

    auto hangUp = [&] {
      board.HangUp();
      Log("hung up: the pseudo-terminal is closed" +
          std::string(board.LinkPath().empty() ? "" : " and the link removed"));
      hangUpAt.reset();
      if (options.reappearAfter) reappearAt = Clock::now() + *options.reappearAfter;
    };
    auto reappear = [&] {
      board.Reappear();
      Log("reappeared");
      LogWhereTheBoardIs(board);
      reappearAt.reset();
      if (options.hangUpAfter) hangUpAt = Clock::now() + *options.hangUpAfter;
    };

    for (;;) {
      const std::optional<Clock::time_point> next = board.Present() ? hangUpAt : reappearAt;
      int timeoutMs = -1;
      if (next) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(*next - Clock::now());
        timeoutMs = static_cast<int>(std::max<long long>(0, left.count()));
      }
      pollfd p{signalFd.Get(), POLLIN, 0};
      const int ready = poll(&p, 1, timeoutMs);
      if (ready < 0 && errno == EINTR) continue;
      if (ready < 0) {
        // Any other failure would fail again at once.
        std::fprintf(stderr, "quorvane-board-sim: waiting failed: %s\n", std::strerror(errno));
        return 1;
      }
      if (ready == 0) {
        if (board.Present()) {
          hangUp();
        } else {
          reappear();
        }
        continue;
      }
      signalfd_siginfo info{};
      const ssize_t got = read(signalFd.Get(), &info, sizeof info);
      if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (got != sizeof info) {
        std::fprintf(stderr, "quorvane-board-sim: reading signals failed: %s\n",
                     got < 0 ? std::strerror(errno) : "short read");
        return 1;
      }
      if (info.ssi_signo == SIGUSR1) {
        if (board.Present()) {
          hangUp();
        } else {
          reappear();
        }
        continue;
      }
      Log("stopping");
      break;
    }
  } catch (const std::system_error& e) {
    std::fprintf(stderr, "quorvane-board-sim: %s\n", e.what());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const ParsedOptions parsed = ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (!parsed.error.empty()) {
    std::fprintf(stderr, "quorvane-board-sim: %s\n", parsed.error.c_str());
    return 2;
  }
  if (parsed.options.help) {
    std::fputs(SimUsage().c_str(), stdout);
    return 0;
  }
  if (parsed.options.version) {
    std::printf("quorvane-board-sim %s\n", QUORVANE_VERSION);
    return 0;
  }
  return Run(parsed.options);
}
