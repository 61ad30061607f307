// PtyBoard over real pseudo-terminals: a client exchanges frames through the
// slave side, sees pacing and hang-ups, and nothing leaks.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <system_error>
#include <thread>

#include "protocol/codes.h"
#include "protocol/command_frames.h"
#include "sim/pty_board.h"
#include "tests/sim/panel_side.h"

namespace quorvane::sim {
namespace {

// Whole reply frames, header to checksum.
constexpr std::size_t kAllFrameSize = 19;
constexpr std::size_t kStatusFrameSize = 15;

using namespace std::chrono_literals;
using testing_support::Bytes;
using testing_support::PanelSide;
namespace fs = std::filesystem;

std::size_t CountEntries(const char* dir) {
  std::size_t n = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++n;
  return n;
}

class TempDir {
 public:
  TempDir() {
    char name[] = "/tmp/quorvane-sim-XXXXXX";
    if (::mkdtemp(name) == nullptr) throw std::system_error(errno, std::generic_category());
    m_path = name;
  }
  ~TempDir() { fs::remove_all(m_path); }
  const fs::path& Path() const { return m_path; }

 private:
  fs::path m_path;
};

// The far end as a panel would hold it: the slave opened non-blocking.
class Client {
 public:
  explicit Client(const fs::path& path)
      : m_fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC)) {}
  ~Client() {
    if (m_fd >= 0) ::close(m_fd);
  }
  bool Ok() const { return m_fd >= 0; }
  int Fd() const { return m_fd; }

  void Write(const CommandFrame& frame) {
    ASSERT_EQ(::write(m_fd, frame.data(), frame.size), static_cast<ssize_t>(frame.size));
  }

  // Feeds every byte that arrives into the panel's receiver until done()
  // holds or the deadline passes.
  template <typename Done>
  bool ReadUntil(PanelSide& panel, Done done, std::chrono::milliseconds limit = 3000ms) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!done()) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left <= 0ms) return false;
      pollfd p{m_fd, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
      std::uint8_t buffer[256];
      const ssize_t got = ::read(m_fd, buffer, sizeof buffer);
      if (got <= 0) return false;
      received.insert(received.end(), buffer, buffer + got);
      panel.Feed(std::span<const std::uint8_t>(buffer, static_cast<std::size_t>(got)));
    }
    return true;
  }

  Bytes received;

 private:
  int m_fd;
};

TEST(PtyBoardTest, ClientReadsAllAndSetsCurrentThroughTheSlave) {
  PtyBoard board;
  Client client(board.SlavePath());
  ASSERT_TRUE(client.Ok());
  PanelSide panel;

  client.Write(BuildReadAll());
  ASSERT_TRUE(client.ReadUntil(panel, [&] { return panel.owner.fullReplies == 1; }));
  EXPECT_EQ(panel.device.currentMax, 3000);
  EXPECT_EQ(panel.device.currentPrefix, (std::array<std::uint8_t, 2>{0x12, 0x34}));

  client.Write(BuildSetCurrent(panel.device.currentPrefix[0], panel.device.currentPrefix[1], 1200));
  ASSERT_TRUE(client.ReadUntil(panel, [&] { return panel.device.currentSetpoint == 1200; }));
  EXPECT_EQ(board.Board().Snapshot().parameters.currentSetpoint, 1200);

  const auto journal = board.Board().Journal();
  ASSERT_EQ(journal.size(), 2u);
  EXPECT_EQ(journal[0].code, CMD_READ_ALL);
  EXPECT_EQ(journal[1].code, CMD_SET_CURRENT);
  EXPECT_EQ(journal[1].raw, testing_support::ToBytes(BuildSetCurrent(0x12, 0x34, 1200).view()));
}

TEST(PtyBoardTest, PacedReplyTakesAtLeastTheWireTimeOfItsBytes) {
  PtyBoard board({.pace = true});
  Client client(board.SlavePath());
  ASSERT_TRUE(client.Ok());
  PanelSide panel;

  const auto start = std::chrono::steady_clock::now();
  client.Write(BuildReadAll());
  ASSERT_TRUE(client.ReadUntil(panel, [&] { return panel.owner.fullReplies == 1; }));
  const auto elapsed = std::chrono::steady_clock::now() - start;
  // The first byte may leave at once, each later one a byte time after it.
  EXPECT_GE(elapsed, (kAllFrameSize - 1) * kByteTime9600);
  EXPECT_EQ(client.received.size(), kAllFrameSize);
}

