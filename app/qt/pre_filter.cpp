// Key and mouse pre-filter of the main window.
#include "app/qt/pre_filter.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QStyleHints>
#include <QVariant>
#include <QWidget>
#include <QWindow>

namespace quorvane {

namespace {

int ControlIdOf(const QWidget* widget) {
  const QVariant id = widget == nullptr ? QVariant() : widget->property(kControlIdProperty);
  return id.isValid() ? id.toInt() : -1;
}

}  // namespace

PreFilter::PreFilter(QWidget* window, ControlInput& input)
    : QObject(window), m_window(window), m_input(input) {
  // Filtering at the window (QWindow) level sees each input event exactly
  // once, before it is dispatched to a control and before propagation to
  // parents could repeat it.
  qApp->installEventFilter(this);
}

bool PreFilter::IsPopupOfWindow(QObject* watched) const {
  QWidget* popup = QApplication::activePopupWidget();
  if (popup == nullptr || watched != popup->windowHandle()) return false;
  for (QWidget* w = popup->parentWidget(); w != nullptr; w = w->parentWidget())
    if (w == m_window) return true;
  return false;
}

bool PreFilter::eventFilter(QObject* watched, QEvent* event) {
  if (!watched->isWindowType()) return false;
  const QEvent::Type type = event->type();
  if (type != QEvent::KeyPress && type != QEvent::MouseButtonPress &&
      type != QEvent::MouseButtonRelease)
    return false;

  if (watched != m_window->windowHandle()) {
    // A drop-down list open over the window: a release there still ends a
    // hold. Keys stay with the list so it can be used from the keyboard.
    if (type == QEvent::MouseButtonRelease && IsPopupOfWindow(watched) &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
      m_input.OnMouseRelease();
    return false;
  }

  if (type == QEvent::KeyPress) return OnKeyPress(static_cast<QKeyEvent*>(event));
  auto* mouse = static_cast<QMouseEvent*>(event);
  if (mouse->button() != Qt::LeftButton) return false;
  if (type == QEvent::MouseButtonPress) {
    OnMousePress(mouse);
  } else {
    m_input.OnMouseRelease();
  }
  // Mouse input goes on to the controls: buttons still look pressed and
  // still report their clicks.
  return false;
}

bool PreFilter::OnKeyPress(QKeyEvent* event) {
  switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
      m_input.OnEnter(ControlIdOf(QApplication::focusWidget()));
      return true;  // never a default button, a click or the end of the dialog
    case Qt::Key_Escape:
      return true;  // Escape neither closes the window nor does anything else
    default:
      return false;
  }
}

bool PreFilter::IsSecondClick(const QMouseEvent& event) {
  // The platform's own double-click rule: same button, within the interval
  // and the distance of the previous press. A double click used up cannot
  // start another, so a third quick press is an ordinary press.
  const QStyleHints* hints = QGuiApplication::styleHints();
  const bool second =
      m_havePress && event.button() == m_pressButton &&
      event.timestamp() - m_pressTime < static_cast<quint64>(hints->mouseDoubleClickInterval()) &&
      (event.position() - m_pressPosition).manhattanLength() <= hints->mouseDoubleClickDistance();
  m_havePress = !second;
  m_pressTime = event.timestamp();
  m_pressPosition = event.position();
  m_pressButton = event.button();
  return second;
}

void PreFilter::OnMousePress(QMouseEvent* event) {
  // Only a plain press starts a hold; the second press of a double click does not.
  if (IsSecondClick(*event)) return;
  m_input.OnPress(ControlIdOf(m_window->childAt(event->position().toPoint())));
}

}  // namespace quorvane
