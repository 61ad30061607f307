// The main window as built: its 27 controls (class, caption, geometry from the
// dialog-unit rule), tab order, window flags, and the state right after start.
#include <atomic>
#include <thread>

#include <QApplication>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>

#include "app/qt/controller_app.h"
#include "app/qt/controller_dlg.h"
#include "controller/control_ids.h"
#include "controls/qt/numeric_edit.h"
#include "controls/qt/state_button.h"
#include "controls/qt/tick_slider.h"
#include "controller/control_ids.h"
#include "serial/posix/port_table.h"
#include "serial/serial_link.h"
#include "tests/app/expected_layout.h"

using namespace quorvane;

namespace {

using test::ExpectedRow;
using test::kExpectedLayout;
using test::Kind;

// The widget class each kind of control becomes; the soft-active button
// draws itself.
const char* QtClassOf(const ExpectedRow& row) {
  if (row.id == IDC_SOFT_ACTIVE) return "quorvane::CStateButton";
  switch (row.kind) {
    case Kind::PushButton:
      return "QPushButton";
    case Kind::GroupBox:
      return "QGroupBox";
    case Kind::Label:
      return "QLabel";
    case Kind::Display:
      return "quorvane::CReadout";
    case Kind::Edit:
      return "quorvane::CNumericEdit";
    case Kind::PortList:
      return "QComboBox";
    case Kind::Slider:
      return "quorvane::CTickSlider";
  }
  return "";
}

QString CaptionOf(const QWidget* w) {
  if (auto* b = qobject_cast<const QAbstractButton*>(w)) return b->text();
  if (auto* g = qobject_cast<const QGroupBox*>(w)) return g->title();
  if (auto* l = qobject_cast<const QLabel*>(w)) return l->text();
  if (auto* e = qobject_cast<const QLineEdit*>(w)) return e->text();
  if (qobject_cast<const QComboBox*>(w)) return QString();
  return w->windowTitle();
}

int Scale(int value, int base, int divisor) {
  return static_cast<int>(std::lround(static_cast<double>(value) * base / divisor));
}

}  // namespace

class DialogTemplateTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void controlsFollowTheTemplate();
  void baseUnitsComeFromTheDialogFont();
  void windowIsFixedCentredAndTitled();
  void tabFollowsTemplateOrderAndWraps();
  void startsClosedWithGreyOnAndNoPorts();
  void escapeAndEnterNeverCloseTheWindow();
  void helpBoxNamesProgramAndVersion();
  void portDetailsShowAsTooltips();
  void errorBoxFromAnotherThreadWaitsForOk();
  void noBoxOnceTheSessionEnds();
  void softActiveRepaintsWhenOnlyTheColourChanges();

 private:
  QTemporaryDir* m_dir = nullptr;
  CSerialLink* m_link = nullptr;
  PortTable* m_ports = nullptr;
  CControllerDlg* m_dlg = nullptr;
};

void DialogTemplateTest::init() {
  m_dir = new QTemporaryDir;
  m_link = new CSerialLink(m_dir->path().toStdString());
  m_ports = new PortTable(m_dir->path().toStdString());
  m_dlg = new CControllerDlg(*m_link, *m_ports);
}

void DialogTemplateTest::cleanup() {
  delete m_dlg;
  delete m_ports;
  delete m_link;
  delete m_dir;
}

