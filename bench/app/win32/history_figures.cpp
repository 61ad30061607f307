// Timing harness of the Windows readings history window (not a test), run
// under Wine: one redraw of a full ring in "All", and the process's CPU
// polling a board with the window closed, then open, in the same run.
//   history_figures redraw [--repeats N]
//   history_figures window --seconds S [--port COMn]
// clang-format off
#include "controls/win32/windows_api.h"
// clang-format on

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/win32/controller_dlg.h"
#include "app/win32/history_window.h"
#include "bench/app/win32/window_session.h"
#include "serial/serial_link.h"
#include "serial/win32/port_table.h"
#include "serial/win32/wide_text.h"

namespace {

using namespace quorvane;
using namespace quorvane::bench;
using Steady = std::chrono::steady_clock;

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

// User and kernel time of this process so far, in seconds.
double CpuSeconds() {
  FILETIME created{}, exited{}, kernel{}, user{};
  GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
  const auto seconds = [](FILETIME t) {
    return static_cast<double>((static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime) /
           1e7;
  };
  return seconds(kernel) + seconds(user);
}

int Redraw(int repeats) {
  // A full ring: a day and an hour of status replies at the poll rate.
  const WallTime start = std::chrono::system_clock::now() - std::chrono::hours(25);
  std::size_t taken = 0;
  ReadingsLog log([&] { return start + kPollPeriod * static_cast<int>(taken); });
  log.OnPortOpened();
  DeviceState device;
  for (; taken < ReadingHistory::kDefaultCapacity; ++taken) {
    device.currentRead = static_cast<std::int32_t>(1000 + (taken * 7919) % 97);
    device.seedTemp = static_cast<std::int32_t>(2500 + (taken * 104729) % 50);
    device.pumpTemp = static_cast<std::int32_t>(3100 + (taken * 1299709) % 80);
    device.currentSetpoint = taken % 7200 < 3600 ? 1000 : 1500;  // a change every hour
    log.OnStatusReading(device);
  }
  HWND owner = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                               GetModuleHandleW(nullptr), nullptr);
  HistoryWindow window(log, owner);
  window.Show();
  RunFor(std::chrono::milliseconds(500), nullptr);
  std::vector<double> ms;
  for (int i = 0; i < repeats; ++i) {
    const int before = window.Redraws();
    const auto t0 = Steady::now();
    window.FollowSpan(HistoryWindow::Span::All);
    ms.push_back(std::chrono::duration<double, std::milli>(Steady::now() - t0).count());
    if (window.Redraws() != before + 1) return std::printf("no redraw\n"), 1;
  }
  std::printf("readings %zu plot_width %d points %zu markers %d\n", log.History().Size(),
              window.Chart().PlotWidth(), window.Chart().PointCount(TrendQuantity::MeasuredCurrent),
              window.Chart().ChangeMarkers());
  std::printf("redraw_all_ms median %.1f max %.1f (%d repeats)\n", Median(ms),
              *std::max_element(ms.begin(), ms.end()), repeats);
  DestroyWindow(owner);
  return 0;
}

int Window(int seconds, const std::string& port) {
  CSerialLink link;
  PortTable ports;
  CControllerDlg dlg(link, ports, nullptr);
  if (!dlg.Create()) return std::printf("no window\n"), 1;
  if (!OpenAndSync(dlg, port)) return std::printf("no board on %s\n", port.c_str()), 1;
  std::printf("seconds_per_phase %d\n", seconds);
  for (const bool open : {false, true}) {
    if (open) dlg.ShowHistory();
    const int redraws = open ? dlg.History()->Redraws() : 0;
    const auto appended = dlg.Readings().History().Appended();
    const double cpu = CpuSeconds();
    const auto t0 = Steady::now();
    RunFor(std::chrono::seconds(seconds), &dlg);
    const double wall = std::chrono::duration<double>(Steady::now() - t0).count();
    std::printf("history window %-6s cpu %.2f %% readings %llu redraws %d\n",
                open ? "open" : "closed", 100.0 * (CpuSeconds() - cpu) / wall,
                static_cast<unsigned long long>(dlg.Readings().History().Appended() - appended),
                open ? dlg.History()->Redraws() - redraws : 0);
  }
  dlg.EndSession();
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  InitPanelControls();
  const std::string mode = argc > 1 ? argv[1] : "";
  int repeats = 20, seconds = 60;
  std::string port = "COM31";
  for (int i = 2; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--repeats") == 0) repeats = std::max(1, std::atoi(argv[i + 1]));
    if (std::strcmp(argv[i], "--seconds") == 0) seconds = std::max(1, std::atoi(argv[i + 1]));
    if (std::strcmp(argv[i], "--port") == 0) port = argv[i + 1];
  }
  if (mode == "redraw") return Redraw(repeats);
  if (mode == "window") return Window(seconds, port);
  std::fprintf(stderr,
               "usage: history_figures redraw [--repeats N]\n"
               "       history_figures window --seconds S [--port COMn]\n");
  return 2;
}
