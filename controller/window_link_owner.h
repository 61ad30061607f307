// The window as the serial link's owner, written once for every toolkit: which
// of the link's calls wait for the window thread and which are queued, when an
// error box may open and what it holds back, and what still gets through once
// the session ends. A window supplies only the primitives at the bottom.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

#include "controller/controller.h"
#include "serial/serial_owner.h"

namespace quorvane {

// Threads: OnSerialByte, ShowError and OnPortLost run on any thread (the
// link's monitor thread, or the window thread itself) and hand their work to
// the window thread, the only one that touches the controller. PumpMessages,
// BeginEnding and Detach run on the window thread.
class WindowLinkOwner : public SerialOwner {
 public:
  // The controller need not be constructed yet: it is first used by a call
  // from the link, which it opens.
  explicit WindowLinkOwner(Controller& controller) : m_controller(controller) {}

  // Returns once the window thread has handled the byte, so the receiver sees
  // bytes one at a time and in order. On the window thread, handled at once.
  void OnSerialByte(std::uint8_t byte, unsigned portNumber) final;
  // The box opens on the window thread; the caller waits until it is
  // dismissed. Once the session is ending, the text goes to standard error.
  void ShowError(const std::string& text, const std::string& caption) final;
  // Queues a device change and returns at once.
  void OnPortLost(unsigned portNumber) final;

 protected:
  // First thing as the session ends: from here on no box opens, and work
  // queued for the window thread no longer reaches the controller.
  void BeginEnding() { m_ending.store(true); }
  // Once the link no longer calls this owner: a late call returns at once,
  // never waiting on a window that is going away.
  void Detach() { m_detached.store(true); }

 private:
  void ShowErrorHere(const std::string& text, const std::string& caption);

  // The window's primitives.
  virtual bool OnWindowThread() const = 0;
  // Called off the window thread: runs work there and returns once it has.
  virtual void RunOnWindowThread(const std::function<void()>& work) = 0;
  // Any thread: queues work for the window thread's loop and returns at once.
  virtual void PostToWindowThread(std::function<void()> work) = 0;
  // Window thread: the modal box itself, returning once it is dismissed.
  virtual void ShowErrorBox(const std::string& text, const std::string& caption) = 0;

  Controller& m_controller;
  // Set on the window thread; read by callers on any thread and by queued work.
  std::atomic<bool> m_ending{false};
  // Set on the window thread; read by callers on any thread.
  std::atomic<bool> m_detached{false};
};

}  // namespace quorvane
