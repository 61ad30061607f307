// Starting the panel where no display can be opened (an SSH session, a
// service): Qt gives up with advice to reinstall and a core dump; the
// operator gets one line saying what is wrong and how to run it instead.
#pragma once

namespace quorvane {

// Lives around the construction of the QApplication. While it does, Qt's
// fatal message about its platform plugin ends the program with status 1 and
// one line on standard error, and the plugin's own warnings about the
// display are held back; after a good start they are passed on.
class GuiStartGuard {
 public:
  explicit GuiStartGuard(const char* program);
  ~GuiStartGuard();
  GuiStartGuard(const GuiStartGuard&) = delete;
  GuiStartGuard& operator=(const GuiStartGuard&) = delete;
};

}  // namespace quorvane
