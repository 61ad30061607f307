// Timing harness of the Windows window's responsiveness (not a test), run
// under Wine: while the panel is synced and polls a board, another thread
// asks the window a WM_NULL every 5 ms and times each round trip.
//   respond_figures --seconds S [--port COMn]
// clang-format off
#include "controls/win32/windows_api.h"
// clang-format on

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "app/win32/controller_dlg.h"
#include "bench/app/win32/window_session.h"
#include "bench/support/spread.h"
#include "serial/serial_link.h"
#include "serial/win32/port_table.h"

namespace {

using namespace quorvane;
using namespace quorvane::bench;
using Steady = std::chrono::steady_clock;

int Respond(int seconds, const std::string& port) {
  CSerialLink link;
  PortTable ports;
  CControllerDlg dlg(link, ports, nullptr);
  if (!dlg.Create()) return std::printf("no window\n"), 1;
  if (!OpenAndSync(dlg, port)) return std::printf("no board on %s\n", port.c_str()), 1;

  std::atomic<bool> stop{false}, stopped{false};
  std::vector<double> roundTrips;  // the asking thread's own until it is joined
  HWND window = dlg.Handle();
  std::thread asker([&] {
    while (!stop.load()) {
      const auto t0 = Steady::now();
      DWORD_PTR result = 0;
      if (SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result) != 0)
        roundTrips.push_back(std::chrono::duration<double, std::milli>(Steady::now() - t0).count());
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    stopped = true;
  });
  RunFor(std::chrono::seconds(seconds), &dlg);
  stop = true;
  // The asker may be inside a round trip: the loop answers it while it ends.
  while (!stopped.load()) {
    dlg.ProcessPending();
    Sleep(1);
  }
  asker.join();
  std::printf("seconds %d round_trips %zu\n", seconds, roundTrips.size());
  std::printf("wm_null_round_trip_ms p50 %.3f p99 %.3f max %.3f\n", Percentile(roundTrips, 50),
              Percentile(roundTrips, 99), Percentile(roundTrips, 100));
  dlg.EndSession();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  InitPanelControls();
  int seconds = 30;
  std::string port = "COM31";
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::max(1, std::atoi(argv[i + 1]));
    if (std::strcmp(argv[i], "--port") == 0) port = argv[i + 1];
  }
  return Respond(seconds, port);
}
