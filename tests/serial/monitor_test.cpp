// The monitor thread on a real pseudo-terminal: delivery order, shutdown,
// write priority and queueing, closing while a delivery waits, detaching.
#include <sys/ioctl.h>
#include <termios.h>

#include <numeric>
#include <thread>

#include "tests/serial/link_fixture.h"

namespace quorvane::test {
namespace {

using MonitorTest = LinkFixture;
using Call = FaultySystemCalls::Call;

std::vector<std::uint8_t> Sequence(std::size_t count, std::uint8_t first = 0) {
  std::vector<std::uint8_t> bytes(count);
  std::iota(bytes.begin(), bytes.end(), first);
  return bytes;
}

TEST_F(MonitorTest, BurstArrivesCompleteInOrderWithThePortNumber) {
  CSerialLink link(dir.Path());
  StartLink(link);
  const auto burst = Sequence(300);
  pty.Write(burst);
  ASSERT_TRUE(owner.PumpUntil([&] { return owner.ReceivedCount() >= burst.size(); }))
      << owner.ReceivedCount() << " of " << burst.size();
  EXPECT_EQ(owner.Received(), burst);
  for (unsigned port : owner.Ports()) ASSERT_EQ(port, kPort);
  link.Close();
}

TEST_F(MonitorTest, ShutdownStopsBeforeTheNextWaitingByte) {
  CSerialLink link(dir.Path());
  StartLink(link);
  pty.Write(Sequence(50, 1));
  ASSERT_TRUE(owner.WaitForPendingDelivery());  // byte 1 waits for this thread
  link.Close();                                 // pumps byte 1 through, then the thread must stop
  EXPECT_FALSE(link.MonitorRunning());
  EXPECT_EQ(owner.Received(), std::vector<std::uint8_t>{1});
}

TEST_F(MonitorTest, ShutdownWinsOverAPendingWrite) {
  CSerialLink link(dir.Path());
  StartLink(link);
  pty.Write({9});
  ASSERT_TRUE(owner.WaitForPendingDelivery());
  Send(link, {'N', 'S', 3, 0, 2});  // write and shutdown both set before the thread waits again
  link.Close();
  EXPECT_TRUE(pty.Read(1, 200ms).empty()) << "the frame was written after shutdown";
}

TEST_F(MonitorTest, EverySendIsWrittenInOrder) {
  CSerialLink link(dir.Path());
  StartLink(link);
  std::vector<std::uint8_t> expected;
  for (std::uint8_t i = 0; i < 60; ++i) {
    const std::vector<std::uint8_t> frame = {'N', 'S', 5, i, static_cast<std::uint8_t>(i ^ 0xFF)};
    Send(link, frame);
    expected.insert(expected.end(), frame.begin(), frame.end());
  }
  EXPECT_EQ(pty.Read(expected.size()), expected);
  EXPECT_EQ(link.DroppedFrames(), 0u);
  link.Close();
}

// A write that fails holds the thread in its error box; meanwhile a reply
// arrives and two more frames are queued. Once the box is dismissed, both
// frames go out before the reply is read, and the reply is not purged away.
TEST_F(MonitorTest, QueuedWritesGoFirstAndDoNotThrowAwayUnreadReplies) {
  FaultySystemCalls sys;
  CSerialLink link(dir.Path(), sys);
  StartLink(link);
  owner.HoldErrors();
  sys.Inject(Call::kWrite, {.error = EPIPE, .deviceOnly = true});
  Send(link, {'N', 'S', 1});
  ASSERT_TRUE(owner.PumpUntil([&] { return owner.ErrorShowing(); }));
  pty.Write({'L', 'D'});
  Send(link, {'N', 'S', 2});
  Send(link, {'N', 'S', 3});
  owner.ReleaseErrors();
  EXPECT_EQ(pty.Read(6), (std::vector<std::uint8_t>{'N', 'S', 2, 'N', 'S', 3}));
  ASSERT_TRUE(owner.PumpUntil([&] { return owner.ReceivedCount() >= 2; }));
  EXPECT_EQ(owner.Received(), (std::vector<std::uint8_t>{'L', 'D'}));
  ASSERT_EQ(owner.Errors().size(), 1u);
  EXPECT_EQ(owner.Errors()[0].rfind("WARNING:  WriteFile() Failed with the following error: \n"
                                    "Broken pipe\nPort: ttyUSB0\n",
                                    0),
            0u)
      << owner.Errors()[0];
  link.Close();
}

// A pseudo-terminal never holds output back, so the kernel's count of unsent
// bytes is injected: output still stuck after its line time is flushed, once
// and output only; output that drained in time is left alone.
TEST_F(MonitorTest, BeforeAWriteOnlyOutputStillStuckAfterItsLineTimeIsFlushed) {
  struct Case {
    const char* name;
    int unsentReports;  // how many TIOCOUTQ queries answer 5 bytes before the real 0
    int outputFlushes;
  };
  const Case cases[] = {{"still stuck", 2, 1}, {"drained in time", 1, 0}, {"nothing unsent", 0, 0}};
  for (const Case& c : cases) {
    FaultySystemCalls sys;
    CSerialLink link(dir.Path(), sys);
    StartLink(link);
    const int outputBefore = sys.Count(Call::kTcFlush, TCOFLUSH);
    const int inputBefore =
        sys.Count(Call::kTcFlush, TCIFLUSH) + sys.Count(Call::kTcFlush, TCIOFLUSH);
    sys.Inject(Call::kIoctl, {.times = c.unsentReports, .ioctlRequest = TIOCOUTQ, .answer = 5});
    const std::vector<std::uint8_t> frame = {'N', 'S', 7};
    Send(link, frame);
    EXPECT_EQ(pty.Read(frame.size()), frame) << c.name;
    EXPECT_EQ(sys.Count(Call::kTcFlush, TCOFLUSH) - outputBefore, c.outputFlushes) << c.name;
    EXPECT_EQ(sys.Count(Call::kTcFlush, TCIFLUSH) + sys.Count(Call::kTcFlush, TCIOFLUSH),
              inputBefore)
        << c.name << ": unread input was thrown away";
    link.Close();
  }
}

TEST_F(MonitorTest, ReadAndWaitFailuresShowTheirBoxesAndTheThreadGoesOn) {
  struct Case {
    Call call;
    const char* box;
    FaultySystemCalls::Fault fault;
  };
  const Case cases[] = {{Call::kRead, "ReadFile()", {.error = EPERM, .deviceOnly = true}},
                        {Call::kPoll, "WaitCommEvent()", {.error = EPERM, .pollSize = 3}}};
  for (const Case& c : cases) {
    FaultySystemCalls sys;
    PumpedOwner local;
    CSerialLink link(dir.Path(), sys);
    ASSERT_TRUE(link.Open(&local, kPort, 9600, 'N', 8, 0, EV_RXCHAR, 512, 1, 1, 1, 1, 1));
    ASSERT_TRUE(link.StartMonitor());
    const std::uint8_t probe = 0x11;
    link.Send(&probe, 1);
    ASSERT_EQ(pty.Read(1).size(), 1u);
    sys.Inject(c.call, c.fault);
    pty.Write({42, 43});
    ASSERT_TRUE(local.PumpUntil([&] {
      return local.ReceivedCount() >= 1 && !local.Errors().empty();
    })) << c.box;
    EXPECT_EQ(local.Errors()[0].rfind("WARNING:  " + std::string(c.box), 0), 0u)
        << local.Errors()[0];
    EXPECT_TRUE(local.PumpUntil([&] { return local.ReceivedCount() >= 1; }));
    link.Close();
  }
}

TEST_F(MonitorTest, CloseFinishesWhileTheThreadWaitsInADelivery) {
  CSerialLink link(dir.Path());
  StartLink(link);
  pty.Write({1, 2, 3});
  ASSERT_TRUE(owner.WaitForPendingDelivery());
  link.Close();
  EXPECT_FALSE(link.MonitorRunning());
  EXPECT_FALSE(link.DeviceOpen());
  // The link can be used again afterwards.
  StartLink(link);
  link.Close();
}

TEST_F(MonitorTest, FrameSentWhileNoMonitorRunsIsNeverWritten) {
  CSerialLink link(dir.Path());
  StartLink(link);
  link.Close();
  Send(link, {'O', 'L', 'D'});
  StartLink(link);  // its probe must be the first thing on the wire
  EXPECT_TRUE(pty.Read(1, 200ms).empty());
  link.Close();
}

TEST_F(MonitorTest, DetachDuringADeliveryLetsItFinishAndNothingFollows) {
  CSerialLink link(dir.Path());
  StartLink(link);
  pty.Write({1, 2, 3, 4});
  ASSERT_TRUE(owner.WaitForPendingDelivery());
  link.DetachOwner();  // pumps the delivery in flight
  const std::size_t seen = owner.ReceivedCount();
  EXPECT_EQ(seen, 1u);
  pty.Write({5, 6});
  std::this_thread::sleep_for(100ms);
  owner.PumpMessages();
  EXPECT_EQ(owner.ReceivedCount(), seen) << "a detached owner was called";
  link.Close();  // no owner to pump: must not wait on one
  EXPECT_FALSE(link.MonitorRunning());
}

TEST_F(MonitorTest, DestructorFinishesWhileTheThreadWaitsInADelivery) {
  auto link = std::make_unique<CSerialLink>(dir.Path());
  StartLink(*link);
  pty.Write({1, 2});
  ASSERT_TRUE(owner.WaitForPendingDelivery());
  link.reset();
  EXPECT_LE(owner.ReceivedCount(), 1u);
}

TEST_F(MonitorTest, DetachRacingDeliveriesNeverHangs) {
  for (int round = 0; round < 20; ++round) {
    PumpedOwner racer;
    CSerialLink link(dir.Path());
    ASSERT_TRUE(link.Open(&racer, kPort, 9600, 'N', 8, 0, EV_RXCHAR, 512, 1, 1, 1, 1, 1));
    ASSERT_TRUE(link.StartMonitor());
    const std::uint8_t probe = 0x22;
    link.Send(&probe, 1);
    ASSERT_EQ(pty.Read(1).size(), 1u);
    pty.Write(Sequence(20));
    racer.PumpUntil([&] { return racer.ReceivedCount() >= static_cast<std::size_t>(round % 5); },
                    1s);
    link.DetachOwner();
    link.Close();
    EXPECT_FALSE(link.MonitorRunning());
  }
}

}  // namespace
}  // namespace quorvane::test
