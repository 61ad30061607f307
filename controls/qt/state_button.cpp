// Painting of the colour state button: fill, caption, complementary frame, and
// nothing that depends on pressed, focused or disabled state.
#include "controls/qt/state_button.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QFocusEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionFocusRect>

namespace quorvane {

namespace {
// Captions longer than this are cut, as a fixed caption buffer would.
constexpr qsizetype kMaxCaptionChars = 511;

// Not a checkable QPushButton: its accessible toggle action would flip the
// state on the spot, without asking the program, and never press it.
class StateButtonAccessible : public QAccessibleWidget {
 public:
  explicit StateButtonAccessible(CStateButton* button)
      : QAccessibleWidget(button, QAccessible::CheckBox) {}

  QAccessible::State state() const override {
    QAccessible::State s = QAccessibleWidget::state();
    s.checkable = true;
    s.checked = Button()->On();
    return s;
  }
  QStringList actionNames() const override { return {pressAction(), toggleAction()}; }
  void doAction(const QString& action) override {
    if (action == pressAction() || action == toggleAction()) Button()->click();
  }
  QStringList keyBindingsForAction(const QString&) const override { return {}; }

 private:
  CStateButton* Button() const { return static_cast<CStateButton*>(widget()); }
};

QAccessibleInterface* StateButtonFactory(const QString& className, QObject* object) {
  if (className == QLatin1String(CStateButton::staticMetaObject.className()) &&
      object->isWidgetType())
    return new StateButtonAccessible(static_cast<CStateButton*>(object));
  return nullptr;
}
}  // namespace

CStateButton::CStateButton(QWidget* parent) : QPushButton(parent) {
  static const bool installed = [] {
    QAccessible::installFactory(&StateButtonFactory);
    return true;
  }();
  (void)installed;
}

void CStateButton::SetOn(bool on) {
  if (on == m_on) return;
  m_on = on;
  QAccessible::State changed;
  changed.checked = true;
  QAccessibleStateChangeEvent event(this, changed);
  QAccessible::updateAccessibility(&event);
}

void CStateButton::EnableOwnerDraw() {
  m_ownerDraw = true;
  update();
}

QColor CStateButton::ToQColor(ColorRef color) {
  return QColor(static_cast<int>(color & 0xFF), static_cast<int>((color >> 8) & 0xFF),
                static_cast<int>((color >> 16) & 0xFF));
}

ColorRef CStateButton::Complement(ColorRef color) { return ~color & 0x00FFFFFFu; }

void CStateButton::paintEvent(QPaintEvent* event) {
  if (!m_ownerDraw) {
    QPushButton::paintEvent(event);
    return;
  }
  QPainter painter(this);
  const QRect area = rect();
  painter.fillRect(area, ToQColor(m_color));

  // The caption keeps the button's font and the default text colour (black),
  // whatever the theme, so it reads the same on both fills.
  painter.setFont(font());
  painter.setPen(Qt::black);
  painter.drawText(area, Qt::AlignCenter | Qt::TextSingleLine | Qt::TextExpandTabs,
                   text().left(kMaxCaptionChars));

  // One pixel wide, inside the rectangle, on all four sides.
  const QColor frame = ToQColor(Complement(m_color));
  const int right = area.right();
  const int bottom = area.bottom();
  painter.fillRect(QRect(0, 0, area.width(), 1), frame);
  painter.fillRect(QRect(0, bottom, area.width(), 1), frame);
  painter.fillRect(QRect(0, 0, 1, area.height()), frame);
  painter.fillRect(QRect(right, 0, 1, area.height()), frame);

  // The look never follows the state, but whoever moves by keyboard must see
  // where the focus is: a dotted mark inside the frame, as the keyboard cues
  // of a native button show only after the keyboard was used.
  if (hasFocus() && m_keyboardFocus) {
    QStyleOptionFocusRect option;
    option.initFrom(this);
    // Some styles draw the mark only once the window saw a Tab; the focus here
    // is known to have come by keyboard.
    option.state |= QStyle::State_KeyboardFocusChange;
    option.rect = area.adjusted(3, 3, -3, -3);
    option.backgroundColor = ToQColor(m_color);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
  }
}

void CStateButton::focusInEvent(QFocusEvent* event) {
  switch (event->reason()) {
    case Qt::TabFocusReason:
    case Qt::BacktabFocusReason:
    case Qt::ShortcutFocusReason:
      m_keyboardFocus = true;
      break;
    case Qt::ActiveWindowFocusReason:
    case Qt::PopupFocusReason:
      break;  // back to where it was, by whatever means it came
    default:
      m_keyboardFocus = false;
      break;
  }
  QPushButton::focusInEvent(event);
}

}  // namespace quorvane
