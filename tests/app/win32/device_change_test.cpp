// Windows sends several WM_DEVICECHANGE for one plug of any device. A burst
// is one device change, and the ports are probed off the window thread (a
// Bluetooth port can take seconds to answer), which answers meanwhile.
#include <chrono>
#include <future>

#include "controller/control_ids.h"
#include "window_fixture.h"

namespace quorvane::test {
namespace {

using namespace std::chrono_literals;

constexpr WPARAM kNodesChanged = 0x0007;  // DBT_DEVNODES_CHANGED

TEST_F(WindowTest, BurstOfDeviceChangesIsOneScanOffTheWindowThread) {
  const int before = ports.scans;  // the start-up scan
  ports.windowThread = GetCurrentThreadId();
  ports.Hold(true);
  // Released however the test ends: the window waits for its scan as it goes.
  const struct Release {
    OnePort& ports;
    ~Release() { ports.Hold(false); }
  } release{ports};
  ports.secondPort = true;
  constexpr int kBurst = 5;
  for (int i = 0; i < kBurst; ++i) PostMessageW(dlg->Handle(), WM_DEVICECHANGE, kNodesChanged, 0);
  for (int i = 0; i < 300 && ports.scans == before; ++i) {
    dlg->ProcessPending();
    Sleep(10);
  }
  ASSERT_EQ(ports.scans - before, 1) << "a burst of " << kBurst << " device changes";
  EXPECT_NE(ports.lastScanThread.load(), ports.windowThread) << "probed on the window thread";

  // The scan is held: another thread's message is still answered.
  HWND dialog = dlg->Handle();
  auto answered = std::async(std::launch::async, [dialog] {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result) != 0;
  });
  while (answered.wait_for(10ms) != std::future_status::ready) dlg->ProcessPending();
  EXPECT_TRUE(answered.get()) << "the window did not answer while the ports were probed";

  // Released, the scan's list is the one the device change shows; the
  // controller's rescan does not probe again.
  ports.Hold(false);
  HWND list = Control(IDC_PORT_LIST);
  for (int i = 0; i < 300 && SendMessageW(list, CB_GETCOUNT, 0, 0) != 2; ++i) {
    dlg->ProcessPending();
    Sleep(10);
  }
  EXPECT_EQ(SendMessageW(list, CB_GETCOUNT, 0, 0), 2);
  for (int i = 0; i < 50; ++i) {  // longer than the burst's wait: nothing more follows
    dlg->ProcessPending();
    Sleep(10);
  }
  EXPECT_EQ(ports.scans - before, 1);
  EXPECT_EQ(dlg->GetController().Flags().portOpen, 0);
}

}  // namespace
}  // namespace quorvane::test
