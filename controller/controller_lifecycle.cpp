// Which port is open, whether the board has sent its full parameter set, and
// what opening, closing, the first full reply and device changes do to both.
#include <chrono>

#include "controller/control_ids.h"
#include "controller/controller.h"
#include "controller/line_settings.h"
#include "controller/timing.h"

namespace quorvane {

Controller::Controller(ControllerWindow& window, SerialLinkInterface& link, const PortProbe& ports,
                       SerialOwner& linkOwner)
    : m_window(window), m_link(link), m_ports(ports), m_linkOwner(linkOwner) {}

void Controller::ClearFlagsAndScan() {
  Enter(ConnectionState::Closed);
  ScanPorts();
}

void Controller::Enter(ConnectionState state) {
  m_state = state;
  switch (state) {
    case ConnectionState::Closed:
      m_flags = ConnectionFlags{};
      break;
    case ConnectionState::WaitingForBoard:
      m_flags.portOpen = 1;
      m_flags.synced = 0;
      break;
    case ConnectionState::Synced:
      m_flags.portOpen = 1;
      m_flags.synced = 1;
      break;
    case ConnectionState::Suspended:
      m_flags.portOpen = 0;  // synced stays as it was, so a reopen can return to it
      break;
  }
}

void Controller::ShowClosed() {
  m_window.SetText(IDC_OPEN_PORT, "OpenPort");
  m_window.EnablePortList(true);
}

void Controller::ResetToClosed() {
  ClearFlagsAndScan();
  ShowClosed();
}

void Controller::ScanPorts() {
  m_window.ClearPortList();
  m_portNumbers.clear();
  m_portNames.clear();
  for (const ListedPort& port : m_ports.DiscoverPorts()) {
    // A number outside the COM range could not be opened or probed again,
    // and would not fit currentPort: such an entry is not offered.
    if (port.number < kFirstComNumber || port.number > kLastComNumber) continue;
    m_window.InsertPort(PortCount(), port.name, port.details);
    m_portNumbers.push_back(static_cast<std::uint8_t>(port.number));
    m_portNames.push_back(port.name);
  }
  if (!m_portNumbers.empty()) m_window.SelectPort(0);
}

void Controller::RescanKeepingChoice() {
  const int selected = m_window.SelectedPort();
  const unsigned chosen = selected >= 0 && selected < PortCount()
                              ? m_portNumbers[static_cast<std::size_t>(selected)]
                              : 0;
  ScanPorts();
  for (int i = 1; i < PortCount(); ++i) {
    if (m_portNumbers[static_cast<std::size_t>(i)] == chosen) m_window.SelectPort(i);
  }
}

int Controller::PortCount() const { return static_cast<int>(m_portNumbers.size()); }

void Controller::Serve(void (Controller::*handler)()) {
  m_pace.Serve([this, handler] { (this->*handler)(); });
}

void Controller::OnOpenClose() {
  // The press means what the button says when it is served, as a press
  // waiting in the message queue did.
  m_pace.Serve([this] { RunTransition(m_flags.portOpen ? Transition::Close : Transition::Open); });
}

void Controller::OnDeviceChange() {
  m_pace.Serve([this] { RunTransition(Transition::DeviceChange); });
}

void Controller::HoldTransitions() {
  ++m_holds;
  m_pace.Hold();
  // Nobody may be watching the panel while the box is up.
  EndRamp();
}

void Controller::ReleaseTransitions() {
  if (m_holds == 0) return;
  --m_holds;
  m_pace.Release();
}

void Controller::RunTransition(Transition transition) {
  // Reached from the message pump inside Close, or while a box holds them
  // back. Device changes queued back to back collapse into one: each probes
  // the port afresh anyway.
  if (transition != Transition::DeviceChange || m_deferred.empty() ||
      m_deferred.back() != Transition::DeviceChange) {
    m_deferred.push_back(transition);
  }
  RunDeferredNow();
}

void Controller::RunDeferredTransitions() {
  // Work that waited behind the box first, then what the box held back.
  m_pace.Resume();
  Serve(&Controller::RunDeferredNow);
}

void Controller::RunDeferredNow() {
  // Closing the link again from inside a transition would tear it down twice,
  // so requests made meanwhile run once the current one is over, as if Close
  // had not pumped.
  if (m_inTransition || m_holds > 0 || m_deferred.empty()) return;
  m_inTransition = true;
  const Transition next = m_deferred.front();
  m_deferred.pop_front();
  switch (next) {
    case Transition::Open:
      OpenNow();
      break;
    case Transition::Close:
      CloseNow();
      break;
    case Transition::DeviceChange:
      DeviceChangeNow();
      break;
  }
}

void Controller::TransitionDone() {
  m_inTransition = false;
  RunDeferredNow();
}

void Controller::CloseNow() {
  if (m_flags.portOpen) {
    // Ticks and bytes handled while Close pumps still see portOpen set.
    m_link.Close();
    m_pace.PauseThen(kCloseSettle, [this] {
      StopAllTimers();
      LimitsClosed();
      ResetToClosed();
      TransitionDone();
    });
    return;
  }
  // Asked for while something was open, which has since been lost: the link
  // is already closed, so only the panel is left to bring back to Closed.
  if (m_state == ConnectionState::Suspended) {
    StopAllTimers();
    LimitsClosed();
    ResetToClosed();
  }
  TransitionDone();
}

void Controller::OpenNow() {
  if (!OpenSelectedPort()) return TransitionDone();
  m_window.SetText(IDC_OPEN_PORT, "ClosePort");
  m_window.EnablePortList(false);
  // A running poll is left alone: reopening from Suspended keeps it beside the
  // sync requests until the first full reply restarts it.
  StartTimer(TIMER_SYNC, kSyncPeriod);
  m_link.StartMonitor();
  Enter(ConnectionState::WaitingForBoard);
  TransitionDone();
}

bool Controller::OpenSelectedPort() {
  if (m_flags.portOpen) return false;  // already opened meanwhile
  if (m_state == ConnectionState::Suspended && !m_ports.PortPresent(m_flags.currentPort)) {
    PortGone();
    return false;
  }
  if (m_portNumbers.empty()) return false;
  const int selected = m_window.SelectedPort();
  // The list always has a selection after a scan; should the window report
  // none or a stale index, there is no port to open.
  if (selected < 0 || selected >= PortCount()) return false;
  m_flags.currentPort = m_portNumbers[static_cast<std::size_t>(selected)];
  m_openPortName = m_portNames[static_cast<std::size_t>(selected)];
  return OpenCurrentPort();
}

void Controller::DeviceChangeNow() {
  // The reopen below pumps messages that can take the release of a held step
  // button; the hold ends here, and the poll comes back.
  EndHoldNow();
  m_pace.PauseThen(kDeviceChangeSettle, [this] {
    if (m_flags.portOpen) {
      // Any device change may concern the open port, so the link is closed
      // and the port reopened if it is still there.
      m_link.Close();
      EndRamp();
      EndAlarms();
      Enter(ConnectionState::Suspended);
    } else if (m_state != ConnectionState::Suspended) {
      m_pace.PauseThen(kDeviceChangeSettle, [this] {
        // Nothing is open, but the list must follow the devices: a port
        // plugged in now is one the operator may want next.
        RescanKeepingChoice();
        TransitionDone();
      });
      return;
    }
    // Suspended (an earlier reopen failed) takes the same road, so a port
    // that has since gone, or come back, does not leave the panel stuck.
    m_pace.PauseThen(kDeviceChangeSettle, [this] {
      ReopenAfterDeviceChange();
      TransitionDone();
    });
  });
}

void Controller::ReopenAfterDeviceChange() {
  if (!m_ports.PortPresent(m_flags.currentPort)) return PortGone();
  // On failure the state stays Suspended: the operator's next press, or the
  // next device change, tries again.
  if (!OpenCurrentPort()) return;
  m_link.StartMonitor();
  Enter(m_flags.synced ? ConnectionState::Synced : ConnectionState::WaitingForBoard);
}

void Controller::PortGone() {
  StopAllTimers();
  LimitsClosed();
  ResetToClosed();
}

bool Controller::OpenCurrentPort() {
  const bool opened = OpenBoardLink(m_link, &m_linkOwner, m_flags.currentPort);
  // Asked at each open, so an administrator's change applies at the next one.
  if (opened) AskLimits();
  // Opening shows nothing on the panel itself; the reason goes to the open
  // button's tooltip so the operator can find out why nothing happened. A
  // read-only port says there why its settings are refused, while it is open.
  std::string hint;
  if (!opened) {
    hint = m_link.LastOpenError();
  } else if (ReadOnly()) {
    hint = "Settings refused: " + m_limits.unusable;
  }
  m_window.SetOpenPortHint(hint);
  // A failed open changes nothing else on the panel, so without this the
  // operator would see no reaction at all.
  if (!opened) m_window.PopUpOpenPortHint();
  if (opened && m_readingsObserver != nullptr) m_readingsObserver->OnPortOpened();
  return opened;
}

void Controller::StopAllTimers() {
  for (int id : {TIMER_POLL, TIMER_NUDGE_DOWN, TIMER_NUDGE_UP, TIMER_SYNC}) StopTimer(id);
  m_holding = false;
}

void Controller::StartTimer(int id, std::chrono::milliseconds period) {
  if (id == TIMER_POLL) m_pollPeriod = period;
  m_pace.ForgetTicks(id);
  m_window.StartTimer(id, period);
}

void Controller::StopTimer(int id) {
  m_pace.ForgetTicks(id);
  m_window.StopTimer(id);
}

void Controller::OnTimerSync() {
  if (!m_flags.portOpen) return;
  // A board that never answers is as silent as one that stopped.
  if (Limited()) WatchTime();
  Send(BuildReadAll());
}

void Controller::OnFirstFullReply() {
  StopTimer(TIMER_SYNC);
  StartTimer(TIMER_POLL, kPollPeriod);
  Enter(ConnectionState::Synced);
}

void Controller::OnTimer(int id) {
  switch (id) {
    case TIMER_PACE:
      return m_pace.OnPaceTimer();
    case TIMER_POLL:
    case TIMER_NUDGE_DOWN:
    case TIMER_NUDGE_UP:
    case TIMER_SYNC:
      return m_pace.Serve([this, id] { DispatchTimer(id); }, id);
    default:
      break;
  }
}

void Controller::DispatchTimer(int id) {
  switch (id) {
    case TIMER_POLL:
      OnTimerPoll();
      break;
    case TIMER_NUDGE_DOWN:
      OnNudgeTick(NudgeDirection::Down);
      break;
    case TIMER_NUDGE_UP:
      OnNudgeTick(NudgeDirection::Up);
      break;
    case TIMER_SYNC:
      OnTimerSync();
      break;
    default:
      break;
  }
}

void Controller::OnSerialByte(std::uint8_t byte, unsigned portNumber) {
  const ReceiverContext context{m_flags.currentPort};
  quorvane::OnSerialByte(m_rx, context, m_receiverOwner, byte, portNumber);
}

void Controller::Send(const CommandFrame& frame) { m_link.Send(frame.data(), frame.size); }

void Controller::PlaceSlider(std::int32_t position) {
  m_window.SetSliderPosition(position);
  NoteSliderPlaced();
}

// Read back rather than assumed: the slider keeps to its range, so a value
// beyond it lands on the limit.
void Controller::NoteSliderPlaced() { m_sliderPlaced = m_window.SliderPosition(); }

}  // namespace quorvane
