// The window's primitives for the link owner's rules (controller/
// window_link_owner.h): work sent to the window (waiting) or posted to it by
// window messages, the message pump and the message box.
#include <utility>

#include "app/win32/controller_dlg.h"
#include "app/win32/dialog_messages.h"
#include "serial/win32/wide_text.h"

namespace quorvane {

bool CControllerDlg::OnWindowThread() const { return GetCurrentThreadId() == m_threadId; }

void CControllerDlg::RunOnWindowThread(const std::function<void()>& work) {
  // The work lives on the caller's stack until the window thread has run it.
  SendMessageW(m_hWnd, WM_APP_RUN_SENT, 0, reinterpret_cast<LPARAM>(&work));
}

void CControllerDlg::PostToWindowThread(std::function<void()> work) {
  // One message per function, queued in the same order under the lock, so
  // each message runs the oldest function and none is left behind in a
  // message to a window that is gone. A window that does not exist takes
  // nothing: a message to no window would go to the calling thread instead.
  const std::lock_guard<std::mutex> lock(m_postedLock);
  if (m_hWnd == nullptr) return;
  m_posted.push_back(std::move(work));
  if (!PostMessageW(m_hWnd, WM_APP_RUN_POSTED, 0, 0)) m_posted.pop_back();
}

void CControllerDlg::RunPosted() {
  std::function<void()> work;
  {
    const std::lock_guard<std::mutex> lock(m_postedLock);
    if (m_posted.empty()) return;
    work = std::move(m_posted.front());
    m_posted.pop_front();
  }
  work();
}

void CControllerDlg::PumpMessages() {
  // Sent messages (a byte delivery, an error box) are handled by PeekMessage
  // itself. The window's posted ones include its controls' keys and clicks,
  // so they take the loop's own road: a step button's press or release
  // taken here starts or ends the hold as it would there.
  MSG msg;
  while (m_hWnd != nullptr && PeekMessageW(&msg, m_hWnd, 0, 0, PM_REMOVE)) HandleMessage(msg);
}

void CControllerDlg::ShowErrorBox(const std::string& text, const std::string& caption) {
  EndHold();
  MessageBoxW(m_hWnd, Widen(text).c_str(), Widen(caption).c_str(), MB_OK | MB_ICONSTOP);
}

}  // namespace quorvane
