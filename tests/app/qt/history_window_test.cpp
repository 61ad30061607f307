// The readings history window in the whole panel: opened by F2 and by the
// background's context menu, fed by the real poll of a virtual board, drawn
// only while shown, recording a row per reply, and the main window untouched.
#include <sys/resource.h>

#include <csignal>
#include <fstream>
#include <string>

#include <QApplication>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include "app/qt/history_window.h"
#include "app/qt/trend_chart.h"
#include "controller/control_ids.h"
#include "protocol/codes.h"
#include "tests/app/qt/panel_fixture.h"

using namespace quorvane;
using namespace quorvane::test;

namespace {

// What the operator sees of the main window: every template control's place,
// size, visibility and focus, in tab order, and the window's own size.
QStringList MainWindowLayout(const CControllerDlg& dlg) {
  QStringList layout{QStringLiteral("window %1x%2").arg(dlg.width()).arg(dlg.height())};
  for (const QWidget* w : dlg.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (w->isWindow()) continue;  // the history window is a window of its own
    const QRect g = w->geometry();
    layout << QStringLiteral("row %1 id %2 %3,%4 %5x%6 visible %7 focus %8")
                  .arg(w->property("templateRow").toInt())
                  .arg(w->property("controlId").toInt())
                  .arg(g.x())
                  .arg(g.y())
                  .arg(g.width())
                  .arg(g.height())
                  .arg(w->isVisible())
                  .arg(static_cast<int>(w->focusPolicy()));
  }
  QWidget* start = dlg.Control(IDC_OPEN_PORT);
  QString chain = "tab";
  QWidget* w = start;
  do {
    chain += " " + QString::number(w->property("controlId").toInt());
    w = w->nextInFocusChain();
  } while (w != start && w != nullptr && chain.size() < 400);
  layout << chain;
  return layout;
}

std::uint64_t Appended(const Panel& p) { return p.dlg->Readings().History().Appended(); }

// The chart's time axis counts whole milliseconds.
long long Ms(WallTime time) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
}

int LinesIn(const QString& path) {
  std::ifstream in(path.toStdString());
  int lines = 0;
  for (std::string line; std::getline(in, line);) ++lines;
  return lines;
}

// The text of the message box the history window shows, closing it.
QString TakeMessage() {
  for (QWidget* window : QApplication::topLevelWidgets())
    if (auto* box = qobject_cast<QMessageBox*>(window); box != nullptr && box->isVisible()) {
      const QString text = box->text();
      box->close();
      return text;
    }
  return {};
}

// Opens the port and waits until the board's readings are coming in.
void OpenAndSync(Panel& p) {
  p.Button(IDC_OPEN_PORT)->click();
  QTRY_VERIFY_WITH_TIMEOUT(p.Synced(), kSyncTimeoutMs);
  QTRY_VERIFY_WITH_TIMEOUT(Appended(p) >= 1, 3000);
}

// Sends a context-menu request to the main window at pos and returns the
// texts of the menu that opened, closing it again (empty: no menu).
QStringList MenuAt(CControllerDlg& dlg, QPoint pos, int chooseIndex = -1) {
  QStringList texts;
  QTimer::singleShot(200, [&] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (menu == nullptr) return;
    for (QAction* action : menu->actions())
      texts << action->text() + "|" + action->shortcut().toString();
    if (chooseIndex >= 0) {
      menu->setActiveAction(menu->actions().at(chooseIndex));
      QTest::keyClick(menu, Qt::Key_Return);
    } else {
      menu->close();
    }
  });
  QContextMenuEvent event(QContextMenuEvent::Mouse, pos, dlg.mapToGlobal(pos));
  QApplication::sendEvent(&dlg, &event);
  QTest::qWait(300);
  return texts;
}

}  // namespace

class HistoryWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void f2OpensItAndASettingShowsAsAStep();
  void backgroundMenuOffersHistoryAndAboutButControlsKeepTheirs();
  void zoomingStopsFollowingUntilASpanIsChosen();
  void closedWindowIsNotRedrawnAndAReopenedPortLeavesAGap();
  void recordingWritesARowPerReplyAndAFailureStopsOnlyTheRecording();
  void allShowsEveryRunAfterAClockSetBack();
};

