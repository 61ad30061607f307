// The commands scenario: operator actions of every kind at random moments
// while the board misbehaves. Every setting the operator gives must reach the
// board byte-exact and as often as the panel promises, none may go out
// unasked, and every value the window shows must be one the board sent.
#include <cstdio>
#include <cstdlib>
#include <map>

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QWindow>

#include "controller/control_ids.h"
#include "board/display_forms.h"
#include "controls/qt/tick_slider.h"
#include "protocol/codes.h"
#include "protocol/command_frames.h"
#include "tests/stress/scenarios.h"

namespace quorvane::stress {

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::uint8_t kPrefix0 = 0x12, kPrefix1 = 0x34;  // the board's default prefix
constexpr std::int32_t kMax = 3000;

// The texts of every valid reply the board sent, per control. Filled on the
// board's thread, read on the window thread.
class ShownByBoard {
 public:
  void Note(const sim::WireEvent& event) {
    if (event.kind != sim::WireKind::kReply || event.corrupted || event.shortened) return;
    const std::optional<Reply> reply = DecodeReply(event.bytes);
    if (!reply) return;
    std::lock_guard lock(m_mutex);
    std::visit([this](const auto& r) { NoteLocked(r); }, *reply);
  }
  bool Has(int id, std::string_view text) const {
    std::lock_guard lock(m_mutex);
    const auto found = m_texts.find(id);
    return found != m_texts.end() && found->second.count(std::string(text)) != 0;
  }

 private:
  void NoteLocked(const StatusReply& r) {
    m_texts[IDC_CURRENT_READ].insert(SetpointText(r.measured));
    m_texts[IDC_SEED_TEMP].insert(TemperatureText(r.seed));
    m_texts[IDC_PUMP_TEMP].insert(TemperatureText(r.pump));
  }
  void NoteLocked(const AllReply& r) {
    m_texts[IDC_CURRENT_EDIT].insert(SetpointText(r.setpoint));
    m_texts[IDC_FREQUENCY_EDIT].insert(FrequencyText(static_cast<std::int32_t>(r.hertz)));
    m_texts[IDC_DURATION_EDIT].insert(DurationText(r.steps));
    m_texts[IDC_SOFT_ACTIVE].insert(quorvane::PresentSoftActive(r.softActive).caption);
  }
  void NoteLocked(const CurrentReply& r) {
    m_texts[IDC_CURRENT_EDIT].insert(SetpointText(r.setpoint));
  }
  void NoteLocked(const FrequencyReply& r) {
    m_texts[IDC_FREQUENCY_EDIT].insert(FrequencyText(static_cast<std::int32_t>(r.hertz)));
  }
  void NoteLocked(const DurationReply& r) {
    m_texts[IDC_DURATION_EDIT].insert(DurationText(r.steps));
  }
  void NoteLocked(const SoftActiveReply& r) {
    m_texts[IDC_SOFT_ACTIVE].insert(quorvane::PresentSoftActive(r.state).caption);
  }

  mutable std::mutex m_mutex;  // guards m_texts
  std::map<int, std::set<std::string>> m_texts;
};

enum class Action { kCurrent, kFrequency, kDuration, kSoftActive, kSlider, kStep, kHold, kCount };

std::int32_t Stepped(std::int32_t setpoint, bool up, int ticks) {
  // A hold steps by one more mA every five repeats, up to 10 mA.
  const int step = std::min(ticks, 49) / 5 + 1;
  return std::clamp(setpoint + (up ? step : -step), 0, kMax);
}

// The board's misbehaviour in turns, each mild enough that replies still get
// through: noise, corrupted checksums, late replies, short frames, a mix.
sim::BoardSwitches Misbehaviour(int phase) {
  sim::BoardSwitches s;
  switch (phase % 5) {
    case 0:
      s.noiseBytesPerSecond = 300;
      break;
    case 1:
      s.corruptChecksumProbability = 0.3;
      break;
    case 2:
      s.replyDelay = Ms(300);
      break;
    case 3:
      s.shortFrames = true;
      break;
    default:
      s.noiseBytesPerSecond = 100;
      s.corruptChecksumProbability = 0.15;
      s.replyDelay = Ms(120);
      break;
  }
  return s;
}

}  // namespace

