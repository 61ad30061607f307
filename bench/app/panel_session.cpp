// Opening the port and waiting for the board, as the timing harnesses do it.
#include "bench/app/panel_session.h"

#include <chrono>
#include <cstdio>

#include <QCoreApplication>
#include <QPushButton>

#include "controller/control_ids.h"

namespace quorvane::bench {

bool OpenAndSync(CControllerDlg& dlg, const char* program) {
  using Steady = std::chrono::steady_clock;
  static_cast<QPushButton*>(dlg.Control(IDC_OPEN_PORT))->click();
  const Steady::time_point deadline = Steady::now() + std::chrono::seconds(10);
  while (!dlg.GetController().Flags().synced && Steady::now() < deadline)
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
  if (dlg.GetController().Flags().synced) return true;
  std::fprintf(stderr, "%s: the board never synced\n", program);
  return false;
}

}  // namespace quorvane::bench
