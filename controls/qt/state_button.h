// Push button that shows a state as a fill colour chosen by the program, with
// its caption centred and a one-pixel frame in the complementary colour. To
// assistive technology it is a toggle whose state only the program sets: a
// press (by mouse, key or a screen reader's action) asks for a change, and
// the program's answer makes it.
#pragma once

#include <QColor>
#include <QPushButton>

#include <cstdint>

namespace quorvane {

// COLORREF values, laid out 0x00BBGGRR: the same alias the controller uses
// for the colours it asks this button to show.
using ColorRef = std::uint32_t;

class CStateButton : public QPushButton {
  Q_OBJECT

 public:
  explicit CStateButton(QWidget* parent = nullptr);

  // Stores the colour only: it shows at the next paint, which the caption
  // change that always follows brings about.
  void SetColor(ColorRef color) { m_color = color; }
  ColorRef Color() const { return m_color; }

  // Until this is called the button paints like any push button; the window
  // switches the colour painting on during its initialisation.
  void EnableOwnerDraw();
  bool OwnerDraw() const { return m_ownerDraw; }

  // The state a screen reader reports; on screen the colour shows it. Tells
  // assistive technology when it changes.
  void SetOn(bool on);
  bool On() const { return m_on; }

  static QColor ToQColor(ColorRef color);
  static ColorRef Complement(ColorRef color);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;

 private:
  ColorRef m_color = 0;
  bool m_ownerDraw = false;
  bool m_on = false;
  bool m_keyboardFocus = false;  // the focus came by Tab or a shortcut
};

}  // namespace quorvane
