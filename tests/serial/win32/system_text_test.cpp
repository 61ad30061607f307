// The system's texts in the user's language reach the operator as UTF-8, and
// a report cut to fit its box never ends inside a character. The locale runs
// (ctest's serial_win32_text_*) name the language in QUORVANE_TEST_LANGUAGE.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "serial/error_report.h"
#include "serial/win32/error_text.h"

namespace quorvane::test {
namespace {

// True when text is well-formed UTF-8: what the window decodes it as.
bool IsUtf8(const std::string& text) {
  return text.empty() || ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(),
                                               static_cast<int>(text.size()), nullptr, 0) > 0;
}

TEST(SystemTextTest, ComesInTheUsersLanguageAsUtf8) {
  // Wine's own texts for these codes, by user interface language.
  const struct {
    const char* language;
    LANGID primary;
    const char* generalFailure;      // ERROR_GEN_FAILURE
    const char* deviceNotConnected;  // ERROR_DEVICE_NOT_CONNECTED
  } cases[] = {
      {"en", LANG_ENGLISH, "General failure.", "The device is not connected."},
      {"fr", LANG_FRENCH, "Erreur g\u00e9n\u00e9rale.",
       "Le p\u00e9riph\u00e9rique n'est pas connect\u00e9."},
      {"zh", LANG_CHINESE, "\u4e00\u822c\u6027\u9519\u8bef\u3002",
       "\u8bbe\u5907\u672a\u8fde\u63a5\u3002"},
  };
  // The locale runs name their language; elsewhere the machine's own is checked.
  const char* wanted = std::getenv("QUORVANE_TEST_LANGUAGE");
  const LANGID primary = PRIMARYLANGID(::GetUserDefaultUILanguage());
  for (const auto& c : cases) {
    if (wanted != nullptr ? std::string(wanted) != c.language : primary != c.primary) continue;
    // Without the locale Wine falls back to English, and the run would prove nothing.
    ASSERT_EQ(primary, c.primary) << "Wine is not running in language " << c.language;
    EXPECT_EQ(SystemErrorText(ERROR_GEN_FAILURE), c.generalFailure);
    EXPECT_EQ(SystemErrorText(ERROR_DEVICE_NOT_CONNECTED), c.deviceNotConnected);
    std::string longText;
    while (longText.size() < 300) longText += SystemErrorText(ERROR_DEVICE_NOT_CONNECTED) + " ";
    for (const char* operation : {"ReadFile()", "WriteFile()", "GetCommState()"}) {
      const std::string report = FormatErrorReport(operation, longText, 7);
      EXPECT_LE(report.size(), kMaxErrorReportLength);
      EXPECT_TRUE(IsUtf8(report)) << operation << ": " << report;
    }
    return;
  }
  if (wanted != nullptr) FAIL() << "no texts known for language " << wanted;
  GTEST_SKIP() << "no texts known for user interface language " << primary;
}

}  // namespace
}  // namespace quorvane::test
