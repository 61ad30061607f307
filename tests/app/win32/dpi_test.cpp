// The panel at another display scaling and the manifest that lets it be
// drawn so: the manifest read back from this program's resources (the same
// compiled script as quorvane.exe's) and in effect, and the real window moved
// to monitors of other DPIs.
#include <string>
#include <utility>

#include "controller/control_ids.h"
#include "window_fixture.h"

namespace quorvane::test {
namespace {

TEST(Manifest, IsEmbeddedAndInEffect) {
  HRSRC found = FindResourceW(nullptr, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(found, nullptr) << "no manifest (resource type 24, id 1) in the program";
  const auto* bytes = static_cast<const char*>(LockResource(LoadResource(nullptr, found)));
  ASSERT_NE(bytes, nullptr);
  const std::string manifest(bytes, SizeofResource(nullptr, found));
  for (const char* wanted :
       {"<dpiAware xmlns=\"http://schemas.microsoft.com/SMI/2005/WindowsSettings\">true/pm<",
        ">PerMonitorV2, PerMonitor<",
        "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""})
    EXPECT_NE(manifest.find(wanted), std::string::npos) << "the manifest lacks " << wanted;

  // The loader read it: the window thread scales per monitor (Wine treats
  // every program so; Windows only one that declares it), and the program's
  // own activation context sends comctl32.dll to version 6.
  EXPECT_EQ(GetAwarenessFromDpiAwarenessContext(GetThreadDpiAwarenessContext()),
            DPI_AWARENESS_PER_MONITOR_AWARE);
  ACTCTX_SECTION_KEYED_DATA redirect{};
  redirect.cbSize = sizeof redirect;
  EXPECT_TRUE(FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION,
                                       L"comctl32.dll", &redirect))
      << "comctl32.dll is not redirected to the common controls version 6";
}

// Every direct child of the window, in client coordinates, must lie inside
// the client area.
void ExpectControlsInside(HWND window, UINT dpi) {
  RECT client{};
  GetClientRect(window, &client);
  for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    // The port list's window may span its dropped-down part; what shows is
    // its inner combo box.
    HWND inner = FindWindowExW(child, nullptr, L"ComboBox", nullptr);
    RECT area{};
    GetWindowRect(inner != nullptr ? inner : child, &area);
    MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(&area), 2);
    EXPECT_TRUE(area.left >= 0 && area.top >= 0 && area.right <= client.right &&
                area.bottom <= client.bottom)
        << "at " << dpi << " DPI control " << GetDlgCtrlID(child) << " at (" << area.left << ","
        << area.top << ")-(" << area.right << "," << area.bottom << ") is outside the client area "
        << client.right << "x" << client.bottom;
  }
}

TEST_F(WindowTest, FollowsTheDpiOfTheMonitorItIsMovedTo) {
  HWND window = dlg->Handle();
  ExpectControlsInside(window, dlg->Dpi());
  // A read-out's alarm tip is an area of the window, which must follow it.
  dlg->ShowAlarm(IDC_PUMP_TEMP, "pump too warm");
  // Sizes that fit the test's screen from its 96 DPI; back to 96 at the end.
  for (const UINT dpi : {120u, 144u, 96u}) {
    RECT before{};
    GetWindowRect(window, &before);
    // What the system suggests: the frame scaled, a little way along.
    const RECT suggested{before.left + 7, before.top + 5,
                         before.left + 7 + MulDiv(before.right - before.left, dpi, dlg->Dpi()),
                         before.top + 5 + MulDiv(before.bottom - before.top, dpi, dlg->Dpi())};
    SendMessageW(window, WM_DPICHANGED, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
    dlg->ProcessPending();

    RECT after{};
    GetWindowRect(window, &after);
    EXPECT_TRUE(EqualRect(&after, &suggested))
        << "at " << dpi << " DPI the window is at (" << after.left << "," << after.top << ")-("
        << after.right << "," << after.bottom << "), not at the suggested (" << suggested.left
        << "," << suggested.top << ")-(" << suggested.right << "," << suggested.bottom << ")";
    EXPECT_EQ(dlg->Dpi(), dpi);

    // The template's 15-point font, made again at the new size.
    LOGFONTW font{};
    const auto hfont =
        reinterpret_cast<HFONT>(SendMessageW(Control(IDC_OPEN_PORT), WM_GETFONT, 0, 0));
    ASSERT_EQ(GetObjectW(hfont, sizeof font, &font), static_cast<int>(sizeof font));
    EXPECT_EQ(font.lfHeight, -MulDiv(15, static_cast<int>(dpi), 72)) << "at " << dpi << " DPI";

    // Laid out again: the button keeps its share of the window's width
    // (34 of 240 dialog units; whole-pixel base units allow a few percent).
    RECT client{};
    RECT button{};
    GetClientRect(window, &client);
    GetWindowRect(Control(IDC_OPEN_PORT), &button);
    const double share = double(button.right - button.left) / client.right;
    EXPECT_NEAR(share, 34.0 / 240.0, 0.1 * 34.0 / 240.0) << "at " << dpi << " DPI";
    ExpectControlsInside(window, dpi);
    EXPECT_EQ(TipOver(Control(IDC_PUMP_TEMP)), L"Alarm: pump too warm") << "at " << dpi << " DPI";

    // The title bar's icons at the DPI's sizes (32 and 16 pixels at 96).
    for (const auto& [which, size] : {std::pair{ICON_BIG, 32}, std::pair{ICON_SMALL, 16}}) {
      ICONINFO info{};
      const auto icon = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, which, 0));
      ASSERT_TRUE(icon != nullptr && GetIconInfo(icon, &info));
      BITMAP bitmap{};
      GetObjectW(info.hbmColor != nullptr ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
      if (info.hbmColor != nullptr) DeleteObject(info.hbmColor);
      DeleteObject(info.hbmMask);
      EXPECT_EQ(bitmap.bmWidth, MulDiv(size, static_cast<int>(dpi), 96))
          << "icon " << which << " at " << dpi << " DPI";
    }
  }
}

}  // namespace
}  // namespace quorvane::test
