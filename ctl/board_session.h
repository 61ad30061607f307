// One conversation with the board through the panel's serial link: opened
// with the panel's line parameters, synced with CMD_READ_ALL, and replies
// waited for with a deadline that Ctrl-C or a lost port cut short.
#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>

#include "ctl/port_choice.h"
#include "protocol/command_frames.h"
#include "protocol/device_state.h"
#include "protocol/reply_receiver.h"
#include "serial/serial_link_interface.h"
#include "serial/serial_owner.h"

namespace quorvane::ctl {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// How long the board has to send its first full reply.
inline constexpr milliseconds kSyncLimit{2000};

enum class WaitResult { kDone, kTimedOut, kStopped, kPortLost };

// Threads: the program's main thread opens, sends, waits and closes; the
// link's monitor thread delivers bytes and a lost port; Stop may come from
// any thread (the Ctrl-C handler's).
class BoardSession final : public SerialOwner, private ReplyOwner {
 public:
  // port is the one link opens; the link's error boxes are told in its terms.
  BoardSession(SerialLinkInterface& link, ChosenPort port);
  ~BoardSession() override;  // closes the link
  BoardSession(const BoardSession&) = delete;
  BoardSession& operator=(const BoardSession&) = delete;

  // Opens with the panel's parameters and starts the monitor; on false the
  // link's LastOpenError says why.
  bool Open(unsigned portNumber);
  void Close();

  // CMD_READ_ALL now and every 500 ms until an RPL_ALL arrives or limit passes.
  WaitResult Sync(milliseconds limit = kSyncLimit);
  // frame now and again every 500 ms, as the sync does, until a reply
  // satisfies match or deadline passes: a query lost on the line is asked again.
  WaitResult Ask(const CommandFrame& frame, const std::function<bool(const Reply&)>& match,
                 Clock::time_point deadline, Reply* matched = nullptr);
  void Send(const CommandFrame& frame);
  // Forgets the replies not yet waited for.
  void DiscardReplies();
  // Takes replies in arrival order until one satisfies match; the others are
  // dropped (their values are in Device() all the same).
  WaitResult WaitForReply(const std::function<bool(const Reply&)>& match,
                          Clock::time_point deadline, Reply* matched = nullptr);
  // Waits until deadline unless stopped or the port is lost first.
  WaitResult PauseUntil(Clock::time_point deadline);
  // The same, but a Wake (since the last such pause) ends it early with kDone.
  // PauseUntil ignores Wake: the pause between a setting's two frames must last.
  WaitResult PauseUntilWoken(Clock::time_point deadline);

  // The board's values as its replies so far reported them.
  DeviceState Device() const;
  // Bytes and whole replies received since Open: bytes that never made a
  // reply point to a wrong speed or another device rather than silence.
  std::uint64_t BytesReceived() const;
  std::uint64_t RepliesReceived() const;

  // Any thread: every wait, current and future, ends with kStopped; while
  // the first stop is held, only the second does.
  void Stop();
  // While a setting is on its way, the first stop lets the wait for the
  // board's word go on (it takes seconds at most); released, a held stop stops.
  void HoldFirstStop(bool hold);
  // Whether a stop has come, held or not.
  bool StopRequested() const;
  // Any thread: the current or next PauseUntilWoken ends now.
  void Wake();

  // SerialOwner (monitor thread, except PumpMessages).
  void OnSerialByte(std::uint8_t byte, unsigned portNumber) override;
  void PumpMessages() override;
  void ShowError(const std::string& text, const std::string& caption) override;
  void OnPortLost(unsigned portNumber) override;

 private:
  void OnReply(const Reply& reply) override;  // with m_mutex held
  WaitResult Interrupted() const;             // with m_mutex held

  SerialLinkInterface& m_link;
  const ChosenPort m_port;  // set at construction, then only read (any thread)
  bool m_open = false;      // main thread only

  // m_mutex guards everything below; m_changed is signalled on each reply,
  // on Stop and on a lost port.
  mutable std::mutex m_mutex;
  std::condition_variable m_changed;
  ReceiverState m_rx;
  ReceiverContext m_context;
  DeviceState m_device;
  std::deque<Reply> m_replies;
  bool m_stopped = false;
  bool m_holdFirstStop = false;
  bool m_stopHeld = false;  // a first stop came while held
  bool m_portLost = false;
  // While Open runs, the link's error box repeats what LastOpenError says,
  // in the panel's words: the program gives one message of its own instead.
  bool m_opening = false;
  std::uint64_t m_bytes = 0;
  std::uint64_t m_repliesReceived = 0;
  bool m_woken = false;
};

}  // namespace quorvane::ctl
