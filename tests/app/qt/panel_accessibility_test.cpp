// What the panel tells assistive technology, offscreen: a name of its own for
// every control, the soft-active toggle set by the board alone, read-outs as
// values, the open button's failure in words and the history chart's text
// alternative. The events a screen reader hears need the accessibility bus:
// atspi_panel.py checks them.
#include <set>

#include <QAccessible>
#include <QAccessibleValueInterface>
#include <QImage>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "app/accessible_texts.h"
#include "app/qt/controller_dlg.h"
#include "app/qt/history_window.h"
#include "app/qt/trend_chart.h"
#include "controller/control_ids.h"
#include "serial/posix/port_table.h"
#include "serial/serial_link.h"

using namespace quorvane;

namespace {

QAccessibleInterface* Accessible(QWidget* widget) {
  return QAccessible::queryAccessibleInterface(widget);
}

}  // namespace

class PanelAccessibilityTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void everyControlHasANameOfItsOwn();
  void softActiveIsAToggleOnlyTheBoardSets();
  void readoutsAreValuesReachedByTab();
  void focusedReadoutShowsAMark();
  void openButtonSaysWhatItDoesAndWhyItFailed();
  void chartDescribesTheNewestReading();

 private:
  QTemporaryDir* m_dir = nullptr;
  CSerialLink* m_link = nullptr;
  PortTable* m_ports = nullptr;
  CControllerDlg* m_dlg = nullptr;
};

void PanelAccessibilityTest::init() {
  m_dir = new QTemporaryDir;
  m_link = new CSerialLink(m_dir->path().toStdString());
  m_ports = new PortTable(m_dir->path().toStdString());
  m_dlg = new CControllerDlg(*m_link, *m_ports);
}

void PanelAccessibilityTest::cleanup() {
  delete m_dlg;
  delete m_ports;
  delete m_link;
  delete m_dir;
}

void PanelAccessibilityTest::everyControlHasANameOfItsOwn() {
  std::set<QString> names;
  for (const TemplateRow& row : kMainTemplate) {
    if (row.id == kNoId) continue;
    QAccessibleInterface* control = Accessible(m_dlg->Control(row.id));
    const QString name = control->text(QAccessible::Name);
    QVERIFY2(!name.trimmed().isEmpty(), qPrintable(QString("control %1 has no name").arg(row.id)));
    QVERIFY2(names.insert(name).second, qPrintable("name used twice: " + name));
    // The caption is what the eye reads; the name is what the ear needs.
    QVERIFY2(name != QString::fromUtf8(row.caption), qPrintable("name is the caption: " + name));
  }
  QCOMPARE(names.size(), std::size(kAccessibleTexts));
}

void PanelAccessibilityTest::softActiveIsAToggleOnlyTheBoardSets() {
  auto* button = static_cast<QPushButton*>(m_dlg->Control(IDC_SOFT_ACTIVE));
  const struct {
    ColorRef color;
    const char* caption;
    bool checked;
  } steps[] = {{kSoftActiveOnColor, "ON", true},
               {kSoftActiveOffColor, "OFF", false},
               {kSoftActiveOnColor, "ON", true}};
  for (const auto& step : steps) {
    m_dlg->PresentSoftActive(step.color, step.caption);
    const QAccessible::State state = Accessible(button)->state();
    QVERIFY(state.checkable);
    QCOMPARE(bool(state.checked), step.checked);
    // A screen reader's toggle is a press: with no port open it changes nothing.
    Accessible(button)->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    QCOMPARE(bool(Accessible(button)->state().checked), step.checked);
  }
}

void PanelAccessibilityTest::readoutsAreValuesReachedByTab() {
  const struct {
    int id;
    const char* text;
    double value;
  } readouts[] = {{IDC_CURRENT_READ, "1500", 1500},
                  {IDC_SEED_TEMP, "25.3", 25.3},
                  {IDC_PUMP_TEMP, "-3.5", -3.5}};
  for (const auto& readout : readouts) {
    QWidget* widget = m_dlg->Control(readout.id);
    QVERIFY(Accessible(widget)->valueInterface()->currentValue().isNull());  // nothing read yet
    m_dlg->SetText(readout.id, readout.text);
    QAccessibleInterface* control = Accessible(widget);
    QCOMPARE(control->valueInterface()->currentValue().toDouble(), readout.value);
    QCOMPARE(control->text(QAccessible::Value), QString(readout.text));
    QVERIFY(control->state().readOnly && control->state().focusable);
    QCOMPARE(widget->focusPolicy(), Qt::TabFocus);  // a click leaves the focus where it was
  }
}

void PanelAccessibilityTest::focusedReadoutShowsAMark() {
  m_dlg->show();
  QVERIFY(QTest::qWaitForWindowActive(m_dlg));
  QWidget* readout = m_dlg->Control(IDC_SEED_TEMP);
  m_dlg->SetText(IDC_SEED_TEMP, "25.0");
  const QImage plain = readout->grab().toImage();
  readout->setFocus(Qt::TabFocusReason);
  QVERIFY(readout->grab().toImage() != plain);
  m_dlg->Control(IDC_OPEN_PORT)->setFocus(Qt::TabFocusReason);
  QCOMPARE(readout->grab().toImage(), plain);
}

void PanelAccessibilityTest::openButtonSaysWhatItDoesAndWhyItFailed() {
  QWidget* open = m_dlg->Control(IDC_OPEN_PORT);
  m_dlg->SetText(IDC_OPEN_PORT, "ClosePort");
  QCOMPARE(Accessible(open)->text(QAccessible::Name), QString("Close port"));
  m_dlg->SetText(IDC_OPEN_PORT, "OpenPort");
  QCOMPARE(Accessible(open)->text(QAccessible::Name), QString("Open port"));

  m_dlg->SetOpenPortHint("Permission denied");
  QVERIFY(Accessible(open)->text(QAccessible::Description).contains("Permission denied"));
  m_dlg->SetOpenPortHint("");
  QVERIFY(!Accessible(open)->text(QAccessible::Description).contains("Permission denied"));
}

void PanelAccessibilityTest::chartDescribesTheNewestReading() {
  ReadingsLog log;
  DeviceState device;
  device.currentRead = 1234;
  device.currentSetpoint = 1500;
  device.seedTemp = 2530;
  device.pumpTemp = 3010;
  log.OnStatusReading(device);
  HistoryWindow history(log, nullptr);
  history.show();
  const QString told = Accessible(history.Chart())->text(QAccessible::Description);
  for (const char* part :
       {"measured current 1234 mA", "set-point 1500 mA", "seed 25.3 °C", "pump 30.1 °C"})
    QVERIFY2(told.contains(QString::fromUtf8(part)), qPrintable(told));
}

QTEST_MAIN(PanelAccessibilityTest)
#include "panel_accessibility_test.moc"
