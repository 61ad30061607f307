// The exit scenario: the demo program, in its test build whose options close
// it, hold a step button and add noise, closed at a random moment (before
// sync, polling, in a pause, during a held step, under noise), must exit with
// status 0 soon after the close was asked for.
#include <time.h>

#include <algorithm>
#include <cstdio>

#include <QProcess>
#include <QStringList>

#include "tests/stress/scenarios.h"

namespace quorvane::stress {

namespace {

long long RealtimeNs() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
}

}  // namespace

Figures RunExit(const ScenarioArgs& args) {
  Figures figures;
  UniformDraw uniform(args.seed);
  int ended = 0, zero = 0, withinLimit = 0;
  double worstMs = 0;
  const char* kinds[] = {"early", "polling", "hold", "noise"};
  int counts[4] = {};
  for (int run = 0; run < args.count; ++run) {
    const int kind = uniform(0, 3);
    ++counts[kind];
    // Sync takes about half a second; "early" closes around it.
    const int closeMs = kind == 0 ? uniform(50, 800) : uniform(1200, 4000);
    QStringList programArgs{"--open", "--close-after-ms", QString::number(closeMs)};
    if (kind == 2) programArgs << "--hold-step";
    if (kind == 3) programArgs << "--noise" << QString::number(uniform(500, 5000));
    QProcess process;
    process.setProcessChannelMode(QProcess::SeparateChannels);
    process.start(QString::fromStdString(args.program), programArgs);
    const std::string what = "run " + std::to_string(run) + " (" + kinds[kind] + ")";
    if (!process.waitForStarted(5000)) {
      figures.Violation(what + ": did not start");
      continue;
    }
    const bool finished = process.waitForFinished(closeMs + 30000);
    const long long exitNs = RealtimeNs();
    if (!finished) {
      figures.Violation(what + ": still running 30 s after the close request");
      process.kill();
      process.waitForFinished(5000);
      continue;
    }
    ++ended;
    const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
    const qsizetype at = out.indexOf("close-requested-ns ");
    if (process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
      figures.Violation(what + ": exit status " + std::to_string(process.exitCode()) + ": " +
                        process.readAllStandardError().toStdString());
      continue;
    }
    ++zero;
    if (at < 0) {
      figures.Violation(what + ": the close was never asked for");
      continue;
    }
    const long long requestedNs = out.mid(at + 19).section('\n', 0, 0).toLongLong();
    const double ms = (exitNs - requestedNs) / 1e6;
    worstMs = std::max(worstMs, ms);
    if (ms <= static_cast<double>(args.exitLimit.count()))
      ++withinLimit;
    else
      figures.Violation(what + ": exited " + std::to_string(ms) + " ms after the close request");
  }
  char worst[32];
  std::snprintf(worst, sizeof worst, "%.1f", worstMs);
  std::string mix;
  for (int i = 0; i < 4; ++i)
    mix += std::string(i ? " " : "") + kinds[i] + "=" + std::to_string(counts[i]);
  figures.Add("exit runs ended/status 0", std::to_string(ended) + "/" + std::to_string(zero) +
                                              " of " + std::to_string(args.count));
  figures.Add("exit within " + std::to_string(args.exitLimit.count()) + " ms",
              std::to_string(withinLimit) + " (worst " + worst + " ms)");
  figures.Add("exit moments", mix);
  return figures;
}

}  // namespace quorvane::stress
