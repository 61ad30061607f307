// The window as the link's owner and the operator's first look at a failure:
// an error box raised for the monitor thread holds back anything that would
// wait for that thread, a box ends a step button's hold, errors at the end of
// the session never raise a box, and a port that cannot be opened says why at
// once.
#include <chrono>
#include <future>
#include <ostream>
#include <string>
#include <thread>

#include "controller/control_ids.h"
#include "protocol/codes.h"
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
  for (int i = 0; i < 100 && (link.closes == 0 || dlg->GetController().Paused()); ++i) {
    dlg->ProcessPending();
    std::this_thread::sleep_for(20ms);
  }
  EXPECT_GE(link.closes.load(), 1);
  EXPECT_EQ(dlg->GetController().Flags().portOpen, 1);
}

// A visible window of the given thread with the given caption.
HWND CaptionedWindow(DWORD thread, const wchar_t* caption) {
  struct Search {
    const wchar_t* caption;
    HWND found;
  } search{caption, nullptr};
  EnumThreadWindows(
      thread,
      [](HWND window, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        wchar_t text[64] = {};
        GetWindowTextW(window, text, 64);
        if (!IsWindowVisible(window) || std::wstring(text) != s->caption) return TRUE;
        s->found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

struct BoxCase {
  const char* name;
  const wchar_t* caption;
  bool fromMonitorThread;  // else F1's help box, from the window thread
};

void PrintTo(const BoxCase& box, std::ostream* out) { *out << box.name; }

class BoxDuringAHold : public WindowTest, public ::testing::WithParamInterface<BoxCase> {};

// A box that opens while a step button is held ends the hold, and the
// release goes to the box's own loop, never to the panel's pre-filter: no
// step may go out from the moment the box is up, and the poll comes back.
TEST_P(BoxDuringAHold, EndsTheHoldAndTheBoxTakesTheRelease) {
  const BoxCase& box = GetParam();
  ASSERT_NO_FATAL_FAILURE(Sync());
  helpOpensABox = true;
  PointAt(Control(IDC_CURRENT_UP));
  LeftButton(true);
  PumpFor(500ms);
  ASSERT_GE(link.setCurrentFrames.load(), 1) << "the hold stepped nothing before the box";

  const DWORD windowThread = GetCurrentThreadId();
  std::atomic<int> stepsAtOpen = -1;
  std::atomic<bool> dismissed = false;
  // The operator: keeps the button down while the box is up, lets it go
  // over the box, then dismisses the box.
  std::thread operatorAtTheBox([&] {
    HWND shown = nullptr;
    for (int i = 0; i < 100 && shown == nullptr; ++i) {
      std::this_thread::sleep_for(50ms);
      shown = CaptionedWindow(windowThread, box.caption);
    }
    if (shown != nullptr) {
      stepsAtOpen = link.setCurrentFrames.load();
      std::this_thread::sleep_for(600ms);  // three repeat periods with the button down
      PointAt(shown);
      LeftButton(false);
      std::this_thread::sleep_for(300ms);
      PostMessageW(shown, WM_COMMAND, IDOK, 0);
    }
    dismissed = true;
  });
  std::thread monitor;
  if (box.fromMonitorThread) {
    monitor =
        std::thread([&] { dlg->ShowError("WriteFile failed on COM31", "Application Error"); });
  } else {
    PostMessageW(GetFocus(), WM_KEYDOWN, VK_F1, 0);
  }
  const auto end = std::chrono::steady_clock::now() + 10s;
  while (!dismissed && std::chrono::steady_clock::now() < end) {
    dlg->ProcessPending();
    std::this_thread::sleep_for(10ms);
  }
  operatorAtTheBox.join();
  if (monitor.joinable()) monitor.join();
  ASSERT_GE(stepsAtOpen.load(), 0) << "no box appeared";
  const std::size_t polls = link.FramesWithCode(CMD_READ_STATUS).size();
  PumpFor(1000ms);
  EXPECT_EQ(link.setCurrentFrames.load(), stepsAtOpen.load())
      << "steps went out after the box opened";
  EXPECT_GT(link.FramesWithCode(CMD_READ_STATUS).size(), polls) << "the poll did not come back";
}

INSTANTIATE_TEST_SUITE_P(Boxes, BoxDuringAHold,
                         ::testing::Values(BoxCase{"ErrorBox", L"Application Error", true},
                                           BoxCase{"HelpBox", L"Help", false}),
                         [](const auto& info) { return std::string(info.param.name); });

// A device change pauses and closes the link, whose Close pumps the window's
// messages. Input taken during it, in its pauses or in that pump, goes through
// the pre-filter as in the main loop: a release ends the hold and brings the
// poll back, a press starts one.
TEST_F(WindowTest, InputPumpedInsideCloseGoesThroughThePreFilter) {
  ASSERT_NO_FATAL_FAILURE(Sync());
  PointAt(Control(IDC_CURRENT_UP));
  LeftButton(true);
  PumpFor(500ms);
  ASSERT_GE(link.setCurrentFrames.load(), 1) << "the hold stepped nothing";
  const auto untilReopened = [&] {
    for (int i = 0; i < 200 && dlg->GetController().Paused(); ++i) PumpFor(10ms);
  };

  // Queued input waits for the loop, which turns again during the change.
  LeftButton(false);
  dlg->GetController().OnDeviceChange();
  untilReopened();
  ASSERT_EQ(dlg->GetController().Flags().portOpen, 1) << "the port was not reopened";
  const int steps = link.setCurrentFrames;
  const std::size_t polls = link.FramesWithCode(CMD_READ_STATUS).size();
  PumpFor(1000ms);
  EXPECT_EQ(link.setCurrentFrames.load(), steps) << "steps went on after a release taken in Close";
  EXPECT_GT(link.FramesWithCode(CMD_READ_STATUS).size(), polls) << "the poll did not come back";

  LeftButton(true);
  dlg->GetController().OnDeviceChange();
  untilReopened();
  const int atReopen = link.setCurrentFrames;
  PumpFor(700ms);
  EXPECT_GE(link.setCurrentFrames - atReopen, 2) << "a press taken in Close started no hold";
  LeftButton(false);
}

TEST_F(WindowTest, ErrorsAfterTheSessionEndedRaiseNoBox) {
  ASSERT_NO_FATAL_FAILURE(Sync());
  dlg->EndSession();
  EXPECT_GE(link.closes.load(), 1);
  EXPECT_EQ(link.detaches, 1) << "the link can still call the ended window";
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
