// The real main window in this process, with a recording link and one listed
// port, and ways to drive it the way the message loop does.
#pragma once

// clang-format off
#include "controls/win32/windows_api.h"
// clang-format on

#include <atomic>
#include <chrono>
#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "app/win32/controller_dlg.h"
#include "protocol/wire_format.h"

namespace quorvane::test {

inline constexpr unsigned kListedPort = 31;

// Opens as asked, starts no thread and keeps every frame it is given. Its
// Close pumps the owner's messages, as the real link's does while it waits
// for the monitor thread.
class RecordingLink final : public SerialLinkInterface {
 public:
  bool Open(SerialOwner* owner, unsigned, unsigned, char, unsigned, unsigned, std::uint32_t,
            unsigned, std::uint32_t, std::uint32_t, std::uint32_t, std::uint32_t,
            std::uint32_t) override {
    if (openError.empty()) m_owner = owner;
    return openError.empty();
  }
  bool StartMonitor() override { return true; }
  void Send(const std::uint8_t* bytes, std::size_t count) override;
  void Close() override {
    ++closes;
    if (m_owner != nullptr) m_owner->PumpMessages();
  }
  std::string LastOpenError() const override { return openError; }
  OpenFailure LastOpenFailure() const override {
    return openError.empty() ? OpenFailure::kNone : OpenFailure::kOther;
  }
  void DetachOwner() override { ++detaches; }

  // Codes of the frames sent, in order, leaving out the poll's queries (a
  // poll tick may fall into any test that runs longer than its period).
  std::vector<std::uint8_t> SettingCodes() const;
  std::vector<std::vector<std::uint8_t>> FramesWithCode(std::uint8_t code) const;

  std::vector<std::vector<std::uint8_t>> frames;
  std::string openError;        // Open fails with this text when not empty
  std::atomic<int> closes = 0;  // read by a second test thread
  int detaches = 0;
  std::atomic<int> setCurrentFrames = 0;  // the same, for a thread that may not read frames

 private:
  SerialOwner* m_owner = nullptr;
};

// Counts its scans; one made off the window thread waits while scans are
// held, as a slow device would keep it there (one made on the window thread
// never waits, so a window that probes there fails a test, not hangs it).
class OnePort final : public PortProbe {
 public:
  OnePort();
  ~OnePort() override;
  bool PortPresent(unsigned number) const override { return number == kListedPort; }
  std::vector<ListedPort> DiscoverPorts() const override;
  void Hold(bool held);

  std::atomic<DWORD> windowThread = 0;
  mutable std::atomic<int> scans = 0;
  mutable std::atomic<DWORD> lastScanThread = 0;
  std::atomic<bool> secondPort = false;  // COM32 is listed too

 private:
  HANDLE m_released;  // a manual-reset event, set while scans are not held
};

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Opens the listed port and feeds the board's full reply: the panel is synced.
  void Sync();
  // Delivers a reply frame the way the link does, one byte per message.
  void Deliver(const WireFrame& frame);
  // Posts a message to a control and lets the window's loop handle it.
  void Post(HWND target, UINT message, WPARAM wParam, LPARAM lParam = 0);
  // Runs the window's loop for a while, as the real loop would.
  void PumpFor(std::chrono::milliseconds duration);
  HWND Control(int id) const { return dlg->Control(id); }
  std::wstring Text(HWND window) const;
  // The direct child of the dialog that holds the keyboard focus.
  HWND FocusedControl() const;
  // What the hover tip over control says, asked of the tooltip that covers
  // it; empty when none does.
  std::wstring TipOver(HWND control) const;
  // Whether the window answers read-out's request for its colours with the
  // alarm's white on red.
  bool DrawnInAlarm(HWND readout) const;

  // Real input through the system's input queue, from any thread: the
  // system's button and key state follows it, as it does for the operator's.
  static void PointAt(HWND window);  // the cursor to the window's centre
  static void LeftButton(bool down);
  static void Keys(std::initializer_list<std::pair<WORD, bool>> strokes);  // key, down

  RecordingLink link;
  OnePort ports;
  int helpCalls = 0;
  bool helpOpensABox = false;  // F1 then shows a box captioned "Help", as the program's does
  // The lab's limits file the window reads, in the temporary folder: never
  // the system's, so a machine that has one tests the same. A test writes
  // limitsText there by setting it before SetUp; empty: no file.
  std::string limitsFile;
  std::string limitsText;
  std::unique_ptr<CControllerDlg> dlg;
};

}  // namespace quorvane::test
