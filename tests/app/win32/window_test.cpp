// The real window in this process: its controls as created, the tab order,
// the pre-filter's Enter, Escape and F1 routing through the window's own loop,
// the numeric fields' filter of typed and pasted text and the state button's
// paint.
#include <chrono>
#include <cstring>
#include <future>
#include <string>
#include <vector>

#include "controller/control_ids.h"
#include "protocol/codes.h"
#include "tests/app/expected_layout.h"
#include "window_fixture.h"

namespace quorvane::test {
namespace {

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  GetClassNameW(window, name, 64);
  return name;
}

TEST_F(WindowTest, CreatesTheTemplateControlsInOrder) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(dlg->Handle(), GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT))
    children.push_back(child);
  // Captions compared as UTF-16: the resource script is UTF-8 and must
  // arrive as such (the step buttons' brackets, the degree Celsius sign).
  ASSERT_EQ(children.size(), std::size(kExpectedLayout));
  for (std::size_t i = 0; i < children.size(); ++i) {
    const ExpectedRow& want = kExpectedLayout[i];
    SCOPED_TRACE("control " + std::to_string(i + 1));
    EXPECT_EQ(static_cast<int>(static_cast<short>(GetDlgCtrlID(children[i]))), want.id);
    EXPECT_EQ(_wcsicmp(ClassOf(children[i]).c_str(), want.windowClass), 0);
    EXPECT_EQ(Text(children[i]), want.caption);
  }
  wchar_t caption[64] = {};
  GetWindowTextW(dlg->Handle(), caption, 64);
  EXPECT_EQ(std::wstring(caption), kExpectedCaption);
  EXPECT_EQ(GetWindowLongPtrW(Control(IDC_SOFT_ACTIVE), GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW);
  EXPECT_TRUE(GetWindowLongPtrW(dlg->Handle(), GWL_EXSTYLE) & WS_EX_APPWINDOW);
  EXPECT_NE(SendMessageW(dlg->Handle(), WM_GETICON, ICON_BIG, 0), 0);
  EXPECT_NE(SendMessageW(dlg->Handle(), WM_GETICON, ICON_SMALL, 0), 0);
  // The one listed port, selected; the panel starts Closed.
  EXPECT_EQ(SendMessageW(Control(IDC_PORT_LIST), CB_GETCOUNT, 0, 0), 1);
  EXPECT_EQ(dlg->SelectedPort(), 0);
  EXPECT_EQ(dlg->GetText(IDC_PORT_LIST), "");
}

TEST_F(WindowTest, TabVisitsTheTabStopsInTemplateOrderThenTheReadoutsAndWraps) {
  const auto& order = kExpectedTabOrderWithReadouts;
  ASSERT_EQ(FocusedControl(), Control(IDC_OPEN_PORT)) << "the focus starts on OpenPort";
  for (std::size_t i = 1; i <= std::size(order); ++i) {
    Post(GetFocus(), WM_KEYDOWN, VK_TAB);
    EXPECT_EQ(GetDlgCtrlID(FocusedControl()), order[i % std::size(order)])
        << "after " << i << " Tab presses";
  }
  // The template's own tab stops are as they were: the read-outs are the
  // window's extra step, not tab stops that would change the template.
  std::vector<int> stops;
  const HWND first = GetNextDlgTabItem(dlg->Handle(), nullptr, FALSE);
  for (HWND at = first; at != nullptr && stops.size() < 32;
       at = GetNextDlgTabItem(dlg->Handle(), at, FALSE)) {
    if (!stops.empty() && at == first) break;
    stops.push_back(GetDlgCtrlID(at));
  }
  EXPECT_EQ(stops, std::vector<int>(std::begin(kExpectedTabOrder), std::end(kExpectedTabOrder)));
}

