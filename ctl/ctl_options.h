// quorvane-ctl's command line: the four commands, their options, and what a
// mistake on it turns into (the usage text and status 2).
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "board/board_model.h"
#include "serial/port_table.h"

namespace quorvane::ctl {

enum class Command { kList, kStatus, kSet, kMonitor, kBridge, kLimits };
// The board's settings are the board model's.
using quorvane::Setting;
// What a number typed without a unit is in: the panel's units (mA, kHz), or
// hertz for the frequency_Hz spelling, as status --json names the frequency.
enum class BareUnit { kPanel, kHertz };

// bridge (Linux only): the broker, who we are to it, and what it may do.
struct BridgeOptions {
  std::string brokerUrl;  // mqtt://HOST[:PORT] or mqtts://HOST[:PORT]
  std::string id;         // the topics' <board-id>; empty: the port's name
  bool tls = false;
  std::string caFile;
  std::string username;
  std::string passwordFile;
  std::string clientId;  // empty: quorvane-<board-id>
  int readingsQos = 0;
  int stateQos = 1;
  int availabilityQos = 1;
  int setQos = 1;  // the set subscription and its results
  bool allowSet = false;
  bool discovery = false;
};

struct CtlOptions {
  Command command = Command::kList;
  std::string port;  // a list name or a device path
  bool json = false;
  // Where the ports' devices are named; only Linux lets it be changed (--dev).
  std::string deviceDirectory = DefaultDeviceDirectory().string();
  // set
  Setting setting = Setting::kCurrent;
  std::string value;  // as typed: converted exactly as the entry field converts it
  BareUnit bareUnit = BareUnit::kPanel;
  // monitor and bridge
  std::chrono::milliseconds interval{500};
  std::optional<unsigned long long> count;
  // status and set: the longest the whole run may take; monitor: the longest
  // the board may leave a query unanswered.
  std::optional<std::chrono::milliseconds> timeout;
  std::string csvPath;
  BridgeOptions bridge;
  // --limits: a stricter limits file for this run, over the lab's; empty: none.
  std::string limitsFile;
};

// What the command line came to: options to run, or a status to exit with
// and the text to print first (help, version, or the error and the usage).
struct ParsedCommandLine {
  std::optional<CtlOptions> options;
  int exitStatus = 0;
  std::string out;
  std::string err;
};

ParsedCommandLine ParseCommandLine(const std::vector<std::string>& arguments);  // without argv[0]

}  // namespace quorvane::ctl
