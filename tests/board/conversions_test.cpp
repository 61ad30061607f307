// Text forms and entry conversions, including entries that would overflow and
// a desktop locale that writes a decimal comma.
#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "board/c_number.h"
#include "board/display_forms.h"
#include "board/operator_entry.h"
#include "controller/step_rule.h"
#include "protocol/device_state.h"

namespace quorvane {
namespace {

struct TextCase {
  std::string actual;
  std::string expected;
};

TEST(DeviceState, InitialValues) {
  const DeviceState d;
  EXPECT_EQ(d.currentPrefix[0], 0);
  EXPECT_EQ(d.currentPrefix[1], 0);
  EXPECT_EQ(d.pulseSteps, 20);
  EXPECT_EQ(d.softActive, 0);
  EXPECT_EQ(d.currentMax, 0);
}

TEST(DeviceState, TextFormsMatchPrintf) {
  const TextCase cases[] = {
      {SetpointText(1200), "1200"},
      {SetpointText(0), "0"},
      {FrequencyText(12340), "12.34"},
      {FrequencyText(280), "0.28"},
      {FrequencyText(-1), "-0.00"},  // 0xFFFFFFFF from the board
      {FrequencyText(2147483647), "2147483.65"},
      {FrequencyText(5), "0.01"},  // 0.005 is a hair above in binary
      {DurationText(255), "255"},
      {TemperatureText(2534), "25.3"},
      {TemperatureText(0), "0.0"},
      {TemperatureText(65535), "655.4"},
      {TemperatureText(25), "0.2"},  // 0.25 rounds half to even like printf
  };
  for (const auto& c : cases) EXPECT_EQ(c.actual, c.expected);
}

struct ParseCase {
  const char* text;
  std::int32_t expected;
};

TEST(DeviceState, ParseCurrentTruncatesAndClamps) {
  const ParseCase cases[] = {
      {"1500", 1500}, {"5000", 3000}, {"2999.9", 2999},  {"-3", 0},   {"1.5e3", 1500},
      {"12abc", 12},  {"abc", 0},     {"  42", 42},      {"-", 0},    {"-.", 0},
      {"1e20", 3000}, {"-1e20", 0},   {"inf", 3000},     {"-inf", 0}, {"nan", 0},
      {"0x10", 16},   {"+7", 7},      {"3000.99", 3000}, {"", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseCurrent(c.text, 3000), c.expected) << "text '" << c.text << "'";
  }
}

TEST(DeviceState, ParseFrequencyKeepsTensOfHertzAndSaturates) {
  const ParseCase cases[] = {
      {"12.34", 12340},
      // The decimal typed is cut, not its binary neighbour: 0.29 * 100.0 is
      // 28.999999999999996, which a plain cut would send as 280 Hz.
      {"0.29", 290},
      {"0.57", 570},
      {"1.15", 1150},
      {"4.35", 4350},
      {"12.349", 12340},
      {"0.2899999999", 280},  // a cut, so no rounding up however close
      // Its binary product with 100 rounds up to exactly 40.0.
      {".39999999999999999", 390},
      {"-0.29", 0},
      {"2147483.64", kMaxFrequencyHz},
      {"-3", 0},
      {"0.001", 0},
      {"2147483", 2147483000},
      {"2147484", kMaxFrequencyHz},  // would wrap negative in 32 bits
      {"1e20", kMaxFrequencyHz},
      {"inf", kMaxFrequencyHz},
      {"-inf", 0},
      {"nan", 0},
      {"1e-300", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseFrequency(c.text), c.expected) << "text '" << c.text << "'";
  }
  EXPECT_EQ(FrequencyText(ParseFrequency("12.34")), "12.34");
}

TEST(DeviceState, ParseDurationClampsToAByte) {
  const ParseCase cases[] = {
      {"20", 20}, {"255", 255},  {"256", 255}, {"300", 255}, {"-1", 0},
      {"7.9", 7}, {"1e20", 255}, {"-inf", 0},  {"nan", 0},   {"x", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ParseDuration(c.text), c.expected) << "text '" << c.text << "'";
  }
}

TEST(DeviceState, ToggleSoftActiveTreatsAnyNonZeroAsOn) {
  DeviceState d;
  ToggleSoftActive(d);
  EXPECT_EQ(d.softActive, 1);
  ToggleSoftActive(d);
  EXPECT_EQ(d.softActive, 0);
  d.softActive = 7;
  ToggleSoftActive(d);
  EXPECT_EQ(d.softActive, 0);
}

TEST(DeviceState, SoftActivePresentation) {
  EXPECT_EQ(PresentSoftActive(0).color, 0xF5F5F5u);
  EXPECT_STREQ(PresentSoftActive(0).caption, "OFF");
  EXPECT_EQ(PresentSoftActive(9).color, 0x0000FFu);
  EXPECT_STREQ(PresentSoftActive(9).caption, "ON");
}

TEST(DeviceState, StepRulesGrowWithTicksAndSaturate) {
  struct StepCase {
    std::uint8_t ticks;
    std::int32_t step;
  };
  for (auto c : {StepCase{0, 1}, StepCase{4, 1}, StepCase{5, 2}, StepCase{49, 10}}) {
    EXPECT_EQ(NudgeStep(c.ticks), c.step) << "ticks " << int(c.ticks);
    EXPECT_EQ(StepUpRule(100, 3000, c.ticks), 100 + c.step);
    EXPECT_EQ(StepDownRule(100, c.ticks), 100 - c.step);
  }
  EXPECT_EQ(StepDownRule(0, 0), 0);
  EXPECT_EQ(StepDownRule(5, 49), 0);
  EXPECT_EQ(StepUpRule(3000, 3000, 0), 3000);
  EXPECT_EQ(StepUpRule(2995, 3000, 49), 3000);
}

TEST(DeviceState, SliderTicksAreTenthsTruncated) {
  EXPECT_EQ(SliderTicks(3000),
            (std::array<std::int32_t, 9>{300, 600, 900, 1200, 1500, 1800, 2100, 2400, 2700}));
  EXPECT_EQ(SliderTicks(7), (std::array<std::int32_t, 9>{0, 1, 2, 2, 3, 4, 4, 5, 6}));
  EXPECT_EQ(SliderTicks(65535)[8], 58981);
}

// A desktop locale with a decimal comma must change neither reading nor showing.
TEST(DeviceState, ConversionsIgnoreTheProcessLocale) {
#ifdef _WIN32
  struct RestoreLocale {
    ~RestoreLocale() { std::setlocale(LC_ALL, "C"); }
  } restore;
  if (std::setlocale(LC_ALL, "German_Germany.1252") == nullptr)
    GTEST_SKIP() << "no German locale here";
#else
  const auto dir = std::filesystem::temp_directory_path() / "quorvane-locale-test";
  std::filesystem::create_directories(dir);
  const std::string command =
      "localedef -i de_DE -f UTF-8 '" + (dir / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) GTEST_SKIP() << "localedef cannot build de_DE here";
  // Put back however the test ends, an ASSERT half-way included, so later
  // tests in this process do not run in a decimal-comma locale.
  struct RestoreLocale {
    std::filesystem::path dir;
    ~RestoreLocale() {
      std::setlocale(LC_ALL, "C");
      unsetenv("LOCPATH");
      std::error_code ignored;
      std::filesystem::remove_all(dir, ignored);
    }
  } restore{dir};
  setenv("LOCPATH", dir.c_str(), 1);
  ASSERT_NE(std::setlocale(LC_ALL, "de_DE.UTF-8"), nullptr);
#endif
  char probe[16];
  std::snprintf(probe, sizeof probe, "%.1f", 1.5);
  EXPECT_STREQ(probe, "1,5") << "the locale really writes a comma";

  EXPECT_EQ(ParseFrequency("12.34"), 12340);
  EXPECT_EQ(ParseCurrent("2999.9", 3000), 2999);
  EXPECT_EQ(FrequencyText(12340), "12.34");
  EXPECT_EQ(TemperatureText(2534), "25.3");
}

}  // namespace
}  // namespace quorvane

