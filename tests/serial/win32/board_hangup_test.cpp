// The board hangs up under an open link (with_board.sh starts it with
// --hangup-after): one notice, no box, no spinning, the link still closes,
// and the port leaves the list.
#include <cstdlib>
#include <string>

#include "serial/win32/port_table.h"
#include "tests/serial/win32/link_fixture.h"

namespace quorvane::test {
namespace {

using HangupTest = BoardFixture;

TEST_F(HangupTest, IsNoticedOnceWithoutBoxOrSpinAndThePortLeavesTheList) {
  const char* options = std::getenv("QUORVANE_BOARD_OPTIONS");
  if (options == nullptr || std::string(options).find("--hangup-after") == std::string::npos)
    GTEST_SKIP() << "the board was started without --hangup-after";
  PortTable table;
  EXPECT_TRUE(table.PortPresent(port)) << "the board hung up before the test began";
  CSerialLink link;
  StartLink(link, owner);
  ASSERT_TRUE(owner.PumpUntil([&] { return !owner.LostPorts().empty(); }, 20s))
      << "the hang-up went unnoticed";
  ASSERT_NE(link.Platform().MonitorThreadId(), 0u);
  EXPECT_LE(MonitorCpuOver(link, owner, 1000ms), kIdleCpuLimit)
      << "the thread spins on a dead device";
  Send(link, BuildReadStatus());  // dropped quietly
  owner.PumpUntil([] { return false; }, 200ms);
  EXPECT_EQ(owner.LostPorts(), std::vector<unsigned>{port});
  EXPECT_TRUE(owner.Errors().empty()) << owner.Errors().front();
  const auto start = std::chrono::steady_clock::now();
  link.Close();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 2s);
  EXPECT_FALSE(link.DeviceOpen());
  EXPECT_FALSE(table.PortPresent(port));
  for (const ListedPort& listed : table.DiscoverPorts()) EXPECT_NE(listed.number, port);
}

}  // namespace
}  // namespace quorvane::test
