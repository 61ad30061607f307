// The limits file: where it lives, who may change it, and what its text says
// for one port. Every failure to use it is a problem with the file's name and
// line, never "no limits".
#include <toml++/toml.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>

#include "limits/file_look.h"
#include "limits/lab_limits.h"

namespace quorvane {
namespace {

// Reads one table's keys into limits; the first problem found ends it.
class TableReader {
 public:
  TableReader(const std::string& file, std::string& problem) : m_file(file), m_problem(problem) {}

  void Read(const toml::table& table, LabLimits& limits) {
    for (const auto& [key, node] : table) {
      if (!m_problem.empty()) return;
      const std::string name(key.str());
      const int line = static_cast<int>(node.source().begin.line);
      if (name == "current_max_mA") {
        Whole(name, node, line, 0, kLargestCurrent, limits.currentMax);
      } else if (name == "current_ramp_mA_per_s") {
        Whole(name, node, line, 1, kLargestCurrent, limits.currentRamp);
      } else if (name == "frequency_kHz") {
        Window(name, node, line, 1000, 0, kMaxFrequencyHz, limits.frequency);
      } else if (name == "duration_steps") {
        Window(name, node, line, 1, 0, 255, limits.duration, true);
      } else if (name == "seed_C") {
        Window(name, node, line, 100, -27315, 100000, limits.seedTemp);
      } else if (name == "pump_C") {
        Window(name, node, line, 100, -27315, 100000, limits.pumpTemp);
      } else if (name == "board_silent_alarm_s") {
        Silence(name, node, line, limits);
      } else if (name == "on_alarm") {
        OnAlarmWord(name, node, line, limits);
      } else {
        Fail(static_cast<int>(key.source().begin.line),
             "unknown key '" + name + "' (the keys are " + KeyList() + ")");
      }
    }
  }

  void Fail(int line, const std::string& what) {
    if (m_problem.empty()) m_problem = LimitSource{m_file, line}.Text() + ": " + what;
  }

 private:
  static constexpr std::int64_t kLargestCurrent = 65535;  // the wire's 16 bits

  static std::string KeyList() {
    std::string list;
    for (const LimitKey& k : kLimitKeys) list += (list.empty() ? "" : ", ") + std::string(k.key);
    return list;
  }

  static const char* TypeName(const toml::node& node) {
    switch (node.type()) {
      case toml::node_type::string:
        return "a string";
      case toml::node_type::integer:
        return "a whole number";
      case toml::node_type::floating_point:
        return "a number with a fraction";
      case toml::node_type::boolean:
        return "true or false";
      case toml::node_type::array:
        return "a list";
      case toml::node_type::table:
        return "a table";
      case toml::node_type::date:
      case toml::node_type::time:
      case toml::node_type::date_time:
        return "a date or time";
      case toml::node_type::none:
        break;
    }
    return "nothing";
  }

  // A number in the file's unit as device units (value * scale, rounded), or
  // nullopt after saying why.
  std::optional<std::int64_t> Number(const std::string& key, const toml::node& node, int line,
                                     std::int64_t scale, bool wholeOnly) {
    if (const auto* i = node.as_integer()) {
      const std::int64_t v = i->get();
      if (v > INT32_MAX / scale || v < INT32_MIN / scale) {
        Fail(line, key + " is out of range");
        return std::nullopt;
      }
      return v * scale;
    }
    if (const auto* f = node.as_floating_point(); f != nullptr && !wholeOnly) {
      const double v = f->get() * static_cast<double>(scale);
      if (!std::isfinite(v) || std::fabs(v) > 2e9) {
        Fail(line, key + " is out of range");
        return std::nullopt;
      }
      return std::llround(v);
    }
    Fail(line,
         key + " wants " + (wholeOnly ? "a whole number" : "a number") + ", not " + TypeName(node));
    return std::nullopt;
  }

