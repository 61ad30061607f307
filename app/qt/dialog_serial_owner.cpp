// The window's primitives for the link owner's rules (controller/
// window_link_owner.h): Qt's blocking and queued calls onto the window thread,
// its event pump and its message box.
#include <utility>

#include <QCoreApplication>
#include <QMessageBox>
#include <QThread>

#include "app/qt/controller_dlg.h"

namespace quorvane {

bool CControllerDlg::OnWindowThread() const { return QThread::currentThread() == thread(); }

void CControllerDlg::RunOnWindowThread(const std::function<void()>& work) {
  QMetaObject::invokeMethod(
      this, [&work] { work(); }, Qt::BlockingQueuedConnection);
}

void CControllerDlg::PostToWindowThread(std::function<void()> work) {
  QMetaObject::invokeMethod(
      this, [work = std::move(work)] { work(); }, Qt::QueuedConnection);
}

void CControllerDlg::PumpMessages() { QCoreApplication::processEvents(); }

void CControllerDlg::ShowErrorBox(const std::string& text, const std::string& caption) {
  // The box's window-blocked event ends a step button's hold (see event()).
  QMessageBox box(QMessageBox::Critical, QString::fromStdString(caption),
                  QString::fromStdString(text), QMessageBox::Ok, this);
  box.exec();
}

}  // namespace quorvane
