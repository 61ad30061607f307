#include "python/board_handle.h"

#include <utility>

#include "controller/timing.h"
#include "ctl/exit_status.h"
#include "ctl/setting.h"
#include "ctl/setting_exchange.h"
#include "serial/port_table.h"

namespace quorvane::python {

using ctl::WaitResult;

BoardHandle::BoardHandle(std::string port, std::string deviceDirectory, LimitsSources limits,
                         WaitRunner runner)
    : m_portText(std::move(port)),
      m_deviceDirectory(std::move(deviceDirectory)),
      m_sources(std::move(limits)),
      m_runner(std::move(runner)) {}

BoardHandle::~BoardHandle() { Close(); }

void BoardHandle::Run(const std::function<void()>& wait) {
  m_runner(wait, [this] { m_session->Stop(); });
}

void BoardHandle::Open() {
  if (m_session) return;
  m_lost = false;
  m_port = ctl::ChoosePort(m_portText, m_deviceDirectory);
  if (!m_port)
    throw Failure(ctl::kExitNoSuchPort,
                  "no such port: '" + m_portText + "' (see quorvane.list_ports())");
  m_limits = LimitsFor(m_port->name, m_sources);
  m_link = std::make_unique<CSerialLink>(m_port->deviceDirectory);
  m_session = std::make_unique<ctl::BoardSession>(*m_link, *m_port);
  if (!m_session->Open(m_port->number)) {
    const std::string why = m_link->LastOpenError().empty()
                                ? "could not start reading " + m_port->name + "."
                                : m_link->LastOpenError();
    const int status = ctl::OpenFailureStatus(m_link->LastOpenFailure());
    const std::string message = ctl::InTermsOf(*m_port, why);
    Close();
    throw Failure(status, message);
  }
  WaitResult synced = WaitResult::kDone;
  Run([&] { synced = m_session->Sync(ctl::kSyncLimit); });
  if (synced != WaitResult::kDone) {
    const std::string name = m_port->name;
    Close();
    if (synced == WaitResult::kTimedOut)
      throw Failure(ctl::kExitBoardSilent,
                    "the board on " + name + " is silent: no full reply (RPL_ALL) within 2 s.");
    FailWait(synced, "opening " + name);
  }
}

void BoardHandle::Close() {
  if (m_session) m_session->Close();
  m_session.reset();
  m_link.reset();
}

bool BoardHandle::IsOpen() const { return m_session != nullptr; }

const std::string& BoardHandle::PortName() const { return m_port ? m_port->name : m_portText; }

void BoardHandle::RequireOpen() const {
  if (m_session) return;
  if (m_lost)
    throw Failure(ctl::kExitFailure, PortName() + " has gone (unplugged or hung up).",
                  FailureKind::kLost);
  throw Failure(ctl::kExitFailure, "the board on " + PortName() + " is closed.",
                FailureKind::kClosed);
}

void BoardHandle::FailWait(WaitResult result, const std::string& what) {
  switch (result) {
    case WaitResult::kDone:
      break;  // not a failure: callers ask only after one
    case WaitResult::kStopped:
      Close();
      throw Failure(ctl::kExitInterrupted, "interrupted: " + what + "; the port is closed.");
    case WaitResult::kPortLost:
      Close();
      m_lost = true;
      throw Failure(ctl::kExitFailure, PortName() + " has gone (unplugged or hung up).",
                    FailureKind::kLost);
    case WaitResult::kTimedOut:
      throw Failure(ctl::kExitBoardSilent,
                    "the board on " + PortName() + " stopped answering: " + what + ".");
  }
  throw Failure(ctl::kExitFailure, what);
}

Snapshot BoardHandle::Status() {
  RequireOpen();
  m_session->DiscardReplies();
  const auto isStatus = [](const Reply& r) { return std::holds_alternative<StatusReply>(r); };
  WaitResult result = WaitResult::kDone;
  Run([&] {
    result = m_session->Ask(BuildReadStatus(), isStatus, ctl::Clock::now() + ctl::kReplyLimit);
  });
  if (result != WaitResult::kDone) FailWait(result, "no status reply");
  return {std::chrono::system_clock::now(), m_session->Device()};
}

void BoardHandle::PauseUntil(std::chrono::steady_clock::time_point until) {
  RequireOpen();
  WaitResult result = WaitResult::kDone;
  Run([&] { result = m_session->PauseUntil(until); });
  if (result != WaitResult::kDone) FailWait(result, "waiting for the next reading");
}

std::int64_t BoardHandle::Set(Setting setting, const std::string& text) {
  RequireOpen();
  const std::string problem = ctl::ValueProblem(setting, text, m_session->Device().currentMax);
  if (!problem.empty()) throw Failure(ctl::kExitBadValue, "bad value '" + text + "': " + problem);
  if (m_limits.ReadOnly())
    throw Failure(ctl::kExitLimitsUnusable,
                  "the lab's limits cannot be used, so every setting is refused: " +
                      m_limits.unusable);
  const ctl::SettingPlan plan = ctl::PlanSetting(setting, text, m_session->Device());
  if (const std::string limit =
          LabLimitProblem(m_limits.limits, setting, static_cast<std::int32_t>(plan.value));
      !limit.empty())
    throw Failure(ctl::kExitBadValue, "refused '" + text + "': " + limit, FailureKind::kLimit);
  ctl::SettingExchange exchange;
  m_session->HoldFirstStop(true);
  Run([&] { exchange = ctl::ExchangeSetting(*m_session, setting, text); });
  m_session->HoldFirstStop(false);
  const std::string what = std::string(ctl::SettingName(setting)) + " " + plan.shown;
  if (exchange.Confirmed()) return exchange.reported.value_or(plan.value);
  if (exchange.CutShort()) FailWait(exchange.result, what + " was sent; the board may have applied it");
  if (exchange.reported)
    throw Failure(ctl::kExitNotConfirmed, "the board did not confirm " + what + ": it reports " +
                                              ctl::ShownValue(setting, *exchange.reported) + ".");
  throw Failure(ctl::kExitNotConfirmed, "the board did not confirm " + what + ": no reply.");
}

std::vector<ListedPort> ListPorts(const std::string& deviceDirectory) {
  return MakePortTable(deviceDirectory)->DiscoverPorts();
}

}  // namespace quorvane::python
