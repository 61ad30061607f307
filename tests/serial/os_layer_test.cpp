// The building blocks under the link: descriptors, events, the prioritised
// wait, whole-frame writes, the frame queue, error texts.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "serial/frame_queue.h"
#include "serial/posix/error_text.h"
#include "serial/posix/manual_reset_event.h"
#include "serial/posix/port_device.h"
#include "tests/serial/serial_test_support.h"

namespace quorvane::test {
namespace {

bool IsOpen(int fd) { return ::fcntl(fd, F_GETFD) != -1; }

TEST(UniqueFdTest, MovingHandsOverAndTheLastOwnerCloses) {
  int raw[2];
  ASSERT_EQ(::pipe(raw), 0);
  ::close(raw[1]);
  UniqueFd a(raw[0]);
  UniqueFd b(std::move(a));
  EXPECT_FALSE(a.Valid());
  EXPECT_EQ(b.Get(), raw[0]);
  UniqueFd c;
  c = std::move(b);
  EXPECT_FALSE(b.Valid());
  EXPECT_TRUE(IsOpen(raw[0]));
  c.Reset();
  EXPECT_FALSE(IsOpen(raw[0]));
}

TEST(ManualResetEventTest, StaysSetUntilResetHoweverOftenItIsSeen) {
  ManualResetEvent event;
  ASSERT_TRUE(event.Create());
  EXPECT_FALSE(event.IsSet());
  event.Set();
  event.Set();
  EXPECT_TRUE(event.IsSet());
  EXPECT_TRUE(event.IsSet());
  event.Reset();
  EXPECT_FALSE(event.IsSet());
  event.Reset();  // resetting a clear event is harmless
  EXPECT_FALSE(event.IsSet());
}

TEST(WaitAnyTest, ServesTheLowestReadySlot) {
  struct Case {
    bool stop, write, port;
    int expected;
  };
  const Case cases[] = {{true, true, true, 0},   {true, false, true, 0},  {false, true, true, 1},
                        {false, true, false, 1}, {false, false, true, 2}, {true, false, false, 0}};
  for (const Case& c : cases) {
    ManualResetEvent stop, write, port;
    ASSERT_TRUE(stop.Create() && write.Create() && port.Create());
    if (c.stop) stop.Set();
    if (c.write) write.Set();
    if (c.port) port.Set();
    const int fds[3] = {stop.Fd(), write.Fd(), port.Fd()};
    const WaitResult result = WaitAny(RealSystemCalls(), fds, 3);
    EXPECT_EQ(result.kind, WaitResult::kReady);
    EXPECT_EQ(result.index, c.expected)
        << "stop " << c.stop << " write " << c.write << " port " << c.port;
  }
}

TEST(WaitAnyTest, RetriesAnInterruptedWaitAndSkipsUnusedSlots) {
  FaultySystemCalls sys;
  ManualResetEvent write(sys);
  ASSERT_TRUE(write.Create());
  write.Set();
  sys.Inject(FaultySystemCalls::Call::kPoll, {.error = EINTR, .times = 2});
  const int fds[3] = {-1, write.Fd(), -1};
  const WaitResult result = WaitAny(sys, fds, 3);
  EXPECT_EQ(result.kind, WaitResult::kReady);
  EXPECT_EQ(result.index, 1);
  EXPECT_EQ(sys.Count(FaultySystemCalls::Call::kPoll), 3);
}

TEST(WaitAnyTest, ReportsAFailedWaitWithItsError) {
  FaultySystemCalls sys;
  ManualResetEvent stop;
  ASSERT_TRUE(stop.Create());
  sys.Inject(FaultySystemCalls::Call::kPoll, {.error = ENOMEM});
  const int fds[1] = {stop.Fd()};
  const WaitResult result = WaitAny(sys, fds, 1);
  EXPECT_EQ(result.kind, WaitResult::kFailed);
  EXPECT_EQ(result.error, ENOMEM);
}

TEST(PortDeviceTest, WritesAWholeFrameThroughShortWritesAndFullBuffers) {
  PtyPair pty = PtyPair::Make();
  ManualResetEvent stop;
  ASSERT_TRUE(stop.Create());
  struct Case {
    const char* name;
    FaultySystemCalls::Fault fault;
  };
  const Case cases[] = {
      {"one byte per write", {.deviceOnly = true, .maxWrite = 1}},
      {"EAGAIN twice", {.error = EAGAIN, .times = 2, .deviceOnly = true}},
      {"EINTR", {.error = EINTR, .times = 3, .deviceOnly = true}},
  };
  for (const Case& c : cases) {
    FaultySystemCalls sys;
    int error = 0;
    auto device = PortDevice::Open(sys, pty.slavePath, &error);
    ASSERT_TRUE(device) << SystemErrorText(error);
    ASSERT_TRUE(device->ReadSettings() && device->WriteSettings({}));
    sys.Inject(FaultySystemCalls::Call::kWrite, c.fault);
    const std::vector<std::uint8_t> frame = {'N', 'S', 5, 0, 2, 0x55, 0xAA, 0, 0xFF};
    EXPECT_EQ(device->WriteAll(frame.data(), frame.size(), stop.Fd(), &error), IoStatus::kDone)
        << c.name;
    EXPECT_EQ(pty.Read(frame.size()), frame) << c.name;
  }
}

TEST(PortDeviceTest, ReadsWaitingBytesOneAtATime) {
  PtyPair pty = PtyPair::Make();
  int error = 0;
  auto device = PortDevice::Open(RealSystemCalls(), pty.slavePath, &error);
  ASSERT_TRUE(device && device->ReadSettings() && device->WriteSettings({}));
  pty.Write({7, 8});
  ManualResetEvent stop;
  ASSERT_TRUE(stop.Create());
  int waiting = 0;
  for (int i = 0; i < 200 && waiting < 2; ++i) {
    ASSERT_TRUE(device->BytesWaiting(&waiting));
    if (waiting < 2) ::usleep(1000);
  }
  ASSERT_EQ(waiting, 2);
  std::uint8_t byte = 0;
  ASSERT_EQ(device->ReadByte(&byte, stop.Fd(), &error), IoStatus::kDone);
  EXPECT_EQ(byte, 7);
  ASSERT_TRUE(device->BytesWaiting(&waiting));
  EXPECT_EQ(waiting, 1);
}

// Output stuck behind flow control would hold close in the driver's closing
// wait: it is thrown away first, while the device is still ours.
TEST(PortDeviceTest, ClosingFlushesUnsentOutputBeforeRestoringAndReleasing) {
  PtyPair pty = PtyPair::Make();
  FaultySystemCalls sys;
  int error = 0;
  auto device = PortDevice::Open(sys, pty.slavePath, &error);
  ASSERT_TRUE(device && device->ReadSettings() && device->WriteSettings({}));
  const std::size_t opened = sys.Log().size();
  device.reset();
  const auto log = sys.Log();
  using Call = FaultySystemCalls::Call;
  const auto at = [&](Call call, long argument) {
    for (std::size_t i = opened; i < log.size(); ++i)
      if (log[i] == std::pair{call, argument}) return static_cast<long>(i - opened);
    return -1L;
  };
  const long flush = at(Call::kTcFlush, TCOFLUSH);
  const long restore = at(Call::kTcSetAttr, 0);
  const long release = at(Call::kIoctl, TIOCNXCL);
  ASSERT_GE(flush, 0) << "unsent output was not flushed";
  EXPECT_LT(flush, restore);
  EXPECT_LT(restore, release);
  EXPECT_EQ(sys.Count(Call::kTcFlush, TCIFLUSH) + sys.Count(Call::kTcFlush, TCIOFLUSH), 0)
      << "received bytes are not ours to drop";
}

TEST(FrameQueueTest, KeepsOrderAndDropsTheOldestWhenFull) {
  FrameQueue queue(3);
  for (std::uint8_t i = 1; i <= 5; ++i) queue.Push(&i, 1);
  EXPECT_EQ(queue.Dropped(), 2u);
  for (std::uint8_t expected = 3; expected <= 5; ++expected) {
    auto frame = queue.Pop();
    ASSERT_TRUE(frame);
    EXPECT_EQ(*frame, Frame{expected});
  }
  EXPECT_FALSE(queue.Pop());
  EXPECT_EQ(FrameQueue().Size(), 0u);
}

TEST(ErrorTextTest, ReportNamesOperationSystemTextAndPort) {
  EXPECT_EQ(FormatErrorReport("WriteFile()", SystemErrorText(EIO), 7),
            "WARNING:  WriteFile() Failed with the following error: \nInput/output error\n"
            "Port: 7\n");
  EXPECT_EQ(SystemErrorText(ENOENT), "No such file or directory");
}

TEST(ErrorTextTest, LongReportIsCutAt199BytesOnACharacterBoundary) {
  // One ASCII letter, then characters of 1 to 4 bytes: a cut at byte 199
  // falls inside all but the first, and the box would show U+FFFD there.
  const struct {
    const char* character;
    std::size_t expectedSize;
  } cases[] = {{"x", 199}, {"\u00e9", 198}, {"\u9519", 197}, {"\U0001F600", 196}};
  for (const auto& c : cases) {
    std::string longText = "x";
    while (longText.size() < 300) longText += c.character;
    const std::string report = FormatErrorReport("ReadFile()", longText, 3);
    const std::string full =
        "WARNING:  ReadFile() Failed with the following error: \n" + longText + "\nPort: 3\n";
    EXPECT_EQ(report, full.substr(0, c.expectedSize))
        << c.character << ": " << report.size() << " bytes";
  }
  // Exactly at the limit nothing is lost.
  const std::string head = "WARNING:  X Failed with the following error: \n\nPort: 3\n";
  const std::string fits(199 - head.size(), 'y');
  const std::string exact = FormatErrorReport("X", fits, 3);
  EXPECT_EQ(exact.size(), 199u);
  EXPECT_EQ(exact.substr(exact.size() - 8), "Port: 3\n");
}

TEST(ErrorTextTest, OnlyDeviceLossErrorsCountAsGone) {
  for (int gone : {EIO, ENXIO, ENODEV}) EXPECT_TRUE(IsDeviceGoneError(gone)) << gone;
  for (int other : {EAGAIN, EINVAL, EPIPE, EBUSY, 0})
    EXPECT_FALSE(IsDeviceGoneError(other)) << other;
}

}  // namespace
}  // namespace quorvane::test
