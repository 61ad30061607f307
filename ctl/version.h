// The program's version, the project's, as the build passes it in.
#pragma once

namespace quorvane::ctl {

inline constexpr const char* kVersion = QUORVANE_VERSION;

}  // namespace quorvane::ctl
