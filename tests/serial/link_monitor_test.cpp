// The monitor's shared half against a scripted platform part: the write
// loop's order and drops, the lost port told once, one box per failure run
// and the growing pause. No device and no thread: every platform relies on these.
#include <gtest/gtest.h>

#include <chrono>
#include <initializer_list>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "serial/link_monitor.h"

namespace quorvane::test {
namespace {

using namespace std::chrono_literals;

class ScriptedIo final : public PortIo {
 public:
  bool PrepareForOpen() override { return true; }
  bool EventsReady() const override { return true; }
  void ResetEvents() override {}
  void SignalShutdown() override { shutdown = true; }
  void SignalWrite() override {}
  bool ShutdownSignalled() const override { return shutdown; }
  std::optional<OpenRefusal> OpenDevice(unsigned) override { return std::nullopt; }
  std::optional<FailedStep> ConfigureDevice(unsigned, const LineSettings&, const CommTimeouts&,
                                            std::uint32_t) override {
    return std::nullopt;
  }
  void AdoptDevice() override {}
  void DiscardDevice() override {}
  bool DeviceOpen() const override { return deviceOpen; }
  bool TakeDevice() override { return false; }
  SystemError CloseTakenDevice() override { return 0; }
  void RunMonitor(LinkMonitor&) override {}
  void ResetWriteSignal() override { ++writeSignalResets; }
  void WriteFrame(LinkMonitor&, const Frame& frame) override {
    written.push_back(frame);
    if (written.size() == stopAfterWrites) shutdown = true;
  }
  bool WaitForShutdown(std::chrono::milliseconds period) override {
    pauses.push_back(period);
    return waitWorks;
  }
  SystemError LastError() const override { return 0; }
  std::string ErrorText(SystemError error) const override {
    return "system text " + std::to_string(error);
  }
  bool IsDeviceGone(SystemError) const override { return false; }
  std::string PortName(unsigned portNumber) const override {
    return "tty" + std::to_string(portNumber);
  }

  bool deviceOpen = true;
  bool shutdown = false;
  bool waitWorks = true;
  std::size_t stopAfterWrites = 0;  // 0: never
  int writeSignalResets = 0;
  std::vector<Frame> written;
  std::vector<std::chrono::milliseconds> pauses;
};

class RecordingOwner final : public SerialOwner {
 public:
  void OnSerialByte(std::uint8_t, unsigned) override {}
  void PumpMessages() override {}
  void ShowError(const std::string& text, const std::string& caption) override {
    errors.push_back(caption + ": " + text);
  }
  void OnPortLost(unsigned portNumber) override { lost.push_back(portNumber); }

  std::vector<std::string> errors;
  std::vector<unsigned> lost;
};

struct Rig {
  Rig() {
    gate.Attach(&owner);
    monitor.Begin(33, 0);
  }
  void Queue(std::initializer_list<std::uint8_t> frame) {
    pending.Push(frame.begin(), frame.size());
  }

  ScriptedIo io;
  FrameQueue pending;
  OwnerGate gate;
  std::mutex ioLock;
  RecordingOwner owner;
  LinkMonitor monitor{io, pending, gate, ioLock};
};

TEST(LinkMonitorTest, WritesQueuedFramesInOrderOnlyToALiveDevice) {
  const struct Case {
    const char* name;
    bool deviceOpen;
    bool portLost;
    std::size_t written;
  } cases[] = {{"open", true, false, 3}, {"no device", false, false, 0}, {"lost", true, true, 0}};
  for (const Case& c : cases) {
    Rig rig;
    rig.io.deviceOpen = c.deviceOpen;
    if (c.portLost) rig.monitor.LosePort();
    rig.Queue({1});
    rig.Queue({2, 2});
    rig.Queue({3});
    rig.monitor.WriteQueued();
    EXPECT_EQ(rig.io.writeSignalResets, 1) << c.name;
    ASSERT_EQ(rig.io.written.size(), c.written) << c.name;
    if (c.written == 3) {
      EXPECT_EQ(rig.io.written[1], (Frame{2, 2})) << c.name;
    }
    EXPECT_EQ(rig.pending.Size(), 0u) << c.name << ": a dropped frame must leave the queue";
  }
}

TEST(LinkMonitorTest, ShutdownEndsTheWriteLoopBeforeTheNextFrame) {
  Rig rig;
  rig.io.stopAfterWrites = 1;
  rig.Queue({1});
  rig.Queue({2});
  rig.monitor.WriteQueued();
  EXPECT_EQ(rig.io.written.size(), 1u);
  EXPECT_EQ(rig.pending.Size(), 1u);
}

TEST(LinkMonitorTest, TellsTheOwnerOfALostPortOncePerOpen) {
  Rig rig;
  rig.monitor.LosePort();
  rig.monitor.LosePort();
  EXPECT_EQ(rig.owner.lost, std::vector<unsigned>{33});
  rig.monitor.Begin(34, 0);
  EXPECT_FALSE(rig.monitor.PortLost());
  rig.monitor.LosePort();
  EXPECT_EQ(rig.owner.lost, (std::vector<unsigned>{33, 34}));
}

TEST(LinkMonitorTest, ShowsOneBoxPerRunOfFailures) {
  Rig rig;
  FailureRun run;
  for (int i = 0; i < 3; ++i) rig.monitor.Failed(run, "ReadFile()", 5);
  ASSERT_EQ(rig.owner.errors.size(), 1u);
  EXPECT_EQ(rig.owner.errors[0],
            "Application Error: WARNING:  ReadFile() Failed with the following error: \n"
            "system text 5\nPort: tty33\n")
      << "the box names the port as its platform does";
  run.End();
  rig.monitor.Failed(run, "WriteFile()", 6);
  ASSERT_EQ(rig.owner.errors.size(), 2u) << "a new run earns a new box";
}

TEST(LinkMonitorTest, PausesGrowFromTenMillisecondsToASecond) {
  Rig rig;
  FailureRun run;
  const std::vector<std::chrono::milliseconds> expected = {10ms,  20ms,  40ms,   80ms,  160ms,
                                                           320ms, 640ms, 1000ms, 1000ms};
  for (std::size_t i = 0; i < expected.size(); ++i) {
    run.Count();
    EXPECT_FALSE(rig.monitor.PauseAfterFailure(run));
  }
  EXPECT_EQ(rig.io.pauses, expected);
  rig.io.shutdown = true;
  EXPECT_TRUE(rig.monitor.PauseAfterFailure(run)) << "shutdown must end the run";
}

TEST(LinkMonitorTest, AFailingWaitStillPauses) {
  Rig rig;
  rig.io.waitWorks = false;
  FailureRun run;
  run.Count();
  const auto start = std::chrono::steady_clock::now();
  rig.monitor.PauseAfterFailure(run);
  EXPECT_GE(std::chrono::steady_clock::now() - start, 10ms) << "the pause became a spin";
}

}  // namespace
}  // namespace quorvane::test
