// Each configuration step failing in turn: its box, shown with the device
// free, the steps skipped after it, the device closed again, and the reasons
// given when opening fails.
#include <grp.h>
#include <sys/ioctl.h>
#include <sys/stat.h>

#include <future>
#include <thread>

#include <gmock/gmock.h>

#include "serial/posix/error_text.h"
#include "tests/serial/link_fixture.h"

namespace quorvane::test {
namespace {

using Call = FaultySystemCalls::Call;
using ConfigurationFailureTest = LinkFixture;

struct StepCase {
  const char* step;
  Call call;
  unsigned long ioctlRequest;
  Call skipped;  // a call that only a later step makes (closing makes neither)
  long skippedArgument;
};

// While its box is up, asks from another thread whether the device is open,
// which needs the link's device lock: a box shown under that lock would
// leave the question unanswered until the box went away.
class LockProbingOwner : public PumpedOwner {
 public:
  ~LockProbingOwner() override {
    for (std::thread& asker : m_askers) asker.join();
  }
  void ShowError(const std::string& text, const std::string& caption) override {
    auto answered = std::make_shared<std::promise<void>>();
    std::future<void> answer = answered->get_future();
    m_askers.emplace_back([this, answered] {
      m_link->DeviceOpen();
      answered->set_value();
    });
    m_lockFreeDuringBox.push_back(answer.wait_for(5s) == std::future_status::ready);
    PumpedOwner::ShowError(text, caption);
  }
  CSerialLink* m_link = nullptr;
  std::vector<bool> m_lockFreeDuringBox;

