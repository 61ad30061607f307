// The panel's texts are UTF-8; Windows' W functions speak UTF-16. Converted
// here, below every layer that talks to Windows.
#pragma once

#include <string>
#include <string_view>

namespace quorvane {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

}  // namespace quorvane
