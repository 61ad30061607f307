// Command handling, reply building, misbehaviour and the journal of the
// virtual board.
#include "sim/virtual_board.h"

#include <algorithm>
#include <cmath>

#include "protocol/wire_format.h"

namespace quorvane::sim {

namespace {

// A jump of the clock larger than this (a suspended test, a debugger) settles
// the readings in this many ticks instead of replaying every one.
constexpr std::int64_t kMaxCatchUpTicks = 10000;
// Noise owed beyond this is forgotten, so a long stall never floods the wire.
constexpr double kMaxNoiseBurst = 4096;

// Values beyond a 16-bit field are sent as its largest value, not wrapped.
std::uint16_t Clamp16(std::int64_t value) {
  return static_cast<std::uint16_t>(std::clamp<std::int64_t>(value, 0, 0xFFFF));
}

BoardSwitches Sanitized(BoardSwitches s) {
  if (!std::isfinite(s.noiseBytesPerSecond) || s.noiseBytesPerSecond < 0) s.noiseBytesPerSecond = 0;
  if (!(s.corruptChecksumProbability >= 0)) s.corruptChecksumProbability = 0;
  s.replyDelay = std::max(s.replyDelay, std::chrono::milliseconds(0));
  return s;
}

}  // namespace

VirtualBoard::VirtualBoard(SimClock clock, BoardConfig config)
    : m_clock(std::move(clock)),
      m_parameters(config.parameters),
      m_switches(Sanitized(config.switches)),
      m_physicsRng(config.seed),
      m_faultRng(config.seed ^ 0x9E3779B97F4A7C15ull) {
  m_parameters.currentSetpoint = std::min(m_parameters.currentSetpoint, m_parameters.currentMax);
  m_lastTick = m_clock();
  m_noiseMark = m_lastTick;
}

void VirtualBoard::Receive(std::span<const std::uint8_t> bytes) {
  std::vector<WireEvent> events;
  {
    std::lock_guard lock(m_mutex);
    const SimTime now = m_clock();
    ParsedBytes parsed = m_parser.Feed(bytes);
    m_counters.checksumErrors += parsed.checksumErrors;
    m_counters.bytesDiscarded += parsed.discarded.size();
    if (!parsed.discarded.empty()) {
      events.push_back({now, WireKind::kDiscarded, std::move(parsed.discarded)});
    }
    for (auto& frame : parsed.frames) HandleFrameLocked(now, std::move(frame), events);
  }
  Notify(events);
}

void VirtualBoard::HandleFrameLocked(SimTime now, std::vector<std::uint8_t> frame,
                                     std::vector<WireEvent>& events) {
  AdvancePhysicsLocked(now);
  const std::uint8_t code = frame[3];
  const std::span<const std::uint8_t> payload(frame.data() + kPayloadOffset, frame.size() - 5);
  const CommandVerdict verdict = ApplyLocked(frame);

  ++m_counters.commands;
  m_journal.push_back({now, code, {payload.begin(), payload.end()}, frame, verdict});
  m_journalGrew.notify_all();
  events.push_back({now, WireKind::kCommand, std::move(frame), verdict});

  if (verdict == CommandVerdict::kWrongLength || verdict == CommandVerdict::kUnknownCode) return;
  if (m_switches.silent || (code == CMD_READ_ALL && m_switches.neverSendAll)) {
    ++m_counters.repliesWithheld;
    return;
  }

  const BoardParameters& p = m_parameters;
  const CurrentPrefix prefix{p.currentPrefix[0], p.currentPrefix[1]};
  switch (code) {
    case CMD_READ_STATUS:
      QueueReplyLocked(now,
                       StatusReply{Clamp16(m_readings.currentRead), Clamp16(m_readings.seedTemp),
                                   Clamp16(m_readings.pumpTemp)});
      break;
    case CMD_READ_ALL:
      QueueReplyLocked(now, AllReply{prefix, p.currentSetpoint, p.currentMax, p.frequencyHz,
                                     p.pulseSteps, p.softActive});
      break;
    case CMD_SET_CURRENT:
      QueueReplyLocked(now, CurrentReply{prefix, p.currentSetpoint});
      break;
    case CMD_SET_FREQUENCY:
      QueueReplyLocked(now, FrequencyReply{p.frequencyHz});
      break;
    case CMD_SET_DURATION:
      QueueReplyLocked(now, DurationReply{p.pulseSteps});
      break;
    case CMD_SET_SOFT_ACTIVE:
      QueueReplyLocked(now, SoftActiveReply{p.softActive});
      break;
  }
}

CommandVerdict VirtualBoard::ApplyLocked(std::span<const std::uint8_t> frame) {
  const CodeLayout* layout = CommandLayout(frame[3]);
  if (layout == nullptr) return CommandVerdict::kUnknownCode;
  if (layout->length != frame[2]) return CommandVerdict::kWrongLength;
  const std::optional<Command> command = DecodeCommand(frame);
  if (!command) return CommandVerdict::kWrongLength;

  BoardParameters& p = m_parameters;
  if (const auto* set = std::get_if<SetCurrentCommand>(&*command)) {
    // A panel that echoes a stale or invented prefix is not talking about
    // this board's current channel: keep the set-point and answer with the
    // real prefix and value, so the panel corrects itself.
    if (set->prefix[0] != p.currentPrefix[0] || set->prefix[1] != p.currentPrefix[1]) {
      return CommandVerdict::kPrefixMismatch;
    }
    p.currentSetpoint = std::min(set->setpoint, p.currentMax);
  } else if (const auto* frequency = std::get_if<SetFrequencyCommand>(&*command)) {
    p.frequencyHz = frequency->hertz;
  } else if (const auto* duration = std::get_if<SetDurationCommand>(&*command)) {
    p.pulseSteps = duration->steps;
  } else if (const auto* soft = std::get_if<SetSoftActiveCommand>(&*command)) {
    p.softActive = soft->state;
  }
  return CommandVerdict::kApplied;
}

void VirtualBoard::QueueReplyLocked(SimTime now, const Reply& value) {
  PendingReply reply;
  const WireFrame full = EncodeReply(value);
  if (m_switches.shortFrames) {
    // Half the payload, framed anew: a whole frame with a good checksum that
    // is too short for its code.
    const std::span<const std::uint8_t> payload =
        full.view().subspan(kPayloadOffset, full.size - kPayloadOffset - 1);
    reply.frame =
        BuildRawFrame(FrameKind::kReply, full.bytes[3], payload.first(payload.size() / 2));
    reply.shortened = true;
  } else {
    reply.frame = full.ToVector();
  }
  if (m_switches.corruptChecksumProbability > 0 &&
      UnitRandomLocked() < m_switches.corruptChecksumProbability) {
    // XOR with a non-zero byte: the checksum is certainly wrong.
    reply.frame.back() ^= static_cast<std::uint8_t>(1 + m_faultRng() % 255);
    reply.corrupted = true;
  }
  // Replies leave in the order their commands came, even if the delay was
  // shortened in between.
  reply.due = now + m_switches.replyDelay;
  if (!m_pending.empty()) reply.due = std::max(reply.due, m_pending.back().due);
  m_pending.push_back(std::move(reply));
}

std::vector<std::uint8_t> VirtualBoard::TakeOutput() {
  std::vector<WireEvent> events;
  std::vector<std::uint8_t> out;
  {
    std::lock_guard lock(m_mutex);
    const SimTime now = m_clock();
    out = NoiseLocked(now);
    if (!out.empty()) events.push_back({now, WireKind::kNoise, out});
    auto it = m_pending.begin();
    for (; it != m_pending.end() && it->due <= now; ++it) {
      out.insert(out.end(), it->frame.begin(), it->frame.end());
      ++m_counters.repliesSent;
      m_counters.corruptedReplies += it->corrupted;
      m_counters.shortenedReplies += it->shortened;
      WireEvent event{now, WireKind::kReply, std::move(it->frame)};
      event.corrupted = it->corrupted;
      event.shortened = it->shortened;
      events.push_back(std::move(event));
    }
    m_pending.erase(m_pending.begin(), it);
  }
  Notify(events);
  return out;
}

std::optional<SimTime> VirtualBoard::NextDue() const {
  std::lock_guard lock(m_mutex);
  std::optional<SimTime> due = NextNoiseLocked();
  if (!m_pending.empty() && (!due || m_pending.front().due < *due)) due = m_pending.front().due;
  return due;
}

std::vector<std::uint8_t> VirtualBoard::NoiseLocked(SimTime now) {
  std::vector<std::uint8_t> noise;
  const double rate = m_switches.noiseBytesPerSecond;
  if (now > m_noiseMark && rate > 0) {
    m_noiseCredit += std::chrono::duration<double>(now - m_noiseMark).count() * rate;
    m_noiseCredit = std::min(m_noiseCredit, kMaxNoiseBurst);
  }
  m_noiseMark = std::max(m_noiseMark, now);
  if (!(rate > 0)) {
    m_noiseCredit = 0;
    return noise;
  }
  const auto count = static_cast<std::size_t>(m_noiseCredit);
  m_noiseCredit -= static_cast<double>(count);
  for (std::size_t i = 0; i < count; ++i) {
    // 255 values, 'L' left out.
    auto b = static_cast<std::uint8_t>(m_faultRng() % 255);
    if (b >= kReplyHeader0) ++b;
    noise.push_back(b);
  }
  m_counters.noiseBytes += count;
  return noise;
}

std::optional<SimTime> VirtualBoard::NextNoiseLocked() const {
  const double rate = m_switches.noiseBytesPerSecond;
  if (!(rate > 0)) return std::nullopt;
  // At high rates the bytes come in bursts a millisecond apart rather than
  // waking the board thread for every single byte.
  const double seconds = std::max(0.001, std::max(0.0, 1.0 - m_noiseCredit) / rate);
  return m_noiseMark + std::chrono::ceil<SimTime::duration>(std::chrono::duration<double>(seconds));
}

double VirtualBoard::UnitRandomLocked() {
  return static_cast<double>(m_faultRng() >> 11) * 0x1.0p-53;
}

void VirtualBoard::AdvancePhysicsLocked(SimTime now) const {
  constexpr auto kTick = std::chrono::milliseconds(kPhysicsTickMs);
  if (now <= m_lastTick) return;
  const std::int64_t ticks = (now - m_lastTick) / kTick;
  const std::int64_t run = std::min(ticks, kMaxCatchUpTicks);
  for (std::int64_t i = 0; i < run; ++i) {
    PhysicsTick(m_readings, m_parameters.currentSetpoint, m_parameters.softActive != 0,
                m_physicsRng);
  }
  m_lastTick += ticks * kTick;
}

void VirtualBoard::DropLink() {
  std::lock_guard lock(m_mutex);
  m_parser.Reset();
  m_pending.clear();
  m_noiseCredit = 0;
  m_noiseMark = m_clock();
}

void VirtualBoard::SetSwitches(const BoardSwitches& switches) {
  std::lock_guard lock(m_mutex);
  // Noise owed at the old rate stays owed; the new rate counts from now.
  const SimTime now = m_clock();
  if (now > m_noiseMark && m_switches.noiseBytesPerSecond > 0) {
    m_noiseCredit +=
        std::chrono::duration<double>(now - m_noiseMark).count() * m_switches.noiseBytesPerSecond;
    m_noiseCredit = std::min(m_noiseCredit, kMaxNoiseBurst);
  }
  m_noiseMark = std::max(m_noiseMark, now);
  m_switches = Sanitized(switches);
}

BoardSwitches VirtualBoard::Switches() const {
  std::lock_guard lock(m_mutex);
  return m_switches;
}

void VirtualBoard::SetParameters(const BoardParameters& parameters) {
  std::lock_guard lock(m_mutex);
  AdvancePhysicsLocked(m_clock());
  m_parameters = parameters;
  m_parameters.currentSetpoint = std::min(m_parameters.currentSetpoint, m_parameters.currentMax);
}

BoardSnapshot VirtualBoard::Snapshot() const {
  std::lock_guard lock(m_mutex);
  AdvancePhysicsLocked(m_clock());
  return {m_parameters, m_readings};
}

std::vector<JournalEntry> VirtualBoard::Journal() const {
  std::lock_guard lock(m_mutex);
  return m_journal;
}

std::size_t VirtualBoard::JournalSize() const {
  std::lock_guard lock(m_mutex);
  return m_journal.size();
}

bool VirtualBoard::WaitForJournalSize(std::size_t count, std::chrono::milliseconds timeout) const {
  std::unique_lock lock(m_mutex);
  return m_journalGrew.wait_for(lock, timeout, [&] { return m_journal.size() >= count; });
}

BoardCounters VirtualBoard::Counters() const {
  std::lock_guard lock(m_mutex);
  return m_counters;
}

void VirtualBoard::SetObserver(WireObserver observer) {
  std::lock_guard lock(m_mutex);
  m_observer = std::move(observer);
}

void VirtualBoard::Notify(std::vector<WireEvent>& events) {
  if (events.empty()) return;
  WireObserver observer;
  {
    std::lock_guard lock(m_mutex);
    observer = m_observer;
  }
  if (!observer) return;
  for (const WireEvent& event : events) observer(event);
}

}  // namespace quorvane::sim