Figures RunCommands(const ScenarioArgs& args) {
  Figures figures;
  UniformDraw uniform(args.seed);
  ShownByBoard shown;
  RigOptions options;
  options.board.parameters.currentMax = kMax;
  options.board.seed = args.seed;
  options.observer = [&shown](const sim::WireEvent& event) { shown.Note(event); };
  Rig rig(std::move(options));
  const LoopWatchdog watchdog(Ms(10000), figures);
  rig.dlg->activateWindow();
  if (!QTest::qWaitForWindowActive(rig.dlg.get()))
    figures.Violation("the window never became active");
  if (!rig.OpenAndSync(Ms(5000))) {
    figures.Violation("the board never synced");
    return figures;
  }

  int corruptedDisplays = 0;
  std::map<int, std::set<std::string>> typed;  // the operator's texts, per field
  const auto check = [&](int id, std::string_view text) {
    static const std::set<int> kShown{IDC_CURRENT_EDIT, IDC_FREQUENCY_EDIT, IDC_DURATION_EDIT,
                                      IDC_CURRENT_READ, IDC_SEED_TEMP,      IDC_PUMP_TEMP,
                                      IDC_SOFT_ACTIVE};
    if (!kShown.count(id) || shown.Has(id, text)) return;
    ++corruptedDisplays;
    figures.Violation("control " + std::to_string(id) + " shows \"" + std::string(text) +
                      "\", which the board never sent");
  };
  rig.dlg->onText = check;
  rig.dlg->onSoftActive = [&](std::string_view caption) { check(IDC_SOFT_ACTIVE, caption); };
  bool sliderFrameSent = false;
  std::int32_t sliderPlaced = 0;
  int placements = 0;
  rig.dlg->onPause = [&](Ms pause) {
    // The poll pauses 50 ms right after sending a dragged slider's set-point.
    if (pause == Ms(50)) sliderFrameSent = true;
  };
  rig.dlg->onSliderPlaced = [&](std::int32_t position) {
    ++placements;
    sliderPlaced = position;
  };

  std::vector<Bytes> expected;
  const auto expect = [&expected](const CommandFrame& frame, int times) {
    for (int i = 0; i < times; ++i) expected.push_back(frame.ToVector());
  };
  const auto type = [&](int id, const QString& text) {
    auto* edit = static_cast<QLineEdit*>(rig.dlg->Control(id));
    edit->setFocus();
    edit->selectAll();
    QTest::keyClicks(edit, text);
    typed[id].insert(text.toStdString());
    // SET by its button or by Enter in the field, as the operator pleases.
    const int button = id == IDC_CURRENT_EDIT     ? IDC_SET_CURRENT
                       : id == IDC_FREQUENCY_EDIT ? IDC_SET_FREQUENCY
                                                  : IDC_SET_DURATION;
    if (uniform(0, 1))
      QTest::mouseClick(rig.Button(button), Qt::LeftButton);
    else
      QTest::keyClick(rig.dlg->windowHandle(), Qt::Key_Return);
  };

  int kinds[static_cast<int>(Action::kCount)] = {};
  sim::BoardSwitches switches = Misbehaviour(0);
  rig.board->SetSwitches(switches);
  for (int n = 0; n < args.count; ++n) {
    if (n % 25 == 0) {
      // Short frames starve every reply, so they get a short turn of their own.
      switches = Misbehaviour(n / 25);
      rig.board->SetSwitches(switches);
    }
    // Replies to the last action are out before the next one, so none of
    // them can change a set-point between the snapshot and the press.
    PumpFor(switches.replyDelay + Ms(150) + Ms(uniform(0, 400)));
    if (!rig.Synced() || !rig.PortOpen()) {
      figures.Violation("action " + std::to_string(n) + ": the panel lost its board");
      break;
    }
    const auto action = static_cast<Action>(uniform(0, static_cast<int>(Action::kCount) - 1));
    ++kinds[static_cast<int>(action)];
    const DeviceState before = rig.dlg->GetController().Device();
    switch (action) {
      case Action::kCurrent: {
        const int value = uniform(0, kMax);
        type(IDC_CURRENT_EDIT, QString::number(value));
        expect(BuildSetCurrent(kPrefix0, kPrefix1, value), 2);
        break;
      }
      case Action::kFrequency: {
        const QString text = QString::asprintf("%d.%02d", uniform(1, 200), uniform(0, 99));
        type(IDC_FREQUENCY_EDIT, text);
        // The panel cuts to hundredths of a kHz; it does not round.
        const auto hundredths =
            static_cast<std::int64_t>(std::strtod(qPrintable(text), nullptr) * 100.0);
        expect(BuildSetFrequency(static_cast<std::int32_t>(hundredths * 10)), 2);
        break;
      }
      case Action::kDuration: {
        const int steps = uniform(0, 255);
        type(IDC_DURATION_EDIT, QString::number(steps));
        expect(BuildSetDuration(static_cast<std::uint8_t>(steps)), 2);
        break;
      }
      case Action::kSoftActive:
        QTest::mouseClick(rig.Button(IDC_SOFT_ACTIVE), Qt::LeftButton);
        expect(BuildSetSoftActive(before.softActive == 0 ? 1 : 0), 1);
        break;
      case Action::kSlider: {
        auto* slider = static_cast<CTickSlider*>(rig.dlg->Control(IDC_CURRENT_SLIDER));
        int value = uniform(0, kMax);
        if (value == slider->value()) value = (value + 1) % (kMax + 1);
        sliderFrameSent = false;
        const int placedBefore = placements;
        slider->setValue(value);
        PumpUntil([&] { return sliderFrameSent || placements != placedBefore; }, Ms(1500));
        // A reply that places the slider first wins over the drag: no frame.
        if (sliderFrameSent)
          expect(BuildSetCurrent(kPrefix0, kPrefix1, value), 1);
        else if (placements == placedBefore)
          figures.Violation("action " + std::to_string(n) + ": slider move never handled");
        break;
      }
      case Action::kStep: {
        const bool up = uniform(0, 1) != 0;
        QTest::mouseClick(rig.Button(up ? IDC_CURRENT_UP : IDC_CURRENT_DOWN), Qt::LeftButton);
        expect(BuildSetCurrent(kPrefix0, kPrefix1, Stepped(before.currentSetpoint, up, 0)), 1);
        break;
      }
      case Action::kHold: {
        // A late echo of an earlier step would move the set-point under the
        // next one; a silent board keeps each step's value to the rule alone.
        sim::BoardSwitches quiet = switches;
        quiet.silent = true;
        rig.board->SetSwitches(quiet);
        PumpFor(switches.replyDelay + Ms(100));
        const std::int32_t start = rig.dlg->GetController().Device().currentSetpoint;
        const bool up = uniform(0, 1) != 0;
        QPushButton* button = rig.Button(up ? IDC_CURRENT_UP : IDC_CURRENT_DOWN);
        const std::size_t sets = rig.CountCode(CMD_SET_CURRENT);
        const int repeats = uniform(1, 12);
        QTest::mousePress(button, Qt::LeftButton);
        PumpUntil([&] { return rig.CountCode(CMD_SET_CURRENT) >= sets + repeats; }, Ms(5000));
        QTest::mouseRelease(button, Qt::LeftButton);
        PumpFor(Ms(300));
        const std::size_t got = rig.CountCode(CMD_SET_CURRENT) - sets;
        std::int32_t value = start;
        for (std::size_t k = 1; k + 1 <= got; ++k) {
          value = Stepped(value, up, static_cast<int>(k));
          expect(BuildSetCurrent(kPrefix0, kPrefix1, value), 1);
        }
        expect(BuildSetCurrent(kPrefix0, kPrefix1, Stepped(value, up, 0)), 1);
        rig.board->SetSwitches(switches);
        break;
      }
      case Action::kCount:
        break;
    }
  }
  rig.board->SetSwitches({});
  PumpFor(Ms(1500));

  // In order, each expected frame is looked for after the last one found;
  // what is skipped on the way went out unasked.
  std::vector<Bytes> received;
  for (const sim::JournalEntry& entry : rig.board->Board().Journal())
    if (entry.code == CMD_SET_CURRENT || entry.code == CMD_SET_FREQUENCY ||
        entry.code == CMD_SET_DURATION || entry.code == CMD_SET_SOFT_ACTIVE)
      received.push_back(entry.raw);
  std::size_t at = 0, matched = 0;
  for (const Bytes& frame : expected) {
    std::size_t look = at;
    while (look < received.size() && received[look] != frame) ++look;
    if (look == received.size()) continue;
    ++matched;
    at = look + 1;
  }
  const std::size_t lost = expected.size() - matched;
  const std::size_t unasked = received.size() - matched;
  if (lost) figures.Violation(std::to_string(lost) + " commands lost or altered");
  if (unasked) figures.Violation(std::to_string(unasked) + " commands sent unasked");
  if (rig.link->DroppedFrames()) figures.Violation("the link dropped frames");
  if (rig.dlg->errors) figures.Violation("error boxes raised");
  for (const auto& [id, texts] : typed) {
    const std::string now = rig.dlg->GetText(id);
    if (!shown.Has(id, now) && !texts.count(now)) {
      ++corruptedDisplays;
      figures.Violation("control " + std::to_string(id) + " ends showing \"" + now + "\"");
    }
  }

  figures.Add("commands actions", std::to_string(args.count));
  figures.Add("commands sent/received/lost/unasked",
              std::to_string(expected.size()) + "/" + std::to_string(matched) + "/" +
                  std::to_string(lost) + "/" + std::to_string(unasked));
  figures.Add("commands link dropped frames", std::to_string(rig.link->DroppedFrames()));
  figures.Add("commands corrupted displays", std::to_string(corruptedDisplays));
  const sim::BoardCounters counters = rig.board->Board().Counters();
  figures.Add("commands board corrupted/short/noise",
              std::to_string(counters.corruptedReplies) + "/" +
                  std::to_string(counters.shortenedReplies) + "/" +
                  std::to_string(counters.noiseBytes));
  std::string mix;
  const char* names[] = {"current", "frequency", "duration", "soft", "slider", "step", "hold"};
  for (int i = 0; i < static_cast<int>(Action::kCount); ++i)
    mix += std::string(i ? " " : "") + names[i] + "=" + std::to_string(kinds[i]);
  figures.Add("commands mix", mix);
  return figures;
}

}  // namespace quorvane::stress