void HistoryWindowTest::f2OpensItAndASettingShowsAsAStep() {
  Panel p(Parameters(1000, 0));
  QVERIFY(QTest::qWaitForWindowActive(p.dlg.get()));
  const QStringList layout = MainWindowLayout(*p.dlg);
  OpenAndSync(p);
  QCOMPARE(p.dlg->History(), nullptr);
  QTest::keyClick(p.dlg->windowHandle(), Qt::Key_F2);
  HistoryWindow* history = p.dlg->History();
  QVERIFY(history != nullptr);
  QTRY_VERIFY(history->isVisible());
  QVERIFY(history->isWindow());
  QCOMPARE(history->windowTitle(), QString("Readings history"));

  // The operator sets a new current on the panel (its SET button).
  static_cast<QLineEdit*>(p.dlg->Control(IDC_CURRENT_EDIT))->setText("1500");
  p.Button(IDC_SET_CURRENT)->click();
  TrendChart* chart = history->Chart();
  QTRY_COMPARE_WITH_TIMEOUT(p.dlg->Readings().History().Newest().device.currentSetpoint, 1500, 4000);
  QTRY_VERIFY_WITH_TIMEOUT(chart->ChangeMarkers() >= 1, 2000);
  QVERIFY(chart->PointCount(TrendQuantity::MeasuredCurrent) >= 2);
  QVERIFY(chart->PointCount(TrendQuantity::SeedTemperature) >= 2);
  QVERIFY(chart->PointCount(TrendQuantity::PumpTemperature) >= 2);
  // 1000 then 1500: a step is two more points than a flat line.
  QVERIFY(chart->PointCount(TrendQuantity::CurrentSetpoint) >= 3);
  QCOMPARE(p.dlg->Readings().History().Newest().device.currentSetpoint, 1500);
  // Nothing of the main window moved, resized, appeared or changed its tab order.
  QCOMPARE(MainWindowLayout(*p.dlg), layout);
}

void HistoryWindowTest::backgroundMenuOffersHistoryAndAboutButControlsKeepTheirs() {
  Panel p(Parameters(0, 0));
  QVERIFY(QTest::qWaitForWindowActive(p.dlg.get()));
  const QStringList layout = MainWindowLayout(*p.dlg);
  QPushButton* open = p.Button(IDC_OPEN_PORT);
  QCOMPARE(MenuAt(*p.dlg, open->geometry().center()), QStringList());
  QPoint background(2, 2);
  QCOMPARE(p.dlg->childAt(background), nullptr);
  const QStringList offered = MenuAt(*p.dlg, background, 0);
  QCOMPARE(offered, (QStringList{"Readings history\u2026|F2", "About Quorvane\u2026|F1"}));
  QVERIFY(p.dlg->History() != nullptr);
  QTRY_VERIFY(p.dlg->History()->isVisible());
  QCOMPARE(MainWindowLayout(*p.dlg), layout);
}

