// Option parsing for quorvane-board-sim, with a message for every bad value.
#include "sim/sim_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>

namespace quorvane::sim {

const char* const kSimUsage = R"(Usage: quorvane-board-sim [options]

Runs a virtual laser driver board on a pseudo-terminal and logs every frame
both ways ("<-" to the board, "->" from it) in hex with its meaning. Open the
printed slave path (or the link) as a serial port. Ctrl+C ends it.

Where it appears:
  --link PATH          also place a symbolic link to the slave at PATH, e.g.
                       /tmp/ports/ttyUSB0 (the directory must exist; an
                       existing link is replaced, any other file is refused)
  --pace               send replies at 9600 8N1 speed (1.04 ms a byte)

Board values:
  --prefix HHHH        the two current-prefix bytes in hex (default 1234)
  --max MA             largest allowed current in mA, 1..65535 (default 3000)
  --seed N             seed for readings noise and faults (default 1)

Misbehaviour:
  --silent             apply commands but never answer
  --delay MS           answer each command MS milliseconds late
  --noise RATE         send RATE random bytes a second between frames
                       (never the byte 'L', so no reply is hidden)
  --corrupt P          corrupt each reply's checksum with probability P (0..1)
  --short              send replies with half their payload (well-formed,
                       but shorter than their code's layout)
  --no-all             never answer CMD_READ_ALL
  --hangup-after SEC   hang up (close the pseudo-terminal, remove the link)
                       SEC seconds after start and after each reappearance
  --reappear-after SEC come back SEC seconds after each hang-up on a new
                       pseudo-terminal (the link follows)
  SIGUSR1 (kill -USR1 PID) hangs up or brings the board back by hand.

  -h, --help           show this text
)";

namespace {

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

}  // namespace

ParsedOptions ParseSimOptions(const std::vector<std::string>& arguments) {
  ParsedOptions parsed;
  SimOptions& o = parsed.options;
  BoardConfig& board = o.board.board;

  using Handler = std::function<std::string(const std::string&)>;  // returns an error or ""
  const std::map<std::string, Handler> withValue = {
      {"--link",
       [&](const std::string& v) -> std::string {
         if (v.empty()) return "--link wants a path";
         o.board.link = v;
         return "";
       }},
      {"--prefix",
       [&](const std::string& v) -> std::string {
         unsigned long long n = 0;
         char* end = nullptr;
         if (v.size() != 4) return "--prefix wants four hex digits, got '" + v + "'";
         n = std::strtoull(v.c_str(), &end, 16);
         if (*end != '\0') return "--prefix wants four hex digits, got '" + v + "'";
         board.parameters.currentPrefix[0] = static_cast<std::uint8_t>(n >> 8);
         board.parameters.currentPrefix[1] = static_cast<std::uint8_t>(n);
         return "";
       }},
      {"--max",
       [&](const std::string& v) -> std::string {
         unsigned long long n = 0;
         if (!ParseUnsigned(v, 65535, n) || n == 0) {
           return "--max wants a current in mA from 1 to 65535, got '" + v + "'";
         }
         board.parameters.currentMax = static_cast<std::uint16_t>(n);
         return "";
       }},
      {"--seed",
       [&](const std::string& v) -> std::string {
         unsigned long long n = 0;
         if (!ParseUnsigned(v, 0xFFFFFFFFull, n)) {
           return "--seed wants a number from 0 to 4294967295, got '" + v + "'";
         }
         board.seed = static_cast<std::uint32_t>(n);
         return "";
       }},
      {"--delay",
       [&](const std::string& v) -> std::string {
         unsigned long long n = 0;
         if (!ParseUnsigned(v, 3'600'000, n)) {
           return "--delay wants milliseconds from 0 to 3600000, got '" + v + "'";
         }
         board.switches.replyDelay = std::chrono::milliseconds(n);
         return "";
       }},
      {"--noise",
       [&](const std::string& v) -> std::string {
         double rate = 0;
         if (!ParseDouble(v, rate) || rate < 0 || rate > 100000) {
           return "--noise wants bytes a second from 0 to 100000, got '" + v + "'";
         }
         board.switches.noiseBytesPerSecond = rate;
         return "";
       }},
      {"--corrupt",
       [&](const std::string& v) -> std::string {
         double p = 0;
         if (!ParseDouble(v, p) || p < 0 || p > 1) {
           return "--corrupt wants a probability from 0 to 1, got '" + v + "'";
         }
         board.switches.corruptChecksumProbability = p;
         return "";
       }},
      {"--hangup-after",
       [&](const std::string& v) -> std::string {
         std::chrono::milliseconds d{};
         if (!ParseSeconds(v, d)) return "--hangup-after wants seconds, above 0, got '" + v + "'";
         o.hangUpAfter = d;
         return "";
       }},
      {"--reappear-after",
       [&](const std::string& v) -> std::string {
         std::chrono::milliseconds d{};
         if (!ParseSeconds(v, d)) return "--reappear-after wants seconds, above 0, got '" + v + "'";
         o.reappearAfter = d;
         return "";
       }},
  };
  const std::map<std::string, std::function<void()>> flags = {
      {"--pace", [&] { o.board.pace = true; }},
      {"--silent", [&] { board.switches.silent = true; }},
      {"--short", [&] { board.switches.shortFrames = true; }},
      {"--no-all", [&] { board.switches.neverSendAll = true; }},
      {"--help", [&] { o.help = true; }},
      {"-h", [&] { o.help = true; }},
  };

  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string name = arguments[i];
    std::optional<std::string> value;
    if (const auto eq = name.find('='); name.starts_with("--") && eq != std::string::npos) {
      value = name.substr(eq + 1);
      name.resize(eq);
    }
    if (const auto flag = flags.find(name); flag != flags.end()) {
      if (value) {
        parsed.error = name + " takes no value";
        return parsed;
      }
      flag->second();
      continue;
    }
    const auto option = withValue.find(name);
    if (option == withValue.end()) {
      parsed.error = "unknown option '" + arguments[i] + "' (see --help)";
      return parsed;
    }
    if (!value) {
      if (i + 1 >= arguments.size()) {
        parsed.error = name + " needs a value";
        return parsed;
      }
      value = arguments[++i];
    }
    parsed.error = option->second(*value);
    if (!parsed.error.empty()) return parsed;
  }
  return parsed;
}

}  // namespace quorvane::sim
