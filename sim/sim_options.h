// The command line of quorvane-board-sim, parsed strictly (with CLI11): a developer who
// mistypes a switch gets told, rather than a board that quietly behaves well.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "sim/pty_board.h"

namespace quorvane::sim {

struct SimOptions {
  PtyBoardOptions board;
  // Hang up this long after start (and after each reappearance).
  std::optional<std::chrono::milliseconds> hangUpAfter;
  // Come back this long after each hang-up; without it the board stays away
  // until SIGUSR1.
  std::optional<std::chrono::milliseconds> reappearAfter;
  bool help = false;
  bool version = false;
};

struct ParsedOptions {
  SimOptions options;
  std::string error;  // empty when the command line was valid
};

ParsedOptions ParseSimOptions(const std::vector<std::string>& arguments);  // without argv[0]

// The --help text.
std::string SimUsage();

}  // namespace quorvane::sim
