// The commands, each ending in an exit status: list and limits here, status,
// set and monitor on a port opened as the panel opens it.
#include "ctl/commands.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "controller/timing.h"
#include "ctl/board_session.h"
#include "ctl/connection.h"
#ifndef _WIN32
#include "ctl/bridge/bridge.h"
#endif
#include "ctl/exit_status.h"
#include "ctl/monitor_command.h"
#include "ctl/output.h"
#include "ctl/port_choice.h"
#include "ctl/readings_output.h"
#include "ctl/set_command.h"
#include "ctl/setting_exchange.h"
#include "serial/port_table.h"

namespace quorvane::ctl {
namespace {

int RunList(const CtlOptions& o, std::FILE* out, std::FILE* err) {
  const std::vector<ListedPort> ports = MakePortTable(o.deviceDirectory)->DiscoverPorts();
  return Output(out, err, o.json ? JsonText(PortListJson(ports), 2) + "\n" : PortListText(ports));
}

// end: when the whole run must be over (--timeout), else Clock::time_point::max().
int RunStatus(const CtlOptions& o, Connection& c, Clock::time_point end, std::FILE* out,
              std::FILE* err) {
  BoardSession& session = c.Session();
  session.DiscardReplies();
  const auto isStatus = [](const Reply& r) { return std::holds_alternative<StatusReply>(r); };
  const WaitResult result =
      session.Ask(BuildReadStatus(), isStatus, std::min(Clock::now() + kReplyLimit, end));
  if (result != WaitResult::kDone) return c.WaitStatus(result, err);
  const DeviceState device = session.Device();
  return Output(out, err,
                o.json ? JsonText(StatusJson(c.Port().name, device), 2) + "\n"
                       : StatusText(c.Port().name, device));
}

// The limits in effect for the port (its list name; none: the [default]
// table), as text or JSON; kExitLimitsUnusable when a file cannot be used.
int RunLimits(const CtlOptions& o, const LimitsSources& sources, std::FILE* out, std::FILE* err) {
  std::string port;
  if (!o.port.empty()) {
    const std::optional<ChosenPort> chosen = ChoosePort(o.port, o.deviceDirectory);
    port = chosen ? ListName(*chosen) : std::filesystem::path(o.port).filename().string();
  }
  const PortLimits limits = LimitsFor(port, sources);
  int status = kExitOk;
  if (limits.ReadOnly()) {
    Fail(err, "the limits cannot be used, so every setting is refused: " + limits.unusable);
    status = kExitLimitsUnusable;
  }
  std::string text;
  if (o.json) {
    nlohmann::json json = {{"file", sources.labFile},
                           {"port", port.empty() ? nlohmann::json() : nlohmann::json(port)},
                           {"usable", !limits.ReadOnly()}};
    if (!sources.stricterFile.empty()) json["stricter_file"] = sources.stricterFile;
    if (limits.ReadOnly()) json["problem"] = limits.unusable;
    nlohmann::json rows = nlohmann::json::object();
    for (const LimitRow& row : LimitRows(limits.limits))
      rows[row.key] = {{"value", nlohmann::json::parse(row.value)}, {"source", row.source.Text()}};
    json["limits"] = rows;
    text = JsonText(json, 2) + "\n";
  } else {
    text = LimitsText(limits, sources.labFile);
  }
  const int written = Output(out, err, text);
  return status == kExitOk ? written : status;
}

}  // namespace

int RunCommand(const CtlOptions& o, const LimitsSources& sources, StopSignal& stop, std::FILE* out,
               std::FILE* err) {
  if (o.command == Command::kList) return RunList(o, out, err);
  if (o.command == Command::kLimits) return RunLimits(o, sources, out, err);
#ifndef _WIN32
  if (o.command == Command::kBridge) return RunBridge(o, sources, stop, err);
#endif
  if (o.command == Command::kSet) {
    if (const int status = CheckValue(o, std::nullopt, err); status != kExitOk) return status;
  }
  std::optional<ChosenPort> port = ChoosePort(o.port, o.deviceDirectory);
  if (!port) {
    Fail(err, "no such port: '" + o.port + "' (see quorvane-ctl list).");
    return kExitNoSuchPort;
  }
  // Read before the port is opened: with a file that cannot be used, nothing
  // is sent, not even the sync.
  const PortLimits limits =
      o.command == Command::kStatus ? PortLimits{} : LimitsFor(ListName(*port), sources);
  if (o.command == Command::kSet && limits.ReadOnly()) {
    Fail(err, "the limits cannot be used, so no setting is sent: " + limits.unusable);
    return kExitLimitsUnusable;
  }
  Connection connection(std::move(*port), &stop);
  // status and set: --timeout bounds the whole run; monitor's bounds a
  // silence, and the sync is one.
  const Clock::time_point end = o.timeout && o.command != Command::kMonitor
                                    ? Clock::now() + *o.timeout
                                    : Clock::time_point::max();
  const milliseconds syncLimit = o.timeout ? std::min(kSyncLimit, *o.timeout) : kSyncLimit;
  if (const int status = connection.OpenAndSync(err, syncLimit); status != kExitOk) return status;
  switch (o.command) {
    case Command::kStatus:
      return RunStatus(o, connection, end, out, err);
    case Command::kSet:
      return RunSet(o, limits.limits, connection, end, out, err);
    case Command::kMonitor:
      return RunMonitor(o, limits, connection, out, err);
    case Command::kList:
    case Command::kLimits:
    case Command::kBridge:
      break;  // run above, without a connection of this kind
  }
  return kExitFailure;
}

}  // namespace quorvane::ctl
