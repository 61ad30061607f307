// The soak scenario: synced and polling at the panel's normal pace with
// replies paced like a real line; descriptors, threads and resident memory
// sampled every minute must not grow.
#include <cstdio>

#include "controller/control_ids.h"
#include "protocol/codes.h"
#include "tests/stress/scenarios.h"

namespace quorvane::stress {

Figures RunSoak(const ScenarioArgs& args) {
  Figures figures;
  RigOptions options;
  options.pace = true;
  options.board.seed = args.seed;
  Rig rig(std::move(options));
  const LoopWatchdog watchdog(Ms(10000), figures);
  if (!rig.OpenAndSync(Ms(5000))) {
    figures.Violation("the board never synced");
    return figures;
  }
  // The first minute brings caches and the journal's first growth; growth is
  // counted from its end.
  const Ms minute = args.settle;
  std::vector<ProcessCounts> samples;
  for (int m = 0; m < args.count; ++m) {
    PumpFor(minute);
    samples.push_back(SampleProcess());
    const ProcessCounts& s = samples.back();
    std::fprintf(stderr, "soak minute %d: fds %d threads %d rss %ld KiB\n", m + 1, s.fds, s.threads,
                 s.rssKiB);
  }
  if (samples.empty()) return figures;
  const ProcessCounts& first = samples.front();
  const ProcessCounts& last = samples.back();
  const int fdGrowth = last.fds - first.fds;
  const int threadGrowth = last.threads - first.threads;
  const long rssGrowth = last.rssKiB - first.rssKiB;
  if (fdGrowth != 0) figures.Violation("descriptors grew by " + std::to_string(fdGrowth));
  if (threadGrowth != 0) figures.Violation("threads grew by " + std::to_string(threadGrowth));
  if (rssGrowth > 1024)
    figures.Violation("resident memory grew by " + std::to_string(rssGrowth) + " KiB");
  if (!rig.Synced() || rig.dlg->errors)
    figures.Violation("the panel lost its board or raised an error box");
  figures.Add("soak minutes",
              std::to_string(args.count) + " (of " + std::to_string(minute.count() / 1000) + " s)");
  figures.Add("soak status polls", std::to_string(rig.CountCode(CMD_READ_STATUS)));
  figures.Add("soak growth fds/threads/rss KiB", std::to_string(fdGrowth) + "/" +
                                                     std::to_string(threadGrowth) + "/" +
                                                     std::to_string(rssGrowth));
  return figures;
}

}  // namespace quorvane::stress
