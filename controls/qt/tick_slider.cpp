// Tick-mark slider: the style paints groove and handle, we add the ticks.
#include "controls/qt/tick_slider.h"

#include <algorithm>

#include <QPainter>
#include <QStyle>
#include <QStyleOptionSlider>

namespace quorvane {

namespace {
constexpr int kTickLength = 4;
}  // namespace

CTickSlider::CTickSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
  setRange(0, 100);
  setValue(0);
  // Ticks below: the style leaves room for them under the groove; we draw them.
  setTickPosition(QSlider::TicksBelow);
}

void CTickSlider::AddTick(int position) {
  m_ticks.push_back(position);
  update();
}

int CTickSlider::TickX(int position) const {
  QStyleOptionSlider option;
  initStyleOption(&option);
  const QRect groove =
      style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderGroove, this);
  const QRect handle =
      style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
  const int span = groove.width() - handle.width();
  return groove.x() + handle.width() / 2 +
         QStyle::sliderPositionFromValue(minimum(), maximum(), position, span, option.upsideDown);
}

void CTickSlider::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QStyleOptionSlider option;
  initStyleOption(&option);
  option.subControls = QStyle::SC_SliderGroove | QStyle::SC_SliderHandle;
  style()->drawComplexControl(QStyle::CC_Slider, &option, &painter, this);

  const QRect handle =
      style()->subControlRect(QStyle::CC_Slider, &option, QStyle::SC_SliderHandle, this);
  const int top = std::min(handle.bottom() + 2, height() - kTickLength);
  painter.setPen(palette().color(QPalette::WindowText));
  // Both ends always carry a mark, like a native trackbar's.
  auto draw = [&](int position) {
    if (position < minimum() || position > maximum()) return;
    const int x = TickX(position);
    painter.drawLine(x, top, x, top + kTickLength - 1);
  };
  draw(minimum());
  draw(maximum());
  for (const int position : m_ticks) draw(position);
}

}  // namespace quorvane
