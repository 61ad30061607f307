// The controller against the real serial link and the virtual board on a
// pseudo-terminal, with the test thread as the window thread.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "controller/control_ids.h"
#include "controller/controller.h"
#include "protocol/codes.h"
#include "serial/posix/port_table.h"
#include "serial/serial_link.h"
#include "sim/pty_board.h"

namespace quorvane {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// The window thread's message queue: the monitor thread posts bytes (and waits
// until they are handled) and port-lost notices; the test thread pumps.
class PumpOwner final : public SerialOwner {
 public:
  std::function<void(std::uint8_t, unsigned)> onByte;
  std::function<void()> onDeviceChange;

  void OnSerialByte(std::uint8_t byte, unsigned portNumber) override {
    std::unique_lock lock(m_mutex);
    const std::uint64_t ticket = ++m_posted;
    m_queue.push_back([this, byte, portNumber] { onByte(byte, portNumber); });
    m_wake.notify_all();
    m_wake.wait(lock, [&] { return m_handled >= ticket; });
  }
  void PumpMessages() override {
    std::unique_lock lock(m_mutex);
    while (!m_queue.empty()) {
      auto task = std::move(m_queue.front());
      m_queue.pop_front();
      lock.unlock();
      task();
      lock.lock();
      ++m_handled;
      m_wake.notify_all();
    }
  }
  void ShowError(const std::string& text, const std::string&) override {
    std::lock_guard lock(m_mutex);
    errors.push_back(text);
  }
  void OnPortLost(unsigned) override {
    std::lock_guard lock(m_mutex);
    ++m_posted;
    m_queue.push_back([this] { onDeviceChange(); });
    m_wake.notify_all();
  }
  // Waits for a posted message or until the deadline.
  void WaitForWork(Clock::time_point deadline) {
    std::unique_lock lock(m_mutex);
    m_wake.wait_until(lock, deadline, [&] { return !m_queue.empty(); });
  }

  std::vector<std::string> errors;  // guarded by m_mutex

 private:
  std::mutex m_mutex;  // guards the queue, both counters and errors
  std::condition_variable m_wake;
  std::deque<std::function<void()>> m_queue;
  std::uint64_t m_posted = 0;
  std::uint64_t m_handled = 0;
};

// A window on the real clock: timers fire from Pump, texts are recorded.
class ClockWindow final : public ControllerWindow {
 public:
  void StartTimer(int id, milliseconds period) override {
    m_timers[id] = {Clock::now() + period, period};
  }
  void StopTimer(int id) override { m_timers.erase(id); }
  std::string GetText(int id) const override {
    return m_texts.count(id) ? m_texts.at(id) : std::string();
  }
  void SetText(int id, std::string_view text) override {
    m_texts[id] = std::string(text);
    shown.push_back(std::to_string(id) + " " + std::string(text));
  }
  void SetSliderRange(std::int32_t) override {}
  void AddSliderTick(std::int32_t) override {}
  void SetSliderPosition(std::int32_t position) override { m_slider = position; }
  std::int32_t SliderPosition() const override { return m_slider; }
  void PresentSoftActive(ColorRef, std::string_view) override {}
  void ClearPortList() override { ports.clear(); }
  void InsertPort(int index, std::string_view name, std::string_view) override {
    ports.insert(ports.begin() + index, std::string(name));
  }
  void SelectPort(int index) override { m_selected = index; }
  int SelectedPort() const override { return m_selected; }
  void EnablePortList(bool) override {}
  void SetOpenPortHint(std::string_view) override {}
  void PopUpOpenPortHint() override {}
  bool LeftButtonDown() const override { return true; }
  void SetControlNote(int, std::string_view) override {}
  void ShowAlarm(int, std::string_view) override {}
  Clock::time_point Now() const override { return Clock::now(); }