// Enter in one of the three entry fields runs that group's SET command once
// (each command sends its frame twice); anywhere else it does nothing at all.
TEST_F(WindowTest, EnterRunsTheFocusedFieldsCommandOnly) {
  ASSERT_NO_FATAL_FAILURE(Sync());
  SetDlgItemTextW(dlg->Handle(), IDC_CURRENT_EDIT, L"1500");
  SetDlgItemTextW(dlg->Handle(), IDC_FREQUENCY_EDIT, L"25.5");
  SetDlgItemTextW(dlg->Handle(), IDC_DURATION_EDIT, L"40");
  struct Case {
    int focus;
    std::vector<std::uint8_t> codes;
  };
  const std::vector<Case> cases = {
      {IDC_CURRENT_EDIT, {CMD_SET_CURRENT, CMD_SET_CURRENT}},
      {IDC_FREQUENCY_EDIT, {CMD_SET_FREQUENCY, CMD_SET_FREQUENCY}},
      {IDC_DURATION_EDIT, {CMD_SET_DURATION, CMD_SET_DURATION}},
      {IDC_OPEN_PORT, {}},
      {IDC_SET_CURRENT, {}},
      {IDC_SOFT_ACTIVE, {}},
      {IDC_CURRENT_UP, {}},
      {IDC_CURRENT_SLIDER, {}},
      {IDC_PORT_LIST, {}},
  };
  // The repeat follows its pause, and a command can wait behind a poll's.
  const auto settle = [&] {
    for (int i = 0; i < 400 && dlg->GetController().Paused(); ++i)
      PumpFor(std::chrono::milliseconds(5));
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("Enter with the focus on control " + std::to_string(c.focus));
    link.frames.clear();
    SetFocus(Control(c.focus));
    Post(GetFocus(), WM_KEYDOWN, VK_RETURN);
    settle();
    EXPECT_EQ(link.SettingCodes(), c.codes);
    EXPECT_FALSE(dlg->Closed());
    EXPECT_EQ(dlg->GetController().Flags().portOpen, 1) << "Enter pressed OpenPort";
  }
  link.frames.clear();
  SetFocus(Control(IDC_CURRENT_EDIT));
  Post(GetFocus(), WM_KEYDOWN, VK_RETURN);
  settle();
  const auto sent = link.FramesWithCode(CMD_SET_CURRENT);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(GetU16(&sent.front()[6]), 1500) << "the set-point typed into the field";
}

TEST_F(WindowTest, AnotherThreadsMessageIsAnsweredWhileASettingPauses) {
  ASSERT_NO_FATAL_FAILURE(Sync());
  HWND dialog = dlg->Handle();
  // A loaded machine may run the asking thread only after the pause: a few
  // tries, so only a window that never answers during a pause fails.
  bool answeredInPause = false;
  for (int attempt = 0; attempt < 5 && !answeredInPause; ++attempt) {
    const std::size_t before = link.FramesWithCode(CMD_SET_FREQUENCY).size();
    SetDlgItemTextW(dialog, IDC_FREQUENCY_EDIT, attempt % 2 == 0 ? L"25.5" : L"25.6");
    // The asking thread is ready before the press, so its question waits only
    // for the window's loop.
    HANDLE ask = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ASSERT_NE(ask, nullptr);
    auto answered = std::async(std::launch::async, [dialog, ask] {
      WaitForSingleObject(ask, INFINITE);
      DWORD_PTR result = 0;
      return SendMessageTimeoutW(dialog, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result) != 0;
    });
    SendMessageW(Control(IDC_SET_FREQUENCY), BM_CLICK, 0, 0);
    SetEvent(ask);
    while (answered.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
      dlg->ProcessPending();
      Sleep(1);
    }
    // Answered between the setting's two frames, while its pause ran.
    answeredInPause = link.FramesWithCode(CMD_SET_FREQUENCY).size() == before + 1 &&
                      dlg->GetController().Paused();
    CloseHandle(ask);
    EXPECT_TRUE(answered.get());
    for (int waited = 0; link.FramesWithCode(CMD_SET_FREQUENCY).size() < before + 2 && waited < 100;
         ++waited)
      PumpFor(std::chrono::milliseconds(50));
    ASSERT_EQ(link.FramesWithCode(CMD_SET_FREQUENCY).size(), before + 2)
        << "the repeat never followed";
  }
  EXPECT_TRUE(answeredInPause);
}

TEST_F(WindowTest, EscapeNeverClosesTheWindowNorDoesAnything) {
  ASSERT_NO_FATAL_FAILURE(Sync());
  for (const int id : {IDC_OPEN_PORT, IDC_CURRENT_EDIT, IDC_SET_CURRENT, IDC_PORT_LIST,
                       IDC_CURRENT_SLIDER, IDC_SOFT_ACTIVE}) {
    SetFocus(Control(id));
    Post(GetFocus(), WM_KEYDOWN, VK_ESCAPE);
    EXPECT_FALSE(dlg->Closed()) << "Escape on control " << id;
    EXPECT_TRUE(IsWindowVisible(dlg->Handle()));
  }
  EXPECT_TRUE(link.SettingCodes().empty());
  EXPECT_EQ(link.closes, 0);
}