void DialogTemplateTest::controlsFollowTheTemplate() {
  const DialogBaseUnits units = m_dlg->BaseUnits();
  QList<QWidget*> children;
  for (QObject* child : m_dlg->children())
    if (auto* w = qobject_cast<QWidget*>(child); w && w->property("controlId").isValid())
      children.append(w);
  QCOMPARE(children.size(), std::ssize(kExpectedLayout));
  std::sort(children.begin(), children.end(), [](QWidget* a, QWidget* b) {
    return a->property("templateRow").toInt() < b->property("templateRow").toInt();
  });

  for (int i = 0; i < children.size(); ++i) {
    const ExpectedRow& want = kExpectedLayout[i];
    QWidget* w = children[i];
    const QString caption = QString::fromWCharArray(want.caption);
    const QString where = QString("row %1 (%2)").arg(i + 1).arg(caption);
    QVERIFY2(w->property("controlId").toInt() == want.id, qPrintable(where));
    QCOMPARE(w->property("windowClass").toString(), QString::fromWCharArray(want.windowClass));
    QVERIFY2(QString(w->metaObject()->className()) == QtClassOf(want), qPrintable(where));
    QCOMPARE(CaptionOf(w), caption);
    if (want.id != -1) QCOMPARE(m_dlg->Control(want.id), w);

    const QRect du(want.x, want.y, want.width, want.height);
    const QRect px(Scale(du.x(), units.avgCharWidth, 4), Scale(du.y(), units.charHeight, 8),
                   Scale(du.width(), units.avgCharWidth, 4),
                   Scale(du.height(), units.charHeight, 8));
    QVERIFY2(w->pos() == px.topLeft(), qPrintable(where));
    QCOMPARE(w->width(), px.width());
    // The list's template height includes its drop-down part.
    if (want.id == IDC_PORT_LIST)
      QVERIFY(w->height() < px.height());
    else
      QCOMPARE(w->height(), px.height());
  }
  auto* readout = qobject_cast<QLabel*>(m_dlg->Control(IDC_CURRENT_READ));
  QCOMPARE(readout->frameShape(), QFrame::Box);
  QVERIFY(readout->alignment() & Qt::AlignHCenter);
  QVERIFY(qobject_cast<QLineEdit*>(m_dlg->Control(IDC_CURRENT_EDIT))->alignment() &
          Qt::AlignHCenter);
}

void DialogTemplateTest::baseUnitsComeFromTheDialogFont() {
  QCOMPARE(m_dlg->font().family(), QString::fromWCharArray(test::kExpectedFontFamily));
  QCOMPARE(m_dlg->font().pointSize(), test::kExpectedFontPoints);
  const QFontMetrics metrics(m_dlg->font());
  const DialogBaseUnits units = m_dlg->BaseUnits();
  // A mean letter width: between the narrowest and widest letters.
  QVERIFY(units.avgCharWidth >= metrics.horizontalAdvance('i'));
  QVERIFY(units.avgCharWidth <= metrics.horizontalAdvance('W'));
  QCOMPARE(units.charHeight, metrics.height());
  QCOMPARE(m_dlg->size(), QSize(Scale(test::kExpectedWidth, units.avgCharWidth, 4),
                                Scale(test::kExpectedHeight, units.charHeight, 8)));
}

void DialogTemplateTest::windowIsFixedCentredAndTitled() {
  QCOMPARE(m_dlg->windowTitle(), QString::fromWCharArray(test::kExpectedCaption));
  const Qt::WindowFlags flags = m_dlg->windowFlags();
  // A dialog type would be made transient on X11 and lose its taskbar entry.
  QCOMPARE(m_dlg->windowType(), Qt::Window);
  QVERIFY(!(flags & Qt::WindowMinimizeButtonHint));
  QVERIFY(!(flags & Qt::WindowMaximizeButtonHint));
  QVERIFY(!(flags & Qt::WindowContextHelpButtonHint));
  QVERIFY(flags & Qt::WindowCloseButtonHint);
  QVERIFY(flags & Qt::WindowSystemMenuHint);
  QCOMPARE(m_dlg->minimumSize(), m_dlg->maximumSize());
  QVERIFY(!m_dlg->windowIcon().isNull());
  QVERIFY(m_dlg->windowIcon().availableSizes().contains(QSize(16, 16)));

  m_dlg->show();
  QVERIFY(QTest::qWaitForWindowExposed(m_dlg));
  const QPoint screenCentre = m_dlg->screen()->availableGeometry().center();
  const QPoint centre = m_dlg->frameGeometry().center();
  QVERIFY2((centre - screenCentre).manhattanLength() <= 4,
           qPrintable(QString("centre %1,%2").arg(centre.x()).arg(centre.y())));
}

