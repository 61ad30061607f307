// quorvane-ctl under a lab limits file of a test's own, named by the first
// argument: the program itself reads only the system's file, and nothing a
// user can set moves it, so this test-only program is how a test gives it one.
// Usage: quorvane-ctl-labfile LABFILE [quorvane-ctl's arguments...]
#include <cstdio>

#include "ctl/ctl_main.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fputs("usage: quorvane-ctl-labfile LABFILE [ARGS...]\n", stderr);
    return 2;
  }
  quorvane::LimitsSources lab;
  lab.labFile = argv[1];
  // The tests' files belong to whoever runs them; the folder and mode rules
  // still apply.
  lab.labFileMustBeRoots = false;
  argv[1] = argv[0];
  return quorvane::ctl::CtlMain(argc - 1, argv + 1, lab);
}