TEST_F(WindowTest, F1OpensTheHelpBoxAndTheCloseBoxEndsTheLoop) {
  SetFocus(Control(IDC_FREQUENCY_EDIT));
  Post(GetFocus(), WM_KEYDOWN, VK_F1);
  EXPECT_EQ(helpCalls, 1);
  EXPECT_EQ(Text(Control(IDC_FREQUENCY_EDIT)), L"");
  Post(dlg->Handle(), WM_SYSCOMMAND, SC_CLOSE);
  EXPECT_TRUE(dlg->Closed());
  EXPECT_FALSE(IsWindowVisible(dlg->Handle()));
}

// A press on a step button starts the hold before the button sees it, the
// release anywhere ends it; the second press of a double click starts none.
// Real input: the repeat steps only while the system reports the button down.
TEST_F(WindowTest, StepButtonPressHoldsUntilTheRelease) {
  ASSERT_NO_FATAL_FAILURE(Sync());
  PointAt(Control(IDC_CURRENT_UP));
  LeftButton(true);
  PumpFor(std::chrono::milliseconds(900));
  const auto held = link.FramesWithCode(CMD_SET_CURRENT);
  ASSERT_GE(held.size(), 2u) << "holding the button repeated no step";
  EXPECT_GT(GetU16(&held.back()[6]), GetU16(&held.front()[6])) << "the steps did not go up";

  // Steps sent over 700 ms once a step already on its way has arrived.
  const auto stepsGoingOn = [this] {
    PumpFor(std::chrono::milliseconds(100));
    const std::size_t before = link.FramesWithCode(CMD_SET_CURRENT).size();
    PumpFor(std::chrono::milliseconds(700));
    return link.FramesWithCode(CMD_SET_CURRENT).size() - before;
  };
  LeftButton(false);
  EXPECT_EQ(stepsGoingOn(), 0u) << "steps went on after the release";

  // A click, then the second press of the double click, held.
  PointAt(Control(IDC_CURRENT_DOWN));
  LeftButton(true);
  LeftButton(false);
  LeftButton(true);
  EXPECT_EQ(stepsGoingOn(), 0u) << "the second press of a double click started a hold";
  LeftButton(false);
}

struct TypedCase {
  const wchar_t* before;
  int selectFrom, selectTo;  // EM_SETSEL: the caret when equal
  wchar_t typed;
  const wchar_t* after;
};

TEST_F(WindowTest, EntryFieldsAdmitOnlyWhatANumberCanHold) {
  const std::vector<TypedCase> cases = {
      {L"", 0, 0, L'-', L"-"},       {L"", 0, 0, L'.', L""},
      {L"", 0, 0, L'7', L"7"},       {L"12", 2, 2, L'-', L"12"},
      {L"12", 2, 2, L'.', L"12."},   {L"12.", 3, 3, L'.', L"12."},
      {L"-", 1, 1, L'.', L"-."},     {L"1.5", 0, -1, L'.', L"1.5"},
      {L"1.5", 0, -1, L'7', L"7"},   {L"0.5", 0, 0, L'-', L"0.5"},
      {L"0.5", 0, 0, L'3', L"30.5"}, {L"12", 0, -1, L'-', L"12"},
      {L"-3", 0, 0, L'5', L"5-3"},   {L"12", 2, 2, L'\b', L"1"},
      {L"", 0, 0, L'\b', L""},       {L"1", 1, 1, L'e', L"1"},
      {L"1", 1, 1, L'+', L"1"},      {L"1", 1, 1, L',', L"1"},
      {L"1", 1, 1, L' ', L"1"},      {L"1", 1, 1, L'a', L"1"},
      {L"1", 1, 1, L'\u0663', L"1"},  // a digit, but not one atof reads
      {L"12", 0, -1, 0x16, L"12"},    // Ctrl+V
      {L"12", 0, -1, 0x18, L"12"},    // Ctrl+X
      {L"12", 0, -1, 0x1A, L"12"},    // Ctrl+Z
  };
  for (const int id : {IDC_CURRENT_EDIT, IDC_FREQUENCY_EDIT, IDC_DURATION_EDIT}) {
    HWND edit = Control(id);
    for (const TypedCase& c : cases) {
      SetWindowTextW(edit, c.before);
      SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(c.selectFrom), c.selectTo);
      Post(edit, WM_CHAR, c.typed);
      EXPECT_EQ(Text(edit), c.after)
          << "field " << id << ": typed U+" << std::hex << static_cast<unsigned>(c.typed)
          << " into \"" << std::string(c.before, c.before + wcslen(c.before)) << "\"";
    }
  }
}

void PutOnClipboard(HWND owner, const std::wstring& text) {
  ASSERT_TRUE(OpenClipboard(owner));
  EmptyClipboard();
  const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
  ASSERT_NE(memory, nullptr);
  std::memcpy(GlobalLock(memory), text.c_str(), bytes);
  GlobalUnlock(memory);
  // The clipboard owns the memory from here on.
  EXPECT_NE(SetClipboardData(CF_UNICODETEXT, memory), nullptr);
  CloseClipboard();
}

