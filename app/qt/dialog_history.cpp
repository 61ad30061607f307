// The main window's ways to the readings history: F2 and the context menu of
// its background, which also offers the F1 box.
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QScreen>

#include "app/qt/controller_app.h"
#include "app/qt/controller_dlg.h"
#include "app/qt/history_window.h"

namespace quorvane {

void CControllerDlg::ShowHistory() {
  if (m_sessionEnded) return;
  if (m_history == nullptr) {
    m_history = new HistoryWindow(m_readings, this);
    // Beside the panel when the screen has room there, so neither hides the
    // other; otherwise the window manager places it.
    const QRect panel = frameGeometry();
    const QRect room = screen()->availableGeometry();
    const QRect beside(panel.right() + 8, panel.top(), m_history->width(), m_history->height());
    if (room.contains(beside)) m_history->move(beside.topLeft());
  }
  m_history->show();
  m_history->raise();
  m_history->activateWindow();
}

void CControllerDlg::contextMenuEvent(QContextMenuEvent* event) {
  // The controls keep their own menus (the entry fields' editing menu) and
  // buttons none; the menu belongs to the window's background, its frames
  // and its captions.
  if (event->reason() == QContextMenuEvent::Mouse) {
    QWidget* under = childAt(event->pos());
    if (under != nullptr && qobject_cast<QLabel*>(under) == nullptr &&
        qobject_cast<QGroupBox*>(under) == nullptr) {
      event->ignore();
      return;
    }
  }
  QMenu menu(this);
  QAction* history =
      menu.addAction(QString::fromUtf8(kHistoryMenuItem), this, &CControllerDlg::ShowHistory);
  history->setShortcut(QKeySequence(Qt::Key_F2));
  history->setShortcutVisibleInContextMenu(true);
  QAction* about = menu.addAction(QStringLiteral("About %1\u2026").arg(kProgramName), this,
                                  [this] { CControllerApp::OnHelp(*this); });
  about->setShortcut(QKeySequence(Qt::Key_F1));
  about->setShortcutVisibleInContextMenu(true);
  menu.exec(event->globalPos());
}

}  // namespace quorvane
