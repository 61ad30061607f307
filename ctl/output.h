// Writing quorvane-ctl's results: output that cannot be written (a full disk,
// a reader that has gone) must never pass for success.
#pragma once

#include <cstdio>
#include <string>

namespace quorvane::ctl {

// Writes text whole and flushes it: 0, or the errno of the failure (EPIPE
// when the reader has gone).
int WriteWhole(std::FILE* stream, const std::string& text);

// Says on err, in one line, that the results could not be written, and gives
// the exit status for it.
int OutputFailed(int error, std::FILE* err);

// Makes a reader that goes away a failed write (EPIPE) that the program can
// end on as it chooses, not a signal that ends it without a word. Call once
// at start, on the platform's own terms (posix/, win32/).
void TakeClosedPipeAsWriteError();

}  // namespace quorvane::ctl
