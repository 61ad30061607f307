// Failures Wine's ports do not produce on demand, injected under the link on
// the board's real port: configuration refused, opens refused, a device that
// vanishes with each code Windows and Wine use for it, and faults that last.
#include <future>
#include <thread>

#include "serial/win32/error_text.h"
#include "tests/serial/win32/link_fixture.h"

namespace quorvane::test {
namespace {

using Call = FaultyWin32Calls::Call;

using LinkFaultTest = BoardFixture;

TEST_F(LinkFaultTest, AFailedConfigurationStepClosesTheDeviceAndSaysWhich) {
  const struct {
    Call call;
    const char* operation;
  } cases[] = {{Call::kSetCommTimeouts, "SetCommTimeouts()"},
               {Call::kSetCommMask, "SetCommMask()"},
               {Call::kGetCommState, "GetCommState()"},
               {Call::kSetCommState, "SetCommState()"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.operation);
    PumpedOwner fresh;
    FaultyWin32Calls sys;
    CSerialLink link(DefaultDeviceDirectory(), sys);
    // The box must come up with the link free: the owner may use it meanwhile.
    bool lockFree = false;
    fresh.OnError([&] {
      auto probe = std::async(std::launch::async, [&] { return link.DeviceOpen(); });
      lockFree = probe.wait_for(2s) == std::future_status::ready;
    });
    sys.Inject(c.call, ERROR_GEN_FAILURE);
    EXPECT_FALSE(OpenAsPanel(link, fresh));
    const std::string system = SystemErrorText(ERROR_GEN_FAILURE);
    EXPECT_FALSE(system.empty()) << "the box would not say what went wrong";
    EXPECT_FALSE(system.ends_with('\n')) << "the box lays out its own lines";
    EXPECT_EQ(link.LastOpenError(), "COM" + std::to_string(port) +
                                        " could not be configured: " + c.operation +
                                        " failed: " + system + (system.ends_with('.') ? "" : "."));
    ASSERT_EQ(fresh.Errors().size(), 1u);
    EXPECT_EQ(fresh.Errors()[0], FormatErrorReport(c.operation, system, port));
    EXPECT_EQ(fresh.Captions()[0], "Application Error");
    EXPECT_TRUE(lockFree) << "the box was shown with the I/O lock held";
    EXPECT_FALSE(link.DeviceOpen());
    // The device really was closed: it opens again at once.
    EXPECT_TRUE(OpenAsPanel(link, fresh)) << link.LastOpenError();
    link.Close();
  }
}

TEST_F(LinkFaultTest, ARefusedOpenGivesASentenceAndNoBox) {
  const std::string com = "COM" + std::to_string(port);
  const struct {
    DWORD error;
    std::string sentence;
  } cases[] = {
      {ERROR_FILE_NOT_FOUND, com + " is not present: no serial device has that number."},
      {ERROR_ACCESS_DENIED,
       com + " is in use by another program. Close it there, then open the port again."},
      {ERROR_GEN_FAILURE, "Could not open " + com + ": " + SystemErrorText(ERROR_GEN_FAILURE)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    FaultyWin32Calls sys;
    CSerialLink link(DefaultDeviceDirectory(), sys);
    sys.Inject(Call::kCreateFile, c.error);
    EXPECT_FALSE(OpenAsPanel(link, owner));
    EXPECT_EQ(link.LastOpenError().rfind(c.sentence, 0), 0u) << link.LastOpenError();
    EXPECT_FALSE(link.DeviceOpen());
  }
  EXPECT_TRUE(owner.Errors().empty());
}

// A driver without a usable port event wait: the port is watched another
// way, replies still arrive, and only an unexpected refusal is shown, once.
TEST_F(LinkFaultTest, APortWithoutEventWaitIsStillHeard) {
  const struct {
    DWORD error;
    std::size_t boxes;
  } cases[] = {{ERROR_INVALID_PARAMETER, 0}, {ERROR_NOT_SUPPORTED, 0}, {ERROR_CRC, 1}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.error);
    PumpedOwner fresh;
    FaultyWin32Calls sys;
    CSerialLink link(DefaultDeviceDirectory(), sys);
    sys.Inject(Call::kWaitCommEvent, c.error, FaultyWin32Calls::kAlways);
    StartLink(link, fresh);
    const std::size_t before = fresh.ReceivedCount();
    Send(link, BuildReadStatus());
    EXPECT_TRUE(
        fresh.PumpUntil([&] { return fresh.ReceivedCount() >= before + kStatusReplySize; }));
    EXPECT_LE(MonitorCpuOver(link, fresh, 500ms), kIdleCpuLimit);
    EXPECT_EQ(fresh.Errors().size(), c.boxes);
    EXPECT_TRUE(fresh.LostPorts().empty());
    link.Close();
  }
}

struct GoneCase {
  const char* name;
  Call call;
  DWORD error;
};

void PrintTo(const GoneCase& c, std::ostream* out) { *out << c.name; }

// The codes seen under Wine on a hung-up pseudo-terminal, and those Windows
// drivers give for an unplugged adapter, on each path the monitor takes.
const GoneCase kGoneCases[] = {
    {"WriteNotReady", Call::kWriteFile, ERROR_NOT_READY},
    {"WriteDeviceNotConnected", Call::kWriteFile, ERROR_DEVICE_NOT_CONNECTED},
    {"WriteBadCommand", Call::kWriteFile, ERROR_BAD_COMMAND},
    {"WriteAccessDenied", Call::kWriteFile, ERROR_ACCESS_DENIED},
    {"ReadGenFailure", Call::kReadFile, ERROR_GEN_FAILURE},
    {"ReadBrokenPipe", Call::kReadFile, ERROR_BROKEN_PIPE},
    {"QueryNotReady", Call::kClearCommError, ERROR_NOT_READY},
    {"QueryInvalidHandle", Call::kClearCommError, ERROR_INVALID_HANDLE},
    {"CompletionAborted", Call::kGetOverlappedResult, ERROR_OPERATION_ABORTED},
};

class DeviceGoneTest : public LinkFaultTest, public ::testing::WithParamInterface<GoneCase> {};

TEST_P(DeviceGoneTest, IsReportedOnceWithoutBoxOrSpinAndCloseStillWorks) {
  FaultyWin32Calls sys;
  CSerialLink link(DefaultDeviceDirectory(), sys);
  StartLink(link, owner);
  sys.Inject(GetParam().call, GetParam().error, FaultyWin32Calls::kAlways);
  Send(link, BuildReadStatus());
  ASSERT_TRUE(owner.PumpUntil([&] { return !owner.LostPorts().empty(); }));
  EXPECT_LE(MonitorCpuOver(link, owner, 1000ms), kIdleCpuLimit) << "the thread spins";
  Send(link, BuildReadStatus());  // dropped quietly
  owner.PumpUntil([] { return false; }, 100ms);
  EXPECT_EQ(owner.LostPorts(), std::vector<unsigned>{port});
  EXPECT_TRUE(owner.Errors().empty()) << owner.Errors().front();
  EXPECT_TRUE(link.MonitorRunning()) << "the thread must keep serving shutdown";
  const auto start = std::chrono::steady_clock::now();
  link.Close();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_FALSE(link.DeviceOpen());
}

INSTANTIATE_TEST_SUITE_P(Codes, DeviceGoneTest, ::testing::ValuesIn(kGoneCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Faults that last but do not mean the device is gone: one box for the run,
// no spin, and the replies held up meanwhile are delivered once they end.
TEST_F(LinkFaultTest, LastingFaultsShowOneBoxAndRecover) {
  const struct {
    const char* name;
    Call call;
  } cases[] = {{"reads", Call::kReadFile}, {"queries", Call::kClearCommError}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PumpedOwner fresh;
    FaultyWin32Calls sys;
    CSerialLink link(DefaultDeviceDirectory(), sys);
    StartLink(link, fresh);
    const std::size_t before = fresh.ReceivedCount();
    sys.Inject(c.call, ERROR_CRC, FaultyWin32Calls::kAlways);
    for (int i = 0; i < 3; ++i) Send(link, BuildReadStatus());
    EXPECT_LE(MonitorCpuOver(link, fresh, 1500ms), kIdleCpuLimit) << "the thread spins";
    sys.Inject(c.call, 0, 0);
    EXPECT_TRUE(
        fresh.PumpUntil([&] { return fresh.ReceivedCount() >= before + 3 * kStatusReplySize; }, 5s))
        << fresh.ReceivedCount() - before << " bytes";
    EXPECT_EQ(fresh.Errors().size(), 1u);
    EXPECT_TRUE(fresh.LostPorts().empty());
    link.Close();
  }
}

}  // namespace
}  // namespace quorvane::test
