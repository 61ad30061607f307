// The Windows link against the virtual board on a real COM port under Wine:
// configuration, exclusive use, delivery, queued frames, shutdown, discovery.
#include <algorithm>
#include <atomic>
#include <thread>

#include "serial/win32/port_table.h"
#include "tests/serial/win32/link_fixture.h"

namespace quorvane::test {
namespace {

using LinkTest = BoardFixture;

TEST_F(LinkTest, ConfiguresTheDeviceAsThePanelAsks) {
  FaultyWin32Calls sys;  // nothing injected: it only tells the handle
  CSerialLink link(DefaultDeviceDirectory(), sys);
  ASSERT_TRUE(OpenAsPanel(link, owner)) << link.LastOpenError();
  EXPECT_EQ(link.LastOpenError(), "");
  DCB device{};
  device.DCBlength = sizeof device;
  ASSERT_TRUE(::GetCommState(sys.LastOpened(), &device));
  EXPECT_EQ(device.BaudRate, 9600u);
  EXPECT_EQ(device.ByteSize, 8);
  EXPECT_EQ(device.Parity, NOPARITY);
  EXPECT_EQ(device.StopBits, ONESTOPBIT);
  EXPECT_EQ(device.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
  // Wine reports no event character back from the device, so the request is checked.
  ASSERT_EQ(sys.RequestedStates().size(), 1u);
  EXPECT_EQ(sys.RequestedStates()[0].EvtChar, 'q');
  COMMTIMEOUTS applied{};
  ASSERT_TRUE(::GetCommTimeouts(sys.LastOpened(), &applied));
  for (DWORD value : {applied.ReadIntervalTimeout, applied.ReadTotalTimeoutMultiplier,
                      applied.ReadTotalTimeoutConstant, applied.WriteTotalTimeoutMultiplier,
                      applied.WriteTotalTimeoutConstant})
    EXPECT_EQ(value, 1000000u);
  link.Close();
  EXPECT_TRUE(owner.Errors().empty());
}

// A pseudo-terminal keeps only the rate (it forces eight data bits and no
// parity), so the rest is checked in the settings handed to the device.
TEST_F(LinkTest, LineSettingsFollowTheArguments) {
  struct Case {
    char parity;
    unsigned dataBits;
    unsigned stopBits;
    BYTE wantParity;
    BYTE wantStopBits;
  };
  const Case cases[] = {
      {'E', 7, 0, EVENPARITY, ONESTOPBIT},   {'O', 8, 2, ODDPARITY, TWOSTOPBITS},
      {'M', 8, 1, MARKPARITY, ONE5STOPBITS}, {'S', 8, 0, SPACEPARITY, ONESTOPBIT},
      {'n', 8, 0, NOPARITY, ONESTOPBIT},     {'X', 8, 0, NOPARITY, ONESTOPBIT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("parity ") + c.parity);
    FaultyWin32Calls sys;
    CSerialLink link(DefaultDeviceDirectory(), sys);
    ASSERT_TRUE(link.Open(&owner, port, 19200, c.parity, c.dataBits, c.stopBits, EV_RXCHAR, 512, 0,
                          0, 0, 0, 0))
        << link.LastOpenError();
    DCB device{};
    device.DCBlength = sizeof device;
    ASSERT_TRUE(::GetCommState(sys.LastOpened(), &device));
    EXPECT_EQ(device.BaudRate, 19200u);
    ASSERT_EQ(sys.RequestedStates().size(), 1u);
    const DCB asked = sys.RequestedStates()[0];
    EXPECT_EQ(asked.BaudRate, 19200u);
    EXPECT_EQ(asked.ByteSize, c.dataBits);
    EXPECT_EQ(asked.Parity, c.wantParity);
    EXPECT_EQ(asked.StopBits, c.wantStopBits);
    EXPECT_EQ(asked.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
    EXPECT_EQ(link.Timeouts().readTotalTimeoutConstant, 0u);
    link.Close();
  }
}

TEST_F(LinkTest, ASecondOpenerIsRefusedUntilTheFirstCloses) {
  CSerialLink first;
  CSerialLink second;
  PumpedOwner other;
  ASSERT_TRUE(OpenAsPanel(first, owner)) << first.LastOpenError();
  EXPECT_FALSE(OpenAsPanel(second, other));
  EXPECT_NE(second.LastOpenError().find("in use by another program"), std::string::npos)
      << second.LastOpenError();
  EXPECT_FALSE(second.DeviceOpen());
  first.Close();
  EXPECT_TRUE(OpenAsPanel(second, other)) << second.LastOpenError();
  second.Close();
  EXPECT_TRUE(owner.Errors().empty());
  EXPECT_TRUE(other.Errors().empty());
}

TEST_F(LinkTest, APortWithoutDeviceIsNotPresentAndShowsNoBox) {
  CSerialLink link;
  EXPECT_FALSE(link.Open(&owner, 200, 9600, 'N', 8, 0, EV_RXCHAR, 512, 1, 1, 1, 1, 1));
  EXPECT_EQ(link.LastOpenError(), "COM200 is not present: no serial device has that number.");
  EXPECT_FALSE(link.DeviceOpen());
  EXPECT_TRUE(owner.Errors().empty());
}

TEST_F(LinkTest, EveryReplyByteArrivesInOrderWithThePortNumber) {
  CSerialLink link;
  StartLink(link, owner);
  for (int i = 0; i < 3; ++i) Send(link, BuildReadStatus());
  ASSERT_TRUE(owner.PumpUntil([&] { return owner.ReceivedCount() >= 4 * kStatusReplySize; }))
      << owner.ReceivedCount() << " bytes";
  owner.PumpUntil([] { return false; }, 200ms);  // nothing more may come
  link.Close();
  std::vector<std::uint8_t> sent;
  const auto replies = BoardFrames("->");
  for (std::size_t i = repliesBefore; i < replies.size(); ++i)
    sent.insert(sent.end(), replies[i].begin(), replies[i].end());
  EXPECT_EQ(owner.Received(), sent);
  EXPECT_EQ(owner.Ports(), std::vector<unsigned>(owner.ReceivedCount(), port));
  EXPECT_TRUE(owner.Errors().empty());
}

// Wine's pseudo-terminals end every port event wait at once; the monitor must
// not turn that into a spin.
TEST_F(LinkTest, AnIdleMonitorUsesNoCpu) {
  CSerialLink link;
  StartLink(link, owner);
  EXPECT_LE(MonitorCpuOver(link, owner, 1000ms), kIdleCpuLimit);
  // And it still hears the board afterwards.
  const std::size_t before = owner.ReceivedCount();
  Send(link, BuildReadStatus());
  EXPECT_TRUE(owner.PumpUntil([&] { return owner.ReceivedCount() >= before + kStatusReplySize; }));
  link.Close();
}

TEST_F(LinkTest, FramesSentInARowAllReachTheBoardWholeAndInOrder) {
  CSerialLink link;
  StartLink(link, owner);
  const std::size_t before = BoardFrames("<-").size();
  const CommandFrame frames[] = {BuildSetFrequency(1000), BuildSetDuration(7),
                                 BuildReadAll(),          BuildSetSoftActive(1),
                                 BuildSetFrequency(2000), BuildSetCurrent(0x12, 0x34, 250),
                                 BuildReadStatus()};
  for (const CommandFrame& frame : frames) Send(link, frame);
  std::vector<std::vector<std::uint8_t>> arrived;
  owner.PumpUntil(
      [&] {
        arrived = BoardFrames("<-");
        return arrived.size() >= before + std::size(frames);
      },
      5s);
  link.Close();
  ASSERT_EQ(arrived.size(), before + std::size(frames));
  for (std::size_t i = 0; i < std::size(frames); ++i)
    EXPECT_EQ(arrived[before + i], frames[i].ToVector()) << "frame " << i;
  EXPECT_EQ(link.DroppedFrames(), 0u);
}

TEST_F(LinkTest, CloseWhileADeliveryWaitsEndsItAndReturnsPromptly) {
  CSerialLink link;
  StartLink(link, owner);
  const std::size_t before = owner.ReceivedCount();
  for (int i = 0; i < 5; ++i) Send(link, BuildReadStatus());
  // The monitor now sits in a delivery only this thread can complete.
  ASSERT_TRUE(owner.WaitForPendingDelivery());
  std::this_thread::sleep_for(100ms);  // the rest of the replies are waiting unread
  const auto start = std::chrono::steady_clock::now();
  link.Close();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_FALSE(link.MonitorRunning());
  EXPECT_FALSE(link.DeviceOpen());
  // The shutdown stops the burst before its next byte.
  EXPECT_LT(owner.ReceivedCount() - before, 5 * kStatusReplySize);
}

TEST_F(LinkTest, ClosingWhileRepliesStreamInReturnsPromptly) {
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    CSerialLink link;
    StartLink(link, owner);
    for (int i = 0; i < 20; ++i) Send(link, BuildReadStatus());
    owner.PumpUntil([] { return false; }, std::chrono::milliseconds(20 * round));
    const auto start = std::chrono::steady_clock::now();
    link.Close();
    EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  }
}

TEST_F(LinkTest, DiscoveryListsTheBoardsPortByItsName) {
  PortTable table;
  EXPECT_TRUE(table.PortPresent(port));
  for (unsigned absent : {0u, 200u, 255u, 1000u}) EXPECT_FALSE(table.PortPresent(absent)) << absent;
  const std::vector<ListedPort> ports = table.DiscoverPorts();
  const auto found = std::find_if(ports.begin(), ports.end(),
                                  [&](const ListedPort& p) { return p.number == port; });
  ASSERT_NE(found, ports.end());
  EXPECT_EQ(found->name, "COM" + std::to_string(port));
  for (std::size_t i = 1; i < ports.size(); ++i) EXPECT_LT(ports[i - 1].number, ports[i].number);
}

// Windows refuses even a rights-less probe of a port another program holds
// open; that port is there all the same.
TEST(PortProbeTest, ABusyPortIsListedAMissingOneIsNot) {
  const struct {
    DWORD error;
    bool present;
  } cases[] = {{ERROR_ACCESS_DENIED, true},
               {ERROR_SHARING_VIOLATION, true},
               {ERROR_FILE_NOT_FOUND, false},
               {ERROR_GEN_FAILURE, false}};
  for (const auto& c : cases) {
    FaultyWin32Calls sys;
    sys.Inject(FaultyWin32Calls::Call::kCreateFile, c.error);
    EXPECT_EQ(PortTable(DefaultDeviceDirectory(), sys).PortPresent(200), c.present) << c.error;
  }
}

// The CPU figures below are only worth something if the clock they read moves.
TEST(ThreadCpuTimeTest, SeesABusyThreadWork) {
  std::atomic<DWORD> id{0};
  std::atomic<bool> stop{false};
  std::thread busy([&] {
    id = ::GetCurrentThreadId();
    while (!stop) {
    }
  });
  while (id == 0) std::this_thread::yield();
  const auto before = ThreadCpuTime(id);
  std::this_thread::sleep_for(300ms);
  const auto used = ThreadCpuTime(id) - before;
  stop = true;
  busy.join();
  EXPECT_GE(used, 100ms);
}

}  // namespace
}  // namespace quorvane::test
