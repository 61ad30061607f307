// The operator's input as a window forwards it, by control id: the window
// knows which control was clicked, pressed or has the focus, the controller
// knows what that control does, so the routing is written once for both windows.
#pragma once

namespace quorvane {

// Called on the window thread. An id the routing does not know (a read-out,
// a label, none at all) does nothing.
class ControlInput {
 public:
  // A click (press and release on it) of a button.
  virtual void OnClicked(int id) = 0;
  // Enter, with the control that had the focus.
  virtual void OnEnter(int focusedId) = 0;
  // A plain left press, not the second of a double click, on the control hit.
  virtual void OnPress(int id) = 0;
  // Every left release, wherever it happens.
  virtual void OnMouseRelease() = 0;

 protected:
  ~ControlInput() = default;
};

}  // namespace quorvane
