// The window's input pre-filter on a small window of real controls: Enter
// goes out once with the focused control's id, Escape and Enter never reach a
// control, and every plain press (with the control hit) and every left
// release reach the controller before the click is reported.
#include <QComboBox>
#include <QDialog>
#include <QPushButton>
#include <QTest>

#include "app/qt/pre_filter.h"
#include "controller/control_ids.h"
#include "controls/qt/numeric_edit.h"
#include "controls/qt/tick_slider.h"

using namespace quorvane;

namespace {

// Logs what the filter forwards, naming each control by its object name.
struct Harness final : ControlInput {
  QDialog window;
  CNumericEdit* current = new CNumericEdit(&window);
  CNumericEdit* frequency = new CNumericEdit(&window);
  CNumericEdit* duration = new CNumericEdit(&window);
  QPushButton* down = new QPushButton("<", &window);
  QPushButton* up = new QPushButton(">", &window);
  QPushButton* set = new QPushButton("SET", &window);
  CTickSlider* slider = new CTickSlider(&window);
  QComboBox* list = new QComboBox(&window);
  QStringList log;  // every call the filter made and every click, in order

  Harness() {
    const std::pair<QWidget*, int> controls[] = {
        {current, IDC_CURRENT_EDIT},   {frequency, IDC_FREQUENCY_EDIT},
        {duration, IDC_DURATION_EDIT}, {down, IDC_CURRENT_DOWN},
        {up, IDC_CURRENT_UP},          {set, IDC_SET_CURRENT},
        {slider, IDC_CURRENT_SLIDER},  {list, IDC_PORT_LIST}};
    const char* names[] = {"current", "frequency", "duration", "down",
                           "up",      "set",       "slider",   "list"};
    int x = 0;
    for (std::size_t i = 0; i < std::size(controls); ++i) {
      controls[i].first->setGeometry(x, 10, 60, 30);
      controls[i].first->setProperty(kControlIdProperty, controls[i].second);
      controls[i].first->setObjectName(names[i]);
      x += 70;
    }
    window.resize(x + 20, 80);
    for (QPushButton* b : {down, up, set}) b->setAutoDefault(false);
    set->setDefault(true);  // would take Enter if the filter let it through
    QObject::connect(down, &QPushButton::clicked, [this] { log << "click down"; });
    QObject::connect(up, &QPushButton::clicked, [this] { log << "click up"; });
    QObject::connect(set, &QPushButton::clicked, [this] { log << "click set"; });
    QObject::connect(current, &QLineEdit::returnPressed, [this] { log << "edit got Enter"; });
    new PreFilter(&window, *this);
    window.show();
  }

  QString NameOf(int id) const {
    for (const QWidget* w : window.findChildren<QWidget*>())
      if (w->property(kControlIdProperty).toInt() == id) return w->objectName();
    return id == -1 ? "none" : QString::number(id);
  }
  void OnClicked(int id) override { log << "clicked " + NameOf(id); }  // buttons' own
  void OnEnter(int focusedId) override { log << "enter " + NameOf(focusedId); }
  void OnPress(int id) override { log << "press " + NameOf(id); }
  void OnMouseRelease() override { log << "release"; }
};

}  // namespace

class PreFilterTest : public QObject {
  Q_OBJECT

 private slots:
  void enterGoesOutWithTheFocusedControl_data();
  void enterGoesOutWithTheFocusedControl();
  void escapeIsSwallowedEverywhere();
  void stepPressAndReleaseComeBeforeTheClick();
  void releaseAnywhereReachesStepLogic();
  void secondPressOfDoubleClickStartsNoHold();
  void otherButtonsAreNotSeen();
};

// What Enter does with each id is the controller's routing (its own tests);
// here: it goes out once, with the right id, and reaches no control.
void PreFilterTest::enterGoesOutWithTheFocusedControl_data() {
  QTest::addColumn<int>("focus");
  QTest::addColumn<int>("key");
  QTest::addColumn<QString>("expected");
  for (int key : {int(Qt::Key_Return), int(Qt::Key_Enter)}) {
    const QString k = key == Qt::Key_Return ? " (Return)" : " (keypad Enter)";
    QTest::newRow(qPrintable("current" + k)) << 0 << key << "enter current";
    QTest::newRow(qPrintable("frequency" + k)) << 1 << key << "enter frequency";
    QTest::newRow(qPrintable("duration" + k)) << 2 << key << "enter duration";
    QTest::newRow(qPrintable("step button" + k)) << 3 << key << "enter down";
    QTest::newRow(qPrintable("default SET button" + k)) << 5 << key << "enter set";
    QTest::newRow(qPrintable("slider" + k)) << 6 << key << "enter slider";
    QTest::newRow(qPrintable("port list" + k)) << 7 << key << "enter list";
  }
}

void PreFilterTest::enterGoesOutWithTheFocusedControl() {
  QFETCH(int, focus);
  QFETCH(int, key);
  QFETCH(QString, expected);
  Harness h;
  QVERIFY(QTest::qWaitForWindowActive(&h.window));
  QWidget* targets[] = {h.current, h.frequency, h.duration, h.down, h.up, h.set, h.slider, h.list};
  targets[focus]->setFocus();
  QTest::keyClick(h.window.windowHandle(), Qt::Key(key));
  QCOMPARE(h.log, QStringList{expected});
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
  QCOMPARE(h.log, (QStringList{"press set", "release", "click set", "press current", "release",
                               "press none", "release"}));
  // A press elsewhere that is released over a step button starts no hold.
  h.log.clear();
  QTest::mousePress(h.set, Qt::LeftButton);
  QTest::mouseRelease(h.set, Qt::LeftButton, {},
                      h.set->mapFrom(&h.window, h.up->geometry().center()));
  QCOMPARE(h.log, (QStringList{"press set", "release"}));
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
