// atof in the "C" locale: Qt sets the process locale from the desktop, which
// may read "12,34" where the operator typed "12.34".
#include "board/c_number.h"

#include <locale.h>
#include <stdlib.h>

#include <algorithm>
#include <string>

namespace quorvane {

#ifdef _WIN32

// MinGW's strtod reads C99 numbers (inf, hexadecimal) as the Linux one does,
// but with the C runtime locale's decimal point. The runtime starts in the
// "C" locale and the panel never changes it; should anything in the process
// do so, the text is put into that locale's terms: the C reading stops at the
// locale's point, and '.' becomes it.
double AtofC(std::string_view text) {
  std::string local(text);
  const char point = *localeconv()->decimal_point;
  if (point != '.' && point != '\0') {
    local.resize(std::min(local.size(), local.find(point)));
    std::replace(local.begin(), local.end(), '.', point);
  }
  return strtod(local.c_str(), nullptr);
}

#else

namespace {

// The "C" locale, made once; strtod_l then reads '.' as the decimal point
// whatever the process locale says.
locale_t CLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

}  // namespace

double AtofC(std::string_view text) {
  const std::string terminated(text);
  if (CLocale() == static_cast<locale_t>(nullptr)) return 0.0;
  return strtod_l(terminated.c_str(), nullptr, CLocale());
}

#endif

}  // namespace quorvane
