// Shared set-up for the suites that run against the board on its COM port.
#pragma once

#include <gtest/gtest.h>

#include <thread>

#include "protocol/command_frames.h"
#include "serial/serial_link.h"
#include "serial/win32/link_platform.h"
#include "tests/serial/win32/win32_test_support.h"

namespace quorvane::test {

// The board's status reply: header, L, code, 10 bytes of readings, checksum.
inline constexpr std::size_t kStatusReplySize = 15;

class BoardFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    port = BoardPort();
    if (port == 0) GTEST_SKIP() << "no board: run through with_board.sh";
    // Replies to an earlier test's last queries may still be on their way;
    // they must not count as this test's.
    std::size_t seen = BoardFrames("->").size();
    for (int quiet = 0; quiet < 3; ++quiet) {
      std::this_thread::sleep_for(100ms);
      const std::size_t now = BoardFrames("->").size();
      if (now != seen) quiet = -1;
      seen = now;
    }
    repliesBefore = seen;
  }

  // The panel's own line settings.
  bool OpenAsPanel(CSerialLink& link, PumpedOwner& who) {
    return link.Open(&who, port, 9600, 'N', 8, 0, EV_RXCHAR, 512, 1000, 1000, 1000, 1000, 1000);
  }
  static void Send(CSerialLink& link, const CommandFrame& frame) {
    link.Send(frame.data(), frame.size);
  }
  // Opens, starts the monitor and has one status query answered, so the
  // monitor is past its start-up purge and the owner's count starts at a reply.
  void StartLink(CSerialLink& link, PumpedOwner& who) {
    ASSERT_TRUE(OpenAsPanel(link, who)) << link.LastOpenError();
    ASSERT_TRUE(link.StartMonitor());
    Send(link, BuildReadStatus());
    ASSERT_TRUE(who.PumpUntil([&] { return who.ReceivedCount() >= kStatusReplySize; }))
        << who.ReceivedCount() << " bytes";
  }

  // CPU the monitor thread uses while the test pumps the owner's deliveries.
  static std::chrono::milliseconds MonitorCpuOver(CSerialLink& link, PumpedOwner& who,
                                                  std::chrono::milliseconds span) {
    const DWORD id = link.Platform().MonitorThreadId();
    const auto before = ThreadCpuTime(id);
    who.PumpUntil([] { return false; }, span);
    return ThreadCpuTime(id) - before;
  }
  // A spinning thread would use most of the span; an idle one next to nothing.
  static constexpr auto kIdleCpuLimit = std::chrono::milliseconds(50);

  unsigned port = 0;
  std::size_t repliesBefore = 0;  // board replies logged before this test
  PumpedOwner owner;
};

}  // namespace quorvane::test
