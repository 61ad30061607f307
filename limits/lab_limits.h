// The lab's limits: a safety envelope an administrator keeps in a file, laid
// over the board's own ranges. Every front end (the panel, quorvane-ctl, the
// bridge) asks these functions what it may send, so none can go beyond it.
//
// Values are held in the board's units (mA, Hz, steps, hundredths of a
// degree C), as DeviceState holds them. With no file every function here
// leaves things as they are: no limit, no ramp, no alarm.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "board/board_model.h"
#include "protocol/device_state.h"

namespace quorvane {

enum class OnAlarm { kAlarm, kRampDown };

// Where a limit was written: "/etc/quorvane/limits.toml:4".
struct LimitSource {
  std::string file;
  int line = 0;
  std::string Text() const;
};

template <typename T>
struct Sourced {
  T value;
  LimitSource source;
};

// Both ends included, in device units.
struct ValueWindow {
  std::int32_t min = 0;
  std::int32_t max = 0;
  bool Holds(std::int32_t value) const { return value >= min && value <= max; }
  friend bool operator==(const ValueWindow&, const ValueWindow&) = default;
};

struct LabLimits {
  std::optional<Sourced<std::int32_t>> currentMax;   // mA
  std::optional<Sourced<std::int32_t>> currentRamp;  // mA per second
  std::optional<Sourced<ValueWindow>> frequency;     // Hz
  std::optional<Sourced<ValueWindow>> duration;      // steps
  std::optional<Sourced<ValueWindow>> seedTemp;      // hundredths of a degree C
  std::optional<Sourced<ValueWindow>> pumpTemp;      // hundredths of a degree C
  std::optional<Sourced<std::chrono::milliseconds>> boardSilent;
  std::optional<Sourced<OnAlarm>> onAlarm;

  bool Empty() const;
};

// The limits one front end works under for one port. A file that exists but
// cannot be used never means "no limits": the port is read-only, and
// `unusable` says why ("/etc/quorvane/limits.toml:3: unknown key 'curent_max_mA'").
struct PortLimits {
  LabLimits limits;
  std::string unusable;
  bool ReadOnly() const { return !unusable.empty(); }
};

// ---- The file ---------------------------------------------------------------

// The keys a limits file may hold, in the order they are listed (ctl limits,
// the F1 box, the manual page): the one home for their names and units.
struct LimitKey {
  const char* key;          // "current_max_mA"
  const char* description;  // "largest pump current set-point"
};
extern const std::vector<LimitKey> kLimitKeys;

// The lab's file on this system: /etc/quorvane/limits.toml, or
// %ProgramData%\Quorvane\limits.toml on Windows (asked of the system, not of
// the environment, which a user could change).
std::string LabLimitsPath();

// The limits in a file's text for a port ("ttyUSB0", "COM3"): its [default]
// table with the port's own table over it. problem, when not empty, is why the
// text cannot be used, as "FILE:LINE: what" (the limits are then to be ignored
// and the port made read-only).
struct ParsedLimits {
  LabLimits limits;
  std::string problem;
};
ParsedLimits ParseLimits(std::string_view text, const std::string& fileName, std::string_view port);

// What a limits file's folder and the file itself allow, as stat tells.
struct FileFacts {
  bool exists = false;
  bool regular = true;
  std::uint32_t ownerId = 0;
  std::uint32_t mode = 0;  // permission bits
};
// Empty when only root can change the file: both it and its folder are owned
// by root (when ownerMustBeRoot) and writable by nobody else.
std::string PermissionProblem(const std::string& fileName, const FileFacts& file,
                              const std::string& folderName, const FileFacts& folder,
                              bool ownerMustBeRoot);

// Where a front end's limits come from: the lab's file, and a stricter one
// given for one run (quorvane-ctl --limits). Only the test-only programs set
// labFile to anything but LabLimitsPath().
struct LimitsSources {
  std::string labFile = LabLimitsPath();
  bool labFileMustBeRoots = true;  // Linux: owned by root; always false on Windows
  std::string stricterFile;        // empty: none
};

// The effective limits for a port: the lab's file (absent: no limits), made
// stricter by the extra file. Reads the files each time: a front end asks at
// each open, so an administrator's change applies at the next one.
PortLimits LimitsFor(std::string_view port, const LimitsSources& sources);

// The stricter of two sets for every key (lower maxima, slower ramp, narrower
// windows, shorter silence, ramp-down over alarm). problem: set when two
// windows do not overlap, which would leave nothing allowed.
LabLimits Stricter(const LabLimits& a, const LabLimits& b, std::string* problem);

// ---- Set-points -------------------------------------------------------------

// The largest current set-point that may be sent: the board's, or the lab's
// when lower.
std::int32_t CurrentTop(const LabLimits& limits, std::int32_t boardMax);

// The lab's window for a setting, when it has one (the current's is 0 ..
// current_max_mA; soft-active has none).
std::optional<Sourced<ValueWindow>> LabWindow(const LabLimits& limits, Setting setting);

// value pulled into the lab's window for the setting, as the panel clamps.
std::int32_t ClampToLab(const LabLimits& limits, Setting setting, std::int32_t value);

// Empty when value is within the lab's limits for the setting; else why not,
// naming the limit and where it is written:
// "above the lab limit 2000 mA (/etc/quorvane/limits.toml:2)".
std::string LabLimitProblem(const LabLimits& limits, Setting setting, std::int32_t value);

// "lab limit 2000 mA", "lab limits 10.00 to 20.00 kHz"; empty without one.
// The panel adds it to the setting's tooltip and accessible description.
std::string LabLimitNote(const LabLimits& limits, Setting setting);

// The effective limits as rows, in kLimitKeys' order, the keys not set left
// out: for quorvane-ctl limits and the panel's F1 box.
struct LimitRow {
  const char* key;
  std::string value;  // as the file would write it: "2000", "[10.0, 20.0]", "\"ramp-down\""
  std::string shown;  // "2000 mA", "10.00 to 20.00 kHz"
  LimitSource source;
};
std::vector<LimitRow> LimitRows(const LabLimits& limits);
// The rows as lines ("current_max_mA  2000 mA  (/etc/quorvane/limits.toml:2)"),
// or "No lab limits (FILE does not exist)." / the unusable reason.
std::string LimitsText(const PortLimits& limits, const std::string& labFile);

// ---- Ramps ------------------------------------------------------------------

// The most one poll may raise the current under a ramp of mAPerSecond: at
// least 1 mA.
std::int32_t RampStep(std::int32_t mAPerSecond, std::chrono::milliseconds pollPeriod);

// A rise of the current set-point carried out a step per poll, never more than
// one step ahead of what the board has confirmed: a board that stops
// answering stops the ramp where it stands. Decreases are never ramped.
class CurrentRamp {
 public:
  // A new target, with the set-point the board confirmed last. Returns what to
  // send now: the target itself when it is no rise of more than a step (no
  // ramp runs then), else the first step. A ramp running is re-targeted from
  // where it stands. evenDown: a fall is ramped too (the lab's ramp-down on
  // an alarm); an operator's decrease never is.
  std::int32_t Start(std::int32_t target, std::int32_t confirmed, std::int32_t step,
                     bool evenDown = false);
  // At each poll, with what the board confirmed last: the next set-point to
  // send, or nothing while the last one sent is unconfirmed. The ramp ends,
  // done, when the target is confirmed.
  std::optional<std::int32_t> Next(std::int32_t confirmed);
  // Ends it where it stands: nothing more is sent.
  void Stop() { m_running = false; }

