// The main window's construction, initialisation, wiring and end of session.
#include "app/qt/controller_dlg.h"

#include <algorithm>

#include <QComboBox>
#include <QEventLoop>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QSocketNotifier>
#include <QTimerEvent>

#include "app/accessible_texts.h"
#include "app/main_layout_readouts.h"
#include "app/qt/history_window.h"
#include "app/qt/pre_filter.h"
#include "controller/control_ids.h"
#include "controls/qt/numeric_edit.h"
#include "controls/qt/readout.h"
#include "controls/qt/state_button.h"
#include "controls/qt/tick_slider.h"

namespace quorvane {

namespace {

QWidget* MakeControl(const TemplateRow& row, QWidget* parent) {
  const QString caption = QString::fromUtf8(row.caption);
  switch (row.kind) {
    case ControlKind::PushButton: {
      QPushButton* button =
          row.id == IDC_SOFT_ACTIVE ? new CStateButton(parent) : new QPushButton(parent);
      button->setText(caption);
      // Enter never presses a button: the window routes it (see PreFilter).
      button->setAutoDefault(false);
      button->setDefault(false);
      return button;
    }
    case ControlKind::GroupBox: {
      auto* box = new QGroupBox(caption, parent);
      // A frame drawn around sibling controls must not take their clicks.
      box->setAttribute(Qt::WA_TransparentForMouseEvents);
      return box;
    }
    case ControlKind::Label: {
      auto* label = new QLabel(caption, parent);
      label->setTextFormat(Qt::PlainText);
      label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
      return label;
    }
    case ControlKind::Display: {
      auto* readout = new CReadout(parent);
      readout->setText(caption);
      return readout;
    }
    case ControlKind::Edit: {
      auto* edit = new CNumericEdit(parent);
      edit->setAlignment(Qt::AlignCenter);
      return edit;
    }
    case ControlKind::PortList:
      return new QComboBox(parent);
    case ControlKind::Slider: {
      auto* slider = new CTickSlider(parent);
      slider->setWindowTitle(caption);  // window text, never displayed
      return slider;
    }
  }
  return new QWidget(parent);
}

// The names a screen reader says; the captions on screen stay terse.
void SetAccessibleTexts(QWidget* widget, int id) {
  const AccessibleText* text = AccessibleTextOf(id);
  if (text == nullptr) return;
  widget->setAccessibleName(QString::fromUtf8(text->name));
  widget->setAccessibleDescription(QString::fromUtf8(text->description));
}

template <typename Widget>
Widget* Bind(const std::map<int, QWidget*>& controls, int id) {
  auto* widget = qobject_cast<Widget*>(controls.at(id));
  Q_ASSERT(widget != nullptr);
  return widget;
}

}  // namespace

CControllerDlg::CControllerDlg(SerialLinkInterface& link, const PortProbe& ports, QWidget* parent,
                               LimitsSources limits)
    : QDialog(parent),
      WindowLinkOwner(m_controller),
      m_hIcon(QIcon(":/quorvane/icon-48.png")),
      m_link(link),
      m_limitsSources(std::move(limits)),
      m_controller(*this, link, ports, *this) {
  m_hIcon.addFile(":/quorvane/icon-32.png");
  m_hIcon.addFile(":/quorvane/icon-16.png");
  // Fixed size, title bar with system menu and close box, no minimise or
  // maximise. A plain top-level window, not a dialog: X11 marks a parentless
  // dialog transient for the application, and many taskbars then leave it
  // out, while the panel is the program and needs its own taskbar entry.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  setWindowTitle(QString::fromUtf8(kDialogCaption));
  setFont(DialogFont());
  m_units = BaseUnitsOf(font());
  setFixedSize(MapDialogSize(kDialogSizeDu, m_units));

  CreateControls();
  DoDataExchange();
  m_preFilter = new PreFilter(this, m_controller);
  WireHandlers();
  m_controller.SetReadingsObserver(&m_readings);
  m_controller.SetLimitsSource(
      [sources = m_limitsSources](std::string_view port) { return LimitsFor(port, sources); });
  OnInitDialog();
}

CControllerDlg::~CControllerDlg() {
  EndSession();
  // Before the readings it draws are gone.
  delete m_history;
  m_history = nullptr;
}

void CControllerDlg::CreateControls() {
  QWidget* previousTabStop = nullptr;
  int rowNumber = 0;
  for (const TemplateRow& row : kMainTemplate) {
    QWidget* widget = MakeControl(row, this);
    widget->setProperty("templateRow", ++rowNumber);
    widget->setProperty(kControlIdProperty, row.id);
    widget->setProperty("windowClass", QString::fromLatin1(row.windowClass));
    QRect area = MapDialogRect(QRect(row.x, row.y, row.width, row.height), m_units);
    if (row.kind == ControlKind::PortList) {
      // The template's height includes the dropped-down list: the closed box
      // is as tall as its font needs, the rest is room for items.
      auto* combo = static_cast<QComboBox*>(widget);
      const int closed = combo->sizeHint().height();
      const int itemHeight = std::max(1, combo->fontMetrics().height() + 4);
      combo->setMaxVisibleItems(std::max(1, (area.height() - closed) / itemHeight));
      area.setHeight(closed);
    }
    widget->setGeometry(area);
    // Earlier rows lie above later ones, so a frame created after the
    // controls it surrounds stays behind them.
    widget->lower();
    if (row.kind != ControlKind::Display)
      widget->setFocusPolicy(row.tabStop ? Qt::StrongFocus : Qt::NoFocus);
    if (row.tabStop) {
      if (previousTabStop != nullptr) QWidget::setTabOrder(previousTabStop, widget);
      previousTabStop = widget;
    }
    SetAccessibleTexts(widget, row.id);
    if (row.id != kNoId) m_controls[row.id] = widget;
  }
  for (QLabel* label : findChildren<QLabel*>(Qt::FindDirectChildrenOnly)) {
    for (const NamingLabel& naming : kNamingLabels) {
      if (label->text() != QString::fromUtf8(naming.caption)) continue;
      label->setBuddy(m_controls.at(naming.id));
      label->setAccessibleName(QString::fromUtf8(AccessibleTextOf(naming.id)->name));
    }
  }
  // Tab reaches the read-outs too, so a screen reader can read them out; they
  // come after the settings, whose order stays the template's, top to bottom.
  for (const int id : kReadoutsTopToBottom) {
    QWidget::setTabOrder(previousTabStop, m_controls.at(id));
    previousTabStop = m_controls.at(id);
  }
}

void CControllerDlg::DoDataExchange() {
  m_softActiveButton = Bind<CStateButton>(m_controls, IDC_SOFT_ACTIVE);
  m_frequencyEdit = Bind<CNumericEdit>(m_controls, IDC_FREQUENCY_EDIT);
  m_durationEdit = Bind<CNumericEdit>(m_controls, IDC_DURATION_EDIT);
  m_currentEdit = Bind<CNumericEdit>(m_controls, IDC_CURRENT_EDIT);
  m_currentSlider = Bind<CTickSlider>(m_controls, IDC_CURRENT_SLIDER);
  m_portList = Bind<QComboBox>(m_controls, IDC_PORT_LIST);
  m_openPortButton = Bind<QPushButton>(m_controls, IDC_OPEN_PORT);
}

void CControllerDlg::OnInitDialog() {
  setWindowIcon(m_hIcon);
  m_controller.ClearFlagsAndScan();
  m_softActiveButton->EnableOwnerDraw();
  m_softActiveButton->SetColor(kSoftActiveOffColor);
  m_controller.ShowClosed();
  m_openPortButton->setFocus();
}

void CControllerDlg::WireHandlers() {
  // Every button's click goes to the controller by id; it knows what each does.
  for (const TemplateRow& row : kMainTemplate) {
    if (row.kind != ControlKind::PushButton || row.id == kNoId) continue;
    connect(static_cast<QAbstractButton*>(Control(row.id)), &QAbstractButton::clicked, this,
            [this, id = row.id] { m_controller.OnClicked(id); });
  }
  auto* history = new QShortcut(QKeySequence(Qt::Key_F2), this);
  connect(history, &QShortcut::activated, this, &CControllerDlg::ShowHistory);
  // The list item's device details follow the selection as the box's tooltip.
  connect(m_portList, &QComboBox::currentIndexChanged, this, [this](int index) {
    m_portList->setToolTip(index < 0 ? QString()
                                     : m_portList->itemData(index, Qt::ToolTipRole).toString());
  });
}

QWidget* CControllerDlg::Control(int id) const {
  const auto found = m_controls.find(id);
  return found == m_controls.end() ? nullptr : found->second;
}

int CControllerDlg::RunModal() {
  // The program's only window, run until it is closed. Not exec(): that
  // would make it application-modal, which window managers also take as a
  // sign of a secondary window.
  QEventLoop loop;
  connect(this, &QDialog::finished, &loop, &QEventLoop::quit);
  show();
  loop.exec();
  EndSession();
  return result();
}

void CControllerDlg::EndSession() {
  if (m_sessionEnded) return;
  m_sessionEnded = true;
  BeginEnding();
  for (auto& [id, timer] : m_timers) timer.stop();
  if (m_deviceNotifier != nullptr) m_deviceNotifier->setEnabled(false);
  // Close pumps this thread's messages, so a byte delivery that is waiting
  // for the window completes instead of blocking the exit.
  m_link.Close();
  m_link.DetachOwner();
  Detach();
  m_readings.StopRecording();
}

void CControllerDlg::WatchDevices(int fd, std::function<bool()> drain) {
  delete m_deviceNotifier;
  m_deviceNotifier = nullptr;
  m_drainDevices = std::move(drain);
  if (fd < 0) return;
  m_deviceNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
  connect(m_deviceNotifier, &QSocketNotifier::activated, this, [this] {
    if (m_drainDevices && m_drainDevices() && !m_sessionEnded) m_controller.OnDeviceChange();
  });
}

bool CControllerDlg::event(QEvent* event) {
  // A box over the panel, or another window taking the focus, is where the
  // release of a held step button goes unseen: the hold ends now rather than
  // at the next repeat.
  const QEvent::Type type = event->type();
  if (!m_sessionEnded &&
      (type == QEvent::WindowBlocked || (type == QEvent::ActivationChange && !isActiveWindow())))
    m_controller.EndHold();
  return QDialog::event(event);
}

void CControllerDlg::timerEvent(QTimerEvent* event) {
  for (const auto& [id, timer] : m_timers) {
    if (timer.timerId() != event->timerId()) continue;
    if (!m_sessionEnded) m_controller.OnTimer(id);
    return;
  }
  QDialog::timerEvent(event);
}

}  // namespace quorvane
