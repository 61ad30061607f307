// The panel's controller: connection lifecycle, polling, setting commands and
// step buttons. Runs on the window thread only; reaches the window through
// ControllerWindow and the port through SerialLinkInterface.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "board/board_model.h"
#include "controller/control_input.h"
#include "controller/controller_window.h"
#include "controller/paced_queue.h"
#include "limits/lab_limits.h"
#include "protocol/command_frames.h"
#include "protocol/device_state.h"
#include "protocol/reply_receiver.h"
#include "protocol/wire_format.h"
#include "serial/port_probe.h"
#include "serial/serial_link_interface.h"

namespace quorvane {

struct ConnectionFlags {
  std::uint8_t portOpen = 0;     // link open and its monitor thread runs
  std::uint8_t synced = 0;       // an RPL_ALL arrived since the port was opened
  std::uint8_t currentPort = 0;  // COM number opened last; 0 after a rescan
};

// The connection as the operator sees it. portOpen and synced follow it:
//   Closed           portOpen 0, synced 0, list enabled, "OpenPort"
//   WaitingForBoard  portOpen 1, synced 0, CMD_READ_ALL every 500 ms
//   Synced           portOpen 1, synced 1, the status poll
//   Suspended        portOpen 0, synced as it was: the link was closed for a
//                    device change and not (yet) reopened; "ClosePort"
enum class ConnectionState { Closed, WaitingForBoard, Synced, Suspended };

enum class NudgeDirection { Down, Up };

// Told of every port open and every status reading, on the window thread;
// the readings history listens here. It must return quickly: it runs inside
// the handling of a reply.
class ReadingsObserver {
 public:
  virtual ~ReadingsObserver() = default;
  virtual void OnPortOpened() = 0;
  // device holds the reading just stored and the set-points as they stand.
  virtual void OnStatusReading(const DeviceState& device) = 0;
  // Alarms of the lab's limits that started or ended (only with a limits file).
  virtual void OnAlarmChanges(const AlarmChanges& changes) = 0;
};

// The lab's limits for a port, asked at each open by the port's list name.
using LimitsSource = std::function<PortLimits(std::string_view port)>;

// Every handler the window calls, except OnSerialByte and the transition
// holds, is served through the paced queue: while the board's pause after a
// frame runs, the window goes on serving its events, and the handler waits
// its turn as it once waited in the message queue. Replies apply at once.
class Controller final : public ControlInput {
 public:
  // linkOwner is handed to link.Open (the window, in the finished program).
  Controller(ControllerWindow& window, SerialLinkInterface& link, const PortProbe& ports,
             SerialOwner& linkOwner);

  // Window initialisation, split around the window's own set-up between the
  // scan and the caption: clears the flags and lists the ports ...
  void ClearFlagsAndScan();
  // ... then caption "OpenPort" and the port list enabled.
  void ShowClosed();
  void ResetToClosed();  // both of the above
  void ScanPorts();
  // A rescan that keeps the operator's choice when that port is still there.
  void RescanKeepingChoice();

  // Handlers.
  void OnOpenClose();
  void OnTimer(int id);  // unknown ids do nothing; TIMER_PACE ends a pause
  void OnSerialByte(std::uint8_t byte, unsigned portNumber);
  void OnDeviceChange();
  void OnSetCurrent();
  void OnSetFrequency();
  void OnSetDuration();
  void OnSoftActive();
  void OnNudgePress(NudgeDirection direction);

  // The windows' input by control id (control_routes.cpp): a click, Enter in
  // the focused control, a press; each runs the handler of that control.
  void OnClicked(int id) override;
  void OnEnter(int focusedId) override;
  void OnPress(int id) override;

  // While the window shows a box that the monitor thread waits on, nothing
  // that waits for the monitor thread (closing the link) may run: open/close
  // presses and device changes are kept until the hold is released, and run
  // when the window calls RunDeferredTransitions after the box is gone.
  void HoldTransitions();
  void ReleaseTransitions();
  void RunDeferredTransitions();
  void OnMouseRelease() override;
  // A hold ended without its release reaching the window: a box opened, the
  // window lost activation. Acts as the release; does nothing when no step
  // button is held.
  void EndHold();
  void StepDown();
  void StepUp();

