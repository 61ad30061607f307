// The panel's one window: builds the controls from the template, owns the
// controller, and is the controller's window and the serial link's owner.
#pragma once

#include <functional>
#include <map>
#include <memory>

#include <QBasicTimer>
#include <QDialog>
#include <QIcon>

#include "app/limit_marks.h"
#include "app/qt/dialog_template.h"
#include "controller/controller.h"
#include "controller/controller_window.h"
#include "controller/window_link_owner.h"
#include "history/readings_log.h"
#include "limits/lab_limits.h"
#include "serial/port_probe.h"
#include "serial/serial_link_interface.h"
#include "serial/serial_owner.h"

class QComboBox;
class QPushButton;
class QSocketNotifier;

namespace quorvane {

class CNumericEdit;
class CStateButton;
class CTickSlider;
class HistoryWindow;
class PreFilter;

// Threads: everything runs on the window thread except the link owner's
// OnSerialByte, ShowError and OnPortLost, which the link calls from its
// monitor thread and which hand their work over to the window thread.
class CControllerDlg : public QDialog, public ControllerWindow, public WindowLinkOwner {
  Q_OBJECT

 public:
  // limits: where the lab's limits are read at each open; the system's lab
  // file in the program, a file of their own in tests and the demo.
  CControllerDlg(SerialLinkInterface& link, const PortProbe& ports, QWidget* parent = nullptr,
                 LimitsSources limits = {});
  ~CControllerDlg() override;

  // Runs the window modally, then ends the session (below). Returns exec()'s result.
  int RunModal();
  // Stops the timers, closes the link (pumping messages, so a byte delivery
  // in flight completes) and detaches from it: nothing the link does later
  // can reach or wait for this window. Runs once; the destructor runs it too.
  void EndSession();

  // Hot-plug notices: fd becomes readable when notices wait; drain reads them
  // and says whether a tty came or went.
  void WatchDevices(int fd, std::function<bool()> drain);

  QWidget* Control(int id) const;
  Controller& GetController() { return m_controller; }

  // The readings kept since the port was first opened, and the window that
  // draws them: created on first use, opened by F2 and by the context menu
  // of the window's background, kept (hidden) when closed.
  void ShowHistory();
  HistoryWindow* History() const { return m_history; }
  ReadingsLog& Readings() { return m_readings; }
  const DialogBaseUnits& BaseUnits() const { return m_units; }
  // The lab's limits as the F1 box lists them: those of the open port, or,
  // with none open, those the port chosen in the list would open under.
  std::string LimitsHelpText() const;

  // ControllerWindow.
  void StartTimer(int id, std::chrono::milliseconds period) override;
  void StopTimer(int id) override;
  std::string GetText(int controlId) const override;
  void SetText(int controlId, std::string_view text) override;
  void SetSliderRange(std::int32_t maximum) override;
  void AddSliderTick(std::int32_t position) override;
  void SetSliderPosition(std::int32_t position) override;
  std::int32_t SliderPosition() const override;
  void PresentSoftActive(ColorRef color, std::string_view caption) override;
  void ClearPortList() override;
  void InsertPort(int index, std::string_view name, std::string_view details) override;
  void SelectPort(int index) override;
  int SelectedPort() const override;
  void EnablePortList(bool enabled) override;
  void SetOpenPortHint(std::string_view text) override;
  void PopUpOpenPortHint() override;
  bool LeftButtonDown() const override;
  void SetControlNote(int controlId, std::string_view note) override;
  void ShowAlarm(int readoutId, std::string_view reason) override;
  std::chrono::steady_clock::time_point Now() const override;

  // SerialOwner's pump; its other calls are WindowLinkOwner's.
  void PumpMessages() override;

 protected:
  void timerEvent(QTimerEvent* event) override;
  bool event(QEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  void CreateControls();
  void DoDataExchange();
  void OnInitDialog();
  void WireHandlers();
  // A control's tooltip and description from its marks (dialog_limits.cpp).
  void ShowMarks(int controlId);

  // WindowLinkOwner's primitives.
  bool OnWindowThread() const override;
  void RunOnWindowThread(const std::function<void()>& work) override;
  void PostToWindowThread(std::function<void()> work) override;
  void ShowErrorBox(const std::string& text, const std::string& caption) override;

  // Members bound to their controls, in binding order; the widgets belong to
  // the dialog as Qt children.
  CStateButton* m_softActiveButton = nullptr;
  CNumericEdit* m_frequencyEdit = nullptr;
  CNumericEdit* m_durationEdit = nullptr;
  CNumericEdit* m_currentEdit = nullptr;
  CTickSlider* m_currentSlider = nullptr;
  QComboBox* m_portList = nullptr;
  QPushButton* m_openPortButton = nullptr;
  QIcon m_hIcon;

  SerialLinkInterface& m_link;
  DialogBaseUnits m_units;
  std::map<int, QWidget*> m_controls;   // by control id
  std::map<int, QBasicTimer> m_timers;  // by timer id
  std::map<int, LimitMarks> m_marks;    // by control id, only once the lab's limits put one
  LimitsSources m_limitsSources;
  ReadingsLog m_readings;  // before the controller, which tells it of every reading
  Controller m_controller;
  HistoryWindow* m_history = nullptr;  // child window
  PreFilter* m_preFilter = nullptr;    // child QObject
  QSocketNotifier* m_deviceNotifier = nullptr;
  std::function<bool()> m_drainDevices;

  bool m_sessionEnded = false;
};

}  // namespace quorvane
