// The program's version, the project's, from the header the build makes.
#pragma once

#include "quorvane_version.h"  // generated in the build folder

namespace quorvane::ctl {

inline constexpr const char* kVersion = QUORVANE_VERSION;

}  // namespace quorvane::ctl
