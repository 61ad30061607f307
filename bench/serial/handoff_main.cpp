// Per-byte hand-off latency, pty master write to the reader's handler: the
// link (with its thread hop) beside QSerialPort, in one run, in alternating
// rounds so both see the same machine load.
#include <cstdio>
#include <cstdlib>

#include "bench/serial/handoff_runs.h"

#ifdef QUORVANE_BENCH_QSERIALPORT
#include <QCoreApplication>
#endif

using namespace quorvane::bench;

namespace {

void Print(const char* name, const Figures& f) {
  std::printf("%-36s %6zu bytes  median %8.1f us  p99 %8.1f us  max %8.1f us\n", name, f.count,
              f.medianUs, f.p99Us, f.maxUs);
}

void Append(std::vector<double>& to, const std::vector<double>& from) {
  to.insert(to.end(), from.begin(), from.end());
}

}  // namespace

int main(int argc, char** argv) {
  const std::size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 3000;
  const std::chrono::microseconds gap(argc > 2 ? std::strtol(argv[2], nullptr, 10) : 300);
  const int rounds = 5;
  std::printf("%zu bytes, one at a time, %lld us apart, %d alternating rounds\n", count,
              static_cast<long long>(gap.count()), rounds);
#ifdef QUORVANE_BENCH_QSERIALPORT
  int qtArgc = 1;
  QCoreApplication app(qtArgc, argv);
#endif

  std::string error;
  LinkLatencies link;
  std::vector<double> qt;
  for (int round = 0; round < rounds; ++round) {
    const auto linkRound = RunLinkHandoff(count / rounds, gap, &error);
    if (!linkRound) {
      std::fprintf(stderr, "link: %s\n", error.c_str());
      return 1;
    }
    Append(link.atOwner, linkRound->atOwner);
    Append(link.atMonitor, linkRound->atMonitor);
#ifdef QUORVANE_BENCH_QSERIALPORT
    const auto qtRound = RunQSerialPortHandoff(count / rounds, gap, &error);
    if (!qtRound) {
      std::fprintf(stderr, "QSerialPort: %s\n", error.c_str());
      return 1;
    }
    Append(qt, *qtRound);
#endif
  }
  const Figures atOwner = Summarise(link.atOwner);
  Print("CSerialLink, owner thread (hop)", atOwner);
  Print("CSerialLink, monitor thread (no hop)", Summarise(link.atMonitor));
#ifdef QUORVANE_BENCH_QSERIALPORT
  const Figures qtFigures = Summarise(qt);
  Print("QSerialPort, readyRead", qtFigures);
  std::printf("ratio link (owner thread) / QSerialPort: median %.2f, p99 %.2f\n",
              atOwner.medianUs / qtFigures.medianUs, atOwner.p99Us / qtFigures.p99Us);
#else
  std::printf("QSerialPort comparison not built (Qt6 SerialPort not found)\n");
#endif
  return 0;
}