namespace quorvane {
namespace {

std::string Printf(const char* format, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

// The texts must be exactly what printf makes of the scaled double, for every
// value the board can send (16-bit readings) and a sweep of 32-bit frequencies.
TEST(DeviceState, TextFormsAgreeWithPrintfOverTheWholeRange) {
  for (std::int32_t h = 0; h <= 0xFFFF; ++h) {
    ASSERT_EQ(TemperatureText(h), Printf("%.1f", h * 0.01)) << "hundredths " << h;
  }
  std::uint32_t x = 12345;
  for (int i = 0; i < 200000; ++i) {
    x = x * 1664525u + 1013904223u;  // LCG: deterministic spread over all 32 bits
    const auto hz = static_cast<std::int32_t>(i < 100000 ? x : x % 100000);
    ASSERT_EQ(FrequencyText(hz), Printf("%.2f", hz * 0.001)) << "hertz " << hz;
  }
}

TEST(OperatorEntry, PastedTextKeepsWhatTypingWouldAdmit) {
  struct Case {
    std::u16string current;
    std::size_t start, end;
    std::u16string pasted, admitted;
  };
  const Case cases[] = {
      {u"", 0, 0, u"1,500", u"1500"},
      {u"", 0, 0, u".-5.5e3", u"-5.53"},         // a point cannot come first
      {u"12.5", 1, 3, u".9", u"9"},              // the selected point counts until replaced
      {u"12.5", 0, 4, u"-.5", u"5"},             // judged against the whole text, as typed
      {u"7", 1, 1, u"\b\u0663\U0001F600", u""},  // backspace, Arabic three, emoji
  };
  for (const Case& c : cases) {
    EXPECT_EQ(FilterInsertedText(c.current, c.start, c.end, c.pasted), c.admitted)
        << std::string(c.pasted.begin(), c.pasted.end());
  }
}

}  // namespace
}  // namespace quorvane
