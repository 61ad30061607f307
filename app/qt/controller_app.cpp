// Start-up of the panel around its one modal window.
#include "app/qt/controller_app.h"

#include <cstdio>

#include <QMessageBox>
#include <QShortcut>

#include "app/qt/controller_dlg.h"
#include "quorvane_version.h"  // generated in the build folder

namespace quorvane {

CControllerApp::CControllerApp(SerialLinkInterface& link, const PortProbe& ports,
                               DeviceWatcher* watcher, LimitsSources limits)
    : m_link(link), m_ports(ports), m_watcher(watcher), m_limits(std::move(limits)) {}

QIcon CControllerApp::AppIcon() {
  QIcon icon;
  for (const int size : {16, 32, 48})
    icon.addFile(QStringLiteral(":/quorvane/icon-%1.png").arg(size), QSize(size, size));
  return icon;
}

QString CControllerApp::HelpText(const std::string& limitsText) {
  // The keys are listed here because nothing on the window shows them.
  return QStringLiteral(
             "%1\nVersion %2\n\nNo help is installed for this program.\n\n"
             "Keys:\n"
             "F1: this box\n"
             "F2: the readings history\n"
             "Tab, Shift+Tab: from control to control, the read-outs last\n"
             "Space: presses the button that has the focus; held on a step button, it repeats\n"
             "Enter in an entry field: sends its value\n\n"
             "Lab limits:\n%3")
      .arg(QString::fromLatin1(kProgramName), QStringLiteral(QUORVANE_VERSION),
           QString::fromStdString(limitsText));
}

void CControllerApp::OnHelp(CControllerDlg& dlg) {
  QMessageBox box(QMessageBox::Information, QString::fromLatin1(kProgramName),
                  HelpText(dlg.LimitsHelpText()), QMessageBox::Ok, &dlg);
  box.setIconPixmap(AppIcon().pixmap(48, 48));
  box.exec();
}

bool CControllerApp::InitInstance() {
  // The hot-plug watcher exists before the window's first scan, so no arrival
  // can fall between the scan and the start of watching.
  CControllerDlg dlg(m_link, m_ports, nullptr, m_limits);
  m_pMainWnd = &dlg;
  if (m_watcher != nullptr) {
    const std::string notice = m_watcher->TakeUnavailableNotice();
    if (!notice.empty()) std::fprintf(stderr, "quorvane: %s\n", notice.c_str());
    DeviceWatcher* watcher = m_watcher;
    dlg.WatchDevices(watcher->Fd(), [watcher] { return watcher->DrainChanges(); });
  }
  // F1 is the application's, not the window's: the window has no help of its own.
  QShortcut help(QKeySequence(Qt::Key_F1), &dlg);
  QObject::connect(&help, &QShortcut::activated, &dlg, [&dlg] { OnHelp(dlg); });

  if (m_beforeRun) m_beforeRun(dlg);
  dlg.RunModal();
  m_pMainWnd = nullptr;
  return false;
}

}  // namespace quorvane
