// Option parsing for quorvane-board-sim, declared with CLI11, with a message
// for every bad value.
#include "sim/sim_options.h"

#include <CLI/CLI.hpp>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <functional>

#include "quorvane_version.h"  // generated in the build folder

namespace quorvane::sim {
namespace {

const char* const kDescription =
    "Runs a virtual laser driver board on a pseudo-terminal and logs every frame\n"
    "both ways (\"<-\" to the board, \"->\" from it) in hex with its meaning. Open the\n"
    "printed slave path (or the link) as a serial port. Ctrl+C ends it.";

const char* const kFooter = "SIGUSR1 (kill -USR1 PID) hangs up or brings the board back by hand.";

bool ParseDouble(const std::string& text, double& value) {
  if (text.empty()) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtod(text.c_str(), &end);
  return errno == 0 && *end == '\0' && std::isfinite(value);
}

bool ParseUnsigned(const std::string& text, unsigned long long max, unsigned long long& value) {
  if (text.empty() || text[0] == '-' || text[0] == '+') return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtoull(text.c_str(), &end, 10);
  return errno == 0 && *end == '\0' && value <= max;
}

// Seconds as a positive duration of at most a day.
bool ParseSeconds(const std::string& text, std::chrono::milliseconds& value) {
  double seconds = 0;
  if (!ParseDouble(text, seconds) || seconds <= 0 || seconds > 86400) return false;
  value = std::chrono::milliseconds(static_cast<long long>(std::llround(seconds * 1000)));
  return value.count() > 0;
}

// A value option whose text goes through apply, which returns an error
// message or "" when it took the value.
using Apply = std::function<std::string(const std::string&)>;

// The program's options on app, writing into o.
void Declare(CLI::App& app, SimOptions& o) {
  BoardConfig& board = o.board.board;
  // The help text groups the options as the sections below.
  std::string group = "Where it appears";
  const auto value = [&app, &group](const char* name, const char* type, const char* help,
                                    Apply apply) {
    app.add_option_function<std::string>(
           name,
           [apply](const std::string& v) {
             if (const std::string error = apply(v); !error.empty())
               throw CLI::ValidationError(error);
           },
           help)
        ->type_name(type)
        ->group(group);
  };

  app.set_version_flag("--version", QUORVANE_VERSION, "print the version and exit");
  app.add_flag("--pace", o.board.pace, "send replies at 9600 8N1 speed (1.04 ms a byte)")
      ->group(group)
      ->disable_flag_override();
  value("--link", "PATH",
        "also place a symbolic link to the slave at PATH, e.g. /tmp/ports/ttyUSB0 (the directory "
        "must exist; an existing link is replaced, any other file is refused)",
        [&](const std::string& v) -> std::string {
          if (v.empty()) return "--link wants a path";
          o.board.link = v;
          return "";
        });
  group = "Board values";
  value("--prefix", "HHHH", "the two current-prefix bytes in hex (default 1234)",
        [&](const std::string& v) -> std::string {
          char* end = nullptr;
          const unsigned long n = v.size() == 4 ? std::strtoul(v.c_str(), &end, 16) : 0;
          if (v.size() != 4 || *end != '\0' || v[0] == '-' || v[0] == '+')
            return "--prefix wants four hex digits, got '" + v + "'";
          board.parameters.currentPrefix[0] = static_cast<std::uint8_t>(n >> 8);
          board.parameters.currentPrefix[1] = static_cast<std::uint8_t>(n);
          return "";
        });
  value("--max", "MA", "largest allowed current in mA, 1..65535 (default 3000)",
        [&](const std::string& v) -> std::string {
          unsigned long long n = 0;
          if (!ParseUnsigned(v, 65535, n) || n == 0)
            return "--max wants a current in mA from 1 to 65535, got '" + v + "'";
          board.parameters.currentMax = static_cast<std::uint16_t>(n);
          return "";
        });
  value("--seed", "N", "seed for readings noise and faults (default 1)",
        [&](const std::string& v) -> std::string {
          unsigned long long n = 0;
          if (!ParseUnsigned(v, 0xFFFFFFFFull, n))
            return "--seed wants a number from 0 to 4294967295, got '" + v + "'";
          board.seed = static_cast<std::uint32_t>(n);
          return "";
        });
  group = "Misbehaviour";
  app.add_flag("--silent", board.switches.silent, "apply commands but never answer")
      ->group(group)
      ->disable_flag_override();
  value("--delay", "MS", "answer each command MS milliseconds late",
        [&](const std::string& v) -> std::string {
          unsigned long long n = 0;
          if (!ParseUnsigned(v, 3'600'000, n))
            return "--delay wants milliseconds from 0 to 3600000, got '" + v + "'";
          board.switches.replyDelay = std::chrono::milliseconds(n);
          return "";
        });
  value("--noise", "RATE",
        "send RATE random bytes a second between frames (never the byte 'L', so no reply is "
        "hidden)",
        [&](const std::string& v) -> std::string {
          double rate = 0;
          if (!ParseDouble(v, rate) || rate < 0 || rate > 100000)
            return "--noise wants bytes a second from 0 to 100000, got '" + v + "'";
          board.switches.noiseBytesPerSecond = rate;
          return "";
        });
  value("--corrupt", "P", "corrupt each reply's checksum with probability P (0..1)",
        [&](const std::string& v) -> std::string {
          double p = 0;
          if (!ParseDouble(v, p) || p < 0 || p > 1)
            return "--corrupt wants a probability from 0 to 1, got '" + v + "'";
          board.switches.corruptChecksumProbability = p;
          return "";
        });
  app.add_flag("--short", board.switches.shortFrames,
               "send replies with half their payload (well-formed, but shorter than their code's "
               "layout)")
      ->group(group)
      ->disable_flag_override();
  app.add_flag("--no-all", board.switches.neverSendAll, "never answer CMD_READ_ALL")
      ->group(group)
      ->disable_flag_override();
  value("--hangup-after", "SEC",
        "hang up (close the pseudo-terminal, remove the link) SEC seconds after start and after "
        "each reappearance",
        [&](const std::string& v) -> std::string {
          std::chrono::milliseconds d{};
          if (!ParseSeconds(v, d)) return "--hangup-after wants seconds, above 0, got '" + v + "'";
          o.hangUpAfter = d;
          return "";
        });
  value("--reappear-after", "SEC",
        "come back SEC seconds after each hang-up on a new pseudo-terminal (the link follows)",
        [&](const std::string& v) -> std::string {
          std::chrono::milliseconds d{};
          if (!ParseSeconds(v, d))
            return "--reappear-after wants seconds, above 0, got '" + v + "'";
          o.reappearAfter = d;
          return "";
        });
}

}  // namespace

std::string SimUsage() {
  CLI::App app(kDescription, "quorvane-board-sim");
  app.footer(kFooter);
  SimOptions unused;
  Declare(app, unused);
  return app.help();
}

ParsedOptions ParseSimOptions(const std::vector<std::string>& arguments) {
  ParsedOptions parsed;
  CLI::App app(kDescription, "quorvane-board-sim");
  app.allow_windows_style_options(false);
  app.footer(kFooter);
  Declare(app, parsed.options);
  std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
  try {
    app.parse(reversed);
  } catch (const CLI::CallForHelp&) {
    parsed.options.help = true;
  } catch (const CLI::CallForVersion&) {
    parsed.options.version = true;
  } catch (const CLI::ValidationError& e) {
    parsed.error = e.what();  // our own message, which names the option and the value
  } catch (const CLI::ParseError& e) {
    parsed.error = std::string(e.what()) + " (see --help)";
  }
  return parsed;
}

}  // namespace quorvane::sim
