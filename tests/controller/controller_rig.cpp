// The recording fakes behind the controller scenarios.
#include "tests/controller/controller_rig.h"

#include <algorithm>
#include <cstdio>

#include "protocol/wire_format.h"

namespace quorvane::test {

std::vector<std::string> Journal::Lines(std::size_t mark, std::string_view prefix) const {
  std::vector<std::string> lines;
  for (std::size_t i = mark; i < entries.size(); ++i) {
    if (!entries[i].second.starts_with(prefix)) continue;
    lines.push_back(std::to_string(entries[i].first.count()) + " " + entries[i].second);
  }
  return lines;
}

std::string Hex(const std::uint8_t* bytes, std::size_t count) {
  std::string text;
  char part[4];
  for (std::size_t i = 0; i < count; ++i) {
    std::snprintf(part, sizeof part, i == 0 ? "%02X" : " %02X", bytes[i]);
    text += part;
  }
  return text;
}

void FakeWindow::StartTimer(int id, milliseconds period) {
  m_timers[id] = Timer{m_journal.now + period, period, ++m_generation};
  // The pace timer is journalled as the pause it times; its stop is implied.
  if (id == TIMER_PACE) return m_journal.Add("Pause " + std::to_string(period.count()));
  m_journal.Add("StartTimer " + std::to_string(id) + " " + std::to_string(period.count()));
}

void FakeWindow::StopTimer(int id) {
  m_timers.erase(id);
  if (id != TIMER_PACE) m_journal.Add("StopTimer " + std::to_string(id));
}

std::string FakeWindow::GetText(int controlId) const {
  const auto it = m_texts.find(controlId);
  return it == m_texts.end() ? std::string() : it->second;
}

void FakeWindow::SetText(int controlId, std::string_view text) {
  m_texts[controlId] = std::string(text);
  m_journal.Add("SetText " + std::to_string(controlId) + " " + std::string(text));
}

void FakeWindow::SetSliderRange(std::int32_t maximum) {
  m_sliderMax = maximum;
  m_sliderPosition = std::clamp(m_sliderPosition, 0, std::max(0, m_sliderMax));
  m_journal.Add("SliderRange " + std::to_string(maximum));
}

void FakeWindow::AddSliderTick(std::int32_t position) {
  m_journal.Add("SliderTick " + std::to_string(position));
}

void FakeWindow::SetSliderPosition(std::int32_t position) {
  // A slider never leaves its range, whatever it is asked.
  m_sliderPosition = std::clamp(position, 0, std::max(0, m_sliderMax));
  m_journal.Add("SliderPos " + std::to_string(position));
}

void FakeWindow::PresentSoftActive(ColorRef color, std::string_view caption) {
  char text[16];
  std::snprintf(text, sizeof text, "%06X", static_cast<unsigned>(color));
  m_journal.Add("SoftActive " + std::string(text) + " " + std::string(caption));
}

void FakeWindow::ClearPortList() {
  ports.clear();
  m_selected = -1;
  m_journal.Add("ClearPortList");
}

void FakeWindow::InsertPort(int index, std::string_view name, std::string_view details) {
  ports.insert(ports.begin() + index, std::string(name));
  m_journal.Add("InsertPort " + std::to_string(index) + " " + std::string(name) + " (" +
                std::string(details) + ")");
}

void FakeWindow::SelectPort(int index) {
  m_selected = index;
  m_journal.Add("SelectPort " + std::to_string(index));
}

void FakeWindow::EnablePortList(bool enabled) {
  portListEnabled = enabled;
  m_journal.Add(std::string("EnablePortList ") + (enabled ? "1" : "0"));
}

void FakeWindow::SetOpenPortHint(std::string_view text) {
  openPortHint = std::string(text);
  m_journal.Add("Hint " + openPortHint);
}

void FakeWindow::PopUpOpenPortHint() { m_journal.Add("PopUpHint"); }

void FakeWindow::SetControlNote(int controlId, std::string_view note) {
  notes[controlId] = std::string(note);
  m_journal.Add("Note " + std::to_string(controlId) + " " + std::string(note));
}

void FakeWindow::ShowAlarm(int readoutId, std::string_view reason) {
  alarms[readoutId] = std::string(reason);
  m_journal.Add("Alarm " + std::to_string(readoutId) + " " + std::string(reason));
}

void FakeWindow::RunFor(milliseconds span, const std::function<void(int)>& dispatch) {
  const milliseconds end = m_journal.now + span;
  for (;;) {
    auto next = m_timers.end();
    for (auto it = m_timers.begin(); it != m_timers.end(); ++it) {
      if (next == m_timers.end() || it->second.due < next->second.due) next = it;
    }
    if (next == m_timers.end() || next->second.due > end) break;
    const int id = next->first;
    Timer& timer = next->second;
    m_journal.now = std::max(m_journal.now, timer.due);
    // Ticks missed while the thread slept collapse into one, as window timers do.
    timer.due = std::max(timer.due + timer.period, m_journal.now);
    const unsigned generation = timer.generation;
    dispatch(id);
    const auto after = m_timers.find(id);
    if (after != m_timers.end() && after->second.generation == generation &&
        after->second.due < m_journal.now) {
      after->second.due = m_journal.now;
    }
  }
  m_journal.now = std::max(m_journal.now, end);
}

void FakeWindow::RunPauses(const std::function<void(int)>& dispatch) {
  for (auto pace = m_timers.find(TIMER_PACE); pace != m_timers.end();
       pace = m_timers.find(TIMER_PACE)) {
    m_journal.now = std::max(m_journal.now, pace->second.due);
    const unsigned generation = pace->second.generation;
    dispatch(TIMER_PACE);
    const auto after = m_timers.find(TIMER_PACE);
    // A pace timer the queue left running would fire forever.
    if (after != m_timers.end() && after->second.generation == generation) {
      m_journal.Add("pace timer left running");
      return;
    }
  }
}

bool FakeLink::Open(SerialOwner* owner, unsigned portNumber, unsigned baudRate, char parityCode,
                    unsigned dataBits, unsigned stopBitsCode, std::uint32_t eventMask,
                    unsigned writeBufferSize, std::uint32_t t0, std::uint32_t t1, std::uint32_t t2,
                    std::uint32_t t3, std::uint32_t t4) {
  opens.push_back(OpenCall{owner,
                           portNumber,
                           baudRate,
                           parityCode,
                           dataBits,
                           stopBitsCode,
                           eventMask,
                           writeBufferSize,
                           {t0, t1, t2, t3, t4}});
  m_journal.Add("Open " + std::to_string(portNumber) + (failOpen ? " failed" : ""));
  m_lastError = failOpen ? "Device or resource busy" : "";
  return !failOpen;
}

bool FakeLink::StartMonitor() {
  m_journal.Add("StartMonitor");
  return true;
}

void FakeLink::Send(const std::uint8_t* bytes, std::size_t count) {
  frames.emplace_back(m_journal.now, Hex(bytes, count));
  m_journal.Add("Send " + frames.back().second);
}

void FakeLink::Close() {
  if (m_closing) ++nestedCloses;
  m_journal.Add("Close");
  m_closing = true;
  if (whileClosing) whileClosing();
  m_closing = false;
}

bool FakePorts::PortPresent(unsigned number) const {
  return std::any_of(listed.begin(), listed.end(),
                     [number](const ListedPort& port) { return port.number == number; });
}

std::vector<std::uint8_t> ReplyFrame(std::uint8_t code, const std::vector<std::uint8_t>& payload) {
  return BuildRawFrame(FrameKind::kReply, code, payload);
}

std::vector<std::uint8_t> ReplyAll(std::uint8_t p0, std::uint8_t p1, std::uint16_t setpoint,
                                   std::uint16_t currentMax, std::uint32_t hertz,
                                   std::uint8_t steps, std::uint8_t softActive) {
  return EncodeReply(AllReply{{p0, p1}, setpoint, currentMax, hertz, steps, softActive}).ToVector();
}

std::vector<std::uint8_t> ReplyCurrent(std::uint8_t p0, std::uint8_t p1, std::uint16_t setpoint) {
  return EncodeReply(CurrentReply{{p0, p1}, setpoint}).ToVector();
}

Rig::Rig(std::vector<unsigned> present) {
  for (unsigned number : present) {
    ports.listed.push_back(
        {number, "port" + std::to_string(number), "dev " + std::to_string(number)});
  }
  controller.ResetToClosed();
}

void Rig::RunFor(milliseconds span) {
  window.RunFor(span, [this](int id) { controller.OnTimer(id); });
}

void Rig::FinishPauses() {
  window.RunPauses([this](int id) { controller.OnTimer(id); });
}

void Rig::Feed(const std::vector<std::uint8_t>& bytes, unsigned port) {
  for (std::uint8_t byte : bytes) controller.OnSerialByte(byte, port);
}

std::vector<int> Rig::SentCurrents(std::size_t mark) const {
  std::vector<int> setpoints;
  for (std::size_t i = mark; i < journal.entries.size(); ++i) {
    const std::string& line = journal.entries[i].second;
    // "Send 4E 53 06 04 P0 P1 HI LO CK": the set-point is bytes 6 and 7.
    if (!line.starts_with("Send 4E 53 06 04 ")) continue;
    setpoints.push_back(std::stoi(line.substr(23, 2) + line.substr(26, 2), nullptr, 16));
  }
  return setpoints;
}

void Rig::OpenAndSync(std::uint16_t setpoint, std::uint16_t currentMax) {
  controller.OnOpenClose();
  RunFor(milliseconds(500));
  Feed(ReplyAll(0x12, 0x34, setpoint, currentMax), controller.Flags().currentPort);
}

}  // namespace quorvane::test
