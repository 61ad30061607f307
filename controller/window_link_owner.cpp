// The rules for the link's calls into the window, on top of the window's
// primitives: send-and-wait for bytes and boxes, post for lost ports.
#include "controller/window_link_owner.h"

#include <cstdio>

namespace quorvane {

namespace {

constexpr const char* kDefaultCaption = "Application Error";

void ErrorToStandardError(const std::string& text, const std::string& caption) {
  std::fprintf(stderr, "quorvane: %s: %s\n", caption.c_str(), text.c_str());
  std::fflush(stderr);
}

}  // namespace

void WindowLinkOwner::OnSerialByte(std::uint8_t byte, unsigned portNumber) {
  if (m_detached.load()) return;
  const auto handle = [this, byte, portNumber] {
    if (!m_ending.load()) m_controller.OnSerialByte(byte, portNumber);
  };
  if (OnWindowThread()) {
    handle();
    return;
  }
  RunOnWindowThread(handle);
}

void WindowLinkOwner::ShowError(const std::string& text, const std::string& caption) {
  const std::string shown = caption.empty() ? std::string(kDefaultCaption) : caption;
  if (m_ending.load()) {
    // The window is gone or going; nobody would see a box, and the program
    // would wait for it. The message is not lost.
    ErrorToStandardError(text, shown);
    return;
  }
  if (OnWindowThread()) {
    ShowErrorHere(text, shown);
    return;
  }
  RunOnWindowThread([this, &text, &shown] { ShowErrorHere(text, shown); });
}

void WindowLinkOwner::ShowErrorHere(const std::string& text, const std::string& caption) {
  // A call that waited for the window thread while the session began to end
  // arrives here during the final Close's pump.
  if (m_ending.load()) {
    ErrorToStandardError(text, caption);
    return;
  }
  // The monitor thread may be waiting for this box. Anything handled in the
  // box's own loop that waits for that thread (closing the link on a device
  // change, a lost port or a press) would wait for ever, so such work is held
  // back and runs once the box, and the call that raised it, are done.
  m_controller.HoldTransitions();
  ShowErrorBox(text, caption);
  m_controller.ReleaseTransitions();
  PostToWindowThread([this] {
    if (!m_ending.load()) m_controller.RunDeferredTransitions();
  });
}

void WindowLinkOwner::OnPortLost(unsigned) {
  if (m_detached.load()) return;
  PostToWindowThread([this] {
    if (!m_ending.load()) m_controller.OnDeviceChange();
  });
}

}  // namespace quorvane