  bool Running() const { return m_running; }
  std::int32_t Target() const { return m_target; }
  std::int32_t Sent() const { return m_sent; }

 private:
  bool m_running = false;
  std::int32_t m_target = 0;
  std::int32_t m_sent = 0;
  std::int32_t m_step = 1;
};

// "ramping the current to 2000 mA: 800 mA confirmed".
std::string RampStatusText(const CurrentRamp& ramp, std::int32_t confirmed);

// ---- Alarms -----------------------------------------------------------------

enum class AlarmKind {
  kSeedTemp,  // a temperature outside its window
  kPumpTemp,
  kBoardSilent,    // no reply for board_silent_alarm_s
  kSetpointAbove,  // the board reports a current set-point beyond the lab's limit
};

struct Alarm {
  AlarmKind kind;
  std::int32_t value = 0;  // the reading (device units); for a silence, the ms silent
  ValueWindow window{};    // the window left (for the set-point: 0 .. limit)
  std::chrono::system_clock::time_point since;
  LimitSource source;
  // The read-out it shows on; nullopt for a silent board, which shows on all.
  std::optional<Measurement> readout() const;
  const char* Key() const;  // "seed_C", "pump_C", "board_silent", "setpoint_mA"
  // "seed 31.20 C outside 15.00 to 30.00 C (lab limit, /etc/quorvane/limits.toml:5)"
  std::string Text() const;
};

struct AlarmChanges {
  std::vector<Alarm> started;
  std::vector<Alarm> ended;
  bool Any() const { return !started.empty() || !ended.empty(); }
};

// Watches the readings against the lab's windows and the board's silence.
// Each alarm starts once and ends once: a front end says it when it starts
// (a screen reader hears it once) and clears it when it ends.
class AlarmWatch {
 public:
  using Steady = std::chrono::steady_clock::time_point;
  using Wall = std::chrono::system_clock::time_point;

  explicit AlarmWatch(LabLimits limits = {}) : m_limits(std::move(limits)) {}
  void SetLimits(LabLimits limits);

  // A reply from the board (any reply ends a silence); the temperatures are
  // judged after a status reply, the set-point after a full or current reply.
  AlarmChanges OnReply(const Reply& reply, const DeviceState& device, Steady now, Wall wall);
  // Time passing without a reply: a silent board.
  AlarmChanges OnTime(Steady now, Wall wall);
  // The port closed: every alarm ends, and the silence clock stops.
  AlarmChanges Reset();

  const std::vector<Alarm>& Active() const { return m_active; }
  // With on_alarm = "ramp-down": a temperature or silence alarm is active and
  // the core is to take the current to 0 and soft-active off (a set-point
  // above the limit is only shown).
  bool WantsRampDown() const;

 private:
  void Judge(AlarmKind kind, bool inAlarm, std::int32_t value, const ValueWindow& window,
             const LimitSource& source, Wall wall, AlarmChanges& changes);

  LabLimits m_limits;
  std::vector<Alarm> m_active;
  std::optional<Steady> m_lastReply;
};

// "the lab's limits ask for the current to go to 0 and soft-active off: <alarm>",
// what a front end logs when it sends a setting no operator typed.
std::string RampDownText(const Alarm& alarm);

}  // namespace quorvane
