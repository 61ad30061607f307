// The panel under a lab limits file of the test's own, against the virtual
// board: the slider bounded by the lab's limit and saying so, a read-out in
// alarm drawn red with its reason, a broken file's reason on the open button,
// and the F1 box listing the limits.
#include <QAccessible>
#include <QImage>
#include <QSignalSpy>
#include <QTest>

#include "app/accessible_texts.h"
#include "app/qt/controller_app.h"
#include "app/qt/controller_dlg.h"
#include "controller/control_ids.h"
#include "controls/qt/readout.h"
#include "controls/qt/state_button.h"
#include "controls/qt/tick_slider.h"
#include "tests/app/qt/panel_fixture.h"

using namespace quorvane;
using namespace quorvane::test;

namespace {

QString Description(QWidget* widget) {
  return QAccessible::queryAccessibleInterface(widget)->text(QAccessible::Description);
}

// The colour inside the read-out's frame, away from its text.
QColor Inside(QWidget* readout) { return readout->grab().toImage().pixelColor(2, 2); }

}  // namespace

class PanelLimitsTest : public QObject {
  Q_OBJECT

 private slots:
  void sliderStopsAtTheLabLimitAndSaysSo();
  void noteAddsToTheUsualTextsAndGoesAgain();
  void alarmIsRedWithItsReasonAndAlertsOnce();
  void seedOutsideItsWindowTurnsItsReadoutRed();
  void brokenFileIsTheOpenButtonsReason();
  void helpBoxListsTheLimits();
};

void PanelLimitsTest::sliderStopsAtTheLabLimitAndSaysSo() {
  Panel p(Parameters(1200, 0), false, RealSystemCalls(), "[default]\ncurrent_max_mA = 2000\n");
  p.Button(IDC_OPEN_PORT)->click();
  QTRY_VERIFY_WITH_TIMEOUT(p.Synced(), kSyncTimeoutMs);
  auto* slider = static_cast<CTickSlider*>(p.dlg->Control(IDC_CURRENT_SLIDER));
  QCOMPARE(slider->maximum(), 2000);
  for (const int id : {IDC_CURRENT_SLIDER, IDC_CURRENT_EDIT}) {
    QWidget* control = p.dlg->Control(id);
    QVERIFY2(control->toolTip().contains("lab limit 2000 mA"), qPrintable(control->toolTip()));
    QVERIFY2(Description(control).contains("lab limit 2000 mA"), qPrintable(Description(control)));
  }
}

void PanelLimitsTest::noteAddsToTheUsualTextsAndGoesAgain() {
  Panel p(Parameters(0, 0));
  QWidget* slider = p.dlg->Control(IDC_CURRENT_SLIDER);
  const QString usual = QString::fromUtf8(AccessibleTextOf(IDC_CURRENT_SLIDER)->description);
  QCOMPARE(Description(slider), usual);
  const struct {
    const char* note;
    QString tooltip;
    QString description;
  } steps[] = {
      {"lab limit 2000 mA", "lab limit 2000 mA", usual + "; lab limit 2000 mA"},
      {"ramping the current to 2000 mA: 800 mA confirmed",
       "ramping the current to 2000 mA: 800 mA confirmed",
       usual + "; ramping the current to 2000 mA: 800 mA confirmed"},
      {"", "", usual},
  };
  for (const auto& step : steps) {
    p.dlg->SetControlNote(IDC_CURRENT_SLIDER, step.note);
    QCOMPARE(slider->toolTip(), step.tooltip);
    QCOMPARE(Description(slider), step.description);
  }
}

