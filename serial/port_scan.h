// The port list for a window thread that must not wait on the probe: a device
// change's scan runs on a worker thread, and the list it found answers the
// controller while that change is handled.
#pragma once

#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "serial/port_probe.h"

namespace quorvane {

// Threads: everything runs on the window thread except the scan itself and
// the finished callback, which run on the worker thread.
class PortScan : public PortProbe {
 public:
  // system must outlive this object and be safe to call from two threads.
  explicit PortScan(const PortProbe& system);
  // Waits for a scan under way.
  ~PortScan() override;
  PortScan(const PortScan&) = delete;
  PortScan& operator=(const PortScan&) = delete;

  // Starts a scan of the system's ports on a worker thread; finished runs on
  // that thread once the list is ready. False, and nothing started, while a
  // scan is still under way.
  bool Start(std::function<void()> finished);
  // Runs handle with the last finished scan's list answering DiscoverPorts;
  // the first call after handle returns (the rescan of a device change that
  // went on after its pauses) gets it too. Otherwise the system is asked.
  void ServeFinished(const std::function<void()>& handle);

  // One port is asked of the system at once: it is the open port, or the
  // one about to be opened, and must be what the system says now.
  bool PortPresent(unsigned number) const override;
  std::vector<ListedPort> DiscoverPorts() const override;

 private:
  const PortProbe& m_system;
  std::thread m_worker;
  mutable std::mutex m_mutex;  // guards m_scanning and m_finished
  bool m_scanning = false;
  std::optional<std::vector<ListedPort>> m_finished;
  // Window thread only; handed out by the const DiscoverPorts.
  mutable std::optional<std::vector<ListedPort>> m_serving;
  int m_serveDepth = 0;
};

}  // namespace quorvane
