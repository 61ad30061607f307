// The window's input pre-filter on a small window of real controls: Enter in
// each entry field runs its own command once and nothing else, Escape and
// Enter never reach a control, and the step buttons' presses and every left
// release reach the step logic before the click is reported.
#include <QComboBox>
#include <QDialog>
#include <QPushButton>
#include <QTest>

#include "app/qt/pre_filter.h"
#include "controls/qt/numeric_edit.h"
#include "controls/qt/tick_slider.h"

using namespace quorvane;

namespace {

struct Harness {
  QDialog window;
  CNumericEdit* current = new CNumericEdit(&window);
  CNumericEdit* frequency = new CNumericEdit(&window);
  CNumericEdit* duration = new CNumericEdit(&window);
  QPushButton* down = new QPushButton("<", &window);
  QPushButton* up = new QPushButton(">", &window);
  QPushButton* set = new QPushButton("SET", &window);
  CTickSlider* slider = new CTickSlider(&window);
  QComboBox* list = new QComboBox(&window);
  QStringList log;  // every handler call and click, in order

  Harness() {
    int x = 0;
    for (QWidget* w : std::initializer_list<QWidget*>{current, frequency, duration, down, up, set,
                                                      slider, list}) {
      w->setGeometry(x, 10, 60, 30);
      x += 70;
    }
    window.resize(x + 20, 80);
    for (QPushButton* b : {down, up, set}) b->setAutoDefault(false);
    set->setDefault(true);  // would take Enter if the filter let it through
    QObject::connect(down, &QPushButton::clicked, [this] { log << "click down"; });
    QObject::connect(up, &QPushButton::clicked, [this] { log << "click up"; });
    QObject::connect(set, &QPushButton::clicked, [this] { log << "click set"; });
    QObject::connect(current, &QLineEdit::returnPressed, [this] { log << "edit got Enter"; });
    new PreFilter(&window, {current, frequency, duration, down, up},
                  {[this] { log << "setCurrent"; }, [this] { log << "setFrequency"; },
                   [this] { log << "setDuration"; },
                   [this](NudgeDirection d) {
                     log << (d == NudgeDirection::Down ? "press down" : "press up");
                   },
                   [this] { log << "release"; }});
    window.show();
  }
};

}  // namespace

class PreFilterTest : public QObject {
  Q_OBJECT

 private slots:
  void enterRunsTheFocusedFieldsCommand_data();
  void enterRunsTheFocusedFieldsCommand();
  void escapeIsSwallowedEverywhere();
  void stepPressAndReleaseComeBeforeTheClick();
  void releaseAnywhereReachesStepLogic();
  void secondPressOfDoubleClickStartsNoHold();
  void otherButtonsAreNotSeen();
};

void PreFilterTest::enterRunsTheFocusedFieldsCommand_data() {
  QTest::addColumn<int>("focus");
  QTest::addColumn<int>("key");
  QTest::addColumn<QString>("expected");
  for (int key : {int(Qt::Key_Return), int(Qt::Key_Enter)}) {
    const QString k = key == Qt::Key_Return ? " (Return)" : " (keypad Enter)";
    QTest::newRow(qPrintable("current" + k)) << 0 << key << "setCurrent";
    QTest::newRow(qPrintable("frequency" + k)) << 1 << key << "setFrequency";
    QTest::newRow(qPrintable("duration" + k)) << 2 << key << "setDuration";
    QTest::newRow(qPrintable("step button" + k)) << 3 << key << "";
    QTest::newRow(qPrintable("default SET button" + k)) << 5 << key << "";
    QTest::newRow(qPrintable("slider" + k)) << 6 << key << "";
    QTest::newRow(qPrintable("port list" + k)) << 7 << key << "";
  }
}

void PreFilterTest::enterRunsTheFocusedFieldsCommand() {
  QFETCH(int, focus);
  QFETCH(int, key);
  QFETCH(QString, expected);
  Harness h;
  QVERIFY(QTest::qWaitForWindowActive(&h.window));
  QWidget* targets[] = {h.current, h.frequency, h.duration, h.down, h.up, h.set, h.slider, h.list};
  targets[focus]->setFocus();
  QTest::keyClick(h.window.windowHandle(), Qt::Key(key));
  QCOMPARE(h.log, expected.isEmpty() ? QStringList() : QStringList{expected});
  QVERIFY(h.window.isVisible());
  QCOMPARE(h.window.result(), 0);
}

void PreFilterTest::escapeIsSwallowedEverywhere() {
  Harness h;
  QVERIFY(QTest::qWaitForWindowActive(&h.window));
  for (QWidget* w : std::initializer_list<QWidget*>{h.current, h.set, h.list, h.slider}) {
    w->setFocus();
    QTest::keyClick(h.window.windowHandle(), Qt::Key_Escape);
  }
  QVERIFY(h.window.isVisible());
  QVERIFY(h.log.isEmpty());
}

void PreFilterTest::stepPressAndReleaseComeBeforeTheClick() {
  Harness h;
  QVERIFY(QTest::qWaitForWindowExposed(&h.window));
  QTest::mousePress(h.up, Qt::LeftButton);
  QCOMPARE(h.log, QStringList{"press up"});
  QVERIFY(h.up->isDown());  // the press still reached the button
  QTest::mouseRelease(h.up, Qt::LeftButton);
  QCOMPARE(h.log, (QStringList{"press up", "release", "click up"}));

  h.log.clear();
  QTest::mouseClick(h.down, Qt::LeftButton);
  QCOMPARE(h.log, (QStringList{"press down", "release", "click down"}));
}

void PreFilterTest::releaseAnywhereReachesStepLogic() {
  Harness h;
  QVERIFY(QTest::qWaitForWindowExposed(&h.window));
  QTest::mouseClick(h.set, Qt::LeftButton);
  QTest::mouseClick(h.current, Qt::LeftButton);
  QTest::mouseClick(&h.window, Qt::LeftButton, {}, QPoint(5, 70));
  QCOMPARE(h.log, (QStringList{"release", "click set", "release", "release"}));
  // A press elsewhere that is released over a step button starts no hold.
  h.log.clear();
  QTest::mousePress(h.set, Qt::LeftButton);
  QTest::mouseRelease(h.set, Qt::LeftButton, {},
                      h.set->mapFrom(&h.window, h.up->geometry().center()));
  QCOMPARE(h.log, QStringList{"release"});
}

void PreFilterTest::secondPressOfDoubleClickStartsNoHold() {
  Harness h;
  QVERIFY(QTest::qWaitForWindowExposed(&h.window));
  QTest::mouseDClick(h.up, Qt::LeftButton);
  QCOMPARE(h.log.count("press up"), 1);
  QCOMPARE(h.log.count("release"), 2);
  QCOMPARE(h.log.count("click up"), 2);
  // The next ordinary press after a double click starts a hold again.
  h.log.clear();
  QTest::mousePress(h.up, Qt::LeftButton, {}, QPoint(), 1000);
  QCOMPARE(h.log, QStringList{"press up"});
  QTest::mouseRelease(h.up, Qt::LeftButton);
}

void PreFilterTest::otherButtonsAreNotSeen() {
  Harness h;
  QVERIFY(QTest::qWaitForWindowExposed(&h.window));
  QTest::mouseClick(h.up, Qt::RightButton);
  QTest::mouseClick(h.up, Qt::MiddleButton);
  QVERIFY(h.log.isEmpty());
}

QTEST_MAIN(PreFilterTest)
#include "pre_filter_test.moc"
