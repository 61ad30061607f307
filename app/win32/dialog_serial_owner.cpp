// The window as the serial link's owner: monitor-thread calls are handed to
// the window thread by window messages, sent (waiting) for bytes and error
// boxes, posted for a lost port.
#include <cstdio>
#include <utility>

#include "app/win32/controller_dlg.h"
#include "app/win32/dialog_messages.h"
#include "serial/win32/wide_text.h"

namespace quorvane {

namespace {
void ErrorToStandardError(const std::string& text, const std::string& caption) {
  std::fprintf(stderr, "quorvane: %s: %s\n", caption.c_str(), text.c_str());
  std::fflush(stderr);
}
}  // namespace

void CControllerDlg::OnSerialByte(std::uint8_t byte, unsigned portNumber) {
  if (m_detached.load()) return;
  // Returns once the window thread has handled the byte, so the receiver
  // sees bytes one at a time and in order. Called on the window thread
  // itself, the message is handled at once.
  SendMessageW(m_hWnd, WM_SERIAL_RXBYTE, byte, static_cast<LPARAM>(portNumber));
}

void CControllerDlg::PumpMessages() {
  // Sent messages (a byte delivery, an error box) are handled by PeekMessage
  // itself. The window's posted ones include its controls' keys and clicks,
  // so they take the loop's own road: a step button's press or release
  // taken here starts or ends the hold as it would there.
  MSG msg;
  while (m_hWnd != nullptr && PeekMessageW(&msg, m_hWnd, 0, 0, PM_REMOVE)) HandleMessage(msg);
}

void CControllerDlg::ShowError(const std::string& text, const std::string& caption) {
  if (m_ending.load() || m_hWnd == nullptr) {
    // The window is gone or going; nobody would see a box, and the program
    // would wait for it. The message is not lost.
    ErrorToStandardError(text, caption);
    return;
  }
  const std::pair<std::wstring, std::wstring> request{
      Widen(text), Widen(caption.empty() ? std::string("Application Error") : caption)};
  if (GetCurrentThreadId() == m_threadId) {
    ShowErrorHere(request.first, request.second);
    return;
  }
  // Waits until the box is dismissed; the request lives on this stack until then.
  SendMessageW(m_hWnd, WM_APP_SHOW_ERROR, 0, reinterpret_cast<LPARAM>(&request));
}

void CControllerDlg::ShowErrorHere(const std::wstring& text, const std::wstring& caption) {
  // A request sent before the session began to end arrives here during the
  // final Close's pump.
  if (m_ending.load()) {
    ErrorToStandardError(Narrow(text), Narrow(caption));
    return;
  }
  // The monitor thread may be waiting for this box. Anything handled in the
  // box's own loop that waits for that thread (closing the link on a device
  // change, a lost port or a press) would wait for ever, so such work is held
  // back and runs once the box, and the call that raised it, are done.
  m_controller.HoldTransitions();
  EndHold();
  MessageBoxW(m_hWnd, text.c_str(), caption.c_str(), MB_OK | MB_ICONSTOP);
  m_controller.ReleaseTransitions();
  PostMessageW(m_hWnd, WM_APP_RUN_DEFERRED, 0, 0);
}

void CControllerDlg::OnPortLost(unsigned portNumber) {
  if (m_detached.load()) return;
  PostMessageW(m_hWnd, WM_APP_PORT_LOST, portNumber, 0);
}

}  // namespace quorvane
