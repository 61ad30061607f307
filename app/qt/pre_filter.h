// Sees the window's key and mouse input before any control does: Enter goes
// to the controller with the focused control's id and never reaches a
// control, Escape is swallowed, and every plain left press (with the control
// hit) and every left release go to the controller before the controls
// handle them, so a step button's hold starts and ends first.
#pragma once

#include <QObject>
#include <QPointF>

#include "controller/control_input.h"

class QWidget;
class QKeyEvent;
class QMouseEvent;

namespace quorvane {

// The property that carries a control's id (the layout row's); a widget
// without it forwards as no control (-1).
inline constexpr char kControlIdProperty[] = "controlId";

class PreFilter : public QObject {
  Q_OBJECT

 public:
  // Watches window (and the drop-down popups of its controls) from now on,
  // by way of an application-wide filter; window is also the parent. input
  // must outlive the filter.
  PreFilter(QWidget* window, ControlInput& input);

  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool OnKeyPress(QKeyEvent* event);
  void OnMousePress(QMouseEvent* event);
  bool IsSecondClick(const QMouseEvent& event);
  bool IsPopupOfWindow(QObject* watched) const;

  QWidget* m_window;
  ControlInput& m_input;

  // The last press that could begin a double click.
  bool m_havePress = false;
  quint64 m_pressTime = 0;
  QPointF m_pressPosition;
  Qt::MouseButton m_pressButton = Qt::NoButton;
};

}  // namespace quorvane
