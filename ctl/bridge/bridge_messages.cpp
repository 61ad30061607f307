// The bridge's topics and payloads, and the rules a set command must pass
// before anything reaches the board.
#include "ctl/bridge/bridge_messages.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <set>

#include "ctl/readings_output.h"
#include "ctl/setting.h"
#include "ctl/version.h"

namespace quorvane::ctl {
namespace {

// A command is one small object; anything longer is not one of ours, and
// parsing it would only cost time on the thread that polls the board.
constexpr std::size_t kLongestSetMessage = 1024;

// The setting a command's key names, or nullptr.
const SettingSpec* FindKey(const std::string& key) {
  for (const SettingSpec& item : kSettings)
    if (key == item.commandKey) return &item;
  return nullptr;
}

bool AllDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Whole numbers a double holds exactly and `set`'s text can carry as digits.
constexpr double kLargestExactWhole = 1e15;

// The number as decimal text, as it would have been typed for `set`, or
// why the board could not hold it as sent: the panel would cut 3000.9 mA to
// 3000 and 12345 Hz to 12340, but a script must get what it asked for or a
// refusal. A whole float too large for digits keeps its exponent form, which
// the entry field's rule then refuses.
std::string NumberProblem(const SettingSpec& item, const nlohmann::json& value, std::string* text) {
  const std::string key = item.commandKey;
  // A command carries device units; where one entry step is several of them
  // (10 Hz), the value must be a whole number of steps.
  const std::string steps =
      item.devicePerEntry == 1
          ? std::string()
          : " must be a multiple of " + std::to_string(item.devicePerEntry) + " " + item.valueUnit;
  std::uint64_t whole = 0;
  if (value.is_number_float()) {
    const double number = value.get<double>();
    if (number < 0) return key + " cannot be negative";
    if (number != std::floor(number)) {
      if (!steps.empty()) return key + steps;
      if (*item.shownUnit != '\0') return key + " takes whole " + item.shownUnit;
      return key + " takes a whole number";
    }
    if (number >= kLargestExactWhole) {
      *text = value.dump();
      return {};
    }
    whole = static_cast<std::uint64_t>(number);
  } else if (value.is_number_unsigned()) {
    whole = value.get<std::uint64_t>();
  } else {
    // The parser keeps every integer without a minus as unsigned.
    return key + " cannot be negative";
  }
  if (!steps.empty() && whole % static_cast<std::uint64_t>(item.devicePerEntry) != 0)
    return key + steps;
  *text = std::to_string(whole);
  return {};
}

// nlohmann's parser keeps the last of two equal keys; a sender who meant
// the first must not have the second carried out. *duplicate: the first
// key seen twice in one object, empty when none was.
nlohmann::json ParseNoDuplicates(std::string_view payload, std::string* duplicate) {
  using Event = nlohmann::json::parse_event_t;
  std::vector<std::set<std::string>> open;  // the keys of each object being read
  return nlohmann::json::parse(
      payload,
      [&](int, Event event, nlohmann::json& parsed) {
        if (event == Event::object_start) {
          open.emplace_back();
        } else if (event == Event::object_end) {
          open.pop_back();
        } else if (event == Event::key) {
          const std::string& key = parsed.get_ref<const std::string&>();
          if (!open.back().insert(key).second && duplicate->empty()) *duplicate = key;
        }
        return true;
      },
      false);
}

// The dashboard may only see letters, digits, _ and - in its object ids. An
// id that needed replacing gets a hash of itself appended, so "lab laser.1"
// and "lab_laser_1" stay two devices.
std::string ObjectId(const std::string& id) {
  std::string out = id;
  bool replaced = false;
  for (char& c : out) {
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-') {
      c = '_';
      replaced = true;
    }
  }
  if (!replaced) return out;
  std::uint32_t hash = 2166136261u;  // FNV-1a: stable across builds and machines
  for (const char c : id) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  char suffix[10];
  std::snprintf(suffix, sizeof suffix, "_%08x", static_cast<unsigned>(hash));
  return out + suffix;
}

// The length of the UTF-8 sequence at text[i], or 0 when none starts there
// (the shortest form only, and no surrogates: what a broker accepts).
std::size_t Utf8Length(const std::string& text, std::size_t i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
  const unsigned char lead = byte(i);
  if (lead < 0x80) return 1;
  std::size_t length = 0;
  unsigned char low = 0x80, high = 0xBF;  // the second byte's range
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;
    if (lead == 0xED) high = 0x9F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;
    if (lead == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  if (byte(i + 1) < low || byte(i + 1) > high) return 0;
  for (std::size_t k = 2; k < length; ++k)
    if (byte(i + k) < 0x80 || byte(i + k) > 0xBF) return 0;
  return length;
}

bool IsUtf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = Utf8Length(text, i);
    if (length == 0) return false;
    i += length;
  }
  return true;
}

}  // namespace

