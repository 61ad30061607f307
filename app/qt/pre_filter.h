// Sees the window's key and mouse input before any control does: Enter runs
// the SET command of the focused entry field and never reaches a control,
// Escape is swallowed, and the step buttons' presses and every left release
// go to the step logic before the controls handle them.
#pragma once

#include <functional>

#include <QObject>
#include <QPointF>

#include "controller/controller.h"

class QWidget;
class QKeyEvent;
class QMouseEvent;

namespace quorvane {

class PreFilter : public QObject {
  Q_OBJECT

 public:
  struct Targets {
    QWidget* currentEdit;
    QWidget* frequencyEdit;
    QWidget* durationEdit;
    QWidget* downButton;
    QWidget* upButton;
  };
  struct Handlers {
    std::function<void()> setCurrent;
    std::function<void()> setFrequency;
    std::function<void()> setDuration;
    std::function<void(NudgeDirection)> nudgePress;
    std::function<void()> mouseRelease;
  };

  // Watches window (and the drop-down popups of its controls) from now on,
  // by way of an application-wide filter; window is also the parent.
  PreFilter(QWidget* window, Targets targets, Handlers handlers);

  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  bool OnKeyPress(QKeyEvent* event);
  void OnMousePress(QMouseEvent* event);
  bool IsSecondClick(const QMouseEvent& event);
  bool IsPopupOfWindow(QObject* watched) const;

  QWidget* m_window;
  Targets m_targets;
  Handlers m_handlers;

  // The last press that could begin a double click.
  bool m_havePress = false;
  quint64 m_pressTime = 0;
  QPointF m_pressPosition;
  Qt::MouseButton m_pressButton = Qt::NoButton;
};

}  // namespace quorvane
