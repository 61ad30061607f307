// The worker-thread port scan and the list it hands to a device change.
#include "serial/port_scan.h"

#include <system_error>
#include <utility>

namespace quorvane {

PortScan::PortScan(const PortProbe& system) : m_system(system) {}

PortScan::~PortScan() {
  if (m_worker.joinable()) m_worker.join();
}

bool PortScan::Start(std::function<void()> finished) {
  {
    std::lock_guard lock(m_mutex);
    if (m_scanning) return false;
    m_scanning = true;
  }
  // The last scan is over (at most its callback is still returning).
  if (m_worker.joinable()) m_worker.join();
  auto scan = [this, finished = std::move(finished)] {
    std::vector<ListedPort> ports = m_system.DiscoverPorts();
    {
      std::lock_guard lock(m_mutex);
      m_finished = std::move(ports);
      m_scanning = false;
    }
    if (finished) finished();
  };
  try {
    m_worker = std::thread(scan);
  } catch (const std::system_error&) {
    // No thread to be had: the caller waits for this scan, as it would for
    // its own, rather than miss the change.
    scan();
  }
  return true;
}

void PortScan::ServeFinished(const std::function<void()>& handle) {
  {
    std::lock_guard lock(m_mutex);
    if (m_finished) m_serving = std::exchange(m_finished, std::nullopt);
  }
  // The handler may pump messages and so serve a newer scan inside this one;
  // the newer list then answers for the rest of the outer handler too. The
  // device change it starts may go on after the board's pauses: the list
  // stays for its rescan, the first made after the handler.
  ++m_serveDepth;
  handle();
  --m_serveDepth;
}

bool PortScan::PortPresent(unsigned number) const { return m_system.PortPresent(number); }

std::vector<ListedPort> PortScan::DiscoverPorts() const {
  if (!m_serving) return m_system.DiscoverPorts();
  std::vector<ListedPort> ports = *m_serving;
  if (m_serveDepth == 0) m_serving.reset();
  return ports;
}

}  // namespace quorvane