 private:
  std::vector<std::thread> m_askers;
};

TEST_F(ConfigurationFailureTest, FirstFailingStepShowsItsBoxWithTheDeviceFreeAndCloses) {
  const StepCase cases[] = {
      {"SetCommTimeouts()", Call::kFcntl, 0, Call::kTcGetAttr, 0},
      {"SetCommMask()", Call::kPoll, 0, Call::kTcGetAttr, 0},
      {"GetCommState()", Call::kTcGetAttr, 0, Call::kTcSetAttr, 0},
      {"SetCommState()", Call::kTcSetAttr, 0, Call::kIoctl, TIOCMBIS},
      {"SetCommState()", Call::kIoctl, TIOCMBIS, Call::kTcFlush, TCIOFLUSH},
  };
  for (const StepCase& c : cases) {
    FaultySystemCalls sys;
    LockProbingOwner boxes;
    CSerialLink link(dir.Path(), sys);
    boxes.m_link = &link;
    sys.Inject(c.call, {.error = EIO, .times = 1, .ioctlRequest = c.ioctlRequest});
    EXPECT_FALSE(
        link.Open(&boxes, kPort, 9600, 'N', 8, 0, EV_RXCHAR, 512, 1000, 1000, 1000, 1000, 1000))
        << c.step << ": an unconfigured device was reported open";
    EXPECT_EQ(link.LastOpenError(), (dir.Path() / "ttyUSB0").string() +
                                        " could not be configured: " + c.step +
                                        " failed: Input/output error.");
    ASSERT_EQ(boxes.Errors().size(), 1u) << c.step;
    EXPECT_EQ(boxes.m_lockFreeDuringBox, std::vector<bool>{true})
        << c.step << ": the box was shown while the device lock was held";
    EXPECT_EQ(boxes.Errors()[0],
              "WARNING:  " + std::string(c.step) +
                  " Failed with the following error: \nInput/output error\nPort: ttyUSB0\n");
    EXPECT_EQ(boxes.Captions()[0], "Application Error");
    const int skippedCalls = c.skipped == Call::kIoctl || c.skipped == Call::kTcFlush
                                 ? sys.Count(c.skipped, c.skippedArgument)
                                 : sys.Count(c.skipped);
    EXPECT_EQ(skippedCalls, 0) << c.step << ": a later step ran";
    EXPECT_FALSE(link.DeviceOpen()) << c.step << ": left half-open";
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
      {Call::kOpen, EACCES, "Permission denied on"},
      {Call::kOpen, EBUSY, "another program"},
      {Call::kFlock, EWOULDBLOCK, "another program"},
      {Call::kOpen, ENOENT, "ttyUSB0 is not present"},
      {Call::kOpen, EMFILE, "Too many open files"},
      {Call::kEventFd, EMFILE, "events"},
  };
  for (const Case& c : cases) {
    FaultySystemCalls sys;
    PumpedOwner boxes;
    CSerialLink link(dir.Path(), sys);
    sys.Inject(c.call, {.error = c.error});
    EXPECT_FALSE(link.Open(&boxes, kPort, 9600, 'N', 8, 0, EV_RXCHAR, 512, 1, 1, 1, 1, 1));
    EXPECT_NE(link.LastOpenError().find(c.mentions), std::string::npos)
        << "expected \"" << c.mentions << "\" in: " << link.LastOpenError();
    // The device is named as the list shows it, never by the panel's COM number.
    EXPECT_EQ(link.LastOpenError().find("COM"), std::string::npos) << link.LastOpenError();
    EXPECT_TRUE(boxes.Errors().empty());
    EXPECT_FALSE(link.DeviceOpen());
  }
}

// A group is named only when joining it would help: its mode grants read and
// write, and it is not root. Otherwise the advice is the administrator's udev rule.
TEST(PermissionDeniedTest, NamesAGroupOnlyWhenJoiningItWouldHelp) {
  constexpr unsigned kOther = 5;  // any group but root
  const group* other = ::getgrgid(kOther);
  const std::string otherName = other ? other->gr_name : std::to_string(kOther);
  struct Case {
    unsigned mode;
    unsigned gid;
    bool named;
  };
  const Case cases[] = {
      {S_IFCHR | 0600, 0, false},      {S_IFCHR | 0660, 0, false},
      {S_IFCHR | 0620, kOther, false}, {S_IFCHR | 0640, kOther, false},
      {S_IFCHR | 0660, kOther, true},
  };
  for (const Case& c : cases) {
    const std::string text = DescribePermissionDenied("/dev/ttyUSB0", c.mode, 0, c.gid);
    EXPECT_THAT(text, testing::StartsWith("Permission denied on /dev/ttyUSB0")) << text;
    if (c.named) {
      EXPECT_THAT(text, testing::HasSubstr("sudo usermod -aG " + otherName + " $USER"));
    } else {
      EXPECT_THAT(text, testing::Not(testing::HasSubstr("usermod")));
      EXPECT_THAT(text, testing::HasSubstr("udev rule"));
    }
  }
  EXPECT_THAT(DescribePermissionDenied("/dev/ttyUSB0", S_IFCHR | 0600, 0, 0),
              testing::HasSubstr("crw------- root root"));
}

TEST_F(ConfigurationFailureTest, PermissionDeniedDescribesTheDeviceItself) {
  struct stat info {};
  ASSERT_EQ(::stat(pty.slavePath.c_str(), &info), 0);
  FaultySystemCalls sys;
  CSerialLink link(dir.Path(), sys);
  sys.Inject(Call::kOpen, {.error = EACCES});
  EXPECT_FALSE(OpenAsPanel(link));
  EXPECT_EQ(link.LastOpenError(), DescribePermissionDenied((dir.Path() / "ttyUSB0").string(),
                                                           info.st_mode, info.st_uid, info.st_gid));
}

TEST_F(ConfigurationFailureTest, ReportErrorUsesErrnoAndThePortsDeviceName) {
  CSerialLink link(dir.Path());
  ASSERT_TRUE(OpenAsPanel(link));
  errno = ENXIO;
  link.ReportError("ReadFile()");
  link.ReportError("WriteFile()", EPIPE);
  ASSERT_EQ(owner.Errors().size(), 2u);
  EXPECT_EQ(owner.Errors()[0], "WARNING:  ReadFile() Failed with the following error: \n" +
                                   std::string("No such device or address\nPort: ttyUSB0\n"));
  EXPECT_NE(owner.Errors()[1].find("Broken pipe\nPort: ttyUSB0\n"), std::string::npos);
}

// Closing goes through the seam; a failed close is reported once, a device
// that has gone saying so as it closes is not news, and EINTR still closed it.
TEST_F(ConfigurationFailureTest, AFailedCloseIsReportedUnlessTheDeviceHasGone) {
  const std::pair<int, bool> cases[] = {{EBADF, true}, {EIO, false}, {EINTR, false}};
  for (const auto& [error, reported] : cases) {
    SCOPED_TRACE(error);
    FaultySystemCalls sys;
    CSerialLink link(dir.Path(), sys);
    StartLink(link);
    const std::size_t before = owner.Errors().size();
    sys.Inject(FaultySystemCalls::Call::kClose, {.error = error});
    link.Close();
    EXPECT_FALSE(link.DeviceOpen());
    EXPECT_EQ(sys.Count(FaultySystemCalls::Call::kClose), 1);
    ASSERT_EQ(owner.Errors().size(), before + (reported ? 1u : 0u));
    if (reported) {
      EXPECT_NE(owner.Errors().back().find("CloseHandle()"), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace quorvane::test
