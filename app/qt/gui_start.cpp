// A clear exit instead of Qt's abort when the panel cannot reach a display.
#include "app/qt/gui_start.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <QString>
#include <QtGlobal>

namespace quorvane {
namespace {

// Only touched on the thread that constructs the application, before any
// other thread exists.
const char* g_program = "quorvane";
QtMessageHandler g_previous = nullptr;
std::vector<std::pair<QtMsgType, std::string>> g_held;

void DuringStart(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type == QtFatalMsg) {
    std::fprintf(stderr,
                 "%s: the panel needs a graphical session and no display could be opened "
                 "here; on a machine without one, run it on a virtual display: xvfb-run -a %s\n",
                 g_program, g_program);
    // Not abort(): nothing crashed, and a core dump would say otherwise.
    std::_Exit(1);
  }
  const char* category = context.category != nullptr ? context.category : "";
  if (std::strncmp(category, "qt.qpa", 6) == 0) {
    g_held.emplace_back(type, std::string(category) + ": " + message.toStdString());
    return;
  }
  if (g_previous != nullptr) {
    g_previous(type, context, message);
  } else {
    std::fprintf(stderr, "%s\n", qPrintable(message));
  }
}

}  // namespace

GuiStartGuard::GuiStartGuard(const char* program) {
  g_program = program;
  g_previous = qInstallMessageHandler(DuringStart);
}

GuiStartGuard::~GuiStartGuard() {
  qInstallMessageHandler(g_previous);
  for (const auto& [type, text] : g_held) {
    if (type != QtDebugMsg) std::fprintf(stderr, "%s\n", text.c_str());
  }
  g_held.clear();
}

}  // namespace quorvane
