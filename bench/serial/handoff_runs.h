// The two readers the hand-off benchmark compares.
#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "bench/serial/handoff_bench.h"

namespace quorvane::bench {

struct LinkLatencies {
  std::vector<double> atOwner;    // handled on the owner's thread: the figure compared
  std::vector<double> atMonitor;  // entering OnSerialByte, before the thread hop
};

// CSerialLink: monitor thread, delivery to an owner on another thread.
std::optional<LinkLatencies> RunLinkHandoff(std::size_t count, std::chrono::microseconds gap,
                                            std::string* error);

// QSerialPort on the calling thread's event loop (a QCoreApplication must
// exist), reading on readyRead.
std::optional<std::vector<double>> RunQSerialPortHandoff(std::size_t count,
                                                         std::chrono::microseconds gap,
                                                         std::string* error);

}  // namespace quorvane::bench
