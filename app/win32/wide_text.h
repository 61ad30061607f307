// The controller speaks UTF-8; the window's W functions speak UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace quorvane {

std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

}  // namespace quorvane
