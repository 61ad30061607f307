// The main window as a screen reader reads it: each control's accessible
// object from the window, its name and role, the soft-active toggle's state,
// the change events a reader listens for, and the open button's description.
// The table test prints the tree it reads (name, role, state per control).
#include <ole2.h>
#include <oleacc.h>

#include <cstdio>
#include <set>
#include <string>
#include <vector>

#include "app/accessible_texts.h"
#include "app/win32/history_window.h"
#include "controller/control_ids.h"
#include "protocol/codes.h"
#include "serial/win32/wide_text.h"
#include "window_fixture.h"

namespace quorvane::test {
namespace {

struct Read {
  std::wstring name, description, value;
  long role = 0, state = 0;
};

std::wstring TextOf(IAccessible* object,
                    HRESULT (STDMETHODCALLTYPE IAccessible::*get)(VARIANT, BSTR*), VARIANT self) {
  BSTR text = nullptr;
  const HRESULT result = (object->*get)(self, &text);
  std::wstring taken = SUCCEEDED(result) && text != nullptr ? std::wstring(text) : L"";
  SysFreeString(text);
  return taken;
}

Read ReadObject(HWND control) {
  Read read;
  IAccessible* object = nullptr;
  // __uuidof: the import library's IID_IAccessible is not the GUID.
  if (FAILED(AccessibleObjectFromWindow(control, OBJID_CLIENT, __uuidof(IAccessible),
                                        reinterpret_cast<void**>(&object))))
    return read;
  VARIANT self{};
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  read.name = TextOf(object, &IAccessible::get_accName, self);
  read.description = TextOf(object, &IAccessible::get_accDescription, self);
  read.value = TextOf(object, &IAccessible::get_accValue, self);
  VARIANT answer{};
  if (SUCCEEDED(object->get_accRole(self, &answer)) && answer.vt == VT_I4) read.role = answer.lVal;
  VariantClear(&answer);
  if (SUCCEEDED(object->get_accState(self, &answer)) && answer.vt == VT_I4)
    read.state = answer.lVal;
  VariantClear(&answer);
  object->Release();
  return read;
}

// Events of one kind raised by this process, counted per window while the
// window's loop runs (out of context: they arrive as the loop pumps).
struct EventCount {
  static inline std::vector<HWND> seen;
  static void CALLBACK Hook(HWINEVENTHOOK, DWORD, HWND hwnd, LONG object, LONG child, DWORD,
                            DWORD) {
    if (object == OBJID_CLIENT && child == CHILDID_SELF) seen.push_back(hwnd);
  }
  explicit EventCount(DWORD event)
      : hook(SetWinEventHook(event, event, nullptr, &Hook, GetCurrentProcessId(), 0,
                             WINEVENT_OUTOFCONTEXT)) {
    seen.clear();
  }
  ~EventCount() { UnhookWinEvent(hook); }
  int For(HWND hwnd) const {
    int count = 0;
    for (HWND h : seen) count += h == hwnd ? 1 : 0;
    return count;
  }
  HWINEVENTHOOK hook;
};

TEST_F(WindowTest, EveryControlHasItsSharedNameDescriptionAndRole) {
  struct Case {
    int id;
    long role;
  };
  // The roles the window sets or that a reader needs to tell a control's
  // kind; standard controls keep the system's role.
  const Case cases[] = {
      {IDC_OPEN_PORT, ROLE_SYSTEM_PUSHBUTTON},    {IDC_SET_CURRENT, ROLE_SYSTEM_PUSHBUTTON},
      {IDC_PORT_LIST, ROLE_SYSTEM_COMBOBOX},      {IDC_CURRENT_EDIT, ROLE_SYSTEM_TEXT},
      {IDC_PUMP_TEMP, ROLE_SYSTEM_STATICTEXT},    {IDC_CURRENT_SLIDER, ROLE_SYSTEM_SLIDER},
      {IDC_CURRENT_DOWN, ROLE_SYSTEM_PUSHBUTTON}, {IDC_CURRENT_UP, ROLE_SYSTEM_PUSHBUTTON},
      {IDC_SEED_TEMP, ROLE_SYSTEM_STATICTEXT},    {IDC_SET_FREQUENCY, ROLE_SYSTEM_PUSHBUTTON},
      {IDC_FREQUENCY_EDIT, ROLE_SYSTEM_TEXT},     {IDC_CURRENT_READ, ROLE_SYSTEM_STATICTEXT},
      {IDC_SET_DURATION, ROLE_SYSTEM_PUSHBUTTON}, {IDC_DURATION_EDIT, ROLE_SYSTEM_TEXT},
      {IDC_SOFT_ACTIVE, ROLE_SYSTEM_CHECKBUTTON},
  };
  static_assert(std::size(cases) == std::size(kAccessibleTexts));
  ASSERT_NO_FATAL_FAILURE(Sync());
  std::set<std::wstring> names;
  for (const Case& c : cases) {
    const Read read = ReadObject(Control(c.id));
    wchar_t role[64] = {};
    GetRoleTextW(static_cast<DWORD>(read.role), role, 64);
    std::printf("%-20s role %-14s state 0x%06lx name \"%s\" value \"%s\"\n",
                Narrow(std::to_wstring(c.id)).c_str(), Narrow(role).c_str(), read.state,
                Narrow(read.name).c_str(), Narrow(read.value).c_str());
    const AccessibleText* text = AccessibleTextOf(c.id);
    ASSERT_NE(text, nullptr) << c.id;
    // The open button, open now, says what a press does.
    const char* name = c.id == IDC_OPEN_PORT ? "Close port" : text->name;
    EXPECT_EQ(read.name, Widen(name)) << c.id;
    EXPECT_EQ(read.description, Widen(text->description)) << c.id;
    EXPECT_TRUE(names.insert(read.name).second) << "name used twice: " << Narrow(read.name);
    EXPECT_EQ(read.role, c.role) << c.id;
    if (c.role == ROLE_SYSTEM_STATICTEXT) {
      EXPECT_EQ(read.value, Text(Control(c.id))) << "a read-out's value is its text";
    }
  }
}

TEST_F(WindowTest, SoftActiveIsCheckedWhileTheBoardReportsItOn) {
  HWND button = Control(IDC_SOFT_ACTIVE);
  ASSERT_NO_FATAL_FAILURE(Sync());
  const EventCount changes(EVENT_OBJECT_STATECHANGE);
  struct Case {
    std::uint32_t state;
    bool checked;
    int events;  // so far: a repeated state is no change
  };
  for (const Case c : {Case{1, true, 1}, Case{7, true, 1}, Case{0, false, 2}, Case{0, false, 2}}) {
    Deliver(BuildFrame(FrameKind::kReply, *ReplyLayout(RPL_SOFT_ACTIVE), {c.state}));
    PumpFor(std::chrono::milliseconds(50));
    EXPECT_EQ((ReadObject(button).state & STATE_SYSTEM_CHECKED) != 0, c.checked) << c.state;
    EXPECT_EQ(changes.For(button), c.events) << "after state " << c.state;
  }
}

TEST_F(WindowTest, ReadoutAnnouncesOnlyARealChange) {
  HWND readout = Control(IDC_CURRENT_READ);
  const EventCount changes(EVENT_OBJECT_VALUECHANGE);
  struct Case {
    const char* text;
    int events;  // so far
  };
  for (const Case c : {Case{"1500", 1}, Case{"1500", 1}, Case{"1501", 2}, Case{"1501", 2}}) {
    dlg->SetText(IDC_CURRENT_READ, c.text);
    PumpFor(std::chrono::milliseconds(50));
    EXPECT_EQ(ReadObject(readout).value, Widen(c.text));
    EXPECT_EQ(changes.For(readout), c.events) << "after " << c.text;
  }
}

TEST_F(WindowTest, FailedOpenIsTheOpenButtonsDescriptionAndAnnounced) {
  HWND button = Control(IDC_OPEN_PORT);
  const EventCount changes(EVENT_OBJECT_DESCRIPTIONCHANGE);
  link.openError = "COM31 is in use by another program";
  SendMessageW(button, BM_CLICK, 0, 0);
  PumpFor(std::chrono::milliseconds(50));
  EXPECT_EQ(ReadObject(button).description, L"Did not open: COM31 is in use by another program");
  EXPECT_EQ(ReadObject(button).name, L"Open port");
  EXPECT_EQ(changes.For(button), 1);
  link.openError.clear();
  SendMessageW(button, BM_CLICK, 0, 0);
  PumpFor(std::chrono::milliseconds(50));
  EXPECT_EQ(ReadObject(button).description, Widen(AccessibleTextOf(IDC_OPEN_PORT)->description));
  EXPECT_EQ(ReadObject(button).name, L"Close port");
}

TEST_F(WindowTest, NoteAddsToTheUsualTextsAndGoesAgain) {
  HWND slider = Control(IDC_CURRENT_SLIDER);
  const std::wstring usual = Widen(AccessibleTextOf(IDC_CURRENT_SLIDER)->description);
  ASSERT_NO_FATAL_FAILURE(Sync());
  const EventCount changes(EVENT_OBJECT_DESCRIPTIONCHANGE);
  struct Case {
    std::string note;
    int events;  // so far: a repeated note is no change
  };
  for (const Case& c : {Case{"lab limit 2000 mA", 1}, Case{"lab limit 2000 mA", 1},
                        Case{"ramping the current to 2000 mA: 800 mA confirmed", 2}, Case{"", 3}}) {
    dlg->SetControlNote(IDC_CURRENT_SLIDER, c.note);
    PumpFor(std::chrono::milliseconds(50));
    EXPECT_EQ(TipOver(slider), Widen(c.note));
    EXPECT_EQ(ReadObject(slider).description,
              c.note.empty() ? usual : usual + L"; " + Widen(c.note));
    EXPECT_EQ(changes.For(slider), c.events) << "after " << c.note;
  }
}

TEST_F(WindowTest, AlarmIsRedWithItsReasonAndAnnouncedOnce) {
  HWND readout = Control(IDC_SEED_TEMP);
  const std::wstring usual = Widen(AccessibleTextOf(IDC_SEED_TEMP)->description);
  ASSERT_NO_FATAL_FAILURE(Sync());
  dlg->SetText(IDC_SEED_TEMP, "31.2");
  const EventCount alerts(EVENT_SYSTEM_ALERT);
  const std::string reason = "seed 31.20 C outside 15.00 to 30.00 C (lab limit, limits.toml:5)";
  struct Case {
    std::string reason;
    bool red;
    int alerts;  // so far: only a start is news
  };
  for (const Case& c : {Case{reason, true, 1}, Case{reason, true, 1}, Case{"", false, 1},
                        Case{reason, true, 2}, Case{"", false, 2}}) {
    dlg->ShowAlarm(IDC_SEED_TEMP, c.reason);
    PumpFor(std::chrono::milliseconds(50));
    EXPECT_EQ(DrawnInAlarm(readout), c.red) << c.reason;
    EXPECT_EQ(TipOver(readout), c.red ? L"Alarm: " + Widen(reason) : L"") << c.reason;
    EXPECT_EQ(ReadObject(readout).description,
              c.red ? L"Alarm: " + Widen(reason) + L". " + usual : usual);
    EXPECT_EQ(alerts.For(readout), c.alerts) << "after \"" << c.reason << "\"";
  }
  // The neighbours were never in alarm, and no other static is coloured.
  EXPECT_FALSE(DrawnInAlarm(Control(IDC_PUMP_TEMP)));
  EXPECT_EQ(ReadObject(Control(IDC_PUMP_TEMP)).description,
            Widen(AccessibleTextOf(IDC_PUMP_TEMP)->description));
}

// The history window's controls in the order they are made, as a reader
// names them; the chart's description follows the readings.
TEST_F(WindowTest, HistoryWindowNamesItsControlsAndDescribesTheChart) {
  ASSERT_NO_FATAL_FAILURE(Sync());
  Deliver(BuildFrame(FrameKind::kReply, *ReplyLayout(RPL_STATUS), {900, 2500, 3100}));
  dlg->ShowHistory();
  ASSERT_NE(dlg->History(), nullptr);
  PumpFor(std::chrono::milliseconds(100));
  const std::vector<std::wstring> expected = {
      L"Show the last:",        L"Show the last minute",   L"Show the last 10 minutes",
      L"Show the last hour",    L"Show all readings kept", L"Follow newest",
      L"Record readings",       L"Export readings",        L"Readings chart",
      L"Status: Not recording."};
  std::vector<std::wstring> names;
  HWND chart = nullptr;
  for (HWND child = GetWindow(dlg->History()->Handle(), GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    const Read read = ReadObject(child);
    names.push_back(read.name);
    if (read.role == ROLE_SYSTEM_CHART) chart = child;
  }
  EXPECT_EQ(names, expected);
  ASSERT_NE(chart, nullptr) << "no control has the chart's role";
  const std::wstring description = ReadObject(chart).description;
  EXPECT_EQ(description.rfind(L"Shown from ", 0), 0u) << Narrow(description);
  EXPECT_NE(description.find(L"measured current 900 mA"), std::wstring::npos)
      << Narrow(description);
}

}  // namespace
}  // namespace quorvane::test
