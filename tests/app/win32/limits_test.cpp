// The window under a lab limits file of the test's own: the slider bounded by
// the lab's limit and saying so, a broken file's reason on the open button
// while the port stays open, and the F1 box listing the limits.
#include <string>

#include "app/win32/controller_app.h"
#include "controller/control_ids.h"
#include "protocol/codes.h"
#include "serial/win32/wide_text.h"
#include "window_fixture.h"

namespace quorvane::test {
namespace {

// The fixture with a limits file in place before the window is made.
class LimitsWindowTest : public WindowTest {
 protected:
  void SetUpWith(const char* text) {
    limitsText = text;
    WindowTest::SetUp();
  }
  void SetUp() override {}
};

TEST_F(LimitsWindowTest, SliderStopsAtTheLabLimitAndSaysSo) {
  ASSERT_NO_FATAL_FAILURE(SetUpWith("[default]\ncurrent_max_mA = 2000\n"));
  ASSERT_NO_FATAL_FAILURE(Sync());  // the board's maximum is 3000
  EXPECT_EQ(SendMessageW(Control(IDC_CURRENT_SLIDER), TBM_GETRANGEMAX, 0, 0), 2000);
  for (const int id : {IDC_CURRENT_SLIDER, IDC_CURRENT_EDIT}) {
    EXPECT_NE(TipOver(Control(id)).find(L"lab limit 2000 mA"), std::wstring::npos) << id;
    EXPECT_NE(dlg->Annotation(id)->Description().find(L"lab limit 2000 mA"), std::wstring::npos)
        << Narrow(dlg->Annotation(id)->Description());
  }
}

TEST_F(LimitsWindowTest, SeedOutsideItsWindowTurnsItsReadoutRed) {
  ASSERT_NO_FATAL_FAILURE(SetUpWith("[default]\nseed_C = [10.0, 20.0]\n"));
  ASSERT_NO_FATAL_FAILURE(Sync());
  // current, seed, pump
  Deliver(BuildFrame(FrameKind::kReply, *ReplyLayout(RPL_STATUS), {900, 2500, 3100}));
  PumpFor(std::chrono::milliseconds(50));
  HWND seed = Control(IDC_SEED_TEMP);
  EXPECT_TRUE(DrawnInAlarm(seed));
  const std::wstring where = Widen(limitsFile + ":2");
  for (const std::wstring& text : {TipOver(seed), dlg->Annotation(IDC_SEED_TEMP)->Description()})
    EXPECT_TRUE(text.rfind(L"Alarm: seed ", 0) == 0 && text.find(where) != std::wstring::npos)
        << Narrow(text);
  EXPECT_FALSE(DrawnInAlarm(Control(IDC_PUMP_TEMP)));
  EXPECT_EQ(TipOver(Control(IDC_PUMP_TEMP)), L"");
}

TEST_F(LimitsWindowTest, BrokenFileIsTheOpenButtonsReasonWhileOpen) {
  ASSERT_NO_FATAL_FAILURE(SetUpWith("[default]\ncurent_max_mA = 2000\n"));
  ASSERT_NO_FATAL_FAILURE(Sync());
  const std::wstring where = Widen(limitsFile + ":2");
  const std::wstring description = dlg->Annotation(IDC_OPEN_PORT)->Description();
  EXPECT_NE(description.find(where), std::wstring::npos) << Narrow(description);
  EXPECT_EQ(description.find(L"Did not open"), std::wstring::npos) << Narrow(description);
  EXPECT_NE(TipOver(Control(IDC_OPEN_PORT)).find(where), std::wstring::npos);
  EXPECT_NE(CControllerApp::HelpText(dlg->LimitsHelpText()).find(where), std::wstring::npos);
}

TEST_F(LimitsWindowTest, HelpBoxListsTheLimitsAfterTheKeys) {
  struct Case {
    const char* file;  // empty: none
    const wchar_t* listed;
  };
  for (const Case c : {Case{"", L"No lab limits"},
                       Case{"[default]\ncurrent_max_mA = 2000\n", L"current_max_mA"}}) {
    ASSERT_NO_FATAL_FAILURE(SetUpWith(c.file));
    // Before any port is open: the limits the chosen port would open under.
    for (const bool open : {false, true}) {
      if (open) {
        ASSERT_NO_FATAL_FAILURE(Sync());
      }
      const std::wstring text = CControllerApp::HelpText(dlg->LimitsHelpText());
      EXPECT_NE(text.find(c.listed), std::wstring::npos) << Narrow(text);
      EXPECT_LT(text.find(L"Keys:"), text.find(L"Lab limits:")) << Narrow(text);
    }
    TearDown();
  }
}

}  // namespace
}  // namespace quorvane::test