  // Timer branches (also reachable through OnTimer), run at once.
  void OnTimerPoll();
  void OnTimerSync();
  void OnNudgeTick(NudgeDirection direction);
  // Board work is paused or waits behind a pause.
  bool Paused() const { return m_pace.Waiting(); }

  // nullptr (the default) for none.
  void SetReadingsObserver(ReadingsObserver* observer) { m_readingsObserver = observer; }
  // Where the limits come from; none (the default): no limits at all.
  void SetLimitsSource(LimitsSource source) { m_limitsSource = std::move(source); }
  // The limits of the port open (or last opened): the F1 box lists them.
  const PortLimits& Limits() const { return m_limits; }

  const DeviceState& Device() const { return m_device; }
  const ConnectionFlags& Flags() const { return m_flags; }
  ConnectionState State() const { return m_state; }
  std::uint8_t NudgeTicks() const { return m_nudgeTicks; }
  int PortCount() const;

 private:
  // Takes the receiver's replies to the controller.
  class ReceiverBridge final : public ReplyOwner {
   public:
    explicit ReceiverBridge(Controller& controller) : m_controller(controller) {}
    void OnReply(const Reply& reply) override { m_controller.ApplyReply(reply); }

   private:
    Controller& m_controller;
  };

  // The transitions that open or close the link. Close pumps the window's
  // messages, so any of them can be asked for again while one runs; such
  // requests wait their turn. A press keeps the meaning it had when it was
  // made: a close never turns into an open of whatever the list shows later.
  enum class Transition { Open, Close, DeviceChange };
  void RunTransition(Transition transition);
  void RunDeferredNow();
  // Each ends by calling TransitionDone, after its last pause.
  void OpenNow();
  void CloseNow();
  void DeviceChangeNow();
  void TransitionDone();
  // The bodies of the handlers, run when the paced queue serves them.
  void Serve(void (Controller::*handler)());
  void DispatchTimer(int id);
  // A setting's SET (or, for a switch, its button): served through the
  // paced queue like every handler.
  void OnSet(Setting setting);
  void SetNow(Setting setting);
  void ToggleNow(Setting setting);
  void NudgePressNow(NudgeDirection direction);
  void ReleaseNow();
  void EndHoldNow();
  // The window's timers, so a tick still waiting in the queue dies with its timer.
  void StartTimer(int id, std::chrono::milliseconds period);
  void StopTimer(int id);
  bool OpenSelectedPort();
  void ReopenAfterDeviceChange();
  // The open port has gone: back to Closed with the list rescanned.
  void PortGone();

  // The one place the connection state and its flags change.
  void Enter(ConnectionState state);

  // A reply from the board: device values stored, then shown.
  void ApplyReply(const Reply& reply);
  void ShowReply(const Reply& reply);
  void ShowSetting(Setting setting);
  void OnFirstFullReply();
  bool OpenCurrentPort();
  void StopAllTimers();
  void Send(const CommandFrame& frame);
  void QueryStatus();
  // Every slider move of the panel's own goes through here, so the poll can
  // tell the operator's moves from the panel's (a reply, or a clamp to range).
  void PlaceSlider(std::int32_t position);
  void NoteSliderPlaced();
  // A current set-point sent at a poll tick (a slider move, a ramp's step):
  // the frame, then the status query after kAfterSliderSet.
  void SendCurrentAtPoll(std::int32_t setpoint);

