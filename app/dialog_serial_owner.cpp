// The window as the serial link's owner: monitor-thread calls are handed to
// the window thread, synchronously for bytes and error boxes, queued for a
// lost port.
#include <cstdio>

#include <QCoreApplication>
#include <QMessageBox>
#include <QThread>

#include "app/controller_dlg.h"

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
  if (m_detached.load()) {
    // No window any more to show it on; the message is not lost.
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
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
  QMessageBox box(QMessageBox::Critical, caption.isEmpty() ? QString("Application Error") : caption,
                  text, QMessageBox::Ok, this);
  box.exec();
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
