// --help and --version of the window programs, answered before any window
// code runs: they must work over SSH, in scripts and for man-page checks,
// where no display can be opened.
#pragma once

#include <optional>

namespace quorvane {

// If an argument is --help or --version (the first such one counts), prints
// helpText, or "<program> <version>", on standard output and returns the
// exit status: 0, or 1 when standard output could not be written. Otherwise
// returns nothing and the program starts as usual.
std::optional<int> AnswerInfoOption(int argc, const char* const* argv, const char* program,
                                    const char* helpText);

}  // namespace quorvane
