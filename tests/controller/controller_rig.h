// Recording fakes of the window, the link and the port probe on one virtual
// clock, so controller scenarios run in microseconds and check exact timing.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "controller/controller.h"

namespace quorvane::test {

using std::chrono::milliseconds;

// One line per call the controller made, in order, stamped with virtual time.
struct Journal {
  milliseconds now{0};
  std::vector<std::pair<milliseconds, std::string>> entries;

  void Add(std::string text) { entries.emplace_back(now, std::move(text)); }
  std::size_t Mark() const { return entries.size(); }
  // "<ms> <call>" lines from mark on, optionally only those starting with prefix.
  std::vector<std::string> Lines(std::size_t mark = 0, std::string_view prefix = {}) const;
};

std::string Hex(const std::uint8_t* bytes, std::size_t count);

class FakeWindow final : public ControllerWindow {
 public:
  explicit FakeWindow(Journal& journal) : m_journal(journal) {}

  void StartTimer(int id, milliseconds period) override;
  void StopTimer(int id) override;
  std::string GetText(int controlId) const override;
  void SetText(int controlId, std::string_view text) override;
  void SetSliderRange(std::int32_t maximum) override;
  void AddSliderTick(std::int32_t position) override;
  void SetSliderPosition(std::int32_t position) override;
  std::int32_t SliderPosition() const override { return m_sliderPosition; }
  void PresentSoftActive(ColorRef color, std::string_view caption) override;
  void ClearPortList() override;
  void InsertPort(int index, std::string_view name, std::string_view details) override;
  void SelectPort(int index) override;
  int SelectedPort() const override { return m_selected; }
  void EnablePortList(bool enabled) override;
  void SetOpenPortHint(std::string_view text) override;
  void PopUpOpenPortHint() override;
  bool LeftButtonDown() const override { return leftButtonDown; }
  void SetControlNote(int controlId, std::string_view note) override;
  void ShowAlarm(int readoutId, std::string_view reason) override;
  // The virtual clock: the journal's time.
  std::chrono::steady_clock::time_point Now() const override {
    return std::chrono::steady_clock::time_point(m_journal.now);
  }

  // The operator's own doing: not journalled.
  void Type(int controlId, std::string text) { m_texts[controlId] = std::move(text); }
  void DragSlider(std::int32_t position) { m_sliderPosition = position; }
  void Choose(int index) { m_selected = index; }

  bool TimerRunning(int id) const { return m_timers.count(id) != 0; }
  // Fires due timers through dispatch until the clock has advanced by span.
  void RunFor(milliseconds span, const std::function<void(int)>& dispatch);
  // Lets every pause of the board work end, firing nothing else: other timers
  // that come due meanwhile fire at the next RunFor, as after a sleep.
  void RunPauses(const std::function<void(int)>& dispatch);

  std::vector<std::string> ports;  // list item names
  bool portListEnabled = true;
  std::string openPortHint;
  bool leftButtonDown = true;         // as the system reports the mouse
  std::map<int, std::string> notes;   // by control id, as last set
  std::map<int, std::string> alarms;  // by read-out id, as last shown

 private:
  struct Timer {
    milliseconds due;
    milliseconds period;
    unsigned generation;
  };
  Journal& m_journal;
  std::map<int, Timer> m_timers;
  unsigned m_generation = 0;
  std::map<int, std::string> m_texts;
  std::int32_t m_sliderMax = 100;
  std::int32_t m_sliderPosition = 0;
  int m_selected = -1;
};

struct OpenCall {
  SerialOwner* owner;
  unsigned port, baud;
  char parity;
  unsigned dataBits, stopBits;
  std::uint32_t mask;
  unsigned writeBuffer;
  std::uint32_t timeouts[5];
};

class FakeLink final : public SerialLinkInterface {
 public:
  explicit FakeLink(Journal& journal) : m_journal(journal) {}

  bool Open(SerialOwner* owner, unsigned portNumber, unsigned baudRate, char parityCode,
            unsigned dataBits, unsigned stopBitsCode, std::uint32_t eventMask,
            unsigned writeBufferSize, std::uint32_t readIntervalTimeout,
            std::uint32_t readTotalTimeoutMultiplier, std::uint32_t readTotalTimeoutConstant,
            std::uint32_t writeTotalTimeoutMultiplier,
            std::uint32_t writeTotalTimeoutConstant) override;
  bool StartMonitor() override;
  void Send(const std::uint8_t* bytes, std::size_t count) override;
  void Close() override;
  std::string LastOpenError() const override { return m_lastError; }
  OpenFailure LastOpenFailure() const override {
    return m_lastError.empty() ? OpenFailure::kNone : OpenFailure::kBusy;
  }
  // The controller never detaches; its window does.
  void DetachOwner() override {}

  bool failOpen = false;
  // Runs inside Close, standing in for the messages Close pumps.
  std::function<void()> whileClosing;
  std::vector<OpenCall> opens;
  std::vector<std::pair<milliseconds, std::string>> frames;  // time, hex
  int nestedCloses = 0;

 private:
  Journal& m_journal;
  std::string m_lastError;
  bool m_closing = false;
};

class FakePorts final : public PortProbe {
 public:
  bool PortPresent(unsigned number) const override;
  std::vector<ListedPort> DiscoverPorts() const override { return listed; }
  std::vector<ListedPort> listed;
};

class NullOwner final : public SerialOwner {
 public:
  void OnSerialByte(std::uint8_t, unsigned) override {}
  void PumpMessages() override {}
  void ShowError(const std::string&, const std::string&) override {}
  void OnPortLost(unsigned) override {}
};

// Reply frames as the board sends them.
std::vector<std::uint8_t> ReplyFrame(std::uint8_t code, const std::vector<std::uint8_t>& payload);
std::vector<std::uint8_t> ReplyAll(std::uint8_t p0, std::uint8_t p1, std::uint16_t setpoint,
                                   std::uint16_t currentMax, std::uint32_t hertz = 12340,
                                   std::uint8_t steps = 20, std::uint8_t softActive = 0);
std::vector<std::uint8_t> ReplyCurrent(std::uint8_t p0, std::uint8_t p1, std::uint16_t setpoint);

struct Rig {
  Journal journal;
  FakeWindow window{journal};
  FakeLink link{journal};
  FakePorts ports;
  NullOwner owner;
  Controller controller{window, link, ports, owner};

  explicit Rig(std::vector<unsigned> present = {3});
  void RunFor(milliseconds span);
  void FinishPauses();
  void Feed(const std::vector<std::uint8_t>& bytes, unsigned port);
  // Opens the selected port and lets the board answer the first CMD_READ_ALL.
  void OpenAndSync(std::uint16_t setpoint = 1000, std::uint16_t currentMax = 3000);
  // Frames sent from journal mark on, as "<ms> <hex>".
  std::vector<std::string> Sent(std::size_t mark) const { return journal.Lines(mark, "Send"); }
  // The set-points of the CMD_SET_CURRENT frames sent from mark on.
  std::vector<int> SentCurrents(std::size_t mark) const;
};

}  // namespace quorvane::test
