// atof in the "C" locale: Qt sets the process locale from the desktop, which
// may read "12,34" where the operator typed "12.34".
#include "controller/c_number.h"

#include <locale.h>
#include <stdlib.h>

#include <string>

namespace quorvane {
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

}  // namespace quorvane
