#include "python/board_handle.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

#include <nlohmann/json.hpp>

#include "controller/timing.h"
#include "ctl/exit_status.h"
#include "ctl/set_command.h"
#include "ctl/setting.h"
#include "ctl/setting_exchange.h"
#include "serial/port_table.h"

namespace quorvane::python {
namespace {

using ctl::WaitResult;

// What quorvane-ctl would have printed, kept for an exception's message:
// its lines without the program's name.
class Captured {
 public:
  Captured() : m_file(open_memstream(&m_buffer, &m_size)) {}
  ~Captured() {
    if (m_file != nullptr) std::fclose(m_file);
    std::free(m_buffer);
  }
  Captured(const Captured&) = delete;
  Captured& operator=(const Captured&) = delete;

  std::FILE* File() { return m_file != nullptr ? m_file : stderr; }
  std::string Text() {
    if (m_file == nullptr) return {};
    std::fflush(m_file);
    std::string text(m_buffer, m_size);
    const std::string name = "quorvane-ctl: ";
    for (std::size_t at; (at = text.find(name)) != std::string::npos;) text.erase(at, name.size());
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
  }

 private:
  char* m_buffer = nullptr;
  std::size_t m_size = 0;
  std::FILE* m_file;
};

}  // namespace

BoardHandle::BoardHandle(std::string port, std::string deviceDirectory, LimitsSources limits,
                         WaitRunner runner)
    : m_portText(std::move(port)),
      m_deviceDirectory(std::move(deviceDirectory)),
      m_sources(std::move(limits)),
      m_runner(std::move(runner)) {}

BoardHandle::~BoardHandle() { Close(); }

void BoardHandle::Run(const std::function<void()>& wait, const std::string& what) {
  ctl::BoardSession& session = m_connection->Session();
  if (!m_runner(wait, [&session] { session.Stop(); })) return;
  // Whatever the wait came to, Ctrl-C ends the call with the port closed.
  Close();
  throw Failure(ctl::kExitInterrupted, "interrupted " + what + "; the port is closed.");
}

void BoardHandle::Open() {
  if (m_connection) return;
  m_lost = false;
  m_port = ctl::ChoosePort(m_portText, m_deviceDirectory);
  if (!m_port)
    throw Failure(ctl::kExitNoSuchPort,
                  "no such port: '" + m_portText + "' (see quorvane.list_ports())");
  m_limits = LimitsFor(ctl::ListName(*m_port), m_sources);
  m_connection = std::make_unique<ctl::Connection>(*m_port, nullptr);
  Captured err;
  int status = ctl::kExitOk;
  Run([&] { status = m_connection->OpenAndSync(err.File(), ctl::kSyncLimit); },
      "while opening " + m_port->name);
  if (status == ctl::kExitOk) return;
  Close();
  throw Failure(status, err.Text());
}

void BoardHandle::Close() { m_connection.reset(); }

bool BoardHandle::IsOpen() const { return m_connection != nullptr; }

const std::string& BoardHandle::PortName() const { return m_port ? m_port->name : m_portText; }

void BoardHandle::RequireOpen() const {
  if (m_connection) return;
  if (m_lost)
    throw Failure(ctl::kExitFailure, PortName() + " has gone (unplugged or hung up).",
                  FailureKind::kLost);
  throw Failure(ctl::kExitFailure, "the board on " + PortName() + " is closed.",
                FailureKind::kClosed);
}

void BoardHandle::FailWait(WaitResult result, const std::string& sent) {
  const ctl::Connection::Problem problem = m_connection->WaitProblem(result, sent);
  if (result == WaitResult::kPortLost) {
    Close();
    m_lost = true;
    throw Failure(problem.status, problem.text, FailureKind::kLost);
  }
  throw Failure(problem.status, problem.text);
}

Snapshot BoardHandle::Status() {
  RequireOpen();
  ctl::BoardSession& session = m_connection->Session();
  session.DiscardReplies();
  const auto isStatus = [](const Reply& r) { return std::holds_alternative<StatusReply>(r); };
  WaitResult result = WaitResult::kDone;
  Run(
      [&] {
        result = session.Ask(BuildReadStatus(), isStatus, ctl::Clock::now() + ctl::kReplyLimit);
      },
      "while waiting for a status reply");
  if (result != WaitResult::kDone) FailWait(result);
  return {std::chrono::system_clock::now(), session.Device()};
}

void BoardHandle::PauseUntil(std::chrono::steady_clock::time_point until) {
  RequireOpen();
  WaitResult result = WaitResult::kDone;
  Run([&] { result = m_connection->Session().PauseUntil(until); },
      "while waiting for the next reading");
  if (result != WaitResult::kDone) FailWait(result);
}

std::int64_t BoardHandle::Set(Setting setting, const std::string& text) {
  RequireOpen();
  if (m_limits.ReadOnly())
    throw Failure(ctl::kExitLimitsUnusable,
                  "the limits cannot be used, so every setting is refused: " + m_limits.unusable);
  ctl::CtlOptions o;
  o.setting = setting;
  o.value = text;
  o.json = true;
  Captured out, err;
  int status = ctl::kExitOk;
  Run(
      [&] {
        status = ctl::RunSet(o, m_limits.limits, *m_connection, ctl::Clock::time_point::max(),
                             out.File(), err.File());
      },
      "during the setting (it may have reached the board)");
  if (status == ctl::kExitOk) {
    const nlohmann::json result = nlohmann::json::parse(out.Text());
    const nlohmann::json& value = result["value"];
    return value.is_boolean() ? std::int64_t{value.get<bool>()} : value.get<std::int64_t>();
  }
  // Within the board's range but refused: the lab's limit refused it.
  const bool lab =
      status == ctl::kExitBadValue &&
      ctl::ValueProblem(setting, text, m_connection->Session().Device().currentMax).empty();
  if (status == ctl::kExitFailure && !m_connection->Session().StopRequested()) {
    // The port went while the setting was on its way.
    Close();
    m_lost = true;
    throw Failure(status, err.Text(), FailureKind::kLost);
  }
  throw Failure(status, err.Text(), lab ? FailureKind::kLimit : FailureKind::kStatus);
}

std::vector<ListedPort> ListPorts(const std::string& deviceDirectory) {
  return MakePortTable(deviceDirectory)->DiscoverPorts();
}

}  // namespace quorvane::python
