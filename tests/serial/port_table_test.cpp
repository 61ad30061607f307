// COM numbers, device names and discovery against a folder of links to
// pseudo-terminals standing in for /dev.
#include <condition_variable>
#include <fstream>
#include <future>
#include <mutex>

#include "serial/port_scan.h"
#include "serial/posix/port_table.h"
#include "tests/serial/serial_test_support.h"

#include <gtest/gtest.h>

namespace quorvane::test {
namespace {

TEST(PortTableTest, NumbersMapToFixedDeviceRanges) {
  struct Case {
    unsigned number;
    const char* name;  // "" = no device
  };
  const Case cases[] = {{0, ""},           {1, "ttyS0"},     {32, "ttyS31"},    {33, "ttyUSB0"},
                        {64, "ttyUSB31"},  {65, "ttyACM0"},  {96, "ttyACM31"},  {97, "ttyAMA0"},
                        {128, "ttyAMA31"}, {129, "rfcomm0"}, {160, "rfcomm31"}, {161, ""},
                        {254, ""},         {255, ""}};
  const PortTable table("/devices");
  for (const Case& c : cases) {
    EXPECT_EQ(table.ListName(c.number), c.name) << "COM" << c.number;
    const auto path = table.DevicePath(c.number);
    if (*c.name == '\0') {
      EXPECT_FALSE(path) << "COM" << c.number;
      EXPECT_FALSE(table.PortPresent(c.number));
    } else {
      ASSERT_TRUE(path);
      EXPECT_EQ(*path, std::filesystem::path("/devices") / c.name);
      EXPECT_EQ(table.NumberOf(c.name), c.number);
    }
  }
}

TEST(PortTableTest, NumberOfRejectsNamesOutsideTheRanges) {
  const PortTable table;
  for (const char* name : {"ttyUSB32", "ttyS01", "ttyUSB", "ttyUSBx", "tty0", "pts3", "ttyS-1"})
    EXPECT_FALSE(table.NumberOf(name)) << name;
}

class DiscoveryTest : public ::testing::Test {
 protected:
  DiscoveryTest() : a(PtyPair::Make()), b(PtyPair::Make()), c(PtyPair::Make()) {
    std::filesystem::create_directory(sys.Path() / "probe");
  }
  void SetUartType(const std::string& name, int type) const {
    std::filesystem::create_directories(sys.Path() / name);
    std::ofstream(sys.Path() / name / "type") << type << "\n";
  }
  std::vector<std::pair<unsigned, std::string>> Found(const PortTable& table) const {
    std::vector<std::pair<unsigned, std::string>> found;
    for (const ListedPort& port : table.DiscoverPorts()) found.emplace_back(port.number, port.name);
    return found;
  }

  PtyPair a, b, c;
  DeviceDir dev;
  DeviceDir sys;
};

TEST_F(DiscoveryTest, ListsPresentPortsByIncreasingNumber) {
  dev.Link("rfcomm31", c.slavePath);
  dev.Link("ttyUSB2", a.slavePath);
  dev.Link("ttyS3", b.slavePath);
  dev.Link("ttyACM1", "/nonexistent/device");               // dangling link
  std::ofstream(dev.Path() / "ttyACM0") << "not a device";  // regular file
  dev.Link("ttyUSB40", a.slavePath);                        // beyond its range: no number
  const PortTable table(dev.Path(), sys.Path());
  const std::vector<std::pair<unsigned, std::string>> expected = {
      {4, "ttyS3"}, {35, "ttyUSB2"}, {160, "rfcomm31"}};
  EXPECT_EQ(Found(table), expected);
  EXPECT_FALSE(table.PortPresent(65));
  EXPECT_FALSE(table.PortPresent(66));
}

TEST_F(DiscoveryTest, EmptyUartSlotsAreAbsentButLinksToPseudoTerminalsAreNot) {
  dev.Link("ttyS5", "/dev/null");  // a character device standing in for a UART
  dev.Link("ttyS6", "/dev/null");
  dev.Link("ttyS7", "/dev/null");
  dev.Link("ttyS8", a.slavePath);
  SetUartType("ttyS5", 0);  // slot without a UART
  SetUartType("ttyS6", 4);  // a 16550A
  SetUartType("ttyS8", 0);  // ignored: the link leads to a pseudo-terminal
  const PortTable table(dev.Path(), sys.Path());
  EXPECT_FALSE(table.PortPresent(6));
  EXPECT_TRUE(table.PortPresent(7));
  EXPECT_TRUE(table.PortPresent(8)) << "no sysfs entry: present";
  EXPECT_TRUE(table.PortPresent(9));
}

TEST_F(DiscoveryTest, RescanDropsAPortThatDisappeared) {
  dev.Link("ttyUSB0", a.slavePath);
  dev.Link("ttyACM0", b.slavePath);
  const PortTable table(dev.Path(), sys.Path());
  ASSERT_EQ(Found(table).size(), 2u);
  dev.Remove("ttyUSB0");
  const std::vector<std::pair<unsigned, std::string>> expected = {{65, "ttyACM0"}};
  EXPECT_EQ(Found(table), expected);
}

TEST_F(DiscoveryTest, NoPortsGivesAnEmptyList) {
  EXPECT_TRUE(PortTable(dev.Path(), sys.Path()).DiscoverPorts().empty());
}

// Lists one port numbered after the scans made so far; a scan waits while held.
class HeldProbe final : public PortProbe {
 public:
  bool PortPresent(unsigned) const override { return true; }
  std::vector<ListedPort> DiscoverPorts() const override {
    std::unique_lock lock(m_mutex);
    m_released.wait(lock, [this] { return !m_held; });
    return {{++m_scans, "", ""}};
  }
  void Hold(bool held) {
    std::lock_guard lock(m_mutex);
    m_held = held;
    m_released.notify_all();
  }

 private:
  mutable std::mutex m_mutex;  // guards m_held and m_scans
  mutable std::condition_variable m_released;
  bool m_held = false;
  mutable unsigned m_scans = 0;
};

TEST(PortScanTest, OneScanAtATimeItsListServedToTheChangeThenTheSystemAsked) {
  HeldProbe system;
  PortScan scan(system);
  std::promise<void> finished;
  system.Hold(true);
  ASSERT_TRUE(scan.Start([&] { finished.set_value(); }));
  EXPECT_FALSE(scan.Start([] { ADD_FAILURE() << "a second scan ran beside the first"; }));
  system.Hold(false);
  finished.get_future().wait();
  std::vector<unsigned> seen;
  const auto look = [&] { seen.push_back(scan.DiscoverPorts().at(0).number); };
  // A nested serve with nothing newer keeps the outer list. The change goes
  // on after its pauses, so the first scan after the handler still gets it;
  // later ones ask the system.
  scan.ServeFinished([&] {
    look();
    scan.ServeFinished(look);
    look();
  });
  look();
  look();
  scan.ServeFinished(look);
  EXPECT_EQ(seen, (std::vector<unsigned>{1, 1, 1, 1, 2, 3}));
}

}  // namespace
}  // namespace quorvane::test
