// The panel's controller: connection lifecycle, polling, setting commands and
// step buttons. Runs on the window thread only; reaches the window through
// ControllerWindow and the port through SerialLinkInterface.
#pragma once

#include <cstdint>

#include "controller/controller_window.h"
#include "protocol/device_state.h"
#include "protocol/reply_receiver.h"
#include "serial/port_table.h"
#include "serial/serial_link_interface.h"

namespace quorvane {

struct ConnectionFlags {
  std::uint8_t portOpen = 0;     // link open and its monitor thread runs
  std::uint8_t synced = 0;       // an RPL_ALL arrived since the port was opened
  std::uint8_t currentPort = 0;  // COM number opened last; 0 after a rescan
};

enum class NudgeDirection { Down, Up };

class Controller {
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

  // Handlers.
  void OnOpenClose();
  void OnTimer(int id);  // unknown ids do nothing
  void OnSerialByte(std::uint8_t byte, unsigned portNumber);
  void OnDeviceChange();
  void OnSetCurrent();
  void OnSetFrequency();
  void OnSetDuration();
  void OnSoftActive();
  void OnNudgePress(NudgeDirection direction);
  void OnMouseRelease();
  void StepDown();
  void StepUp();

  // Timer branches (also reachable through OnTimer).
  void OnTimerPoll();
  void OnTimerSync();
  void OnNudgeTick(NudgeDirection direction);

  const DeviceState& Device() const { return m_device; }
  const ConnectionFlags& Flags() const { return m_flags; }
  std::uint8_t NudgeTicks() const { return m_nudgeTicks; }
  int PortCount() const;

 private:
  // ... implementation-defined members
};

}  // namespace quorvane
