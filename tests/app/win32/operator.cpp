// The operator at the real quorvane.exe, from another process under the same
// Wine: finds the window by its caption, opens the virtual board's port,
// waits for the board's values, types a current set-point with Enter as a
// real key, and closes the window while it polls. Every step has a time limit.
//
//   operator sync PORT     select PORT (e.g. COM31), press OpenPort, wait for values
//   operator set VALUE     type VALUE into the current field and press Enter
//   operator activate      switch soft-active on; the measured current must rise
//   operator close         close the window; the program must end within 5 s
//   operator history SPAN  press F2 and choose the span ("1 min", "All", ...)
//   operator layout        print the client size; every control must lie inside it
//   operator limited VALUE TOP  under a lab limit of TOP mA: the slider ends at TOP, and
//                          VALUE typed with Enter comes back as TOP
//   operator red ID        read-out ID is drawn red on the screen
// clang-format off
#include <windows.h>
#include <commctrl.h>
// clang-format on

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "controller/control_ids.h"

using namespace quorvane;
using Clock = std::chrono::steady_clock;

namespace {

constexpr const wchar_t* kCaption = L"Quorvane-V20221210-2.5W";

int Fail(const char* what) {
  std::printf("operator: FAILED: %s\n", what);
  return 1;
}

// Polls until done() holds or the limit passes.
template <typename Done>
bool WaitFor(std::chrono::milliseconds limit, Done done) {
  const auto end = Clock::now() + limit;
  while (!done()) {
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return true;
}

HWND FindPanel(std::chrono::milliseconds limit) {
  HWND panel = nullptr;
  WaitFor(limit, [&] { return (panel = FindWindowW(nullptr, kCaption)) != nullptr; });
  return panel;
}

// Another process's window text. The panel may be in one of its short
// pauses, so the call waits a little instead of failing at once.
std::wstring TextOf(HWND window) {
  wchar_t text[128] = {};
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(window, WM_GETTEXT, 128, reinterpret_cast<LPARAM>(text),
                           SMTO_ABORTIFHUNG, 2000, &copied))
    return {};
  return text;
}

std::string Narrow(const std::wstring& text) { return std::string(text.begin(), text.end()); }

int Sync(HWND panel, const std::wstring& port) {
  HWND list = GetDlgItem(panel, IDC_PORT_LIST);
  DWORD_PTR index = 0;
  if (!SendMessageTimeoutW(list, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                           reinterpret_cast<LPARAM>(port.c_str()), SMTO_ABORTIFHUNG, 5000,
                           &index) ||
      static_cast<LRESULT>(index) == CB_ERR) {
    std::printf("operator: the list holds %d ports\n",
                static_cast<int>(SendMessageW(list, CB_GETCOUNT, 0, 0)));
    return Fail("the port is not in the panel's list");
  }
  SendMessageW(list, CB_SETCURSEL, index, 0);
  // Posted, so this process does not wait while the panel opens the port.
  PostMessageW(GetDlgItem(panel, IDC_OPEN_PORT), BM_CLICK, 0, 0);
  if (!WaitFor(std::chrono::seconds(5),
               [&] { return TextOf(GetDlgItem(panel, IDC_OPEN_PORT)) == L"ClosePort"; }))
    return Fail("the port did not open");
  // The first full reply fills the entry fields; the first status reply the readings.
  const bool synced = WaitFor(std::chrono::seconds(20), [&] {
    return !TextOf(GetDlgItem(panel, IDC_CURRENT_EDIT)).empty() &&
           !TextOf(GetDlgItem(panel, IDC_CURRENT_READ)).empty() &&
           !TextOf(GetDlgItem(panel, IDC_PUMP_TEMP)).empty();
  });
  if (!synced) return Fail("the panel never showed the board's values");
  std::printf("operator: synced: set-point %s mA, reading %s mA, pump %s\n",
              Narrow(TextOf(GetDlgItem(panel, IDC_CURRENT_EDIT))).c_str(),
              Narrow(TextOf(GetDlgItem(panel, IDC_CURRENT_READ))).c_str(),
              Narrow(TextOf(GetDlgItem(panel, IDC_PUMP_TEMP))).c_str());
  return 0;
}

int Set(HWND panel, const std::string& value) {
  HWND edit = GetDlgItem(panel, IDC_CURRENT_EDIT);
  // Typed, as keys would type it: the characters go through the panel's loop
  // and its field's filter; the whole old text is selected and replaced.
  PostMessageW(edit, EM_SETSEL, 0, -1);
  for (const char c : value) PostMessageW(edit, WM_CHAR, static_cast<WPARAM>(c), 1);
  const std::wstring wanted(value.begin(), value.end());
  if (!WaitFor(std::chrono::seconds(5), [&] { return TextOf(edit) == wanted; }))
    return Fail("the typed value did not arrive in the field");
  // Enter as a key press at the field: the panel's pre-filter must see it.
  const LPARAM returnKey = 1 | (MapVirtualKeyW(VK_RETURN, MAPVK_VK_TO_VSC) << 16);
  PostMessageW(edit, WM_KEYDOWN, VK_RETURN, returnKey);
  PostMessageW(edit, WM_KEYUP, VK_RETURN, returnKey | (1u << 30) | (1u << 31));
  // The panel sends the setting twice, 100 ms apart, and the board confirms
  // it; what reached the board is read from the board's own log.
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  std::printf("operator: after Enter: field %s\n", Narrow(TextOf(edit)).c_str());
  return TextOf(edit) == wanted ? 0 : Fail("the field lost the set-point");
}

int Activate(HWND panel) {
  HWND button = GetDlgItem(panel, IDC_SOFT_ACTIVE);
  if (TextOf(button) != L"OFF") return Fail("the soft-active switch does not read OFF");
  PostMessageW(button, BM_CLICK, 0, 0);
  // The caption changes only when the board reports its new state; the
  // measured current then ramps toward the set-point.
  if (!WaitFor(std::chrono::seconds(10), [&] { return TextOf(button) == L"ON"; }))
    return Fail("the board never reported soft-active on");
  const bool ramping = WaitFor(std::chrono::seconds(20), [&] {
    return std::wcstol(TextOf(GetDlgItem(panel, IDC_CURRENT_READ)).c_str(), nullptr, 10) > 0;
  });
  std::printf("operator: soft-active ON, reading %s mA\n",
              Narrow(TextOf(GetDlgItem(panel, IDC_CURRENT_READ))).c_str());
  return ramping ? 0 : Fail("the measured current never moved toward the set-point");
}

int Limited(HWND panel, const std::string& value, int top) {
  DWORD_PTR end = 0;
  if (!SendMessageTimeoutW(GetDlgItem(panel, IDC_CURRENT_SLIDER), TBM_GETRANGEMAX, 0, 0,
                           SMTO_ABORTIFHUNG, 2000, &end))
    return Fail("the slider does not answer");
  std::printf("operator: the slider ends at %d mA\n", static_cast<int>(end));
  if (static_cast<int>(end) != top) return Fail("the slider does not end at the lab limit");
  HWND edit = GetDlgItem(panel, IDC_CURRENT_EDIT);
  PostMessageW(edit, EM_SETSEL, 0, -1);
  for (const char c : value) PostMessageW(edit, WM_CHAR, static_cast<WPARAM>(c), 1);
  const std::wstring typed(value.begin(), value.end());
  if (!WaitFor(std::chrono::seconds(5), [&] { return TextOf(edit) == typed; }))
    return Fail("the typed value did not arrive in the field");
  const LPARAM returnKey = 1 | (MapVirtualKeyW(VK_RETURN, MAPVK_VK_TO_VSC) << 16);
  PostMessageW(edit, WM_KEYDOWN, VK_RETURN, returnKey);
  PostMessageW(edit, WM_KEYUP, VK_RETURN, returnKey | (1u << 30) | (1u << 31));
  const std::wstring limit = std::to_wstring(top);
  if (!WaitFor(std::chrono::seconds(5), [&] { return TextOf(edit) == limit; }))
    return Fail("the typed value was not clamped to the lab limit");
  std::printf("operator: %s typed, %d in the field\n", value.c_str(), top);
  return 0;
}

int Red(HWND panel, int id) {
  HWND readout = GetDlgItem(panel, id);
  // Inside the border, off the centred text: as the screen shows it.
  RECT area{};
  GetWindowRect(readout, &area);
  const bool red = WaitFor(std::chrono::seconds(10), [&] {
    HDC screen = GetDC(nullptr);
    const COLORREF seen = GetPixel(screen, area.left + 3, area.top + 3);
    ReleaseDC(nullptr, screen);
    return seen == RGB(255, 0, 0);
  });
  std::printf("operator: read-out %d %s\n", id, red ? "is red" : "is not red");
  return red ? 0 : Fail("the read-out is not drawn red");
}

int Close(HWND panel) {
  DWORD processId = 0;
  GetWindowThreadProcessId(panel, &processId);
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
  if (process == nullptr) return Fail("cannot watch the panel's process");
  const auto start = Clock::now();
  PostMessageW(panel, WM_CLOSE, 0, 0);
  const DWORD waited = WaitForSingleObject(process, 5000);
  CloseHandle(process);
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  if (waited != WAIT_OBJECT_0) return Fail("the panel was still running 5 s after its close box");
  std::printf("operator: the panel ended %lld ms after its close box\n",
              static_cast<long long>(ms));
  return 0;
}

int History(HWND panel, const std::string& span) {
  // F2 as a key press at the panel: its pre-filter opens the window.
  const LPARAM f2 = 1 | (MapVirtualKeyW(VK_F2, MAPVK_VK_TO_VSC) << 16);
  PostMessageW(panel, WM_KEYDOWN, VK_F2, f2);
  PostMessageW(panel, WM_KEYUP, VK_F2, f2 | (1u << 30) | (1u << 31));
  HWND history = nullptr;
  if (!WaitFor(std::chrono::seconds(5), [&] {
        history = FindWindowW(nullptr, L"Readings history");
        return history != nullptr && IsWindowVisible(history);
      }))
    return Fail("F2 opened no readings history window");
  const std::wstring caption(span.begin(), span.end());
  HWND button = FindWindowExW(history, nullptr, L"Button", caption.c_str());
  if (button == nullptr) return Fail("the history window has no such span");
  PostMessageW(button, BM_CLICK, 0, 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  std::printf("operator: readings history shown, span %s\n", span.c_str());
  return 0;
}

int Layout(HWND panel) {
  // In pixels as drawn: a process that declares no awareness would be given
  // sizes scaled back to 100 %.
  SetProcessDPIAware();
  // The caption shows while the dialog is still being set up; a message
  // sent to it is handled only once its loop runs, and it has been placed.
  if (!WaitFor(std::chrono::seconds(10), [&] { return IsWindowVisible(panel) != FALSE; }))
    return Fail("the panel never showed");
  DWORD_PTR ignored = 0;
  if (!SendMessageTimeoutW(panel, WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 5000, &ignored))
    return Fail("the panel does not answer");
  RECT client{};
  if (!GetClientRect(panel, &client)) return Fail("no client area");
  std::printf("operator: client %ld x %ld\n", client.right, client.bottom);
  int controls = 0;
  int outside = 0;
  for (HWND child = GetWindow(panel, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    // The port list's window may span its dropped-down part; what shows is
    // its inner combo box.
    HWND inner = FindWindowExW(child, nullptr, L"ComboBox", nullptr);
    RECT area{};
    GetWindowRect(inner != nullptr ? inner : child, &area);
    MapWindowPoints(nullptr, panel, reinterpret_cast<POINT*>(&area), 2);
    ++controls;
    if (area.left < 0 || area.top < 0 || area.right > client.right || area.bottom > client.bottom) {
      ++outside;
      std::printf("operator: control %d at (%ld,%ld)-(%ld,%ld) is outside the client area\n",
                  GetDlgCtrlID(child), area.left, area.top, area.right, area.bottom);
    }
  }
  if (controls == 0) return Fail("the panel has no controls");
  return outside == 0 ? 0 : Fail("controls outside the client area");
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  if (argc < 2) return Fail("usage: operator sync PORT | set VALUE | activate | close | layout");
  HWND panel = FindPanel(std::chrono::seconds(60));
  if (panel == nullptr) return Fail("no window captioned Quorvane-V20221210-2.5W");
  const std::string step = argv[1];
  if (step == "sync" && argc == 3) {
    const std::string port = argv[2];
    return Sync(panel, std::wstring(port.begin(), port.end()));
  }
  if (step == "set" && argc == 3) return Set(panel, argv[2]);
  if (step == "activate") return Activate(panel);
  if (step == "close") return Close(panel);
  if (step == "history" && argc == 3) return History(panel, argv[2]);
  if (step == "layout") return Layout(panel);
  if (step == "limited" && argc == 4) return Limited(panel, argv[2], std::atoi(argv[3]));
  if (step == "red" && argc == 3) return Red(panel, std::atoi(argv[2]));
  return Fail("unknown step");
}
