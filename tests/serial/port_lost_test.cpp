// A device that vanishes under the link: one notice, no box, no spinning, and
// the link still closes. Also: an idle monitor costs no CPU.
#include <sys/ioctl.h>

#include <functional>
#include <thread>

#include "tests/serial/link_fixture.h"

namespace quorvane::test {
namespace {

using Call = FaultySystemCalls::Call;

class PortLostTest : public LinkFixture {
 protected:
  // Has one byte delivered so the owner learns the monitor thread's id.
  pid_t MonitorTid() {
    pty.Write({0x5A});
    EXPECT_TRUE(owner.PumpUntil([&] { return owner.ReceivedCount() >= 1; }));
    return owner.MonitorTid();
  }
  // Ticks of CPU time (1/100 s) the thread uses while the test sleeps.
  static long CpuTicksOver(pid_t tid, std::chrono::milliseconds span) {
    const long before = ThreadCpuTicks(tid);
    std::this_thread::sleep_for(span);
    return ThreadCpuTicks(tid) - before;
  }
  // A thread that spun would use about one tick per 10 ms; idle it uses none.
  static constexpr long kIdleTickLimit = 10;
};

TEST_F(PortLostTest, IdleMonitorUsesNoCpu) {
  CSerialLink link(dir.Path());
  StartLink(link);
  const pid_t tid = MonitorTid();
  ASSERT_GT(tid, 0);
  EXPECT_LE(CpuTicksOver(tid, 1000ms), kIdleTickLimit);
  link.Close();
}

struct LossCase {
  const char* name;
  std::function<bool(PtyPair&, FaultySystemCalls&, CSerialLink&)> unplug;  // false: cannot here
};

TEST_F(PortLostTest, LostDeviceIsReportedOnceWithoutBoxOrSpinAndCloseStillWorks) {
  const LossCase cases[] = {
      {"hang-up",
       [](PtyPair& p, FaultySystemCalls&, CSerialLink&) {
         return ::ioctl(p.slave.Get(), TIOCVHANGUP) == 0;  // needs CAP_SYS_ADMIN
       }},
      {"far end closed",
       [](PtyPair& p, FaultySystemCalls&, CSerialLink&) {
         p.master.Reset();
         return true;
       }},
      {"read fails with EIO",
       [](PtyPair& p, FaultySystemCalls& sys, CSerialLink&) {
         sys.Inject(Call::kRead, {.error = EIO, .deviceOnly = true});
         p.Write({1});
         return true;
       }},
      {"write fails with ENXIO",
       [](PtyPair&, FaultySystemCalls& sys, CSerialLink& link) {
         sys.Inject(Call::kWrite, {.error = ENXIO, .deviceOnly = true});
         const std::uint8_t frame[] = {'N', 'S', 0};
         link.Send(frame, sizeof frame);
         return true;
       }},
  };
  for (const LossCase& c : cases) {
    SCOPED_TRACE(c.name);
    pty = PtyPair::Make();
    dir.Remove("ttyUSB0");
    dir.Link("ttyUSB0", pty.slavePath);
    PumpedOwner fresh;
    FaultySystemCalls sys;
    CSerialLink link(dir.Path(), sys);
    ASSERT_TRUE(link.Open(&fresh, kPort, 9600, 'N', 8, 0, EV_RXCHAR, 512, 1, 1, 1, 1, 1));
    ASSERT_TRUE(link.StartMonitor());
    const std::uint8_t probe = 0xA5;  // once it is out, the start-up purge is over
    link.Send(&probe, 1);
    ASSERT_EQ(pty.Read(1).size(), 1u);
    pty.Write({0x5A});
    ASSERT_TRUE(fresh.PumpUntil([&] { return fresh.ReceivedCount() >= 1; }));
    const pid_t tid = fresh.MonitorTid();

    if (!c.unplug(pty, sys, link)) {
      link.Close();
      continue;  // hang-up refused without privileges; the other cases still run
    }
    ASSERT_TRUE(fresh.PumpUntil([&] { return fresh.LostCount() >= 1; }));
    EXPECT_LE(CpuTicksOver(tid, 500ms), kIdleTickLimit) << "the thread spins on a dead device";
    const std::uint8_t frame[] = {'N', 'S', 1};
    link.Send(frame, sizeof frame);  // dropped quietly
    fresh.PumpUntil([] { return false; }, 100ms);
    EXPECT_EQ(fresh.LostPorts(), std::vector<unsigned>{kPort});
    EXPECT_TRUE(fresh.Errors().empty()) << fresh.Errors().front();
    EXPECT_TRUE(link.MonitorRunning()) << "the thread must keep serving shutdown";
    link.Close();
    EXPECT_FALSE(link.MonitorRunning());
    EXPECT_FALSE(link.DeviceOpen());
  }
}

}  // namespace
}  // namespace quorvane::test
