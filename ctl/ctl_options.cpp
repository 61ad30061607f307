// The command line, declared with CLI11: the help text, value checks and
// error messages come from its declarations, not from a parser of our own.
#include "ctl/ctl_options.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>

#include "ctl/exit_status.h"
#ifndef _WIN32
#include "ctl/bridge/bridge_options.h"
#endif
#include "ctl/version.h"

namespace quorvane::ctl {
namespace {

// Polling faster than a query and its reply take on the wire (17 ms at 9600
// baud) would only pile queries up in the board.
constexpr double kShortestIntervalMs = 50;
constexpr double kLongestIntervalMs = 86'400'000;

const char* const kDescription =
    "Lists serial ports, reads the laser driver board's values, sends a setting\n"
    "and confirms it, or logs the readings, from a terminal or a script.";

const char* const kExamples =
    R"(
Examples:
  quorvane-ctl list
  quorvane-ctl -p ttyUSB0 status --json
  quorvane-ctl -p ttyUSB0 set current 1500
  quorvane-ctl -p ttyUSB0 set soft-active off
  quorvane-ctl -p ttyUSB0 monitor --interval 1s --csv readings.csv
)"
#ifndef _WIN32
    "  quorvane-ctl -p ttyUSB0 bridge --broker mqtt://localhost --allow-set\n"
#endif
    ;

// The words `set` takes: each setting's name, in the field's units, and for a
// setting that also takes the device's unit its key ("frequency_Hz"), whose
// bare figures are in that unit.
struct SettingWord {
  std::string word;
  Setting setting;
  BareUnit bare;
};

std::vector<SettingWord> SettingWords() {
  std::vector<SettingWord> words;
  for (const SettingSpec& item : kSettings) {
    words.push_back({item.name, item.setting, BareUnit::kPanel});
    if (item.typedDeviceUnit != nullptr)
      words.push_back({item.key, item.setting, BareUnit::kHertz});
  }
  return words;
}

// The unit a setting's bare figure is in, for the help; nullptr for a switch.
const char* UnitOf(const SettingSpec& item) {
  return *item.shownUnit != '\0' ? item.shownUnit : item.valueUnit;
}

}  // namespace

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments) {
  CtlOptions o;
  CLI::App app(kDescription, "quorvane-ctl");
  app.allow_windows_style_options(false);
  app.require_subcommand(1);
  // Global options may also follow the command: "status -p ttyUSB0".
  app.fallthrough();
  app.set_version_flag("--version", std::string("quorvane-ctl ") + kVersion);
  app.footer(std::string(kExitStatusText) + kExamples);

#ifdef _WIN32
  const char* const portHelp = "the port: a name from 'list' (ttyUSB0, COM3) or a device path";
#else
  // Here a port is its device: a COM name would only mislead.
  const char* const portHelp = "the port: a name from 'list' (ttyUSB0) or a device path";
#endif
  app.add_option("-p,--port", o.port, portHelp)->type_name("PORT");
  app.add_flag("--json", o.json,
               "machine-readable output: JSON for list, status, set and limits, JSON lines\n"
               "for monitor");
  app.add_option("--limits", o.limitsFile,
                 "a stricter limits file for this run, over the lab's own: for every key\n"
                 "the stricter of the two applies (see quorvane-limits(5))")
      ->type_name("FILE");
#ifndef _WIN32
  app.add_option("--dev", o.deviceDirectory, "where the port devices are (default /dev)")
      ->type_name("DIR");
#endif

  CLI::App* list = app.add_subcommand("list", "ports found: number, name, description");
  CLI::App* status =
      app.add_subcommand("status", "sync with the board, then one status query; every value");
  CLI::App* set = app.add_subcommand(
      "set", "send a setting as the panel does and wait for the board to confirm it");
  CLI::App* monitor = app.add_subcommand(
      "monitor", "poll the readings and print one line (or CSV row) per status reply");
  CLI::App* limits = app.add_subcommand(
      "limits", "the lab's limits in effect (for --port's table, if given) and where each is set");

  std::string what;
  const std::vector<SettingWord> settings = SettingWords();
  std::string whats;
  for (const SettingWord& word : settings) {
    if (!whats.empty()) whats += " | ";
    whats += word.word;
    const char* unit = word.bare == BareUnit::kHertz ? nullptr : UnitOf(SpecOf(word.setting));
    if (unit != nullptr) whats += std::string(" (") + unit + ")";
  }
  set->add_option("what", what, whats)->required()->type_name("WHAT");
  set->add_option("value", o.value,
                  "the value as typed into the panel's field (a unit may follow: 20kHz, "
                  "20000Hz, 1500mA), or on|off")
      ->required()
      ->type_name("VALUE");
  set->footer(
      "The value is converted exactly as the panel's entry field converts it. A\n"
      "value the board cannot take (current 0 to the board's maximum, frequency\n"
      "0 to 2147483.64 kHz, duration 0 to 255) is refused with status 3 and\n"
      "nothing is sent. Current, frequency and duration are sent twice, 100 ms\n"
      "apart, like the panel does.\n"
      "A frequency without a unit is in kHz (frequency_Hz: in Hz); Hz are turned\n"
      "into kHz by moving the point, so nothing is rounded but the field's cut.\n"
      "A bare frequency above 10000 kHz (10 MHz, beyond any board of this kind)\n"
      "is taken for Hz typed as kHz and refused: write 20000Hz or 20kHz.\n"
      "Under the lab's limits a value beyond them is refused too (status 3), and\n"
      "with a ramp rate a rise of the current goes a step every 500 ms, each\n"
      "confirmed before the next (Ctrl-C ends it where it stands).\n\n" +
      std::string(kExitStatusText));

  // A time as --interval takes it: a number with ms, s or min (ms without).
  const auto addDuration = [](CLI::App* command, const std::string& name, double& ms,
                              const std::string& help) {
    return command->add_option(name, ms, help)
        ->transform(CLI::AsNumberWithUnit(
            std::map<std::string, double>{{"ms", 1}, {"s", 1000}, {"min", 60000}},
            CLI::AsNumberWithUnit::CASE_SENSITIVE, "ms"))
        ->check(CLI::Validator(
            [](std::string& text) {
              const double value = std::strtod(text.c_str(), nullptr);
              return std::isfinite(value) && value >= kShortestIntervalMs &&
                             value <= kLongestIntervalMs
                         ? std::string()
                         : "wants a time from 50ms to 1440min";
            },
            "TIME"))
        ->type_name("TIME");
  };
  double intervalMs = 500;
  const auto addInterval = [&](CLI::App* command) {
    addDuration(command, "--interval", intervalMs, "time between status queries (default 500ms)");
  };
  double timeoutMs = 0;
  std::vector<CLI::Option*> timeouts;
  timeouts.push_back(addDuration(status, "--timeout", timeoutMs,
                                 "the longest the whole command may take (default: as needed)"));
  timeouts.push_back(addDuration(set, "--timeout", timeoutMs,
                                 "the longest the whole command may take (default: as needed)"));
  timeouts.push_back(
      addDuration(monitor, "--timeout", timeoutMs,
                  "exit 7 when a query goes unanswered this long (with --count, by default\n"
                  "3 intervals and 2s at least; without, the default is to ask on)"));
  addInterval(monitor);
  monitor->add_option("--count", o.count, "stop after N status replies")
      ->check(CLI::Validator(
          [](std::string& text) {
            // Said in words: the generic range check names the largest double.
            const bool digits =
                !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
            return digits && text.find_first_not_of('0') != std::string::npos
                       ? std::string()
                       : "wants a whole number of at least 1";
          },
          ""))
      ->type_name("N");
  monitor
      ->add_option("--csv", o.csvPath, "also write the readings to FILE as CSV, one row per reply")
      ->type_name("FILE");

#ifndef _WIN32
  CLI::App* bridge = AddBridgeCommand(app, o.bridge);
  addInterval(bridge);
#endif

  ParsedCommandLine parsed;
  std::vector<std::string> reversed(arguments.rbegin(), arguments.rend());
  std::ostringstream out, err;
  try {
    app.parse(reversed);
    if (list->parsed()) {
      o.command = Command::kList;
    } else if (limits->parsed()) {
      o.command = Command::kLimits;  // --port optional: the file's [default] table without
    } else {
      o.command = status->parsed()    ? Command::kStatus
                  : set->parsed()     ? Command::kSet
                  : monitor->parsed() ? Command::kMonitor
                                      : Command::kBridge;
      if (o.port.empty()) {
        // The command's own help would not show -p; the program's does.
        return {
            std::nullopt, kExitUsage, "",
            "quorvane-ctl: --port is required\n\n" +
                app.get_formatter()->make_help(&app, "quorvane-ctl", CLI::AppFormatMode::Normal)};
      }
      if (set->parsed()) {
        // Checked here rather than by a validator: an unknown name means the
        // command line was not understood (usage), not that a value was bad.
        const auto known = std::find_if(settings.begin(), settings.end(),
                                        [&](const SettingWord& w) { return w.word == what; });
        if (known == settings.end()) {
          std::string words;
          for (std::size_t i = 0; i < settings.size(); ++i)
            words += (i == 0 ? "" : i + 1 == settings.size() ? " or " : ", ") + settings[i].word;
          throw CLI::ParseError("unknown setting '" + what + "' (" + words + ")",
                                CLI::ExitCodes::ArgumentMismatch);
        }
        o.setting = known->setting;
        o.bareUnit = known->bare;
      }
    }
    o.interval = std::chrono::milliseconds(std::llround(intervalMs));
    for (const CLI::Option* timeout : timeouts)
      if (timeout->count() > 0) o.timeout = std::chrono::milliseconds(std::llround(timeoutMs));
  } catch (const CLI::CallForHelp&) {
    out << app.help();
    return {std::nullopt, kExitOk, out.str(), ""};
  } catch (const CLI::CallForAllHelp&) {
    out << app.help("", CLI::AppFormatMode::All);
    return {std::nullopt, kExitOk, out.str(), ""};
  } catch (const CLI::CallForVersion& e) {
    return {std::nullopt, kExitOk, std::string(e.what()) + "\n", ""};
  } catch (const CLI::ParseError& e) {
    // A value that has the right place but not the right form is a bad value;
    // anything else means the command line was not understood.
    const bool badValue = dynamic_cast<const CLI::ValidationError*>(&e) ||
                          dynamic_cast<const CLI::ConversionError*>(&e);
    if (badValue) {
      return {std::nullopt, kExitBadValue, "",
              "quorvane-ctl: " + std::string(e.what()) + " (see --help)\n"};
    }
    return {std::nullopt, kExitUsage, "",
            "quorvane-ctl: " + std::string(e.what()) + "\n\n" + app.help()};
  }
  parsed.options = o;
  return parsed;
}

}  // namespace quorvane::ctl