std::optional<BrokerAddress> ParseBrokerUrl(const std::string& url, std::string* problem) {
  const auto fail = [&](const std::string& why) -> std::optional<BrokerAddress> {
    *problem = why;
    return std::nullopt;
  };
  BrokerAddress address;
  std::string_view rest = url;
  if (rest.starts_with("mqtt://")) {
    rest.remove_prefix(7);
  } else if (rest.starts_with("mqtts://")) {
    rest.remove_prefix(8);
    address.tls = true;
    address.port = 8883;
  } else {
    return fail("wants mqtt://HOST[:PORT] or mqtts://HOST[:PORT]");
  }
  if (!rest.empty() && rest.back() == '/') rest.remove_suffix(1);
  if (rest.find('@') != std::string_view::npos)
    return fail("no user or password in the URL: use --username and --password-file");
  if (rest.find_first_of("/?#") != std::string_view::npos) return fail("a broker URL has no path");
  std::string_view host = rest;
  std::string_view port;
  if (rest.starts_with('[')) {
    const std::size_t close = rest.find(']');
    if (close == std::string_view::npos) return fail("an IPv6 address wants its closing ]");
    host = rest.substr(1, close - 1);
    const std::string_view after = rest.substr(close + 1);
    if (!after.empty()) {
      if (after.front() != ':') return fail("after ] only :PORT may follow");
      port = after.substr(1);
      if (port.empty()) return fail("no port after ':'");
    }
  } else if (const std::size_t colon = rest.rfind(':'); colon != std::string_view::npos) {
    host = rest.substr(0, colon);
    port = rest.substr(colon + 1);
    if (port.empty()) return fail("no port after ':'");
  }
  if (host.empty()) return fail("no host");
  if (!port.empty()) {
    if (!AllDigits(port) || port.size() > 5 || std::stoi(std::string(port)) < 1 ||
        std::stoi(std::string(port)) > 65535)
      return fail("the port must be a number from 1 to 65535");
    address.port = std::stoi(std::string(port));
  }
  address.host = host;
  return address;
}

std::string QuotedForLog(const nlohmann::json& value) {
  return value.dump(-1, ' ', true, nlohmann::json::error_handler_t::replace);
}

std::string BridgeIdProblem(const std::string& id) {
  if (id.empty()) return "it is empty";
  if (id.find_first_of("+#/") != std::string::npos)
    return "it may not hold +, # or / (they are MQTT wildcards and separators)";
  if (std::any_of(id.begin(), id.end(),
                  [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }))
    return "it may not hold control characters";
  if (!IsUtf8(id)) return "it is not UTF-8 text";
  if (id.size() > 128) return "it is longer than 128 characters";
  return {};
}

BridgeTopics TopicsFor(const std::string& id) {
  const std::string base = "quorvane/" + id + "/";
  return {base + "readings", base + "state",      base + "availability",
          base + "set",      base + "set/result", base + "alarm"};
}

SetMessage ParseSetMessage(std::string_view payload, bool retained, bool allowed) {
  const auto refuse = [](const std::string& why, nlohmann::json id = nullptr) -> SetMessage {
    return SetRefusal{std::move(id), why};
  };
  if (!allowed)
    return refuse("settings from the broker are off (start the bridge with --allow-set)");
  if (retained)
    return refuse(
        "a retained command is never carried out: it would be replayed at every "
        "start (clear it with an empty retained message)");
  if (payload.size() > kLongestSetMessage) return refuse("longer than 1024 bytes");
  std::string duplicate;
  const nlohmann::json message = ParseNoDuplicates(payload, &duplicate);
  if (message.is_discarded()) return refuse("not JSON");
  if (!message.is_object()) return refuse("not a JSON object");
  // Which of two request ids is meant is as unknown as which of two values.
  if (duplicate == "request_id") return refuse(QuotedForLog(duplicate) + " appears twice");

  nlohmann::json requestId = nullptr;
  if (const auto it = message.find("request_id"); it != message.end()) {
    if (!it->is_string() && !it->is_number_integer())
      return refuse("request_id must be a string or an integer");
    requestId = *it;
  }
  if (!duplicate.empty()) return refuse(QuotedForLog(duplicate) + " appears twice", requestId);
  const SettingSpec* found = nullptr;
  for (const auto& [key, value] : message.items()) {
    if (key == "request_id") continue;
    const SettingSpec* k = FindKey(key);
    if (!k) return refuse("unknown key " + QuotedForLog(key), requestId);
    if (found) return refuse("one setting per message", requestId);
    found = k;
  }
  if (!found) {
    std::string keys;
    for (const SettingSpec& item : kSettings)
      keys += std::string(keys.empty() ? "" : ", ") + item.commandKey;
    return refuse("no setting: one of " + keys, requestId);
  }
  const nlohmann::json& value = message.at(found->commandKey);
  SetRequest request{found->setting, found->commandKey, {}, requestId};
  if (found->kind == ValueKind::kSwitch) {
    if (!value.is_boolean())
      return refuse(std::string(found->commandKey) + " takes true or false", requestId);
    request.text = value.get<bool>() ? "on" : "off";
    return request;
  }
  if (!value.is_number())
    return refuse(std::string(found->commandKey) + " takes a number", requestId);
  if (const std::string problem = NumberProblem(*found, value, &request.text); !problem.empty())
    return refuse(problem, requestId);
  if (found->typedDeviceUnit != nullptr) request.text = HertzAsKilohertzText(request.text);
  return request;
}