void PanelLimitsTest::alarmIsRedWithItsReasonAndAlertsOnce() {
  Panel p(Parameters(0, 0));
  QVERIFY(QTest::qWaitForWindowExposed(p.dlg.get()));
  auto* readout = static_cast<CReadout*>(p.dlg->Control(IDC_SEED_TEMP));
  p.dlg->SetText(IDC_SEED_TEMP, "31.2");
  const QColor usualColour = Inside(readout);
  const QString usual = QString::fromUtf8(AccessibleTextOf(IDC_SEED_TEMP)->description);
  // Offscreen no reader listens: the alert is counted where it is raised.
  QSignalSpy alerts(readout, &CReadout::alarmStarted);
  const QString reason = "seed 31.20 C outside 15.00 to 30.00 C (lab limit, limits.toml:5)";
  const struct {
    QString reason;
    bool red;
    int alerts;  // so far: only a start is news
  } steps[] = {
      {reason, true, 1}, {reason, true, 1}, {"", false, 1}, {reason, true, 2}, {"", false, 2}};
  for (const auto& step : steps) {
    p.dlg->ShowAlarm(IDC_SEED_TEMP, step.reason.toStdString());
    QCOMPARE(Inside(readout) == CStateButton::ToQColor(kAlarmColor), step.red);
    if (!step.red) QCOMPARE(Inside(readout), usualColour);
    QCOMPARE(readout->toolTip(), step.red ? "Alarm: " + reason : QString());
    QCOMPARE(Description(readout), step.red ? "Alarm: " + reason + ". " + usual : usual);
    QCOMPARE(alerts.count(), step.alerts);
  }
  // Its neighbour was never in alarm.
  QCOMPARE(Description(p.dlg->Control(IDC_PUMP_TEMP)),
           QString::fromUtf8(AccessibleTextOf(IDC_PUMP_TEMP)->description));
}

void PanelLimitsTest::seedOutsideItsWindowTurnsItsReadoutRed() {
  // The virtual board's seed stays within a few hundredths of 25 degrees.
  Panel p(Parameters(0, 0), false, RealSystemCalls(), "[default]\nseed_C = [10.0, 20.0]\n");
  QVERIFY(QTest::qWaitForWindowExposed(p.dlg.get()));
  p.Button(IDC_OPEN_PORT)->click();
  QTRY_VERIFY_WITH_TIMEOUT(p.Synced(), kSyncTimeoutMs);
  auto* seed = static_cast<CReadout*>(p.dlg->Control(IDC_SEED_TEMP));
  QTRY_VERIFY_WITH_TIMEOUT(seed->InAlarm(), 3000);
  QCOMPARE(Inside(seed), CStateButton::ToQColor(kAlarmColor));
  const QString where = p.dir.filePath("limits.toml") + ":2";
  for (const QString& text : {seed->toolTip(), Description(seed)}) {
    QVERIFY2(text.startsWith("Alarm: seed ") && text.contains(where), qPrintable(text));
  }
  auto* pump = static_cast<CReadout*>(p.dlg->Control(IDC_PUMP_TEMP));
  QVERIFY(!pump->InAlarm());
  QVERIFY(pump->toolTip().isEmpty());
}

void PanelLimitsTest::brokenFileIsTheOpenButtonsReason() {
  Panel p(Parameters(1200, 0), false, RealSystemCalls(), "[default]\ncurent_max_mA = 2000\n");
  p.Button(IDC_OPEN_PORT)->click();
  QTRY_VERIFY_WITH_TIMEOUT(p.Synced(), kSyncTimeoutMs);
  QWidget* open = p.dlg->Control(IDC_OPEN_PORT);
  // Open, with every setting refused: the reason names the file and its line.
  QCOMPARE(p.Text(IDC_OPEN_PORT), std::string("ClosePort"));
  const QString file = p.dir.filePath("limits.toml");
  QVERIFY2(open->toolTip().contains(file + ":2"), qPrintable(open->toolTip()));
  QVERIFY2(Description(open).contains(file + ":2"), qPrintable(Description(open)));
  QVERIFY2(!Description(open).contains("Did not open"), qPrintable(Description(open)));
  QVERIFY(QString::fromStdString(p.dlg->LimitsHelpText()).contains(file + ":2"));
}

void PanelLimitsTest::helpBoxListsTheLimits() {
  struct Case {
    const char* file;  // empty: none
    const char* listed;
  };
  for (const Case c :
       {Case{"", "No lab limits"}, Case{"[default]\ncurrent_max_mA = 2000\n", "current_max_mA"}}) {
    Panel p(Parameters(1200, 0), false, RealSystemCalls(), c.file);
    // Before any port is open, the limits the chosen port would open under.
    const QString before = CControllerApp::HelpText(p.dlg->LimitsHelpText());
    QVERIFY2(before.contains(c.listed), qPrintable(before));
    QVERIFY2(before.indexOf("Keys:") < before.indexOf("Lab limits:"), qPrintable(before));
    p.Button(IDC_OPEN_PORT)->click();
    QTRY_VERIFY_WITH_TIMEOUT(p.Synced(), kSyncTimeoutMs);
    const QString open = CControllerApp::HelpText(p.dlg->LimitsHelpText());
    QVERIFY2(open.contains(c.listed), qPrintable(open));
  }
}

QTEST_MAIN(PanelLimitsTest)
#include "panel_limits_test.moc"