  void Whole(const std::string& key, const toml::node& node, int line, std::int64_t least,
             std::int64_t most, std::optional<Sourced<std::int32_t>>& into) {
    const std::optional<std::int64_t> v = Number(key, node, line, 1, true);
    if (!v) return;
    if (*v < 0) return Fail(line, key + " must not be negative");
    if (*v < least) return Fail(line, key + " must be at least " + std::to_string(least));
    if (*v > most) return Fail(line, key + " must be at most " + std::to_string(most));
    into = Sourced<std::int32_t>{static_cast<std::int32_t>(*v), {m_file, line}};
  }

  void Window(const std::string& key, const toml::node& node, int line, std::int64_t scale,
              std::int64_t least, std::int64_t most, std::optional<Sourced<ValueWindow>>& into,
              bool wholeOnly = false) {
    const auto* array = node.as_array();
    if (array == nullptr || array->size() != 2)
      return Fail(line, key + " wants [min, max], not " +
                            (array ? std::to_string(array->size()) + " values" : TypeName(node)));
    std::int64_t ends[2];
    for (std::size_t i = 0; i < 2; ++i) {
      const std::optional<std::int64_t> v = Number(key, *array->get(i), line, scale, wholeOnly);
      if (!v) return;
      ends[i] = *v;
    }
    if (least >= 0 && (ends[0] < 0 || ends[1] < 0))
      return Fail(line, key + " must not be negative");
    if (ends[0] > ends[1]) return Fail(line, key + ": min is greater than max");
    if (ends[0] < least || ends[1] > most) return Fail(line, key + " is beyond what the board has");
    into = Sourced<ValueWindow>{
        {static_cast<std::int32_t>(ends[0]), static_cast<std::int32_t>(ends[1])}, {m_file, line}};
  }

  void Silence(const std::string& key, const toml::node& node, int line, LabLimits& limits) {
    const std::optional<std::int64_t> ms = Number(key, node, line, 1000, false);
    if (!ms) return;
    if (*ms <= 0) return Fail(line, key + " must be more than 0");
    limits.boardSilent = {std::chrono::milliseconds(*ms), {m_file, line}};
  }

  void OnAlarmWord(const std::string& key, const toml::node& node, int line, LabLimits& limits) {
    const auto* s = node.as_string();
    const std::string word = s ? s->get() : "";
    if (word == "alarm") {
      limits.onAlarm = {OnAlarm::kAlarm, {m_file, line}};
    } else if (word == "ramp-down") {
      limits.onAlarm = {OnAlarm::kRampDown, {m_file, line}};
    } else {
      Fail(line, key + " wants \"alarm\" or \"ramp-down\"" +
                     (s ? ", not \"" + word + "\"" : std::string(", not ") + TypeName(node)));
    }
  }

  const std::string& m_file;
  std::string& m_problem;
};

// Overlays the keys that over holds onto base.
void Overlay(LabLimits& base, const LabLimits& over) {
  const auto take = [](auto& into, const auto& from) {
    if (from) into = from;
  };
  take(base.currentMax, over.currentMax);
  take(base.currentRamp, over.currentRamp);
  take(base.frequency, over.frequency);
  take(base.duration, over.duration);
  take(base.seedTemp, over.seedTemp);
  take(base.pumpTemp, over.pumpTemp);
  take(base.boardSilent, over.boardSilent);
  take(base.onAlarm, over.onAlarm);
}

// The file's text, or a problem; absent: the file does not exist.
struct FileText {
  bool absent = false;
  std::string text;
  std::string problem;
};

FileText ReadText(const std::string& path, bool checkOwner, bool checkModes) {
  FileText result;
  const FileLook look = LookAtFile(path, checkOwner, checkModes);
  result.absent = look.absent;
  result.problem = look.problem;
  if (look.absent || !look.problem.empty()) return result;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    result.problem = path + ": cannot be read: " + std::strerror(errno);
    return result;
  }
  std::ostringstream text;
  text << in.rdbuf();
  result.text = text.str();
  return result;
}

}  // namespace

