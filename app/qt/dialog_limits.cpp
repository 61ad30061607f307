// The lab's limits on the window: notes on the settings' controls, read-outs
// in alarm, and the limits the F1 box lists.
#include <QComboBox>

#include "app/limit_marks.h"
#include "app/qt/controller_dlg.h"
#include "controls/qt/readout.h"

namespace quorvane {

namespace {
QString FromView(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}
}  // namespace

void CControllerDlg::SetControlNote(int controlId, std::string_view note) {
  if (Control(controlId) == nullptr) return;
  m_marks[controlId].note = std::string(note);
  ShowMarks(controlId);
}

void CControllerDlg::ShowAlarm(int readoutId, std::string_view reason) {
  auto* readout = qobject_cast<CReadout*>(Control(readoutId));
  if (readout == nullptr) return;
  m_marks[readoutId].alarm = std::string(reason);
  // The texts first, so the alert of a starting alarm finds its reason there.
  ShowMarks(readoutId);
  readout->SetAlarm(!reason.empty());
}

void CControllerDlg::ShowMarks(int controlId) {
  QWidget* widget = Control(controlId);
  const LimitMarks& marks = m_marks[controlId];
  // The controls that take marks have no tooltip of their own.
  widget->setToolTip(FromView(MarkedTooltip(marks)));
  widget->setAccessibleDescription(FromView(MarkedDescription(controlId, marks)));
}

std::chrono::steady_clock::time_point CControllerDlg::Now() const {
  return std::chrono::steady_clock::now();
}

std::string CControllerDlg::LimitsHelpText() const {
  if (m_controller.State() != ConnectionState::Closed)
    return LimitsText(m_controller.Limits(), m_limitsSources.labFile);
  return LimitsText(LimitsFor(m_portList->currentText().toStdString(), m_limitsSources),
                    m_limitsSources.labFile);
}

}  // namespace quorvane
