// quorvane-ctl's parts that need no board: the command line's verdicts, the
// settings' conversions to frames and back, the JSON form of a reading, and
// the port named in the program's texts as the user gave it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ctl/board_session.h"
#include "ctl/ctl_options.h"
#include "ctl/port_choice.h"
#include "ctl/readings_output.h"
#include "ctl/setting.h"
#include "serial/error_report.h"
#include "serial/serial_link.h"

namespace quorvane::ctl {
namespace {

using namespace std::chrono_literals;

TEST(CtlOptionsTest, CommandLinesAndTheirVerdicts) {
  struct Case {
    std::vector<std::string> args;
    int status;                               // 0: parsed
    std::chrono::milliseconds interval{500};  // when parsed
  };
  const Case cases[] = {
      {{"-p", "ttyUSB0", "monitor"}, 0, 500ms},
      {{"-p", "ttyUSB0", "monitor", "--interval", "250"}, 0, 250ms},
      {{"-p", "ttyUSB0", "monitor", "--interval", "2s"}, 0, 2000ms},
      {{"-p", "ttyUSB0", "monitor", "--interval", "0.5s"}, 0, 500ms},
      {{"monitor", "--interval", "1min", "-p", "ttyUSB0"}, 0, 60000ms},
      {{"-p", "ttyUSB0", "monitor", "--interval", "49ms"}, 3},
      {{"-p", "ttyUSB0", "monitor", "--interval", "2h"}, 3},
      {{"-p", "ttyUSB0", "monitor", "--count", "0"}, 3},
      {{"-p", "ttyUSB0", "monitor", "--count", "x"}, 3},
      {{"-p", "ttyUSB0", "monitor", "--frob"}, 2},
      {{"-p", "ttyUSB0", "status", "extra"}, 2},
      {{"list", "status"}, 2},
      {{}, 2},
      {{"--help"}, 0},
      {{"--version"}, 0},
  };
  for (const Case& c : cases) {
    const ParsedCommandLine parsed = ParseCommandLine(c.args);
    const std::string shown = c.args.empty() ? "(none)" : c.args.back();
    EXPECT_EQ(parsed.exitStatus, c.status) << shown << ": " << parsed.err;
    if (parsed.options) {
      EXPECT_EQ(parsed.options->interval, c.interval) << shown;
    }
    if (c.status == 2) {
      EXPECT_NE(parsed.err.find("Usage:"), std::string::npos) << shown;
    }
  }
}

TEST(SettingTest, TextIsConvertedAsTheEntryFieldConvertsIt) {
  DeviceState device;
  device.currentPrefix = {0xAB, 0xCD};
  device.currentMax = 4000;
  struct Case {
    Setting setting;
    const char* text;
    bool accepted;
    quorvane::Command expected;  // when accepted: what the panel, which clamps, would send
    bool inRange = true;         // when accepted: whether quorvane-ctl sends it at all
  };
  const Case cases[] = {
      {Setting::kCurrent, "1500.9", true, SetCurrentCommand{{0xAB, 0xCD}, 1500}},
      {Setting::kCurrent, "4000.9", true, SetCurrentCommand{{0xAB, 0xCD}, 4000}},
      {Setting::kCurrent, "4001", true, SetCurrentCommand{{0xAB, 0xCD}, 4000}, false},
      {Setting::kCurrent, "99999", true, SetCurrentCommand{{0xAB, 0xCD}, 4000}, false},
      {Setting::kCurrent, "-5", true, SetCurrentCommand{{0xAB, 0xCD}, 0}, false},
      {Setting::kFrequency, "12.345", true, SetFrequencyCommand{12340}},
      {Setting::kFrequency, "0.29", true, SetFrequencyCommand{290}},
      {Setting::kFrequency, "1.", true, SetFrequencyCommand{1000}},
      {Setting::kFrequency, "2147483.649", true, SetFrequencyCommand{2147483640}},
      {Setting::kFrequency, "2147483.65", true, SetFrequencyCommand{2147483640}, false},
      {Setting::kFrequency, "-0.01", true, SetFrequencyCommand{0}, false},
      {Setting::kDuration, "255.9", true, SetDurationCommand{255}},
      {Setting::kDuration, "300", true, SetDurationCommand{255}, false},
      {Setting::kDuration, "-1", true, SetDurationCommand{0}, false},
      {Setting::kSoftActive, "on", true, SetSoftActiveCommand{1}},
      {Setting::kSoftActive, "off", true, SetSoftActiveCommand{0}},
      {Setting::kCurrent, "1e3", false, {}},
      {Setting::kCurrent, ".5", false, {}},
      {Setting::kCurrent, "1.2.3", false, {}},
      {Setting::kCurrent, "5-", false, {}},
      {Setting::kCurrent, "-", false, {}},
      {Setting::kCurrent, "", false, {}},
      {Setting::kSoftActive, "1", false, {}},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(IsAcceptedValue(c.setting, c.text), c.accepted) << c.text;
    if (!c.accepted) continue;
    const SettingPlan plan = PlanSetting(c.setting, c.text, device);
    EXPECT_EQ(plan.frame.ToVector(), EncodeCommand(c.expected).ToVector()) << c.text;
    EXPECT_EQ(plan.sendTwice, c.setting != Setting::kSoftActive) << c.text;
    EXPECT_EQ(RangeProblem(c.setting, c.text, device.currentMax).empty(), c.inRange) << c.text;
  }
}

// What status --json reads (Hz) can be written back: a unit after the number
// is taken as such, and a bare number in kHz too big for any board is refused
// before it could set a frequency a thousand times the one meant.
TEST(SettingTest, UnitsAreTakenAndABareHertzFigureIsRefused) {
  struct Case {
    Setting setting;
    const char* typed;
    BareUnit bare;
    const char* text;     // in the field's units, when accepted
    const char* problem;  // part of the refusal, when not
  };
  const Case cases[] = {
      {Setting::kFrequency, "20kHz", BareUnit::kPanel, "20", ""},
      {Setting::kFrequency, "20000Hz", BareUnit::kPanel, "20.000", ""},
      {Setting::kFrequency, "12345.6Hz", BareUnit::kPanel, "12.3456", ""},
      {Setting::kFrequency, "5Hz", BareUnit::kPanel, "0.005", ""},
      {Setting::kFrequency, "10000", BareUnit::kPanel, "10000", ""},
      {Setting::kFrequency, "99999999999kHz", BareUnit::kPanel, "99999999999", ""},
      {Setting::kFrequency, "20000", BareUnit::kHertz, "20.000", ""},
      {Setting::kFrequency, "20kHz", BareUnit::kHertz, "20", ""},
      {Setting::kCurrent, "1500mA", BareUnit::kPanel, "1500", ""},
      {Setting::kCurrent, "1500", BareUnit::kPanel, "1500", ""},
      {Setting::kFrequency, "20000", BareUnit::kPanel, "", "did you mean 20000Hz?"},
      {Setting::kFrequency, "10000.01", BareUnit::kPanel, "", "did you mean 10000.01Hz?"},
      {Setting::kFrequency, "20MHz", BareUnit::kPanel, "", "kHz, Hz or no unit"},
      {Setting::kFrequency, "20 kHz", BareUnit::kPanel, "", "kHz, Hz or no unit"},
      {Setting::kFrequency, "20hz", BareUnit::kPanel, "", "kHz, Hz or no unit"},
      {Setting::kFrequency, "Hz", BareUnit::kPanel, "", "digits"},
      {Setting::kFrequency, "-Hz", BareUnit::kPanel, "", "digits"},
      {Setting::kFrequency, "1.2.3Hz", BareUnit::kPanel, "", "digits"},
      {Setting::kCurrent, "1.5A", BareUnit::kPanel, "", "then mA or no unit"},
      {Setting::kDuration, "20mA", BareUnit::kPanel, "", "and no unit"},
  };
  for (const Case& c : cases) {
    const FieldValue field = InFieldUnits(c.setting, c.typed, c.bare);
    if (*c.problem == '\0') {
      EXPECT_EQ(field.problem, "") << c.typed;
      EXPECT_EQ(field.text, c.text) << c.typed;
      EXPECT_TRUE(IsAcceptedValue(c.setting, field.text)) << c.typed;
    } else {
      EXPECT_NE(field.problem.find(c.problem), std::string::npos)
          << c.typed << ": " << field.problem;
    }
  }
}

TEST(SettingTest, OnlyTheSettingsOwnReplyCarriesItsValue) {
  EXPECT_EQ(ConfirmedValue(Setting::kCurrent, CurrentReply{{1, 2}, 700}), 700u);
  EXPECT_EQ(ConfirmedValue(Setting::kCurrent, AllReply{{1, 2}, 700, 900, 1, 2, 0}), std::nullopt);
  EXPECT_EQ(ConfirmedValue(Setting::kFrequency, FrequencyReply{12340}), 12340u);
  EXPECT_EQ(ConfirmedValue(Setting::kDuration, FrequencyReply{12}), std::nullopt);
  EXPECT_EQ(ConfirmedValue(Setting::kSoftActive, SoftActiveReply{7}), 1u);
}

TEST(ReadingsOutputTest, JsonReadingCarriesTheBoardsResolution) {
  // 2026-12-07 16:30:00.123 UTC
  const WallTime time{std::chrono::milliseconds(1796661000123)};
  DeviceState d;
  d.currentRead = 1203;
  d.seedTemp = 2501;
  d.pumpTemp = 3740;
  d.currentSetpoint = 1500;
  d.frequencyHz = 12340;
  d.pulseSteps = 20;
  d.softActive = 1;
  EXPECT_EQ(
      ReadingJson(time, d).dump(),
      R"({"current_mA":1203,"duration_steps":20,"frequency_Hz":12340,"pump_C":37.4,)"
      R"("seed_C":25.01,"setpoint_mA":1500,"soft_active":true,"time":"2026-12-07T16:30:00.123Z"})");
}

// A path that is no port name is opened through a link of ours, which the
// serial texts name (its path, its name in the box); the user reads the path
// given. A port chosen by its list name is named so already.
TEST(PortChoiceTest, TextsNameThePortAsTheUserGaveIt) {
  const std::string given = "/no-such-folder/board";
  const std::optional<ChosenPort> linked = ChoosePort(given, "/dev");
  ASSERT_TRUE(linked && linked->privateLink);
  const std::filesystem::path ours = linked->privateLink->Path();
  const std::string box = FormatErrorReport("ReadFile()", "Input/output error", "ttyUSB0");
  const struct {
    std::string message;
    std::string expected;
  } cases[] = {
      {ours.string() + " is not present.", given + " is not present."},
      {FormatErrorReport("ReadFile()", "Input/output error", ours.filename().string()),
       FormatErrorReport("ReadFile()", "Input/output error", given)},
      {box, box},  // a port name that is not ours stays
  };
  for (const auto& c : cases) EXPECT_EQ(InTermsOf(*linked, c.message), c.expected);
  EXPECT_EQ(InTermsOf(*ChoosePort("ttyUSB0", "/dev"), box), box);
}

// The link's boxes that come while the program runs go to standard error.
TEST(PortChoiceTest, TheSessionTellsTheLinksBoxInTheUsersTerms) {
  const std::string given = "/no-such-folder/board";
  const std::optional<ChosenPort> linked = ChoosePort(given, "/dev");
  ASSERT_TRUE(linked && linked->privateLink);
  CSerialLink link(linked->deviceDirectory);
  BoardSession session(link, *linked);
  testing::internal::CaptureStderr();
  session.ShowError(FormatErrorReport("ReadFile()", "Input/output error",
                                      linked->privateLink->Path().filename().string()),
                    "Application Error");
  const std::string shown = testing::internal::GetCapturedStderr();
  EXPECT_THAT(shown, testing::HasSubstr("Application Error: WARNING:  ReadFile()"));
  EXPECT_THAT(shown, testing::HasSubstr(ErrorReportPortLine(given)));
}

}  // namespace
}  // namespace quorvane::ctl