ParsedLimits ParseLimits(std::string_view text, const std::string& fileName,
                         std::string_view port) {
  ParsedLimits parsed;
  toml::table root;
  try {
    root = toml::parse(text, fileName);
  } catch (const toml::parse_error& e) {
    parsed.problem = LimitSource{fileName, static_cast<int>(e.source().begin.line)}.Text() + ": " +
                     std::string(e.description());
    return parsed;
  }
  TableReader reader(fileName, parsed.problem);
  LabLimits ours;
  for (const auto& [key, node] : root) {
    const std::string name(key.str());
    const int line = static_cast<int>(key.source().begin.line);
    if (name == "default") {
      if (const auto* table = node.as_table()) {
        reader.Read(*table, parsed.limits);
      } else {
        reader.Fail(line, "default must be a table ([default])");
      }
    } else if (name == "port") {
      const auto* ports = node.as_table();
      if (ports == nullptr) {
        reader.Fail(line, "port must hold tables ([port.\"ttyUSB0\"])");
        continue;
      }
      // Every port's table is checked, not only ours: a mistake anywhere in
      // the lab's file is a mistake.
      for (const auto& [portName, portNode] : *ports) {
        const auto* table = portNode.as_table();
        if (table == nullptr) {
          reader.Fail(static_cast<int>(portName.source().begin.line),
                      "port." + std::string(portName.str()) + " must be a table");
          continue;
        }
        LabLimits theirs;
        reader.Read(*table, theirs);
        if (portName.str() == port) ours = theirs;
      }
    } else if (node.is_table()) {
      reader.Fail(line, "unknown table '" + name +
                            "' (a limits file holds [default] and [port.\"NAME\"] tables)");
    } else {
      reader.Fail(line,
                  "'" + name + "' outside a table: keys go under [default] or [port.\"NAME\"]");
    }
    if (!parsed.problem.empty()) break;
  }
  if (!parsed.problem.empty()) {
    parsed.limits = {};
    return parsed;
  }
  Overlay(parsed.limits, ours);
  return parsed;
}

std::string PermissionProblem(const std::string& fileName, const FileFacts& file,
                              const std::string& folderName, const FileFacts& folder,
                              bool ownerMustBeRoot) {
  const auto judge = [&](const std::string& name, const FileFacts& facts,
                         const char* what) -> std::string {
    if (!facts.exists) return name + ": cannot be examined";
    if (!facts.regular) return name + ": not a regular " + what;
    if (ownerMustBeRoot && facts.ownerId != 0)
      return name + ": owned by user " + std::to_string(facts.ownerId) +
             ", not root, so someone other than root can change the lab's limits";
    if ((facts.mode & 022) != 0) {
      char mode[16];
      std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(facts.mode));
      return name + ": writable by others than its owner (mode " + mode +
             "), so someone other than root can change the lab's limits";
    }
    return {};
  };
  if (std::string p = judge(folderName, folder, "folder"); !p.empty()) return p;
  return judge(fileName, file, "file");
}

PortLimits LimitsFor(std::string_view port, const LimitsSources& sources) {
  PortLimits result;
  const FileText lab = ReadText(sources.labFile, sources.labFileMustBeRoots, true);
  if (!lab.problem.empty()) {
    result.unusable = lab.problem;
    return result;
  }
  if (!lab.absent) {
    ParsedLimits parsed = ParseLimits(lab.text, sources.labFile, port);
    if (!parsed.problem.empty()) {
      result.unusable = parsed.problem;
      return result;
    }
    result.limits = std::move(parsed.limits);
  }
  if (sources.stricterFile.empty()) return result;
  // A user's own file can only tighten, so who may write it does not matter;
  // that it is there and reads well does.
  const FileText extra = ReadText(sources.stricterFile, false, false);
  if (extra.absent || !extra.problem.empty()) {
    result.limits = {};
    result.unusable =
        extra.problem.empty() ? sources.stricterFile + ": does not exist" : extra.problem;
    return result;
  }
  const ParsedLimits parsed = ParseLimits(extra.text, sources.stricterFile, port);
  std::string problem = parsed.problem;
  LabLimits combined;
  if (problem.empty()) combined = Stricter(result.limits, parsed.limits, &problem);
  if (!problem.empty()) {
    result.limits = {};
    result.unusable = problem;
    return result;
  }
  result.limits = std::move(combined);
  return result;
}

}  // namespace quorvane
