#include "ctl/ctl_main.h"

#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "ctl/commands.h"
#include "ctl/ctl_options.h"
#include "ctl/exit_status.h"
#include "ctl/output.h"
#include "ctl/stop_signal.h"
#include "history/csv_file.h"

namespace quorvane::ctl {

int CtlMain(int argc, char** argv, const LimitsSources& lab) {
  // First, before any thread exists: every thread inherits the blocked signals.
  StopSignal stop;
  quorvane::TakeFileSizeLimitAsWriteError();
  TakeClosedPipeAsWriteError();
  // Caught here, not left to terminate: only an exception that is caught
  // unwinds the stack, and the unwinding closes the port and removes a
  // private link made for it.
  try {
    const ParsedCommandLine parsed =
        ParseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    if (const int error = WriteWhole(stdout, parsed.out); error != 0)
      return OutputFailed(error, stderr);
    std::fputs(parsed.err.c_str(), stderr);
    if (!parsed.options) return parsed.exitStatus;
    // --limits only ever adds a stricter file to the lab's.
    LimitsSources sources = lab;
    sources.stricterFile = parsed.options->limitsFile;
    return RunCommand(*parsed.options, sources, stop, stdout, stderr);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "quorvane-ctl: stopped by an unexpected error: %s\n", e.what());
    return kExitFailure;
  }
}

}  // namespace quorvane::ctl
