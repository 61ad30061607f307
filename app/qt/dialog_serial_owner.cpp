// The window as the serial link's owner: monitor-thread calls are handed to
// the window thread, synchronously for bytes and error boxes, queued for a
// lost port.
#include <cstdio>

#include <QCoreApplication>
#include <QMessageBox>
#include <QThread>

#include "app/qt/controller_dlg.h"

namespace quorvane {

void CControllerDlg::OnSerialByte(std::uint8_t byte, unsigned portNumber) {
  if (m_detached.load()) return;
  if (QThread::currentThread() == thread()) {
    m_controller.OnSerialByte(byte, portNumber);
    return;
  }
  // Returns only once the window thread has handled the byte, so the receiver
  // sees bytes one at a time and in order.
  QMetaObject::invokeMethod(
      this,
      [this, byte, portNumber] {
        if (!m_detached.load()) m_controller.OnSerialByte(byte, portNumber);
      },
      Qt::BlockingQueuedConnection);
}

void CControllerDlg::PumpMessages() { QCoreApplication::processEvents(); }

void CControllerDlg::ShowError(const std::string& text, const std::string& caption) {
  const QString qtext = QString::fromStdString(text);
  const QString qcaption = QString::fromStdString(caption);
  if (m_ending.load()) {
    // The window is gone or going; nobody would see a box, and the program
    // would wait for it. The message is not lost.
    ErrorToStandardError(qtext, qcaption);
    return;
  }
  if (QThread::currentThread() == thread()) {
    ShowErrorHere(qtext, qcaption);
    return;
  }
  QMetaObject::invokeMethod(
      this, [this, qtext, qcaption] { ShowErrorHere(qtext, qcaption); },
      Qt::BlockingQueuedConnection);
}

void CControllerDlg::ShowErrorHere(const QString& text, const QString& caption) {
  // A call queued before the session began to end arrives here during the
  // final Close's pump.
  if (m_ending.load()) return ErrorToStandardError(text, caption);
  QMessageBox box(QMessageBox::Critical, caption.isEmpty() ? QString("Application Error") : caption,
                  text, QMessageBox::Ok, this);
  // The monitor thread may be waiting for this box. Anything handled in the
  // box's own event loop that waits for that thread (closing the link on a
  // device change, a lost port or a press) would wait for ever, so such work
  // is held back and runs once the box, and the call that raised it, are done.
  m_controller.HoldTransitions();
  box.exec();
  m_controller.ReleaseTransitions();
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (!m_sessionEnded) m_controller.RunDeferredTransitions();
      },
      Qt::QueuedConnection);
}

void CControllerDlg::ErrorToStandardError(const QString& text, const QString& caption) {
  std::fprintf(stderr, "quorvane: %s: %s\n", qPrintable(caption), qPrintable(text));
}

void CControllerDlg::OnPortLost(unsigned) {
  if (m_detached.load()) return;
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (!m_sessionEnded) m_controller.OnDeviceChange();
      },
      Qt::QueuedConnection);
}

}  // namespace quorvane
