// The demo program written once: the shipped quorvane-demo runs it as it is;
// a test build adds hooks (options that fault the board or drive the window)
// that the shipped program must not carry.
#pragma once

#include <QStringList>

#include "limits/lab_limits.h"

namespace quorvane {

class CControllerDlg;
namespace sim {
struct BoardSwitches;
}

// What the demo's own options ask for.
struct DemoOptions {
  bool open = false;         // press OpenPort once the window shows
  int quitAfterSeconds = 0;  // close the window after that long; 0: never
  // Where the lab's limits are read: the system's lab file, as the program
  // does; only a test program's hooks name another.
  LimitsSources limits;
};

// What a program adds to the demo. All three run on the window thread.
class DemoHooks {
 public:
  virtual ~DemoHooks() = default;
  // If args[i] is one of the hooks' options, takes it and its value (leaving
  // i on the last argument taken) and returns true; false for any other
  // argument or a bad value. May change the demo's own options.
  virtual bool TakeOption(const QStringList& args, qsizetype& i, DemoOptions& options) = 0;
  // The virtual board's misbehaviour, before it starts.
  virtual void SetUpBoard(sim::BoardSwitches& switches) = 0;
  // The window once the demo has set it up, before it runs; objects the hooks
  // give the window as parent end with it.
  virtual void BeforeRun(CControllerDlg& dlg) = 0;
};

struct DemoProgram {
  const char* name;            // in messages and as the application's name
  const char* help;            // the text of --help
  const char* usage;           // the usage lines for a bad command line
  DemoHooks* hooks = nullptr;  // none in the shipped program
};

// The whole program: answers --help and --version without a display, starts
// Qt, reads the options and runs the window against a virtual board. Returns
// the exit status: 0 once the window closed, 1 when the demo could not start,
// 2 for a bad command line.
int RunDemo(int argc, char** argv, const DemoProgram& program);

}  // namespace quorvane
