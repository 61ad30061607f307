// A device that vanishes under the link: one notice, no box, no spinning, and
// the link still closes. A port that keeps failing or has nothing to give
// costs no CPU and raises at most one box. An idle monitor costs no CPU.
#include <poll.h>
#include <sys/ioctl.h>

#include <functional>
#include <thread>

#include "tests/serial/link_fixture.h"

namespace quorvane::test {
namespace {

using Call = FaultySystemCalls::Call;
constexpr int kAlways = 1 << 30;

class PortLostTest : public LinkFixture {
 protected:
  // Opens through sys, starts the monitor past its start-up purge and has
  // one byte delivered, so the owner learns the monitor thread's id.
  pid_t StartWatched(CSerialLink& link, PumpedOwner& fresh) {
    EXPECT_TRUE(link.Open(&fresh, kPort, 9600, 'N', 8, 0, EV_RXCHAR, 512, 1, 1, 1, 1, 1));
    EXPECT_TRUE(link.StartMonitor());
    const std::uint8_t probe = 0xA5;  // once it is out, the start-up purge is over
    link.Send(&probe, 1);
    EXPECT_EQ(pty.Read(1).size(), 1u);
    pty.Write({0x5A});
    EXPECT_TRUE(fresh.PumpUntil([&] { return fresh.ReceivedCount() >= 1; }));
    return fresh.MonitorTid();
  }
  // Ticks of CPU time (1/100 s) the thread uses while the test pumps pumped's
  // deliveries (so the thread is not parked in one) or just sleeps.
  static long CpuTicksOver(pid_t tid, std::chrono::milliseconds span,
                           PumpedOwner* pumped = nullptr) {
    const long before = ThreadCpuTicks(tid);
    if (pumped != nullptr)
      pumped->PumpUntil([] { return false; }, span);
    else
      std::this_thread::sleep_for(span);
    return ThreadCpuTicks(tid) - before;
  }
  // A thread that spun would use about one tick per 10 ms; idle it uses none.
  static constexpr long kIdleTickLimit = 10;
};

TEST_F(PortLostTest, IdleMonitorUsesNoCpu) {
  CSerialLink link(dir.Path());
  const pid_t tid = StartWatched(link, owner);
  ASSERT_GT(tid, 0);
  EXPECT_LE(CpuTicksOver(tid, 1000ms), kIdleTickLimit);
  link.Close();
}

struct LossCase {
  const char* name;
  std::function<bool(PtyPair&, FaultySystemCalls&, CSerialLink&)> unplug;  // false: cannot here
};

void PrintTo(const LossCase& c, std::ostream* out) { *out << c.name; }

// Wakes the monitor with a frame, so an injected wait result is seen next.
void WakeWithAFrame(CSerialLink& link) {
  const std::uint8_t frame[] = {'N', 'S', 0};
  link.Send(frame, sizeof frame);
}

const LossCase kLossCases[] = {
    {"HangUp",
     [](PtyPair& p, FaultySystemCalls&, CSerialLink&) {
       return ::ioctl(p.slave.Get(), TIOCVHANGUP) == 0;  // needs CAP_SYS_ADMIN
     }},
    {"FarEndClosed",
     [](PtyPair& p, FaultySystemCalls&, CSerialLink&) {
       p.master.Reset();
       return true;
     }},
    {"WaitReportsAnError",
     [](PtyPair&, FaultySystemCalls& sys, CSerialLink& link) {
       sys.Inject(Call::kPoll, {.pollSize = 3, .revents = POLLERR});
       WakeWithAFrame(link);
       return true;
     }},
    {"WaitReportsAnInvalidDescriptor",
     [](PtyPair&, FaultySystemCalls& sys, CSerialLink& link) {
       sys.Inject(Call::kPoll, {.pollSize = 3, .revents = POLLNVAL});
       WakeWithAFrame(link);
       return true;
     }},
    {"ReadFailsWithEio",
     [](PtyPair& p, FaultySystemCalls& sys, CSerialLink&) {
       sys.Inject(Call::kRead, {.error = EIO, .deviceOnly = true});
       p.Write({1});
       return true;
     }},
    {"WriteFailsWithEnxio",
     [](PtyPair&, FaultySystemCalls& sys, CSerialLink& link) {
       sys.Inject(Call::kWrite, {.error = ENXIO, .deviceOnly = true});
       WakeWithAFrame(link);
       return true;
     }},
    // A descriptor that is not a tty (a name linked to another character
    // device): readable, no count of waiting bytes, and a read that fails.
    {"ReadableWithNothingToGive",
     [](PtyPair& p, FaultySystemCalls& sys, CSerialLink&) {
       sys.Inject(Call::kIoctl, {.error = ENOTTY, .times = kAlways, .ioctlRequest = FIONREAD});
       sys.Inject(Call::kRead, {.error = EPERM, .times = kAlways, .deviceOnly = true});
       p.Write({1});
       return true;
     }},
};

class LostDeviceTest : public PortLostTest, public ::testing::WithParamInterface<LossCase> {};

TEST_P(LostDeviceTest, IsReportedOnceWithoutBoxOrSpinAndCloseStillWorks) {
  PumpedOwner fresh;
  FaultySystemCalls sys;
  CSerialLink link(dir.Path(), sys);
  const pid_t tid = StartWatched(link, fresh);
  if (!GetParam().unplug(pty, sys, link)) {
    link.Close();
    GTEST_SKIP() << "this way of losing the device needs privileges this run does not have";
  }
  ASSERT_TRUE(fresh.PumpUntil([&] { return fresh.LostCount() >= 1; }));
  EXPECT_LE(CpuTicksOver(tid, 500ms), kIdleTickLimit) << "the thread spins on a dead device";
  WakeWithAFrame(link);  // dropped quietly
  fresh.PumpUntil([] { return false; }, 100ms);
  EXPECT_EQ(fresh.LostPorts(), std::vector<unsigned>{kPort});
  EXPECT_TRUE(fresh.Errors().empty()) << fresh.Errors().front();
  EXPECT_TRUE(link.MonitorRunning()) << "the thread must keep serving shutdown";
  link.Close();
  EXPECT_FALSE(link.MonitorRunning());
  EXPECT_FALSE(link.DeviceOpen());
}

INSTANTIATE_TEST_SUITE_P(Causes, LostDeviceTest, ::testing::ValuesIn(kLossCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Faults that last: the port looks ready again at once, so the thread must
// neither spin nor raise a box per pass, and must recover when they end.
TEST_F(PortLostTest, LastingFaultsNeitherSpinNorRepeatTheirBox) {
  struct Case {
    const char* name;
    Call call;
    FaultySystemCalls::Fault fault;
    std::size_t boxes;
  };
  const Case cases[] = {
      {"waiting count unknown",
       Call::kIoctl,
       {.error = ENOTTY, .times = kAlways, .ioctlRequest = FIONREAD},
       0},
      {"waiting count zero",
       Call::kIoctl,
       {.times = kAlways, .ioctlRequest = FIONREAD, .answer = 0},
       0},
      {"wait keeps failing", Call::kPoll, {.error = EPERM, .times = kAlways, .pollSize = 3}, 1},
      {"read keeps failing",
       Call::kRead,
       {.error = EPERM, .times = kAlways, .deviceOnly = true},
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PumpedOwner fresh;
    FaultySystemCalls sys;
    CSerialLink link(dir.Path(), sys);
    const pid_t tid = StartWatched(link, fresh);
    sys.Inject(c.call, c.fault);
    pty.Write({1, 2, 3});
    EXPECT_LE(CpuTicksOver(tid, 1000ms, &fresh), kIdleTickLimit) << "the thread spins";
    sys.Inject(c.call, {.times = 0});
    EXPECT_TRUE(fresh.PumpUntil([&] { return fresh.ReceivedCount() >= 4; }))
        << fresh.ReceivedCount() << " bytes";
    EXPECT_EQ(fresh.Received(), (std::vector<std::uint8_t>{0x5A, 1, 2, 3}));
    EXPECT_EQ(fresh.Errors().size(), c.boxes);
    EXPECT_EQ(fresh.LostCount(), 0);
    link.Close();
  }
}

}  // namespace
}  // namespace quorvane::test
