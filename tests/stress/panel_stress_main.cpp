// Stress and soak harness of the whole panel: one sub-command per scenario, a
// figures table on standard output, and a non-zero exit status when any
// invariant was violated, so ctest runs the short runs as tests.
//   panel_stress unplug|commands|exit|soak [--count N] [--seed S]
//                [--settle-ms MS] [--program PATH] [--exit-limit-ms MS] [--minute-ms MS]
#include <cstdio>

#include <QApplication>
#include <QThreadPool>

#include "tests/stress/scenarios.h"

int main(int argc, char** argv) {
  using namespace quorvane::stress;
  QApplication app(argc, argv);
  // Qt's pool threads (and their descriptors) linger for half a minute after
  // Qt's own work; let them go at once so the counts show the panel's only.
  QThreadPool::globalInstance()->setExpiryTimeout(50);
  const QStringList args = QApplication::arguments();
  ScenarioArgs parsed;
  bool ok = args.size() >= 2;
  const QString scenario = ok ? args[1] : QString();
  for (qsizetype i = 2; ok && i < args.size(); i += 2) {
    if (i + 1 >= args.size()) {
      ok = false;
      break;
    }
    const QString& name = args[i];
    const QString& value = args[i + 1];
    if (name == "--count")
      parsed.count = value.toInt(&ok);
    else if (name == "--seed")
      parsed.seed = value.toUInt(&ok);
    else if (name == "--settle-ms" || name == "--minute-ms")
      parsed.settle = Ms(value.toInt(&ok));
    else if (name == "--program")
      parsed.program = value.toStdString();
    else if (name == "--exit-limit-ms")
      parsed.exitLimit = Ms(value.toInt(&ok));
    else
      ok = false;
  }
  Figures figures;
  if (ok && scenario == "unplug") {
    figures = RunUnplug(parsed);
  } else if (ok && scenario == "commands") {
    figures = RunCommands(parsed);
  } else if (ok && scenario == "exit" && !parsed.program.empty()) {
    figures = RunExit(parsed);
  } else if (ok && scenario == "soak") {
    // A minute is a minute unless a shorter one is asked for.
    if (args.indexOf("--minute-ms") < 0) parsed.settle = Ms(60000);
    figures = RunSoak(parsed);
  } else {
    std::fprintf(stderr,
                 "usage: panel_stress unplug|commands|exit|soak [--count N] [--seed S]\n"
                 "       [--settle-ms MS] [--program quorvane-demo-hooks] [--exit-limit-ms MS]\n"
                 "       [--minute-ms MS]\n");
    return 2;
  }
  figures.Add(scenario.toStdString() + " seed", std::to_string(parsed.seed));
  figures.Add(scenario.toStdString() + " violations", std::to_string(figures.violations));
  for (const auto& [name, value] : figures.rows)
    std::printf("%-40s %s\n", name.c_str(), value.c_str());
  return figures.violations == 0 ? 0 : 1;
}
