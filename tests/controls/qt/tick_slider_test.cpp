// The tick-mark slider: default range, ticks that accumulate across range
// changes, and marks drawn where the value maps to.
#include <QImage>
#include <QTest>

#include "controls/qt/tick_slider.h"

using quorvane::CTickSlider;

class TickSliderTest : public QObject {
  Q_OBJECT

 private slots:
  void defaultsToZeroOfHundred();
  void ticksAccumulateAcrossRangeChanges();
  void ticksAreDrawnBelowAtTheirValues();
};

void TickSliderTest::defaultsToZeroOfHundred() {
  CTickSlider slider;
  QCOMPARE(slider.minimum(), 0);
  QCOMPARE(slider.maximum(), 100);
  QCOMPARE(slider.value(), 0);
  QCOMPARE(slider.orientation(), Qt::Horizontal);
  QVERIFY(slider.Ticks().empty());
}

void TickSliderTest::ticksAccumulateAcrossRangeChanges() {
  CTickSlider slider;
  slider.setRange(0, 3000);
  for (int i = 1; i <= 9; ++i) slider.AddTick(i * 3000 / 10);
  slider.setRange(0, 2000);
  for (int i = 1; i <= 9; ++i) slider.AddTick(i * 2000 / 10);
  QCOMPARE(slider.Ticks().size(), std::size_t{18});
  QCOMPARE(slider.Ticks().front(), 300);
  QCOMPARE(slider.Ticks().back(), 1800);
}

void TickSliderTest::ticksAreDrawnBelowAtTheirValues() {
  CTickSlider slider;
  slider.resize(300, 32);
  slider.setRange(0, 1000);
  const QImage before = slider.grab().toImage();
  slider.AddTick(500);
  const QImage after = slider.grab().toImage();

  // Only a narrow column around the tick's x changes, in the lower part.
  const int x = slider.TickX(500);
  QVERIFY(x > 100 && x < 200);
  int changed = 0;
  for (int y = 0; y < after.height(); ++y)
    for (int col = 0; col < after.width(); ++col)
      if (before.pixel(col, y) != after.pixel(col, y)) {
        ++changed;
        QVERIFY2(std::abs(col - x) <= 1, qPrintable(QString("pixel changed at x=%1").arg(col)));
        QVERIFY(y > after.height() / 2);
      }
  QVERIFY(changed > 0);

  // A tick outside the range is kept but not drawn.
  slider.AddTick(5000);
  QCOMPARE(slider.grab().toImage(), after);
  QCOMPARE(slider.Ticks().size(), std::size_t{2});
}

QTEST_MAIN(TickSliderTest)
#include "tick_slider_test.moc"