void HistoryWindowTest::zoomingStopsFollowingUntilASpanIsChosen() {
  Panel p(Parameters(0, 0));
  OpenAndSync(p);
  p.dlg->ShowHistory();
  HistoryWindow* history = p.dlg->History();
  history->FollowSpan(HistoryWindow::Span::Minute);
  TrendChart* chart = history->Chart();
  // Following: the newest reading inside the last 10 s label step, at the right.
  const auto newestShown = [&] {
    const long long gap = Ms(chart->To()) - Ms(p.dlg->Readings().History().Newest().time);
    return gap > 0 && gap <= 10000;
  };
  QTRY_VERIFY(newestShown());
  QTest::keyClick(chart, Qt::Key_Plus);
  QVERIFY(!history->Following());
  const WallTime from = chart->From();
  const WallTime to = chart->To();
  const std::uint64_t seen = Appended(p);
  QTRY_VERIFY_WITH_TIMEOUT(Appended(p) >= seen + 2, 3000);
  QTest::qWait(300);
  QVERIFY(chart->From() == from && chart->To() == to);
  history->FollowSpan(HistoryWindow::Span::Minute);
  QVERIFY(history->Following());
  QTRY_VERIFY(newestShown());
  QVERIFY(chart->To() - chart->From() == std::chrono::minutes(1));
  QCOMPARE(Ms(chart->To()) % 10000, 0LL);

  // The wheel turned out far past the readings kept: the span stops at them.
  const QPointF middle = QRectF(chart->viewport()->rect()).center();
  for (int step = 0; step < 100; ++step) {
    QWheelEvent out(middle, chart->viewport()->mapToGlobal(middle), QPoint(), QPoint(0, -120),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(chart->viewport(), &out);
  }
  QVERIFY(!history->Following());
  const auto span = std::chrono::duration_cast<std::chrono::minutes>(chart->To() - chart->From());
  QVERIFY2(span == std::chrono::hours(25), qPrintable(QString::number(span.count()) + " min"));
}

void HistoryWindowTest::closedWindowIsNotRedrawnAndAReopenedPortLeavesAGap() {
  Panel p(Parameters(0, 0));
  OpenAndSync(p);
  p.dlg->ShowHistory();
  HistoryWindow* history = p.dlg->History();
  QTRY_VERIFY(history->Chart()->PointCount(TrendQuantity::MeasuredCurrent) >= 1);
  history->close();
  const int redraws = history->Redraws();
  const std::uint64_t seen = Appended(p);
  QTRY_VERIFY_WITH_TIMEOUT(Appended(p) >= seen + 2, 3000);
  QCOMPARE(history->Redraws(), redraws);

  p.Button(IDC_OPEN_PORT)->click();  // close; the panel shows it after the close's pause
  QTRY_COMPARE_WITH_TIMEOUT(p.Text(IDC_OPEN_PORT), std::string("OpenPort"), 2000);
  const std::uint64_t beforeReopen = Appended(p);
  p.Button(IDC_OPEN_PORT)->click();
  QTRY_VERIFY_WITH_TIMEOUT(Appended(p) >= beforeReopen + 2, kSyncTimeoutMs);
  p.dlg->ShowHistory();
  QVERIFY(history->Redraws() > redraws);
  // Kept across the reopen, and not joined across it.
  QVERIFY(p.dlg->Readings().History().Size() >= beforeReopen + 2);
  QTRY_COMPARE(history->Chart()->RunCount(TrendQuantity::MeasuredCurrent), 2);
  QCOMPARE(history->Chart()->RunCount(TrendQuantity::PumpTemperature), 2);
}

void HistoryWindowTest::recordingWritesARowPerReplyAndAFailureStopsOnlyTheRecording() {
  Panel p(Parameters(0, 0));
  OpenAndSync(p);
  p.dlg->ShowHistory();
  HistoryWindow* history = p.dlg->History();
  const QString path = p.dir.filePath("readings.csv");
  const std::uint64_t first = Appended(p);
  QVERIFY(history->RecordTo(path));
  QTRY_VERIFY_WITH_TIMEOUT(Appended(p) >= first + 2, 3000);
  // An export onto the file being recorded would replace it under the
  // recording: refused, and the recording goes on in that file.
  QVERIFY(!history->ExportTo(path));
  const QString told = TakeMessage();
  QVERIFY2(told.contains("being recorded"), qPrintable(told));
  QVERIFY2(history->StatusText().startsWith("Recording to"), qPrintable(history->StatusText()));
  QVERIFY(p.dlg->Readings().Recording());
  const std::uint64_t exported = Appended(p);
  QTRY_VERIFY_WITH_TIMEOUT(Appended(p) >= exported + 2, 3000);
  history->StopRecording();
  QCOMPARE(LinesIn(path), 1 + static_cast<int>(Appended(p) - first));
  QVERIFY(history->StatusText().startsWith("Not recording"));

  QVERIFY(!history->RecordTo(p.dir.filePath("no/such/folder/readings.csv")));
  QVERIFY2(history->StatusText().contains("No such file or directory"),
           qPrintable(history->StatusText()));

  // The file may grow by the header and about a row, then the system refuses.
  struct rlimit saved {};
  getrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = saved;
  small.rlim_cur = 120;
  setrlimit(RLIMIT_FSIZE, &small);
  const QString limited = p.dir.filePath("limited.csv");
  QVERIFY(history->RecordTo(limited));
  QTRY_VERIFY_WITH_TIMEOUT(!p.dlg->Readings().Recording(), 4000);
  setrlimit(RLIMIT_FSIZE, &saved);
  QVERIFY2(history->StatusText().startsWith("Recording stopped"),
           qPrintable(history->StatusText()));
  QVERIFY(QApplication::activeModalWidget() == nullptr);  // told, not stopped
  std::ifstream in(limited.toStdString());
  const std::string whole((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  QVERIFY(!whole.empty() && whole.back() == '\n');
  // The panel goes on polling and keeping readings.
  const std::uint64_t after = Appended(p);
  QTRY_VERIFY_WITH_TIMEOUT(Appended(p) >= after + 2, 3000);
  QVERIFY(p.Synced());
}

// Readings stamped by a clock the test sets back an hour: the readings before
// the step are now the latest, and "All" still shows both runs whole.
void HistoryWindowTest::allShowsEveryRunAfterAClockSetBack() {
  WallTime now = std::chrono::system_clock::now();
  ReadingsLog log([&now] { return now; }, 64);
  for (int i = 0; i < 20; ++i, now += kPollPeriod) log.OnStatusReading(DeviceState{});
  const WallTime latest = now - kPollPeriod;
  now -= std::chrono::hours(1);
  const WallTime earliest = now;
  for (int i = 0; i < 20; ++i, now += kPollPeriod) log.OnStatusReading(DeviceState{});
  HistoryWindow history(log, nullptr);
  history.show();
  history.FollowSpan(HistoryWindow::Span::All);
  TrendChart* chart = history.Chart();
  QVERIFY(chart->From() <= earliest && chart->To() >= latest);
  QVERIFY(chart->To() - chart->From() < std::chrono::hours(2));
  QCOMPARE(chart->RunCount(TrendQuantity::MeasuredCurrent), 2);
}

QTEST_MAIN(HistoryWindowTest)
#include "history_window_test.moc"
