// Draws the application icon at 16, 32 and 48 px into PNG files, so the
// committed images can be regenerated: quorvane_draw_icons <output-dir>.
#include <QColor>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <cstdio>

namespace {

// A dark rounded tile with a laser pulse train: a red beam across the
// middle and three pulses rising from it, brighter to the right.
QImage DrawIcon(int size) {
  QImage image(size, size, QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  QPainter p(&image);
  p.setRenderHint(QPainter::Antialiasing);
  const qreal s = size;

  QLinearGradient background(0, 0, 0, s);
  background.setColorAt(0, QColor(38, 50, 72));
  background.setColorAt(1, QColor(16, 22, 34));
  p.setPen(Qt::NoPen);
  p.setBrush(background);
  p.drawRoundedRect(QRectF(0.5, 0.5, s - 1, s - 1), s * 0.18, s * 0.18);

  const qreal base = s * 0.70;
  QPen beam(QColor(255, 60, 40), std::max(1.0, s / 16.0));
  beam.setCapStyle(Qt::FlatCap);
  p.setPen(beam);
  p.drawLine(QPointF(s * 0.12, base), QPointF(s * 0.88, base));

  QPainterPath pulses;
  pulses.moveTo(s * 0.12, base);
  const qreal heights[] = {0.28, 0.38, 0.50};
  for (int i = 0; i < 3; ++i) {
    const qreal x = s * (0.22 + 0.24 * i);
    pulses.lineTo(x, base);
    pulses.lineTo(x + s * 0.05, base - s * heights[i]);
    pulses.lineTo(x + s * 0.10, base);
  }
  pulses.lineTo(s * 0.88, base);
  QPen pulsePen(QColor(255, 200, 60), std::max(1.0, s / 20.0));
  pulsePen.setJoinStyle(Qt::RoundJoin);
  p.setPen(pulsePen);
  p.setBrush(Qt::NoBrush);
  p.drawPath(pulses);
  p.end();
  return image;
}

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  const QDir out(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("."));
  for (const int size : {16, 32, 48}) {
    const QString file = out.filePath(QStringLiteral("icon-%1.png").arg(size));
    if (!DrawIcon(size).save(file)) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(file));
      return 1;
    }
  }
  return 0;
}
