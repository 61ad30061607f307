// What the system says of a limits file before it is read: there or not,
// and (where the system has owners and modes) whether only root could have
// written it. posix/ and win32/ each answer it.
#pragma once

#include <string>

namespace quorvane {

struct FileLook {
  bool absent = false;  // no such file: no limits from it
  std::string problem;  // set: the file must not be used, and why
};

// checkModes: the file and its folder writable by their owner alone;
// checkOwner: that owner root.
FileLook LookAtFile(const std::string& path, bool checkOwner, bool checkModes);

}  // namespace quorvane
