// What the controller does to the window, carried out on the dialog's widgets.
#include <algorithm>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolTip>

#include "app/accessible_texts.h"
#include "app/limit_marks.h"
#include "app/qt/controller_dlg.h"
#include "app/qt/mouse_buttons.h"
#include "controls/qt/readout.h"
#include "controls/qt/state_button.h"
#include "controls/qt/tick_slider.h"

namespace quorvane {

namespace {
QString FromView(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
}  // namespace

bool CControllerDlg::LeftButtonDown() const { return LeftMouseButtonDown(); }

void CControllerDlg::StartTimer(int id, std::chrono::milliseconds period) {
  // Starting a running QBasicTimer restarts it with the new period.
  m_timers[id].start(static_cast<int>(period.count()), Qt::PreciseTimer, this);
}

void CControllerDlg::StopTimer(int id) {
  const auto found = m_timers.find(id);
  if (found != m_timers.end()) found->second.stop();
}

std::string CControllerDlg::GetText(int controlId) const {
  const QWidget* widget = Control(controlId);
  QString text;
  if (const auto* edit = qobject_cast<const QLineEdit*>(widget)) {
    text = edit->text();
  } else if (const auto* button = qobject_cast<const QAbstractButton*>(widget)) {
    text = button->text();
  } else if (const auto* label = qobject_cast<const QLabel*>(widget)) {
    text = label->text();
  } else if (const auto* combo = qobject_cast<const QComboBox*>(widget)) {
    text = combo->currentText();
  } else if (widget != nullptr) {
    text = widget->windowTitle();
  }
  return text.toStdString();
}

void CControllerDlg::SetText(int controlId, std::string_view text) {
  QWidget* widget = Control(controlId);
  const QString value = FromView(text);
  if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
    edit->setText(value);
  } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
    button->setText(value);
    if (const char* name = NameForCaption(controlId, text)) button->setAccessibleName(name);
  } else if (auto* readout = qobject_cast<CReadout*>(widget)) {
    readout->SetReading(value);
  } else if (auto* label = qobject_cast<QLabel*>(widget)) {
    label->setText(value);
  } else if (widget != nullptr && qobject_cast<QComboBox*>(widget) == nullptr) {
    widget->setWindowTitle(value);
  }
}

void CControllerDlg::SetSliderRange(std::int32_t maximum) { m_currentSlider->setRange(0, maximum); }

void CControllerDlg::AddSliderTick(std::int32_t position) { m_currentSlider->AddTick(position); }

void CControllerDlg::SetSliderPosition(std::int32_t position) {
  m_currentSlider->setValue(position);
}

std::int32_t CControllerDlg::SliderPosition() const { return m_currentSlider->value(); }

void CControllerDlg::PresentSoftActive(ColorRef color, std::string_view caption) {
  m_softActiveButton->SetColor(color);
  m_softActiveButton->setText(FromView(caption));
  // The controller picks the colour from the board's state, so the colour is the state.
  m_softActiveButton->SetOn(color == kSoftActiveOnColor);
  // setText skips the repaint when the caption is unchanged ("ON" on grey
  // becoming "ON" on red); the new colour must show all the same.
  m_softActiveButton->update();
}

void CControllerDlg::ClearPortList() { m_portList->clear(); }

void CControllerDlg::InsertPort(int index, std::string_view name, std::string_view details) {
  const QString text = FromView(name);
  m_portList->insertItem(index, text);
  // The box is narrow; its drop-down list grows to show whole names.
  QAbstractItemView* view = m_portList->view();
  const int needed = m_portList->fontMetrics().horizontalAdvance(text) + 2 * view->frameWidth() +
                     m_portList->fontMetrics().averageCharWidth() * 2;
  view->setMinimumWidth(std::max(view->minimumWidth(), needed));
  if (details.empty()) return;
  m_portList->setItemData(index, FromView(details), Qt::ToolTipRole);
  // The first item is selected as it is inserted, before its details exist.
  if (m_portList->currentIndex() == index) m_portList->setToolTip(FromView(details));
}

void CControllerDlg::SelectPort(int index) { m_portList->setCurrentIndex(index); }

int CControllerDlg::SelectedPort() const { return m_portList->currentIndex(); }

void CControllerDlg::EnablePortList(bool enabled) { m_portList->setEnabled(enabled); }

void CControllerDlg::SetOpenPortHint(std::string_view text) {
  m_openPortButton->setToolTip(FromView(text));
  // Without a mouse there is no tooltip: the reason a port did not open is
  // the button's description too, which a screen reader is told of at once.
  // The link's own error is a failed open; any other hint is about the
  // port the panel opened.
  const bool openFailed = !text.empty() && text == m_link.LastOpenError();
  m_openPortButton->setAccessibleDescription(
      QString::fromStdString(OpenPortDescription(text, openFailed)));
}

void CControllerDlg::PopUpOpenPortHint() {
  const QString hint = m_openPortButton->toolTip();
  if (hint.isEmpty() || !isVisible()) return;
  // Just below the button, where the operator is looking after the press.
  const QPoint below = m_openPortButton->mapToGlobal(QPoint(0, m_openPortButton->height()));
  QToolTip::showText(below, hint, m_openPortButton);
}

}  // namespace quorvane
