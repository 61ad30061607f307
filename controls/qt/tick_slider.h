// Horizontal slider that draws tick marks below its groove at arbitrary
// positions, which are only ever added, never cleared.
#pragma once

#include <QSlider>
#include <vector>

namespace quorvane {

class CTickSlider : public QSlider {
  Q_OBJECT

 public:
  // Range 0..100 at position 0 until the program sets them.
  explicit CTickSlider(QWidget* parent = nullptr);

  // Positions outside the range at paint time are kept but not drawn.
  void AddTick(int position);
  const std::vector<int>& Ticks() const { return m_ticks; }

  // Horizontal pixel of a tick at value position, in widget coordinates.
  int TickX(int position) const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::vector<int> m_ticks;
};

}  // namespace quorvane
