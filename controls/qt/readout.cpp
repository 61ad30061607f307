// The read-out's focus mark and its accessible value.
#include "controls/qt/readout.h"

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QAccessibleWidget>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

#include "board/display_forms.h"
#include "controls/qt/state_button.h"

namespace quorvane {

namespace {

// A read-out is a label whose text is a number: the name says what it is,
// the value what the board reported. It cannot be set from outside.
class ReadoutAccessible : public QAccessibleWidget, public QAccessibleValueInterface {
 public:
  explicit ReadoutAccessible(CReadout* readout)
      : QAccessibleWidget(readout, QAccessible::StaticText) {}

  void* interface_cast(QAccessible::InterfaceType type) override {
    if (type == QAccessible::ValueInterface) return static_cast<QAccessibleValueInterface*>(this);
    return QAccessibleWidget::interface_cast(type);
  }

  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Value) return Label()->text();
    return QAccessibleWidget::text(t);
  }

  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.readOnly = true;
    return s;
  }

  QVariant currentValue() const override {
    bool ok = false;
    const double value = Label()->text().toDouble(&ok);
    return ok ? QVariant(value) : QVariant();
  }
  void setCurrentValue(const QVariant&) override {}
  // The board's ranges are not the read-out's to know.
  QVariant maximumValue() const override { return {}; }
  QVariant minimumValue() const override { return {}; }
  QVariant minimumStepSize() const override { return {}; }

 private:
  const QLabel* Label() const { return static_cast<const QLabel*>(widget()); }
};

QAccessibleInterface* ReadoutFactory(const QString& className, QObject* object) {
  if (className == QLatin1String(CReadout::staticMetaObject.className()) && object->isWidgetType())
    return new ReadoutAccessible(static_cast<CReadout*>(object));
  return nullptr;
}

}  // namespace

CReadout::CReadout(QWidget* parent) : QLabel(parent) {
  static const bool installed = [] {
    QAccessible::installFactory(&ReadoutFactory);
    return true;
  }();
  (void)installed;
  setTextFormat(Qt::PlainText);
  setFrameStyle(QFrame::Box | QFrame::Plain);
  setLineWidth(1);
  setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  setFocusPolicy(Qt::TabFocus);
}

void CReadout::SetReading(const QString& value) {
  if (value == text()) return;
  setText(value);
  QAccessibleValueChangeEvent event(this, value);
  QAccessible::updateAccessibility(&event);
}

void CReadout::SetAlarm(bool inAlarm) {
  if (inAlarm == m_alarm) return;
  m_alarm = inAlarm;
  setAutoFillBackground(inAlarm);
  if (inAlarm) {
    QPalette red = palette();
    red.setColor(QPalette::Window, CStateButton::ToQColor(kAlarmColor));
    red.setColor(QPalette::WindowText, CStateButton::ToQColor(kAlarmTextColor));
    setPalette(red);
    QAccessibleEvent alert(this, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
    emit alarmStarted();
  } else {
    // A palette that sets nothing: the read-out inherits the window's again.
    setPalette(QPalette());
  }
}

void CReadout::paintEvent(QPaintEvent* event) {
  QLabel::paintEvent(event);
  if (!hasFocus()) return;
  // Inside the box, so the frame and the place of the text stay as they are.
  QPainter painter(this);
  QStyleOptionFocusRect option;
  option.initFrom(this);
  // Some styles draw the mark only once the window saw a Tab; the focus here
  // is known to have come by keyboard.
  option.state |= QStyle::State_KeyboardFocusChange;
  option.rect = contentsRect().adjusted(1, 1, -1, -1);
  option.backgroundColor = palette().color(backgroundRole());
  style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
}

void CReadout::focusInEvent(QFocusEvent* event) {
  QLabel::focusInEvent(event);
  update();
}

void CReadout::focusOutEvent(QFocusEvent* event) {
  QLabel::focusOutEvent(event);
  update();
}

}  // namespace quorvane
