// Bordered read-out of a value the board reports. It looks like a plain
// label, but a screen reader can reach it with Tab (Tab only: a click leaves
// the focus where the operator typed), hears it as a named value, and is told
// when the value changes.
#pragma once

#include <QLabel>

namespace quorvane {

class CReadout : public QLabel {
  Q_OBJECT

 public:
  explicit CReadout(QWidget* parent = nullptr);

  // Shows text; tells assistive technology only when the text differs from
  // what is shown, so a poll that repeats a value stays silent.
  void SetReading(const QString& text);
  // Drawn white on red while a lab limit is in alarm; false restores the
  // look it inherits. As an alarm starts, assistive technology is alerted,
  // once: the description's change alone is not read out for a control
  // without the focus.
  void SetAlarm(bool inAlarm);
  bool InAlarm() const { return m_alarm; }

 signals:
  // The alert, whether or not a reader listens.
  void alarmStarted();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;

 private:
  bool m_alarm = false;
};

}  // namespace quorvane
