// Pixels of the colour state button after grab(): fill, frame and caption for
// the looks the panel uses, unaffected by pressed, focused or disabled state
// but for a focus mark when the focus came by keyboard.
#include <QApplication>
#include <QImage>
#include <QTest>

#include "controls/qt/state_button.h"

using quorvane::ColorRef;
using quorvane::CStateButton;

namespace {

// Colours of every pixel that is neither fill nor frame: the caption's.
int CountPixelsOtherThan(const QImage& image, QRgb a, QRgb b) {
  int count = 0;
  for (int y = 1; y < image.height() - 1; ++y)
    for (int x = 1; x < image.width() - 1; ++x) {
      const QRgb p = image.pixel(x, y) & 0xFFFFFF;
      if (p != (a & 0xFFFFFF) && p != (b & 0xFFFFFF)) ++count;
    }
  return count;
}

QImage Grab(CStateButton& button) {
  return button.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

class PaintCounter : public QObject {
 public:
  int paints = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return false;
  }
};

}  // namespace

class StateButtonTest : public QObject {
  Q_OBJECT

 private slots:
  void looks_data();
  void looks();
  void setColorAloneStoresOnly();
  void stateDoesNotChangeLook();
  void keyboardFocusShowsAMarkOtherFocusNone();
  void beforeOwnerDrawPaintsAsPushButton();
};

void StateButtonTest::looks_data() {
  QTest::addColumn<uint>("color");
  QTest::addColumn<QString>("caption");
  QTest::addColumn<QColor>("fill");
  QTest::addColumn<QColor>("frame");
  QTest::newRow("initial grey ON")
      << 0xF5F5F5u << "ON" << QColor(245, 245, 245) << QColor(10, 10, 10);
  QTest::newRow("off grey OFF") << 0xF5F5F5u << "OFF" << QColor(245, 245, 245)
                                << QColor(10, 10, 10);
  QTest::newRow("on red ON") << 0x0000FFu << "ON" << QColor(255, 0, 0) << QColor(0, 255, 255);
  QTest::newRow("byte order blue") << 0xFF0000u << "X" << QColor(0, 0, 255) << QColor(255, 255, 0);
  QTest::newRow("green") << 0x00FF00u << "ON" << QColor(0, 255, 0) << QColor(255, 0, 255);
}

void StateButtonTest::looks() {
  QFETCH(uint, color);
  QFETCH(QString, caption);
  QFETCH(QColor, fill);
  QFETCH(QColor, frame);

  CStateButton button;
  button.resize(64, 28);
  button.EnableOwnerDraw();
  QCOMPARE(button.Color(), ColorRef{0});
  button.SetColor(color);
  button.setText(caption);
  const QImage image = Grab(button);

  const int w = image.width();
  const int h = image.height();
  for (const QPoint p :
       {QPoint(0, 0), QPoint(w - 1, 0), QPoint(0, h - 1), QPoint(w - 1, h - 1), QPoint(w / 2, 0),
        QPoint(w / 2, h - 1), QPoint(0, h / 2), QPoint(w - 1, h / 2)})
    QCOMPARE(QColor(image.pixel(p)), frame);
  // Just inside the frame and in the corners the fill shows.
  for (const QPoint p : {QPoint(1, 1), QPoint(w - 2, h - 2), QPoint(2, h / 2), QPoint(w - 3, 1)})
    QCOMPARE(QColor(image.pixel(p)), fill);
  // The caption is drawn, centred: its ink lies in the middle band only.
  const int ink = CountPixelsOtherThan(image, fill.rgb(), frame.rgb());
  QVERIFY2(ink > 0, "caption not drawn");
  const QImage leftQuarter = image.copy(0, 0, w / 6, h);
  QCOMPARE(CountPixelsOtherThan(leftQuarter, fill.rgb(), frame.rgb()), 0);
}

void StateButtonTest::setColorAloneStoresOnly() {
  CStateButton button;
  button.resize(40, 20);
  button.EnableOwnerDraw();
  button.setText("ON");
  button.show();
  QVERIFY(QTest::qWaitForWindowExposed(&button));
  QCoreApplication::processEvents();

  PaintCounter counter;
  button.installEventFilter(&counter);
  button.SetColor(0x0000FF);
  QCoreApplication::processEvents();
  QCOMPARE(counter.paints, 0);
  QCOMPARE(button.Color(), ColorRef{0x0000FF});
  button.setText("OFF");
  QTRY_VERIFY(counter.paints > 0);
}

void StateButtonTest::stateDoesNotChangeLook() {
  CStateButton button;
  button.resize(64, 28);
  button.EnableOwnerDraw();
  button.SetColor(0x0000FF);
  button.setText("ON");
  button.show();
  QVERIFY(QTest::qWaitForWindowExposed(&button));
  const QImage plain = Grab(button);

  button.setDown(true);
  QCOMPARE(Grab(button), plain);
  button.setDown(false);
  button.setFocus();
  QCOMPARE(Grab(button), plain);
  button.setEnabled(false);
  QCOMPARE(Grab(button), plain);
}

void StateButtonTest::keyboardFocusShowsAMarkOtherFocusNone() {
  QWidget window;
  CStateButton button(&window);
  button.resize(64, 28);
  button.EnableOwnerDraw();
  button.SetColor(0x0000FF);
  button.setText("ON");
  window.show();
  QVERIFY(QTest::qWaitForWindowActive(&window));
  const QImage plain = Grab(button);
  const struct {
    Qt::FocusReason reason;
    bool marked;
  } cases[] = {{Qt::TabFocusReason, true},
               {Qt::MouseFocusReason, false},
               {Qt::BacktabFocusReason, true},
               {Qt::OtherFocusReason, false}};
  for (const auto& c : cases) {
    button.clearFocus();
    button.setFocus(c.reason);
    QVERIFY(button.hasFocus());
    QCOMPARE(Grab(button) != plain, c.marked);
  }
  button.setFocus(Qt::TabFocusReason);
  button.clearFocus();
  QCOMPARE(Grab(button), plain);
}

void StateButtonTest::beforeOwnerDrawPaintsAsPushButton() {
  CStateButton button;
  button.resize(64, 28);
  button.SetColor(0x0000FF);
  button.setText("ON");
  const QImage image = Grab(button);
  QVERIFY(QColor(image.pixel(image.width() / 2, 2)) != QColor(255, 0, 0));
}

QTEST_MAIN(StateButtonTest)
#include "state_button_test.moc"