  void Type(int id, std::string text) { m_texts[id] = std::move(text); }
  // Fires due timers; returns when the next one is due.
  Clock::time_point FireDue(const std::function<void(int)>& dispatch) {
    for (auto& [id, timer] : std::map(m_timers)) {
      const auto it = m_timers.find(id);
      if (it == m_timers.end() || it->second.due > Clock::now()) continue;
      it->second.due = std::max(it->second.due + it->second.period, Clock::now());
      dispatch(id);
    }
    Clock::time_point next = Clock::now() + milliseconds(20);
    for (const auto& entry : m_timers) next = std::min(next, entry.second.due);
    return next;
  }

  std::vector<std::string> ports;
  std::vector<std::string> shown;  // "<id> <text>" per SetText

 private:
  struct Timer {
    Clock::time_point due;
    milliseconds period;
  };
  std::map<int, Timer> m_timers;
  std::map<int, std::string> m_texts;
  std::int32_t m_slider = 0;
  int m_selected = -1;
};

class ControllerWithBoard : public ::testing::Test {
 protected:
  ControllerWithBoard() {
    owner.onByte = [this](std::uint8_t b, unsigned port) { controller.OnSerialByte(b, port); };
    owner.onDeviceChange = [this] { controller.OnDeviceChange(); };
  }
  ~ControllerWithBoard() override {
    link.Close();
    link.DetachOwner();
    std::filesystem::remove_all(dir);
  }

  // Pumps messages and timers until done() holds; false after five seconds.
  bool PumpUntil(const std::function<bool()>& done) {
    const auto giveUp = Clock::now() + std::chrono::seconds(5);
    while (!done()) {
      if (Clock::now() > giveUp) return false;
      owner.PumpMessages();
      const auto next = window.FireDue([this](int id) { controller.OnTimer(id); });
      owner.WaitForWork(std::min(next, giveUp));
    }
    return true;
  }

  static std::filesystem::path MakeDir() {
    auto path = std::filesystem::temp_directory_path() /
                ("controller-it-" + std::to_string(::getpid()) + "-" +
                 std::to_string(Clock::now().time_since_epoch().count()));
    std::filesystem::create_directories(path);
    return path;
  }

  std::filesystem::path dir = MakeDir();
  sim::PtyBoard board{{.link = dir / "ttyUSB0"}};
  PumpOwner owner;
  CSerialLink link{dir};
  PortTable ports{dir};
  ClockWindow window;
  Controller controller{window, link, ports, owner};
};

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

TEST_F(ControllerWithBoard, SyncsSetsTheCurrentAndClosesWhenTheBoardVanishes) {
  controller.ResetToClosed();
  ASSERT_EQ(window.ports, std::vector<std::string>{"ttyUSB0"});
  controller.OnOpenClose();
  ASSERT_EQ(controller.Flags().portOpen, 1);
  ASSERT_TRUE(PumpUntil([&] { return controller.Flags().synced == 1; }));
  EXPECT_EQ(controller.Device().currentMax, 3000);

  window.Type(IDC_CURRENT_EDIT, "1500");
  const std::size_t shownBefore = window.shown.size();
  controller.OnSetCurrent();
  const std::vector<std::uint8_t> expected{0x4E, 0x53, 0x06, 0x04, 0x12, 0x34, 0x05, 0xDC, 0xD2};
  ASSERT_TRUE(PumpUntil([&] {
    for (const sim::JournalEntry& entry : board.Board().Journal()) {
      if (entry.raw == expected) return true;
    }
    return false;
  }));
  // The board's RPL_CURRENT is what writes the field; typing is not recorded.
  ASSERT_TRUE(PumpUntil([&] {
    return Contains({window.shown.begin() + shownBefore, window.shown.end()}, "1005 1500");
  }));
  ASSERT_TRUE(PumpUntil([&] { return !window.GetText(IDC_CURRENT_READ).empty(); }));

  board.HangUp();
  ASSERT_TRUE(PumpUntil([&] { return window.GetText(IDC_OPEN_PORT) == "OpenPort"; }));
  EXPECT_EQ(controller.Flags().portOpen, 0);
  EXPECT_EQ(controller.Flags().currentPort, 0);
  EXPECT_TRUE(window.ports.empty());
}

}  // namespace
}  // namespace quorvane
