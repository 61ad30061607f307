// Writing quorvane-ctl's results: output that cannot be written (a full disk,
// a reader that has gone) must never pass for success.
#pragma once

#include <cstdio>
#include <string>

namespace quorvane::ctl {

// Writes text whole and flushes it: 0, or the errno of the failure, EPIPE
// whenever the reader has gone, whatever the platform calls that.
int WriteWhole(std::FILE* stream, const std::string& text);

// Says on err, in one line, that the results could not be written, and gives
// the exit status for it.
int OutputFailed(int error, std::FILE* err);

// Makes a reader that goes away a failed write (EPIPE) that the program can
// end on as it chooses, not a signal that ends it without a word. Call once
// at start. This and the next are the platform's own (posix/, win32/).
void TakeClosedPipeAsWriteError();

// Writes text whole straight to the stream's descriptor, past its buffer and
// lock (EINTR retried): 0, or the errno, EPIPE whenever the reader has gone.
int WriteUnbuffered(std::FILE* stream, const std::string& text);

// Whether the write that has just failed with error failed because the
// reader has gone; asked before anything else can touch the system's errors.
bool ReaderHasGone(int error);

// Whether stream is a terminal someone watches: progress that rewrites its
// own line is for a person, never for a log or a pipe.
bool IsTerminal(std::FILE* stream);

}  // namespace quorvane::ctl