struct PastedCase {
  const wchar_t* before;
  int selectFrom, selectTo;  // EM_SETSEL
  const wchar_t* pasted;
  const wchar_t* after;
};

// Pasting is typing all at once: Shift+Insert and the context menu's Paste
// (WM_PASTE) keep only what typing the characters in turn would keep, and a
// paste of which nothing is kept leaves the field as it was.
// Ctrl+V types a control character and pastes nothing, as Ctrl+C/X/Z do.
TEST_F(WindowTest, PasteKeepsOnlyWhatTypingWould) {
  const std::vector<PastedCase> cases = {
      {L"", 0, 0, L"1,500", L"1500"},   {L"12", 0, -1, L"1,500", L"1500"},
      {L"1.5", 3, 3, L"2.5", L"1.525"}, {L"12", 1, 1, L"-3", L"132"},
      {L"12", 0, -1, L"mA", L"12"},
  };
  enum class Way { ShiftInsert, PasteMessage, CtrlV };
  const char* const wayNames[] = {"Shift+Insert", "WM_PASTE", "Ctrl+V"};
  HWND edit = Control(IDC_CURRENT_EDIT);
  for (const Way way : {Way::ShiftInsert, Way::PasteMessage, Way::CtrlV}) {
    for (const PastedCase& c : cases) {
      ASSERT_NO_FATAL_FAILURE(PutOnClipboard(dlg->Handle(), c.pasted));
      SetWindowTextW(edit, c.before);
      SetFocus(edit);
      SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(c.selectFrom), c.selectTo);
      if (way == Way::ShiftInsert) {
        Keys({{VK_SHIFT, true}, {VK_INSERT, true}, {VK_INSERT, false}, {VK_SHIFT, false}});
      } else if (way == Way::CtrlV) {
        Keys({{VK_CONTROL, true}, {'V', true}, {'V', false}, {VK_CONTROL, false}});
      } else {
        SendMessageW(edit, WM_PASTE, 0, 0);
      }
      dlg->ProcessPending();
      EXPECT_EQ(Text(edit), way == Way::CtrlV ? c.before : c.after)
          << wayNames[static_cast<int>(way)] << " pasting \""
          << std::string(c.pasted, c.pasted + wcslen(c.pasted)) << "\" into \""
          << std::string(c.before, c.before + wcslen(c.before)) << "\"";
    }
  }
}

// The button painted into a bitmap of our own, read back pixel by pixel.
struct Painted {
  COLORREF frame;
  COLORREF fill;
};

Painted PaintOf(HWND button) {
  RECT area{};
  GetClientRect(button, &area);
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, area.right, area.bottom);
  HGDIOBJ old = SelectObject(memory, bitmap);
  SendMessageW(button, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(memory), PRF_CLIENT);
  // The caption sits in the middle; a pixel just inside the frame is fill.
  const Painted painted{GetPixel(memory, 0, 0), GetPixel(memory, 2, 2)};
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return painted;
}

TEST_F(WindowTest, SoftActiveButtonShowsTheBoardsState) {
  HWND button = Control(IDC_SOFT_ACTIVE);
  Painted start = PaintOf(button);
  EXPECT_EQ(start.fill, RGB(245, 245, 245));
  EXPECT_EQ(start.frame, RGB(10, 10, 10));
  EXPECT_EQ(Text(button), L"ON");

  ASSERT_NO_FATAL_FAILURE(Sync());
  struct Case {
    std::uint32_t state;
    COLORREF fill, frame;
    const wchar_t* caption;
  };
  for (const Case c : {Case{1, RGB(255, 0, 0), RGB(0, 255, 255), L"ON"},
                       Case{0, RGB(245, 245, 245), RGB(10, 10, 10), L"OFF"},
                       Case{7, RGB(255, 0, 0), RGB(0, 255, 255), L"ON"}}) {
    Deliver(BuildFrame(FrameKind::kReply, *ReplyLayout(RPL_SOFT_ACTIVE), {c.state}));
    const Painted painted = PaintOf(button);
    EXPECT_EQ(painted.fill, c.fill) << "state " << c.state;
    EXPECT_EQ(painted.frame, c.frame) << "state " << c.state;
    EXPECT_EQ(Text(button), c.caption);
  }
  // Pressing it draws no pressed look.
  SendMessageW(button, BM_SETSTATE, TRUE, 0);
  EXPECT_EQ(PaintOf(button).fill, RGB(255, 0, 0));
}

}  // namespace
}  // namespace quorvane::test
