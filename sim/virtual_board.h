// The board's side of the wire protocol as pure logic: command bytes in, reply
// bytes out, state and readings that evolve on an injected clock. No I/O, so
// tests drive it with a virtual clock and PtyBoard drives it with the real one.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <random>
#include <span>
#include <vector>

#include "protocol/wire_format.h"

#include "sim/board_physics.h"
#include "sim/command_parser.h"

namespace quorvane::sim {

using SimTime = std::chrono::steady_clock::time_point;
using SimClock = std::function<SimTime()>;

// The board's parameters. The prefix is deliberately not 00 00, so a panel
// that fails to echo what it received is caught.
struct BoardParameters {
  std::uint8_t currentPrefix[2] = {0x12, 0x34};
  std::uint16_t currentSetpoint = 0;  // mA
  std::uint16_t currentMax = 3000;    // mA
  std::uint32_t frequencyHz = 20000;
  std::uint8_t pulseSteps = 20;
  std::uint8_t softActive = 0;  // stored as received; non-zero = on
};

struct BoardSnapshot {
  BoardParameters parameters{};
  Readings readings;
};

// Misbehaviour on request. Every field can be changed while the board runs.
struct BoardSwitches {
  bool silent = false;                      // commands are applied but never answered
  std::chrono::milliseconds replyDelay{0};  // each reply leaves this long after its command
  // Random bytes between frames, in bytes per second. They never contain 'L',
  // so they cannot open a false reply frame that would swallow a real one:
  // the panel must only skip them.
  double noiseBytesPerSecond = 0;
  double corruptChecksumProbability = 0;  // 0..1, per reply frame
  // Replies go out with half their payload and a length byte and checksum
  // that match, so the frame is well-formed but shorter than its code's layout.
  bool shortFrames = false;
  bool neverSendAll = false;  // CMD_READ_ALL goes unanswered, other commands do not
};

// What became of a checksum-correct command frame.
enum class CommandVerdict {
  kApplied,         // stored (after clamping) and answered unless a switch says otherwise
  kPrefixMismatch,  // CMD_SET_CURRENT echoed the wrong prefix: set-point kept, answered with it
  kWrongLength,     // known code, but L does not match its layout: ignored
  kUnknownCode,     // ignored
};

struct JournalEntry {
  SimTime time;
  std::uint8_t code = 0;
  std::vector<std::uint8_t> payload;
  std::vector<std::uint8_t> raw;  // the whole frame as received
  CommandVerdict verdict = CommandVerdict::kApplied;
};

struct BoardCounters {
  std::uint64_t commands = 0;        // checksum-correct frames, whatever their verdict
  std::uint64_t bytesDiscarded = 0;  // received bytes that belonged to no frame
  std::uint64_t checksumErrors = 0;
  std::uint64_t repliesSent = 0;      // replies handed out, faulty ones included
  std::uint64_t repliesWithheld = 0;  // silent, or RPL_ALL suppressed
  std::uint64_t corruptedReplies = 0;
  std::uint64_t shortenedReplies = 0;
  std::uint64_t noiseBytes = 0;
};

// One thing that crossed the wire, for a log.
enum class WireKind {
  kCommand,    // to the board: a checksum-correct command frame (see verdict)
  kDiscarded,  // to the board: bytes skipped while searching for a frame
  kReply,      // from the board: a reply frame as sent (see corrupted, shortened)
  kNoise,      // from the board: noise bytes
};

struct WireEvent {
  SimTime time;
  WireKind kind = WireKind::kCommand;
  std::vector<std::uint8_t> bytes;
  CommandVerdict verdict = CommandVerdict::kApplied;  // kCommand only
  bool corrupted = false;                             // kReply only
  bool shortened = false;                             // kReply only
};

using WireObserver = std::function<void(const WireEvent&)>;

struct BoardConfig {
  BoardParameters parameters{};
  BoardSwitches switches{};
  std::uint32_t seed = 1;  // one seed makes noise, faults and readings repeat exactly
};

// Thread contract: every public operation may be called from any thread; one
// mutex serialises them. The observer runs on the thread that caused the event
// (Receive or TakeOutput), after the mutex is released, so it may call back in.
class VirtualBoard {
 public:
  explicit VirtualBoard(SimClock clock, BoardConfig config = {});

  // Bytes from the panel. Replies are queued, due now or after the reply delay.
  void Receive(std::span<const std::uint8_t> bytes);
  // Everything due by now: noise accrued so far, then due reply frames whole.
  std::vector<std::uint8_t> TakeOutput();
  // When TakeOutput next has something; nullopt when nothing is pending.
  std::optional<SimTime> NextDue() const;

  // Drops a partial command and the replies not yet sent, as a power-cut link would.
  void DropLink();

  void SetSwitches(const BoardSwitches& switches);
  BoardSwitches Switches() const;
  void SetParameters(const BoardParameters& parameters);
  BoardSnapshot Snapshot() const;  // readings brought up to the clock first

  std::vector<JournalEntry> Journal() const;
  std::size_t JournalSize() const;
  // Waits until the journal holds at least count entries; false on time-out.
  bool WaitForJournalSize(std::size_t count, std::chrono::milliseconds timeout) const;
  BoardCounters Counters() const;

  void SetObserver(WireObserver observer);

 private:
  struct PendingReply {
    SimTime due;
    std::vector<std::uint8_t> frame;
    bool corrupted = false;
    bool shortened = false;
  };

  void AdvancePhysicsLocked(SimTime now) const;
  void HandleFrameLocked(SimTime now, std::vector<std::uint8_t> frame,
                         std::vector<WireEvent>& events);
  CommandVerdict ApplyLocked(std::span<const std::uint8_t> frame);
  void QueueReplyLocked(SimTime now, const Reply& reply);
  std::vector<std::uint8_t> NoiseLocked(SimTime now);
  std::optional<SimTime> NextNoiseLocked() const;
  double UnitRandomLocked();
  void Notify(std::vector<WireEvent>& events);

  SimClock m_clock;

  // m_mutex guards every member below; m_journalGrew is signalled on each new
  // journal entry.
  mutable std::mutex m_mutex;
  mutable std::condition_variable m_journalGrew;
  BoardParameters m_parameters;
  BoardSwitches m_switches;
  // The readings are brought up to the clock lazily, also by const readers.
  mutable Readings m_readings;
  mutable SimTime m_lastTick;
  mutable std::mt19937 m_physicsRng;
  std::mt19937_64 m_faultRng;  // apart from physics, so switches do not change the readings
  CommandParser m_parser;
  std::vector<PendingReply> m_pending;  // in sending order
  double m_noiseCredit = 0;             // noise bytes owed but not yet emitted
  SimTime m_noiseMark;                  // time up to which noise has been accounted
  std::vector<JournalEntry> m_journal;
  BoardCounters m_counters;
  WireObserver m_observer;
};

}  // namespace quorvane::sim
