// Hot-plug notices: links coming and going in a device folder, names the port
// table does not map, and one plug seen by both sources counted once.
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <deque>

#include "serial/posix/device_watcher.h"
#include "tests/serial/serial_test_support.h"

#include <gtest/gtest.h>

namespace quorvane::test {
namespace {

// Stands in for the udev daemon: its rebroadcasts are queued by the test.
class FakeUdev : public DeviceNoticeSource {
 public:
  FakeUdev() : m_fd(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
  int Fd() const override { return m_fd.Get(); }
  void Drain(std::vector<std::string>& names) override {
    std::uint64_t count = 0;
    (void)!::read(m_fd.Get(), &count, sizeof count);
    names.insert(names.end(), m_queued.begin(), m_queued.end());
    m_queued.clear();
  }
  void Announce(const std::string& name) {
    m_queued.push_back(name);
    const std::uint64_t one = 1;
    (void)!::write(m_fd.Get(), &one, sizeof one);
  }

 private:
  UniqueFd m_fd;
  std::deque<std::string> m_queued;
};

bool Readable(int fd, std::chrono::milliseconds limit) {
  pollfd p{fd, POLLIN, 0};
  return ::poll(&p, 1, static_cast<int>(limit.count())) == 1;
}

class DeviceWatcherTest : public ::testing::Test {
 protected:
  DeviceWatcherTest() : pty(PtyPair::Make()) {}
  // Every step leaves a notice, so the watcher's descriptor becomes readable;
  // the kernel queues directory notices before the call that caused them returns.
  bool Drain(DeviceWatcher& watcher) {
    EXPECT_TRUE(Readable(watcher.Fd(), 2s)) << "no notice arrived";
    const bool changed = watcher.DrainChanges();
    EXPECT_FALSE(Readable(watcher.Fd(), 0ms)) << "notices left behind";
    return changed;
  }

  PtyPair pty;
  DeviceDir dev;
};

TEST_F(DeviceWatcherTest, EachPortFileCreatedOrRemovedIsOneChange) {
  DeviceWatcher watcher(dev.Path(), nullptr);
  ASSERT_TRUE(watcher.Available());
  const auto rename = [&](const char* from, const char* to) {
    std::filesystem::rename(dev.Path() / from, dev.Path() / to);
  };
  struct Step {
    const char* what;
    std::function<void()> act;
    bool changed;
  };
  const Step steps[] = {
      {"link ttyUSB0", [&] { dev.Link("ttyUSB0", pty.slavePath); }, true},
      {"link ttyUSB40 (no port)", [&] { dev.Link("ttyUSB40", pty.slavePath); }, false},
      {"remove ttyUSB0", [&] { dev.Remove("ttyUSB0"); }, true},
      {"rename ttyUSB40 to ttyACM1", [&] { rename("ttyUSB40", "ttyACM1"); }, true},
      {"rename ttyACM1 to pts9", [&] { rename("ttyACM1", "pts9"); }, true},
      {"remove pts9 (no port)", [&] { dev.Remove("pts9"); }, false},
  };
  for (const Step& step : steps) {
    step.act();
    EXPECT_EQ(Drain(watcher), step.changed) << step.what;
  }
  EXPECT_TRUE(watcher.TakeUnavailableNotice().find("plugged in or out") == std::string::npos)
      << "the directory is watched: the list is refreshed";
}

// The kernel makes the device file, which the directory watch sees, and the
// udev daemon rebroadcasts the same plug a little later, in the same drain or
// a later one; a stale notice must not undo what the directory said.
TEST_F(DeviceWatcherTest, OnePlugSeenByBothSourcesIsOneChange) {
  dev.Link("ttyS2", pty.slavePath);  // present before watching starts
  auto udev = std::make_unique<FakeUdev>();
  FakeUdev& daemon = *udev;
  DeviceWatcher watcher(dev.Path(), std::move(udev));
  struct Step {
    const char* what;
    std::function<void()> act;
    bool changed;
  };
  const Step steps[] = {
      {"udev: ttyS2 already listed", [&] { daemon.Announce("ttyS2"); }, false},
      {"plug: file", [&] { dev.Link("ttyUSB0", pty.slavePath); }, true},
      {"plug: udev", [&] { daemon.Announce("ttyUSB0"); }, false},
      {"plug: both in one drain",
       [&] {
         dev.Link("ttyUSB1", pty.slavePath);
         daemon.Announce("ttyUSB1");
       },
       true},
      {"unplug: file", [&] { dev.Remove("ttyUSB0"); }, true},
      {"unplug: udev", [&] { daemon.Announce("ttyUSB0"); }, false},
      {"udev only, no file: nothing came", [&] { daemon.Announce("ttyACM0"); }, false},
      {"unplug and plug again before a drain: the list is as it was",
       [&] {
         dev.Remove("ttyUSB1");
         dev.Link("ttyUSB1", pty.slavePath);
       },
       false},
      {"udev's stale unplug", [&] { daemon.Announce("ttyUSB1"); }, false},
      {"udev's late replug", [&] { daemon.Announce("ttyUSB1"); }, false},
  };
  for (const Step& step : steps) {
    step.act();
    EXPECT_EQ(Drain(watcher), step.changed) << step.what;
  }
}

TEST(DeviceWatcherUnavailableTest, WithNeitherSourceItSaysSoOnceAndStaysQuiet) {
  DeviceWatcher watcher("/nonexistent/device/directory", OpenUdevNotices("/nonexistent/udev"));
  EXPECT_FALSE(watcher.Available());
  EXPECT_EQ(watcher.Fd(), -1);
  EXPECT_FALSE(watcher.DrainChanges());
  EXPECT_NE(watcher.TakeUnavailableNotice().find("not refreshed"), std::string::npos);
  EXPECT_TRUE(watcher.TakeUnavailableNotice().empty());
}

}  // namespace
}  // namespace quorvane::test
