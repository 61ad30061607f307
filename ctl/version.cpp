// The version quorvane-ctl prints, from the header the build makes.
#include "ctl/version.h"

#include "quorvane_version.h"  // generated in the build folder

namespace quorvane::ctl {

const char* const kVersion = QUORVANE_VERSION;

}  // namespace quorvane::ctl
