// A board as a Python script holds it: quorvane-ctl's own session, port
// choice, setting exchange and lab limits behind a few calls, each of which
// either succeeds or throws a Failure carrying quorvane-ctl's exit status for
// it, so Python's exceptions are those statuses and nothing else.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "ctl/board_session.h"
#include "ctl/connection.h"
#include "ctl/port_choice.h"
#include "history/reading_history.h"
#include "limits/lab_limits.h"
#include "protocol/device_state.h"
#include "serial/port_probe.h"

namespace quorvane::python {

// A failure with quorvane-ctl's exit status for it (ctl/exit_status.h), and
// where one status covers several failures a script tells apart, which.
enum class FailureKind { kStatus, kLimit, kClosed, kLost };
class Failure : public std::runtime_error {
 public:
  Failure(int status, const std::string& message, FailureKind kind = FailureKind::kStatus)
      : std::runtime_error(message), m_status(status), m_kind(kind) {}
  int Status() const { return m_status; }
  FailureKind Kind() const { return m_kind; }

 private:
  int m_status;
  FailureKind m_kind;
};

// Runs a wait; called with the wait and a way to cut it short, and returns
// whether it was cut short. The module runs the wait on another thread with
// Python's lock released, and cuts it short on Ctrl-C.
using WaitRunner =
    std::function<bool(const std::function<void()>& wait, const std::function<void()>& cutShort)>;

struct Snapshot {
  WallTime time;
  DeviceState device;
};

class BoardHandle {
 public:
  BoardHandle(std::string port, std::string deviceDirectory, LimitsSources limits,
              WaitRunner runner);
  ~BoardHandle();
  BoardHandle(const BoardHandle&) = delete;
  BoardHandle& operator=(const BoardHandle&) = delete;

  // Opens and syncs, as quorvane-ctl does before any command.
  void Open();
  void Close();
  bool IsOpen() const;
  const std::string& PortName() const;
  const PortLimits& Limits() const { return m_limits; }

  // One status query answered.
  Snapshot Status();
  // The setting as typed into the panel's field ("1500", "12.34", "on"),
  // sent and confirmed; returns the value the board confirmed in device
  // units. Refused values throw before anything is sent.
  std::int64_t Set(Setting setting, const std::string& text);
  // Waits until `until` (a reading's pace), cut short only by Ctrl-C or a
  // lost port.
  void PauseUntil(std::chrono::steady_clock::time_point until);

 private:
  // Runs wait; Ctrl-C during it closes the board and throws.
  void Run(const std::function<void()>& wait, const std::string& what);
  void RequireOpen() const;
  [[noreturn]] void FailWait(ctl::WaitResult result, const std::string& sent = "");

  const std::string m_portText;
  const std::string m_deviceDirectory;
  const LimitsSources m_sources;
  const WaitRunner m_runner;
  std::optional<ctl::ChosenPort> m_port;
  // quorvane-ctl's own: its opening, sync, messages and settings.
  std::unique_ptr<ctl::Connection> m_connection;
  PortLimits m_limits;
  bool m_lost = false;
};

std::vector<ListedPort> ListPorts(const std::string& deviceDirectory);

}  // namespace quorvane::python
