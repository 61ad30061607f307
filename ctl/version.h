// The program's version, the project's. Defined in version.cpp, the one file
// of the layer that sees the generated version header: a new version number
// then recompiles that file, not the option parser (CLI11 is slow to compile).
#pragma once

namespace quorvane::ctl {

extern const char* const kVersion;

}  // namespace quorvane::ctl
