// Each configuration step failing in turn: its box, the steps skipped after
// it, the purge that still runs, and the reasons given when opening fails.
#include <grp.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include "tests/serial/link_fixture.h"

namespace quorvane::test {
namespace {

using Call = FaultySystemCalls::Call;
using ConfigurationFailureTest = LinkFixture;

struct StepCase {
  const char* step;
  Call call;
  unsigned long ioctlRequest;
  Call skipped;  // a call that only a later step makes
  int skippedBefore;
};

TEST_F(ConfigurationFailureTest, FirstFailingStepShowsItsBoxSkipsTheRestAndStillPurges) {
  const StepCase cases[] = {
      {"SetCommTimeouts()", Call::kFcntl, 0, Call::kTcGetAttr, 0},
      {"SetCommMask()", Call::kPoll, 0, Call::kTcGetAttr, 0},
      {"GetCommState()", Call::kTcGetAttr, 0, Call::kTcSetAttr, 0},
      {"SetCommState()", Call::kTcSetAttr, 0, Call::kIoctl, 1},  // TIOCEXCL only, no RTS
      {"SetCommState()", Call::kIoctl, TIOCMBIS, Call::kTcGetAttr, 1},
  };
  for (const StepCase& c : cases) {
    FaultySystemCalls sys;
    PumpedOwner boxes;
    CSerialLink link(dir.Path(), sys);
    sys.Inject(c.call, {.error = EIO, .times = 1, .ioctlRequest = c.ioctlRequest});
    EXPECT_TRUE(
        link.Open(&boxes, kPort, 9600, 'N', 8, 0, EV_RXCHAR, 512, 1000, 1000, 1000, 1000, 1000))
        << c.step << ": the device is open even though it is not configured";
    ASSERT_EQ(boxes.Errors().size(), 1u) << c.step;
    EXPECT_EQ(boxes.Errors()[0],
              "WARNING:  " + std::string(c.step) +
                  " Failed with the following error: \nInput/output error\nPort: 33\n");
    EXPECT_EQ(boxes.Captions()[0], "Application Error");
    EXPECT_EQ(sys.Count(c.skipped), c.skippedBefore) << c.step << ": a later step ran";
    EXPECT_EQ(sys.Count(Call::kTcFlush), 1) << c.step << ": the purge did not run";
    EXPECT_TRUE(link.DeviceOpen());
  }
}

TEST_F(ConfigurationFailureTest, InterruptedCallsAreRetriedSilently) {
  for (Call call : {Call::kOpen, Call::kFlock, Call::kFcntl, Call::kTcGetAttr, Call::kTcSetAttr,
                    Call::kTcFlush}) {
    FaultySystemCalls sys;
    PumpedOwner boxes;
    CSerialLink link(dir.Path(), sys);
    sys.Inject(call, {.error = EINTR, .times = 2});
    EXPECT_TRUE(link.Open(&boxes, kPort, 9600, 'N', 8, 0, EV_RXCHAR, 512, 1, 1, 1, 1, 1));
    EXPECT_TRUE(boxes.Errors().empty()) << boxes.Errors().front();
    EXPECT_GE(sys.Count(call), 3);
  }
}

TEST_F(ConfigurationFailureTest, FailedOpenExplainsWhyWithoutABox) {
  struct Case {
    Call call;
    int error;
    const char* mentions;
  };
  const Case cases[] = {
      {Call::kOpen, EACCES, "usermod -aG"},           {Call::kOpen, EBUSY, "another program"},
      {Call::kFlock, EWOULDBLOCK, "another program"}, {Call::kOpen, ENOENT, "is not present"},
      {Call::kOpen, EMFILE, "Too many open files"},   {Call::kEventFd, EMFILE, "events"},
  };
  for (const Case& c : cases) {
    FaultySystemCalls sys;
    PumpedOwner boxes;
    CSerialLink link(dir.Path(), sys);
    sys.Inject(c.call, {.error = c.error});
    EXPECT_FALSE(link.Open(&boxes, kPort, 9600, 'N', 8, 0, EV_RXCHAR, 512, 1, 1, 1, 1, 1));
    EXPECT_NE(link.LastOpenError().find(c.mentions), std::string::npos)
        << "expected \"" << c.mentions << "\" in: " << link.LastOpenError();
    EXPECT_TRUE(boxes.Errors().empty());
    EXPECT_FALSE(link.DeviceOpen());
  }
}

TEST_F(ConfigurationFailureTest, PermissionDeniedNamesTheDevicesGroup) {
  struct stat info {};
  ASSERT_EQ(::stat(pty.slavePath.c_str(), &info), 0);
  const group* owning = ::getgrgid(info.st_gid);
  ASSERT_NE(owning, nullptr);
  FaultySystemCalls sys;
  CSerialLink link(dir.Path(), sys);
  sys.Inject(Call::kOpen, {.error = EACCES});
  EXPECT_FALSE(OpenAsPanel(link));
  const std::string reason = link.LastOpenError();
  EXPECT_NE(reason.find("group '" + std::string(owning->gr_name) + "'"), std::string::npos)
      << reason;
  EXPECT_NE(reason.find("usermod -aG " + std::string(owning->gr_name)), std::string::npos)
      << reason;
}

TEST_F(ConfigurationFailureTest, ReportErrorUsesErrnoAndThePortNumber) {
  CSerialLink link(dir.Path());
  ASSERT_TRUE(OpenAsPanel(link));
  errno = ENXIO;
  link.ReportError("ReadFile()");
  link.ReportError("WriteFile()", EPIPE);
  ASSERT_EQ(owner.Errors().size(), 2u);
  EXPECT_EQ(owner.Errors()[0], "WARNING:  ReadFile() Failed with the following error: \n" +
                                   std::string("No such device or address\nPort: 33\n"));
  EXPECT_NE(owner.Errors()[1].find("Broken pipe\nPort: 33"), std::string::npos);
}

}  // namespace
}  // namespace quorvane::test