void DialogTemplateTest::tabFollowsTemplateOrderAndWraps() {
  m_dlg->show();
  QVERIFY(QTest::qWaitForWindowActive(m_dlg));
  QCOMPARE(QApplication::focusWidget(), m_dlg->Control(IDC_OPEN_PORT));
  const auto& order = test::kExpectedTabOrderWithReadouts;
  for (std::size_t i = 1; i <= std::size(order); ++i) {
    QTest::keyClick(m_dlg->windowHandle(), Qt::Key_Tab);
    const int want = order[i % std::size(order)];
    QVERIFY2(QApplication::focusWidget() == m_dlg->Control(want),
             qPrintable(QString("after %1 tabs").arg(i)));
  }
}

void DialogTemplateTest::startsClosedWithGreyOnAndNoPorts() {
  auto* soft = qobject_cast<CStateButton*>(m_dlg->Control(IDC_SOFT_ACTIVE));
  QVERIFY(soft->OwnerDraw());
  QCOMPARE(soft->Color(), kSoftActiveOffColor);
  QCOMPARE(m_dlg->GetText(IDC_SOFT_ACTIVE), std::string("ON"));
  QCOMPARE(m_dlg->GetText(IDC_OPEN_PORT), std::string("OpenPort"));
  auto* list = qobject_cast<QComboBox*>(m_dlg->Control(IDC_PORT_LIST));
  QVERIFY(list->isEnabled());
  QCOMPARE(list->count(), 0);
  QCOMPARE(m_dlg->SelectedPort(), -1);
  auto* slider = qobject_cast<CTickSlider*>(m_dlg->Control(IDC_CURRENT_SLIDER));
  QCOMPARE(slider->minimum(), 0);
  QCOMPARE(slider->maximum(), 100);
  QCOMPARE(slider->value(), 0);
  for (int id : {IDC_CURRENT_EDIT, IDC_FREQUENCY_EDIT, IDC_DURATION_EDIT, IDC_CURRENT_READ,
                 IDC_SEED_TEMP, IDC_PUMP_TEMP})
    QCOMPARE(m_dlg->GetText(id), std::string());
  // Pressing OpenPort with nothing to open changes nothing.
  qobject_cast<QPushButton*>(m_dlg->Control(IDC_OPEN_PORT))->click();
  QCOMPARE(m_dlg->GetText(IDC_OPEN_PORT), std::string("OpenPort"));
  QCOMPARE(m_dlg->GetController().Flags().portOpen, 0);
}

void DialogTemplateTest::escapeAndEnterNeverCloseTheWindow() {
  m_dlg->show();
  QVERIFY(QTest::qWaitForWindowActive(m_dlg));
  for (int id : {IDC_OPEN_PORT, IDC_SET_CURRENT, IDC_PORT_LIST, IDC_CURRENT_SLIDER, IDC_SOFT_ACTIVE,
                 IDC_CURRENT_EDIT}) {
    m_dlg->Control(id)->setFocus();
    for (int key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter})
      QTest::keyClick(m_dlg->windowHandle(), Qt::Key(key));
    QVERIFY2(m_dlg->isVisible(), qPrintable(QString("closed from control %1").arg(id)));
    QCOMPARE(m_dlg->result(), 0);
  }
  // Enter on the focused open button did not press it: still closed.
  QCOMPARE(m_dlg->GetText(IDC_OPEN_PORT), std::string("OpenPort"));
}

void DialogTemplateTest::helpBoxNamesProgramAndVersion() {
  // F1 in the running window opens the application's box; the window stays.
  CControllerApp app(*m_link, *m_ports, nullptr);
  QString shown;
  bool windowStayed = false;
  app.SetBeforeRun([&](CControllerDlg& dlg) {
    QTimer::singleShot(100, &dlg, [&dlg] {
      dlg.Control(IDC_CURRENT_EDIT)->setFocus();
      QTest::keyClick(dlg.windowHandle(), Qt::Key_F1);
    });
    QTimer::singleShot(600, &dlg, [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        shown = box->text();
        box->accept();
      }
      QTimer::singleShot(50, &dlg, [&] {
        windowStayed = dlg.isVisible();
        dlg.reject();
      });
    });
  });
  QCOMPARE(app.InitInstance(), false);
  QVERIFY(windowStayed);
  QVERIFY2(shown.contains("Quorvane") && shown.contains("1.0.0.1") &&
               shown.contains("No help is installed"),
           qPrintable(shown));
}