nlohmann::json RefusedJson(const nlohmann::json& requestId, const std::string& key,
                           const std::string& reason) {
  return {{"request_id", requestId},
          {"setting", key.empty() ? nlohmann::json(nullptr) : nlohmann::json(key)},
          {"result", "refused"},
          {"reason", reason}};
}

namespace {
nlohmann::json ValueJson(Setting setting, std::uint32_t value) {
  return ctl::ValueJson(SpecOf(setting).kind, static_cast<std::int32_t>(value));
}
}  // namespace

nlohmann::json ConfirmedJson(const SetRequest& request, std::uint32_t value) {
  return {{"request_id", request.requestId},
          {"setting", request.key},
          {"result", "confirmed"},
          {"value", ValueJson(request.setting, value)}};
}

nlohmann::json UnconfirmedJson(const SetRequest& request, std::optional<std::uint32_t> reported,
                               const std::string& reason) {
  return {{"request_id", request.requestId},
          {"setting", request.key},
          {"result", "unconfirmed"},
          {"value", reported ? ValueJson(request.setting, *reported) : nlohmann::json(nullptr)},
          {"reason", reason}};
}

nlohmann::json BridgeStateJson(const std::string& port, const DeviceState& device,
                               std::uint64_t dropped, std::uint64_t resultsLost) {
  // The measured values change at every poll; they travel on the readings topic.
  nlohmann::json state = StatusJson(port, device);
  for (const MeasurementSpec& measured : kMeasurements) state.erase(measured.key);
  state["dropped"] = dropped;
  state["results_lost"] = resultsLost;
  return state;
}

std::string DiscoveryObjectId(const std::string& id) { return ObjectId(id); }

nlohmann::json DiscoveryDevice(const std::string& id) {
  return {{"identifiers", {"quorvane_" + ObjectId(id)}},
          {"name", "Quorvane " + id},
          {"manufacturer", "Quorvane"},
          {"model", "pulsed laser driver board"},
          {"sw_version", kVersion}};
}

nlohmann::json DiscoveryOrigin() { return {{"name", "quorvane-ctl"}, {"sw_version", kVersion}}; }

std::vector<std::pair<std::string, std::string>> DiscoveryConfigs(
    const std::string& id, std::chrono::milliseconds interval) {
  const BridgeTopics topics = TopicsFor(id);
  // A reading older than three polls is stale to the dashboard (it shows the
  // sensor unavailable): no more than a board that stopped answering deserves.
  // Never under 10 s, so a fast poll and a busy broker do not make it flicker.
  const auto expireAfter =
      std::max<std::int64_t>(10, std::chrono::ceil<std::chrono::seconds>(3 * interval).count());
  const std::string object = ObjectId(id);
  std::vector<std::pair<std::string, std::string>> configs;
  for (const MeasurementSpec& s : kMeasurements) {
    const std::string unique = "quorvane_" + object + "_" + s.entitySuffix;
    const nlohmann::json config = {
        {"name", s.entityName},
        {"unique_id", unique},
        // object_id is what older dashboards read; default_entity_id replaces it.
        {"object_id", unique},
        {"default_entity_id", "sensor." + unique},
        {"expire_after", expireAfter},
        {"state_topic", topics.readings},
        {"value_template", std::string("{{ value_json.") + s.key + " }}"},
        {"unit_of_measurement", s.entityUnit},
        {"device_class", s.deviceClass},
        {"state_class", "measurement"},
        // port-lost is as unavailable to a dashboard as offline.
        {"availability_topic", topics.availability},
        {"availability_template", "{{ 'online' if value == 'online' else 'offline' }}"},
        {"device", DiscoveryDevice(id)},
        {"origin", DiscoveryOrigin()}};
    // The board a topic level of its own (the dashboard's optional node id),
    // so a broker's ACL can give each bridge its own records by a pattern.
    configs.emplace_back("homeassistant/sensor/" + object + "/" + s.entitySuffix + "/config",
                         JsonText(config));
  }
  return configs;
}

std::vector<std::string> FormerDiscoveryTopics(const std::string& id) {
  std::vector<std::string> topics;
  for (const MeasurementSpec& s : kMeasurements)
    topics.push_back("homeassistant/sensor/" + ObjectId(id) + "_" + s.entitySuffix + "/config");
  return topics;
}

}  // namespace quorvane::ctl
