// The window as the link's owner and the operator's first look at a failure:
// an error box raised for the monitor thread holds back anything that would
// wait for that thread, errors at the end of the session never raise a box,
// and a port that cannot be opened says why at once.
#include <chrono>
#include <future>
#include <thread>

#include "controller/control_ids.h"
#include "window_fixture.h"

namespace quorvane::test {
namespace {

using namespace std::chrono_literals;

// A visible window of this thread's of the given class, owned by owner.
HWND VisibleOwnedWindow(HWND owner, const wchar_t* windowClass) {
  struct Search {
    HWND owner;
    const wchar_t* windowClass;
    HWND found;
  } search{owner, windowClass, nullptr};
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND window, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        wchar_t name[64] = {};
        GetClassNameW(window, name, 64);
        if (_wcsicmp(name, s->windowClass) != 0 || !IsWindowVisible(window) ||
            GetWindow(window, GW_OWNER) != s->owner)
          return TRUE;
        s->found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

TEST_F(WindowTest, DeviceChangeWaitsUntilTheMonitorThreadsErrorBoxIsGone) {
  ASSERT_NO_FATAL_FAILURE(Sync());
  const DWORD windowThread = GetCurrentThreadId();
  HWND dialog = dlg->Handle();
  std::atomic<int> closesWhileBoxUp = -1;
  // The link's monitor thread: reports a failure and waits for the box.
  std::thread monitor([&] { dlg->ShowError("WriteFile failed on COM31", "Application Error"); });
  // The operator: while the box is up a device arrives, then the box is dismissed.
  std::thread operatorAtTheBox([&] {
    HWND box = nullptr;
    for (int i = 0; i < 100 && box == nullptr; ++i) {
      std::this_thread::sleep_for(50ms);
      EnumThreadWindows(
          windowThread,
          [](HWND window, LPARAM found) -> BOOL {
            wchar_t caption[64] = {};
            GetWindowTextW(window, caption, 64);
            if (std::wstring(caption) != L"Application Error") return TRUE;
            *reinterpret_cast<HWND*>(found) = window;
            return FALSE;
          },
          reinterpret_cast<LPARAM>(&box));
    }
    if (box == nullptr) return;
    PostMessageW(dialog, WM_DEVICECHANGE, 0x0007 /* DBT_DEVNODES_CHANGED */, 0);
    std::this_thread::sleep_for(500ms);  // the box's own loop handles the change meanwhile
    closesWhileBoxUp = link.closes.load();
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  });
  // The window thread: the box runs in here, inside the sent message.
  const auto end = std::chrono::steady_clock::now() + 10s;
  while (closesWhileBoxUp < 0 && std::chrono::steady_clock::now() < end) {
    dlg->ProcessPending();
    std::this_thread::sleep_for(10ms);
  }
  operatorAtTheBox.join();
  monitor.join();
  ASSERT_GE(closesWhileBoxUp.load(), 0) << "no error box appeared";
  EXPECT_EQ(closesWhileBoxUp.load(), 0) << "the link was closed while the monitor thread waited";
  // Once the box is gone the held-back device change runs: the link is
  // closed and reopened for the port that is still there.
  for (int i = 0; i < 50 && link.closes == 0; ++i) {
    dlg->ProcessPending();
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_GE(link.closes.load(), 1);
  EXPECT_EQ(dlg->GetController().Flags().portOpen, 1);
}

TEST_F(WindowTest, ErrorsAfterTheSessionEndedRaiseNoBox) {
  ASSERT_NO_FATAL_FAILURE(Sync());
  dlg->EndSession();
  EXPECT_GE(link.closes.load(), 1);
  auto report = std::async(
      std::launch::async, [&] { dlg->ShowError("ReadFile failed on COM31", "Application Error"); });
  EXPECT_EQ(report.wait_for(2s), std::future_status::ready) << "a late error waited for a box";
}

TEST_F(WindowTest, FailedOpenShowsWhyAtOnce) {
  link.openError = "COM31 is in use by another program";
  SendMessageW(Control(IDC_OPEN_PORT), BM_CLICK, 0, 0);
  dlg->ProcessPending();
  EXPECT_EQ(dlg->GetController().Flags().portOpen, 0);
  EXPECT_EQ(Text(Control(IDC_OPEN_PORT)), L"OpenPort");
  EXPECT_NE(VisibleOwnedWindow(dlg->Handle(), TOOLTIPS_CLASSW), nullptr)
      << "no tooltip popped up at the button";
  // A later successful open takes the hint away.
  link.openError.clear();
  SendMessageW(Control(IDC_OPEN_PORT), BM_CLICK, 0, 0);
  dlg->ProcessPending();
  EXPECT_EQ(dlg->GetController().Flags().portOpen, 1);
  EXPECT_EQ(VisibleOwnedWindow(dlg->Handle(), TOOLTIPS_CLASSW), nullptr);
}

}  // namespace
}  // namespace quorvane::test
