// quorvane-ctl run as a user runs it: its output on pipes, its exit status,
// and signals sent while it runs.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

namespace quorvane::ctl::test {

using namespace std::chrono_literals;

struct Finished {
  int status = -1;  // exit status, 128 + signal, or -1 when it had to be killed
  std::string out;
  std::string err;
};

class CtlProcess {
 public:
  // command: the program and its arguments (a wrapper such as setpriv may come
  // first). It starts with SIGPIPE at its default, whatever this process does with it.
  // outputPipeSize, when not 0, shrinks its standard output's pipe (Linux
  // rounds it up to a page), so an output nobody reads is full after a few lines.
  explicit CtlProcess(std::vector<std::string> command, int outputPipeSize = 0);
  ~CtlProcess();
  CtlProcess(const CtlProcess&) = delete;
  CtlProcess& operator=(const CtlProcess&) = delete;

  // Reads output until standard output holds needle count times; false on
  // time-out or end of output.
  bool WaitForOutput(const std::string& needle, int count = 1,
                     std::chrono::milliseconds limit = 10s);
  void Signal(int signal) const;
  // Closes our end of its standard output, as a reader that has had enough does.
  void CloseOutput();
  // Collects the rest of the output and the exit status; kills it after limit.
  // Without readOutput, standard output is left as it is (a reader that has
  // stopped reading) and only standard error is collected.
  Finished Finish(std::chrono::milliseconds limit = 20s, bool readOutput = true);

 private:
  bool ReadSome(std::chrono::milliseconds limit, bool readOutput = true);

  pid_t m_pid = -1;
  int m_out = -1;
  int m_err = -1;
  Finished m_result;
};

// The program under test with the given arguments, to its end.
Finished RunCtl(const std::vector<std::string>& arguments);
std::vector<std::string> CtlCommand(const std::vector<std::string>& arguments);

}  // namespace quorvane::ctl::test