void DialogTemplateTest::portDetailsShowAsTooltips() {
  auto* list = qobject_cast<QComboBox*>(m_dlg->Control(IDC_PORT_LIST));
  m_dlg->ClearPortList();
  m_dlg->InsertPort(0, "ttyUSB0", "FT232R USB UART, FTDI, serial A12");
  m_dlg->InsertPort(1, "ttyS0", "");
  m_dlg->SelectPort(0);
  QCOMPARE(list->itemData(0, Qt::ToolTipRole).toString(),
           QString("FT232R USB UART, FTDI, serial A12"));
  // The first item was selected by its own insertion, before its details were known.
  QCOMPARE(list->toolTip(), QString("FT232R USB UART, FTDI, serial A12"));
  m_dlg->SelectPort(1);
  QVERIFY(list->toolTip().isEmpty());
  QCOMPARE(m_dlg->SelectedPort(), 1);
}

void DialogTemplateTest::errorBoxFromAnotherThreadWaitsForOk() {
  m_dlg->show();
  std::atomic<bool> returned{false};
  QString title, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  bool reporterWaited = false;
  // The box runs its own loop on this thread; inspect and dismiss it from there.
  QTimer::singleShot(300, m_dlg, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    title = box->windowTitle();
    text = box->text();
    icon = box->icon();
    buttons = box->standardButtons();
    reporterWaited = !returned.load();
    box->button(QMessageBox::Ok)->click();
  });
  std::thread reporter([&] {
    m_dlg->ShowError("write failed: Input/output error (port 33)", "Application Error");
    returned = true;
  });
  QTRY_VERIFY_WITH_TIMEOUT(returned.load(), 5000);
  reporter.join();
  QCOMPARE(title, QString("Application Error"));
  QCOMPARE(icon, QMessageBox::Critical);
  QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  QVERIFY(text.contains("port 33"));
  QVERIFY(reporterWaited);
}

void DialogTemplateTest::noBoxOnceTheSessionEnds() {
  m_dlg->show();
  // A monitor-thread error queued just before the window closed reaches the
  // window during the final Close's pump: it must not open a box then.
  std::atomic<bool> calling{false};
  std::atomic<bool> returned{false};
  std::thread reporter([&] {
    calling = true;
    m_dlg->ShowError("read failed (port 33)", "Application Error");
    returned = true;
  });
  while (!calling.load()) std::this_thread::yield();
  QThread::msleep(200);  // lets the call be queued before the session ends
  bool boxShown = false;
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    if (QWidget* box = QApplication::activeModalWidget()) {
      boxShown = true;
      box->close();
    }
  });
  watch.start(20);
  m_dlg->hide();
  m_dlg->EndSession();
  QTRY_VERIFY_WITH_TIMEOUT(returned.load(), 5000);
  reporter.join();
  QVERIFY(!boxShown);
}

void DialogTemplateTest::softActiveRepaintsWhenOnlyTheColourChanges() {
  m_dlg->show();
  QVERIFY(QTest::qWaitForWindowExposed(m_dlg));
  QWidget* soft = m_dlg->Control(IDC_SOFT_ACTIVE);
  m_dlg->PresentSoftActive(kSoftActiveOffColor, "ON");
  int paints = 0;
  struct PaintCounter : QObject {
    int* count;
    explicit PaintCounter(int* c) : count(c) {}
    bool eventFilter(QObject*, QEvent* event) override {
      if (event->type() == QEvent::Paint) ++*count;
      return false;
    }
  } counter(&paints);
  QTest::qWait(100);  // the first presentation's paint is behind us
  soft->installEventFilter(&counter);
  m_dlg->PresentSoftActive(kSoftActiveOnColor, "ON");
  QTRY_VERIFY_WITH_TIMEOUT(paints > 0, 2000);
  soft->removeEventFilter(&counter);
}

QTEST_MAIN(DialogTemplateTest)
#include "dialog_template_test.moc"
