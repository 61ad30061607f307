// Answers --help and --version with plain stdio, so no Qt object is created.
#include "app/qt/info_options.h"

#include <cstdio>
#include <cstring>

#include "quorvane_version.h"  // generated in the build folder

namespace quorvane {

std::optional<int> AnswerInfoOption(int argc, const char* const* argv, const char* program,
                                    const char* helpText) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      std::fputs(helpText, stdout);
    } else if (std::strcmp(argv[i], "--version") == 0) {
      std::printf("%s %s\n", program, QUORVANE_VERSION);
    } else {
      continue;
    }
    // A full disk or a closed pipe must not look like a good answer to a script.
    return std::fflush(stdout) == 0 && std::ferror(stdout) == 0 ? 0 : 1;
  }
  return std::nullopt;
}

}  // namespace quorvane
