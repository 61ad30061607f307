// The board conversation: bytes from the monitor thread go through the
// panel's receiver into a queue of typed replies the main thread waits on.
#include "ctl/board_session.h"

#include <cstdio>
#include <utility>

#include "controller/line_settings.h"
#include "controller/timing.h"

namespace quorvane::ctl {

BoardSession::BoardSession(SerialLinkInterface& link, ChosenPort port)
    : m_link(link), m_port(std::move(port)) {}

BoardSession::~BoardSession() { Close(); }

bool BoardSession::Open(unsigned portNumber) {
  {
    std::lock_guard lock(m_mutex);
    m_context.currentPort = portNumber;
    m_opening = true;
    m_bytes = 0;
    m_repliesReceived = 0;
  }
  const bool opened = OpenBoardLink(m_link, this, portNumber);
  {
    std::lock_guard lock(m_mutex);
    m_opening = false;
  }
  if (!opened) return false;
  m_open = true;
  if (!m_link.StartMonitor()) {
    Close();
    return false;
  }
  return true;
}

void BoardSession::Close() {
  if (!m_open) return;
  m_open = false;
  m_link.Close();
}

WaitResult BoardSession::Sync(milliseconds limit) {
  const auto isAll = [](const Reply& r) { return std::holds_alternative<AllReply>(r); };
  return Ask(BuildReadAll(), isAll, Clock::now() + limit);
}

WaitResult BoardSession::Ask(const CommandFrame& frame,
                             const std::function<bool(const Reply&)>& match,
                             Clock::time_point deadline, Reply* matched) {
  for (;;) {
    Send(frame);
    const Clock::time_point next = std::min(deadline, Clock::now() + kSyncPeriod);
    const WaitResult result = WaitForReply(match, next, matched);
    if (result != WaitResult::kTimedOut || next >= deadline) return result;
  }
}

void BoardSession::Send(const CommandFrame& frame) { m_link.Send(frame.data(), frame.size); }

void BoardSession::DiscardReplies() {
  std::lock_guard lock(m_mutex);
  m_replies.clear();
}

WaitResult BoardSession::WaitForReply(const std::function<bool(const Reply&)>& match,
                                      Clock::time_point deadline, Reply* matched) {
  std::unique_lock lock(m_mutex);
  for (;;) {
    while (!m_replies.empty()) {
      const Reply reply = m_replies.front();
      m_replies.pop_front();
      if (match(reply)) {
        if (matched) *matched = reply;
        return WaitResult::kDone;
      }
    }
    if (const WaitResult result = Interrupted(); result != WaitResult::kDone) return result;
    if (!m_changed.wait_until(lock, deadline,
                              [this] { return !m_replies.empty() || m_stopped || m_portLost; }))
      return WaitResult::kTimedOut;
  }
}

WaitResult BoardSession::PauseUntil(Clock::time_point deadline) {
  std::unique_lock lock(m_mutex);
  m_changed.wait_until(lock, deadline, [this] { return m_stopped || m_portLost; });
  return Interrupted();
}

WaitResult BoardSession::PauseUntilWoken(Clock::time_point deadline) {
  std::unique_lock lock(m_mutex);
  m_changed.wait_until(lock, deadline, [this] { return m_stopped || m_portLost || m_woken; });
  m_woken = false;
  return Interrupted();
}

WaitResult BoardSession::Interrupted() const {
  if (m_stopped) return WaitResult::kStopped;
  if (m_portLost) return WaitResult::kPortLost;
  return WaitResult::kDone;
}

DeviceState BoardSession::Device() const {
  std::lock_guard lock(m_mutex);
  return m_device;
}

std::uint64_t BoardSession::BytesReceived() const {
  std::lock_guard lock(m_mutex);
  return m_bytes;
}

std::uint64_t BoardSession::RepliesReceived() const {
  std::lock_guard lock(m_mutex);
  return m_repliesReceived;
}

void BoardSession::Stop() {
  std::lock_guard lock(m_mutex);
  if (m_holdFirstStop && !m_stopHeld) {
    m_stopHeld = true;
    return;
  }
  m_stopped = true;
  m_changed.notify_all();
}

void BoardSession::HoldFirstStop(bool hold) {
  std::lock_guard lock(m_mutex);
  m_holdFirstStop = hold;
  if (!hold && m_stopHeld) {
    m_stopped = true;
    m_changed.notify_all();
  }
}

bool BoardSession::StopRequested() const {
  std::lock_guard lock(m_mutex);
  return m_stopped || m_stopHeld;
}

void BoardSession::Wake() {
  std::lock_guard lock(m_mutex);
  m_woken = true;
  m_changed.notify_all();
}

// Handled right here on the monitor thread, so the byte has been dealt with
// when this returns, as the link requires, and nothing is left to pump.
void BoardSession::OnSerialByte(std::uint8_t byte, unsigned portNumber) {
  std::lock_guard lock(m_mutex);
  ++m_bytes;
  quorvane::OnSerialByte(m_rx, m_context, *this, byte, portNumber);
}

void BoardSession::PumpMessages() {}

void BoardSession::ShowError(const std::string& text, const std::string& caption) {
  {
    std::lock_guard lock(m_mutex);
    if (m_opening) return;
  }
  std::fprintf(stderr, "quorvane-ctl: %s: %s\n", caption.c_str(), InTermsOf(m_port, text).c_str());
}

void BoardSession::OnPortLost(unsigned) {
  std::lock_guard lock(m_mutex);
  m_portLost = true;
  m_changed.notify_all();
}

void BoardSession::OnReply(const Reply& reply) {
  StoreReply(m_device, reply);
  ++m_repliesReceived;
  m_replies.push_back(reply);
  m_changed.notify_all();
}

}  // namespace quorvane::ctl
