// What the bridge says on the broker and what it accepts from it, as pure
// functions: the broker URL, the topics, the set command and its answer, the
// state and the dashboard's discovery records. No network here, so every
// refusal can be tested without a broker.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include <nlohmann/json.hpp>

#include "ctl/ctl_options.h"
#include "protocol/device_state.h"

namespace quorvane::ctl {

struct BrokerAddress {
  std::string host;
  int port = 1883;
  bool tls = false;  // mqtts://
};

// mqtt://HOST[:PORT] or mqtts://HOST[:PORT]; an IPv6 host in brackets.
// Nothing, with *problem set, when the text is no such URL.
std::optional<BrokerAddress> ParseBrokerUrl(const std::string& url, std::string* problem);

// Empty when id can be a topic level of ours; else why not. A wildcard or a
// separator in it would make our subscription catch other boards' commands.
std::string BridgeIdProblem(const std::string& id);

struct BridgeTopics {
  std::string readings;
  std::string state;
  std::string availability;
  std::string set;
  std::string setResult;
  std::string alarm;  // only while a lab's limits file applies
};
BridgeTopics TopicsFor(const std::string& id);

// Text from the broker as the log and our reasons may hold it: JSON-quoted,
// every control and non-ASCII character escaped, so that a key or an id can
// neither start a line of its own nor drive the terminal showing the journal.
std::string QuotedForLog(const nlohmann::json& value);

// A setting the broker asked for, as the text `set` would have been given.
struct SetRequest {
  Setting setting = Setting::kCurrent;
  std::string key;           // "current_mA", ...: the answer names it back
  std::string text;          // the value in `set`'s units (frequency in kHz)
  nlohmann::json requestId;  // null when none was given
};
struct SetRefusal {
  nlohmann::json requestId;
  std::string reason;
};
using SetMessage = std::variant<SetRequest, SetRefusal>;

// A message on the set topic: a request to carry out, or why it is refused.
// A retained message is never acted on: it would be replayed at every start.
// Nothing is cut to the board's resolution: a negative value, a fraction of
// a mA or a step, a frequency off the 10 Hz grid and a key given twice are
// refused.
SetMessage ParseSetMessage(std::string_view payload, bool retained, bool allowed);

// The answers on the result topic.
nlohmann::json RefusedJson(const nlohmann::json& requestId, const std::string& key,
                           const std::string& reason);
// value: the board's reply in the key's units (Hz, mA, steps; on/off as a bool).
nlohmann::json ConfirmedJson(const SetRequest& request, std::uint32_t value);
nlohmann::json UnconfirmedJson(const SetRequest& request, std::optional<std::uint32_t> reported,
                               const std::string& reason);

// The board's whole state as the retained state topic holds it; dropped:
// readings the broker could not take, resultsLost: set results given up
// while it was away.
nlohmann::json BridgeStateJson(const std::string& port, const DeviceState& device,
                               std::uint64_t dropped, std::uint64_t resultsLost);

// Retained discovery records for a dashboard: (topic, payload) for the
// measured current and the two temperatures. interval: the poll's, from which
// the dashboard learns how long a reading stays good.
std::vector<std::pair<std::string, std::string>> DiscoveryConfigs(
    const std::string& id, std::chrono::milliseconds interval);

// What every discovery record says of the board and of the program: one
// device on the dashboard, whatever it lists of it. The object id is the
// bridge id as the dashboard's ids may hold it.
std::string DiscoveryObjectId(const std::string& id);
nlohmann::json DiscoveryDevice(const std::string& id);
nlohmann::json DiscoveryOrigin();

// Where earlier versions kept those records (id and sensor in one level);
// cleared at start, so a dashboard does not list each sensor twice.
std::vector<std::string> FormerDiscoveryTopics(const std::string& id);

}  // namespace quorvane::ctl
