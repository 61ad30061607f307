// Shared set-up for the link suites: a pseudo-terminal listed as COM33 (ttyUSB0).
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "serial/serial_link.h"
#include "tests/serial/serial_test_support.h"

namespace quorvane::test {

inline constexpr unsigned kPort = 33;  // ttyUSB0

class LinkFixture : public ::testing::Test {
 protected:
  LinkFixture() : pty(PtyPair::Make()) { dir.Link("ttyUSB0", pty.slavePath); }

  // The panel's own line settings.
  bool OpenAsPanel(CSerialLink& target, unsigned port = kPort) {
    return target.Open(&owner, port, 9600, 'N', 8, 0, EV_RXCHAR, 512, 1000, 1000, 1000, 1000, 1000);
  }
  // Opens, starts the monitor and waits until it has passed its start-up purge
  // (a frame it wrote has reached the far end), so test bytes are not purged.
  void StartLink(CSerialLink& target) {
    ASSERT_TRUE(OpenAsPanel(target)) << target.LastOpenError();
    ASSERT_TRUE(target.StartMonitor());
    const std::uint8_t probe = 0xA5;
    target.Send(&probe, 1);
    ASSERT_EQ(pty.Read(1), std::vector<std::uint8_t>{probe});
  }
  void Send(CSerialLink& target, const std::vector<std::uint8_t>& frame) {
    target.Send(frame.data(), frame.size());
  }

  PtyPair pty;
  DeviceDir dir;
  PumpedOwner owner;
};

}  // namespace quorvane::test
