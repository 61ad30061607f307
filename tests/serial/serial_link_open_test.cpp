// Opening and configuring real pseudo-terminals: line settings, exclusivity,
// absent ports, reopening, and putting the device back as it was found.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include "serial/posix/link_platform.h"
#include "tests/serial/link_fixture.h"

namespace quorvane::test {
namespace {

using OpenTest = LinkFixture;

termios SettingsOf(int fd) {
  termios settings{};
  EXPECT_EQ(tcgetattr(fd, &settings), 0);
  return settings;
}

TEST_F(OpenTest, ConfiguresRaw9600EightNoneOne) {
  CSerialLink link(dir.Path());
  ASSERT_TRUE(OpenAsPanel(link)) << link.LastOpenError();
  const termios s = SettingsOf(pty.slave.Get());
  EXPECT_EQ(cfgetispeed(&s), B9600);
  EXPECT_EQ(cfgetospeed(&s), B9600);
  EXPECT_EQ(s.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_EQ(s.c_cflag & (PARENB | CSTOPB), 0u);
  EXPECT_EQ(s.c_cflag & (CLOCAL | CREAD), static_cast<tcflag_t>(CLOCAL | CREAD));
  EXPECT_EQ(s.c_lflag & (ICANON | ECHO | ISIG | IEXTEN), 0u);
  EXPECT_EQ(s.c_iflag & (IXON | ICRNL | ISTRIP), 0u);
  EXPECT_EQ(s.c_oflag & OPOST, 0u);
  EXPECT_EQ(s.c_cc[VMIN], 1);
  EXPECT_EQ(s.c_cc[VTIME], 0);
  EXPECT_TRUE(link.DeviceOpen());
  EXPECT_TRUE(link.LastOpenError().empty());
  EXPECT_TRUE(owner.Errors().empty());
}

TEST_F(OpenTest, CloseRestoresTheSettingsItFound) {
  const termios before = SettingsOf(pty.slave.Get());
  ASSERT_NE(before.c_lflag & ICANON, 0u);  // a fresh pseudo-terminal is cooked
  CSerialLink link(dir.Path());
  ASSERT_TRUE(OpenAsPanel(link));
  link.Close();
  const termios after = SettingsOf(pty.slave.Get());
  EXPECT_EQ(after.c_lflag, before.c_lflag);
  EXPECT_EQ(after.c_iflag, before.c_iflag);
  EXPECT_EQ(after.c_cflag, before.c_cflag);
  EXPECT_FALSE(link.DeviceOpen());
}

TEST_F(OpenTest, SecondOpenOfTheSameDeviceFailsEvenAsRoot) {
  CSerialLink first(dir.Path());
  CSerialLink second(dir.Path());
  ASSERT_TRUE(OpenAsPanel(first));
  EXPECT_FALSE(OpenAsPanel(second));
  EXPECT_NE(second.LastOpenError().find("busy"), std::string::npos) << second.LastOpenError();
  EXPECT_TRUE(owner.Errors().empty());
  first.Close();
  EXPECT_TRUE(OpenAsPanel(second)) << "the lock must go with the device";
}

// Another program holds the port: the reason names it, as the operator would
// otherwise have to hunt for it.
TEST_F(OpenTest, BusyPortNamesTheProgramHoldingIt) {
  int ready[2];
  int hold[2];
  ASSERT_EQ(::pipe2(ready, O_CLOEXEC), 0);
  ASSERT_EQ(::pipe2(hold, O_CLOEXEC), 0);
  const pid_t holder = ::fork();
  ASSERT_GE(holder, 0);
  if (holder == 0) {   // only async-signal-safe calls from here on
    ::close(hold[1]);  // or the wait below would never see the end of the pipe
    ::prctl(PR_SET_NAME, "portholder");
    const int fd = ::open(pty.slavePath.c_str(), O_RDWR | O_NOCTTY);
    const char ok = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'y' : 'n';
    (void)!::write(ready[1], &ok, 1);
    char unused;
    (void)!::read(hold[0], &unused, 1);  // returns when the test closes its end
    ::_exit(0);
  }
  ::close(ready[1]);
  ::close(hold[0]);
  char ok = 'n';
  EXPECT_EQ(::read(ready[0], &ok, 1), 1);
  EXPECT_EQ(ok, 'y');
  CSerialLink link(dir.Path());
  EXPECT_FALSE(OpenAsPanel(link));
  EXPECT_EQ(link.LastOpenError(), (dir.Path() / "ttyUSB0").string() +
                                      " is busy: in use by portholder (pid " +
                                      std::to_string(holder) + ").");
  ::close(hold[1]);
  ::close(ready[0]);
  int status = 0;
  EXPECT_EQ(::waitpid(holder, &status, 0), holder);
}

TEST_F(OpenTest, AbsentPortFailsWithReasonAndNoBox) {
  CSerialLink link(dir.Path());
  EXPECT_FALSE(OpenAsPanel(link, 34));  // ttyUSB1: no such file
  EXPECT_NE(link.LastOpenError().find("is not present"), std::string::npos) << link.LastOpenError();
  EXPECT_FALSE(OpenAsPanel(link, 200));  // beyond every device range
  EXPECT_EQ(link.LastOpenError(), "Port 200 has no device on this system.");
  EXPECT_FALSE(link.DeviceOpen());
  link.Close();
  EXPECT_FALSE(link.DeviceOpen());
  EXPECT_TRUE(owner.Errors().empty());
}

TEST_F(OpenTest, OpeningAgainReplacesTheDeviceAndReusesTheEvents) {
  PtyPair other = PtyPair::Make();
  dir.Link("ttyUSB1", other.slavePath);
  CSerialLink link(dir.Path());
  ASSERT_TRUE(OpenAsPanel(link, 33));
  const auto events = link.Platform().EventDescriptors();
  ASSERT_TRUE(OpenAsPanel(link, 34));
  EXPECT_EQ(link.Platform().EventDescriptors(), events);
  EXPECT_EQ(link.PortNumber(), 34u);

  CSerialLink probe(dir.Path());
  EXPECT_TRUE(OpenAsPanel(probe, 33)) << "the first device was not released";
  probe.Close();

  // A failed open after a good one leaves nothing open.
  EXPECT_FALSE(OpenAsPanel(link, 35));
  EXPECT_FALSE(link.DeviceOpen());
  EXPECT_TRUE(OpenAsPanel(probe, 34)) << "the second device was not released";
}

// A pseudo-terminal always keeps CS8 and clears PARENB whatever it is asked,
// so the request is read at the seam and the device is checked for the bits
// it does keep.
constexpr tcflag_t kPtyForced = CSIZE | PARENB;

struct ParityCase {
  char code;
  tcflag_t expected;
};

TEST_F(OpenTest, ParityLettersMapExactlyAndEverythingElseIsNone) {
  const ParityCase cases[] = {
      {'E', PARENB},
      {'O', PARENB | PARODD},
      {'M', PARENB | PARODD | CMSPAR},
      {'S', PARENB | CMSPAR},
      {'N', 0},
      {'n', 0},
      {'e', 0},
      {'o', 0},
      {'X', 0},
      {'\0', 0},
  };
  for (const ParityCase& c : cases) {
    FaultySystemCalls sys;
    CSerialLink link(dir.Path(), sys);
    ASSERT_TRUE(link.Open(&owner, kPort, 9600, c.code, 8, 0, EV_RXCHAR, 512, 1, 1, 1, 1, 1));
    ASSERT_EQ(sys.Requested().size(), 1u);
    const tcflag_t parity = PARENB | PARODD | CMSPAR;
    EXPECT_EQ(sys.Requested()[0].c_cflag & parity, c.expected)
        << "parity code '" << c.code << "' (" << int(c.code) << ")";
    EXPECT_EQ(SettingsOf(pty.slave.Get()).c_cflag & parity & ~kPtyForced, c.expected & ~kPtyForced)
        << "parity code '" << c.code << "' on the device";
  }
  EXPECT_TRUE(owner.Errors().empty());
}

TEST_F(OpenTest, StopBitsDataBitsAndRatesAreApplied) {
  struct Case {
    unsigned stopBitsCode;
    unsigned baud;
    unsigned dataBits;
    tcflag_t stopFlag;
    speed_t speed;
    tcflag_t size;
  };
  const Case cases[] = {{0, 9600, 8, 0, B9600, CS8},
                        {1, 19200, 5, CSTOPB, B19200, CS5},
                        {2, 115200, 7, CSTOPB, B115200, CS7},
                        {0, 9600, 0x106, 0, B9600, CS6}};  // only the low 8 bits count
  for (const Case& c : cases) {
    FaultySystemCalls sys;
    CSerialLink link(dir.Path(), sys);
    ASSERT_TRUE(link.Open(&owner, kPort, c.baud, 'N', c.dataBits, c.stopBitsCode, EV_RXCHAR, 512, 1,
                          1, 1, 1, 1));
    ASSERT_EQ(sys.Requested().size(), 1u);
    EXPECT_EQ(sys.Requested()[0].c_cflag & CSIZE, c.size) << c.dataBits << " data bits";
    const termios s = SettingsOf(pty.slave.Get());
    EXPECT_EQ(s.c_cflag & CSTOPB, c.stopFlag) << "stop-bit code " << c.stopBitsCode;
    EXPECT_EQ(cfgetospeed(&s), c.speed) << c.baud << " baud";
  }
  EXPECT_TRUE(owner.Errors().empty());
}

TEST_F(OpenTest, UnsupportedLineSettingIsReportedAsSetCommState) {
  CSerialLink link(dir.Path());
  EXPECT_FALSE(link.Open(&owner, kPort, 12345, 'N', 8, 0, EV_RXCHAR, 512, 1, 1, 1, 1, 1));
  EXPECT_NE(link.LastOpenError().find("SetCommState() failed: Invalid argument."),
            std::string::npos)
      << link.LastOpenError();
  ASSERT_EQ(owner.Errors().size(), 1u);
  EXPECT_EQ(owner.Errors()[0].rfind("WARNING:  SetCommState() Failed", 0), 0u) << owner.Errors()[0];
}

TEST_F(OpenTest, TimeOutsAreStoredInMilliseconds) {
  struct Case {
    std::uint32_t seconds;
    std::uint32_t stored;
  };
  // Unsigned 32-bit arithmetic: the largest value wraps as it always did.
  const Case cases[] = {{1000, 1000000}, {0, 0}, {1, 1000}, {4294968, 704}};
  for (const Case& c : cases) {
    CSerialLink link(dir.Path());
    ASSERT_TRUE(link.Open(&owner, kPort, 9600, 'N', 8, 0, EV_RXCHAR, 512, c.seconds, c.seconds,
                          c.seconds, c.seconds, c.seconds));
    const CommTimeouts& t = link.Timeouts();
    for (std::uint32_t value :
         {t.readIntervalTimeout, t.readTotalTimeoutMultiplier, t.readTotalTimeoutConstant,
          t.writeTotalTimeoutMultiplier, t.writeTotalTimeoutConstant})
      EXPECT_EQ(value, c.stored) << c.seconds << " s";
    EXPECT_EQ(link.EventMask(), EV_RXCHAR);
  }
}

TEST_F(OpenTest, MonitorNeedsOpenAndRunsHarmlesslyAfterAFailedOne) {
  CSerialLink link(dir.Path());
  EXPECT_FALSE(link.StartMonitor()) << "nothing could stop a thread started before Open";
  link.Close();
  ASSERT_FALSE(OpenAsPanel(link, 34));  // events made, no device
  ASSERT_TRUE(link.StartMonitor());
  EXPECT_FALSE(link.StartMonitor()) << "a second thread was started";
  const std::uint8_t frame[] = {'N', 'S', 0};
  link.Send(frame, sizeof frame);
  link.Close();
  EXPECT_FALSE(link.MonitorRunning());
  EXPECT_TRUE(owner.Errors().empty());
}

}  // namespace
}  // namespace quorvane::test