TEST(PtyBoardTest, SwitchChangedWhileRunningTakesEffect) {
  PtyBoard board;
  Client client(board.SlavePath());
  ASSERT_TRUE(client.Ok());
  PanelSide panel;

  board.SetSwitches({.silent = true});
  client.Write(BuildSetDuration(77));
  ASSERT_TRUE(board.Board().WaitForJournalSize(1, 3000ms));
  board.SetSwitches({});
  client.Write(BuildReadStatus());
  ASSERT_TRUE(client.ReadUntil(panel, [&] { return client.received.size() >= 15; }));
  // Only the status reply came: the silenced duration reply never went out.
  EXPECT_EQ(client.received[3], RPL_STATUS);
  EXPECT_EQ(client.received.size(), kStatusFrameSize);
  EXPECT_EQ(board.Board().Snapshot().parameters.pulseSteps, 77);
}

TEST(PtyBoardTest, HangUpIsSeenByTheClientAndReappearBringsANewPort) {
  TempDir dir;
  const fs::path link = dir.Path() / "ttyUSB0";
  PtyBoard board({.link = link});
  ASSERT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(fs::read_symlink(link), board.SlavePath());

  {
    Client client(link);
    ASSERT_TRUE(client.Ok());
    PanelSide panel;
    client.Write(BuildReadAll());
    ASSERT_TRUE(client.ReadUntil(panel, [&] { return panel.owner.fullReplies == 1; }));

    board.HangUp();
    EXPECT_FALSE(board.Present());
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    pollfd p{client.Fd(), POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 3000), 1);
    EXPECT_TRUE(p.revents & POLLHUP) << "revents " << p.revents;
    std::uint8_t byte;
    const ssize_t got = ::read(client.Fd(), &byte, 1);
    EXPECT_TRUE(got == 0 || (got < 0 && errno == EIO)) << "read gave " << got;
  }

  board.Reappear();
  ASSERT_TRUE(board.Present());
  EXPECT_EQ(fs::read_symlink(link), board.SlavePath());
  Client client(link);
  ASSERT_TRUE(client.Ok());
  PanelSide panel;
  client.Write(BuildReadStatus());
  ASSERT_TRUE(client.ReadUntil(panel, [&] { return client.received.size() >= 15; }));
  // The board kept its journal across the unplug.
  EXPECT_EQ(board.Board().JournalSize(), 2u);
}

TEST(PtyBoardTest, RefusesToReplaceAFileThatIsNotALink) {
  TempDir dir;
  const fs::path link = dir.Path() / "ttyUSB0";
  std::ofstream(link) << "keep me";
  EXPECT_THROW(PtyBoard({.link = link}), std::system_error);
  EXPECT_FALSE(fs::is_symlink(link));
  EXPECT_EQ(fs::file_size(link), 7u);
}

TEST(PtyBoardTest, ClientClosingAndReopeningKeepsTheBoardAnswering) {
  PtyBoard board;
  for (int round = 0; round < 2; ++round) {
    Client client(board.SlavePath());
    ASSERT_TRUE(client.Ok());
    PanelSide panel;
    client.Write(BuildReadAll());
    ASSERT_TRUE(client.ReadUntil(panel, [&] { return panel.owner.fullReplies == 1; }))
        << "round " << round;
  }
}

TEST(PtyBoardTest, LeavesNoDescriptorThreadOrLinkBehind) {
  TempDir dir;
  const fs::path link = dir.Path() / "ttyACM3";
  // Sanitizer runtimes start a helper thread of their own with the first
  // thread the program makes; make it exist before counting.
  std::thread([] {}).join();
  const std::size_t fdsBefore = CountEntries("/proc/self/fd");
  const std::size_t threadsBefore = CountEntries("/proc/self/task");
  {
    PtyBoard board({.pace = true, .link = link});
    Client client(link);
    ASSERT_TRUE(client.Ok());
    PanelSide panel;
    client.Write(BuildReadStatus());
    ASSERT_TRUE(client.ReadUntil(panel, [&] { return client.received.size() >= 15; }));
    board.HangUp();
    board.Reappear();
    board.SetSwitches({.noiseBytesPerSecond = 500});
    EXPECT_EQ(CountEntries("/proc/self/task"), threadsBefore + 1);
  }
  EXPECT_EQ(CountEntries("/proc/self/fd"), fdsBefore);
  EXPECT_EQ(CountEntries("/proc/self/task"), threadsBefore);
  EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
}

}  // namespace
}  // namespace quorvane::sim