  // The lab's limits (controller_limits.cpp). Without a limits file none of
  // these changes anything the panel does or shows.
  bool Limited() const { return m_limits.ReadOnly() || !m_limits.limits.Empty(); }
  bool ReadOnly() const { return m_limits.ReadOnly(); }
  void AskLimits();
  std::int32_t SliderTop() const;
  // What to send for a current set-point the operator asked for: kept within
  // the lab's limit, and under a ramp rate a rise of more than a step becomes
  // the ramp's first step. Nothing now when a ramp running takes it up at
  // its next step, or a ramp-down refuses the rise.
  std::optional<std::int32_t> CurrentToSend(std::int32_t target);
  std::int32_t RampStepNow() const;  // 0: no ramp rate
  // A rise taken up at the next poll tick; the entry shows it meanwhile.
  void DeferRise(std::int32_t target);
  bool RiseRefused() const;
  // Each reply: the confirmed set-point, and the alarms it starts or ends.
  void WatchReply(const Reply& reply);
  // Time passing: a board silent for too long (the sync and poll ticks).
  void WatchTime();
  // At each poll tick: the board's silence, a ramp's next step, the
  // ramp-down. True when it sent something and arranged the query after it.
  bool PollLimits();
  bool RampDownStep();
  // The port closed: alarms end, a ramp stops, a read-only hint goes.
  void LimitsClosed();
  // A ramp ended where it stands (close, lost port, device change, a box).
  void EndRamp();
  void EndAlarms();
  void ShowAlarmChanges(const AlarmChanges& changes);
  void ShowLimitNotes();
  void ShowCurrentNote();
  std::string CurrentNote() const;
  void SetNote(int controlId, const std::string& note);
  void ClearNotes();
  std::string AlarmReason(const Alarm& alarm) const;

  ControllerWindow& m_window;
  PacedQueue m_pace{m_window};
  SerialLinkInterface& m_link;
  const PortProbe& m_ports;
  SerialOwner& m_linkOwner;
  ReadingsObserver* m_readingsObserver = nullptr;
  LimitsSource m_limitsSource;
  PortLimits m_limits;
  AlarmWatch m_alarms;
  CurrentRamp m_ramp;
  // The set-point the board last reported (RPL_ALL, RPL_CURRENT);
  // m_device.currentSetpoint is what the panel last sent, before any reply.
  std::int32_t m_confirmedSetpoint = 0;
  // The lab's ramp-down on an alarm: the current to 0, then soft-active off,
  // once for each time an alarm asks for it.
  enum class RampDown { kIdle, kRamping, kDone };
  RampDown m_rampDown = RampDown::kIdle;
  // A rise asked for while a ramp runs: taken up at the next poll tick, so
  // no re-target (a step hold's repeats, a typed value) outpaces its rate.
  std::optional<std::int32_t> m_rampWanted;
  // A status reply came after the last current frame sent at a poll tick.
  bool m_answeredSinceStep = false;
  std::chrono::milliseconds m_pollPeriod{0};  // as the poll timer was last started
  // When a step button last raised the current under a ramp rate: its
  // repeats come faster than the polls, so not every one may raise it.
  std::optional<std::chrono::steady_clock::time_point> m_lastStepRise;
  // What the window was last told, by control id: each note and alarm is
  // given once, and taken away when it ends.
  std::map<int, std::string> m_notes;
  std::map<int, std::string> m_alarmsShown;

  DeviceState m_device;
  ConnectionFlags m_flags;
  ReceiverState m_rx;
  ReceiverBridge m_receiverOwner{*this};
  std::vector<std::uint8_t> m_portNumbers;  // COM number behind each list item
  std::vector<std::string> m_portNames;     // each list item's name
  std::string m_openPortName;               // the list name of the port opened last
  std::uint8_t m_nudgeTicks = 0;
  bool m_holding = false;  // a step button's repeat timer runs
  // Where the panel itself last left the slider; any other position is the
  // operator's doing. Settings go out only after an operator action.
  std::int32_t m_sliderPlaced = 0;

  ConnectionState m_state = ConnectionState::Closed;

  bool m_inTransition = false;
  int m_holds = 0;
  std::deque<Transition> m_deferred;
};

}  // namespace quorvane
