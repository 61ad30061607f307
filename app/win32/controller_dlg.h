// The panel's one window on Windows: the dialog IDD_MAIN from the resources,
// its own message loop with the pre-filter, the controller it owns, and the
// controller's window and the serial link's owner.
#pragma once

#include "controls/win32/windows_api.h"

#include <array>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "app/accessible_texts.h"
#include "app/limit_marks.h"
#include "controller/controller.h"
#include "controller/controller_window.h"
#include "controller/window_link_owner.h"
#include "controls/win32/accessible_annotation.h"
#include "controls/win32/numeric_edit.h"
#include "controls/win32/state_button.h"
#include "history/readings_log.h"
#include "limits/lab_limits.h"
#include "serial/port_probe.h"
#include "serial/port_scan.h"
#include "serial/serial_link_interface.h"

namespace quorvane {

class HistoryWindow;

// A byte delivered as a window message, wParam the byte, lParam the port
// number: taken as the link's own delivery (OnSerialByte).
inline constexpr UINT WM_SERIAL_RXBYTE = WM_USER + 7;

// Threads: everything runs on the window thread (the thread that created the
// window) except the link owner's OnSerialByte, ShowError and OnPortLost,
// which the link calls from its monitor thread and which hand their work to
// the window thread by window messages.
class CControllerDlg : public ControllerWindow, public WindowLinkOwner {
 public:
  // help runs on F1. limits: where the lab's limits are read at each open;
  // the system's lab file in the program, a file of their own in tests.
  CControllerDlg(SerialLinkInterface& link, const PortProbe& ports, std::function<void(HWND)> help,
                 LimitsSources limits = {});
  ~CControllerDlg() override;
  CControllerDlg(const CControllerDlg&) = delete;
  CControllerDlg& operator=(const CControllerDlg&) = delete;

  // Creates the window and its controls from the template and initialises
  // them. False when the window could not be created.
  bool Create();
  // Runs the window's message loop until it is closed, then ends the session.
  void RunModal();
  // Stops the timers, closes the link (pumping messages, so a byte delivery
  // in flight completes), detaches from it and destroys the window. Once.
  void EndSession();

  // The step for one message of the loop and of every pump: the pre-filter,
  // then dispatch.
  void HandleMessage(MSG& msg);
  // Handles what is queued for this thread now, without waiting (tests).
  void ProcessPending();
  // The pre-filter (pre_filter.cpp): true when the message is consumed (also
  // by the dialog's navigation).
  bool PreTranslateMessage(MSG& msg);
  bool Closed() const { return m_closed; }

  HWND Handle() const { return m_hWnd; }
  HWND Control(int id) const { return GetDlgItem(m_hWnd, id); }
  Controller& GetController() { return m_controller; }
  const CStateButton& SoftActiveButton() const { return m_softActiveButton; }
  // What a screen reader is told of control id, or nullptr for a control
  // nobody refers to (dialog_accessibility.cpp).
  CAccessibleAnnotation* Annotation(int id);
  // The DPI the window was last laid out for.
  UINT Dpi() const { return m_dpi; }

  // The readings kept since the port was first opened, and the window that
  // draws them: made on first use, opened by F2 and by the context menu of
  // the window's background (dialog_history.cpp).
  void ShowHistory();
  HistoryWindow* History() const { return m_history.get(); }
  ReadingsLog& Readings() { return m_readings; }
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

 private:
  static INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void DoDataExchange();
  void OnInitDialog();
  void CreateTooltips();
  void CentreOnScreen();
  void OnCommand(int id, int code);
  bool OnPaint();
  void OnClose();
  // Display scaling (dialog_dpi.cpp): the window at a new DPI, in the
  // rectangle the system suggests, and the icons at the DPI's sizes.
  void OnDpiChanged(UINT dpi, const RECT& suggested);
  void LoadIconsForDpi(UINT dpi);
  // WindowLinkOwner's primitives.
  bool OnWindowThread() const override;
  void RunOnWindowThread(const std::function<void()>& work) override;
  void PostToWindowThread(std::function<void()> work) override;
  void ShowErrorBox(const std::string& text, const std::string& caption) override;
  void RunPosted();
  // Before a box or another loop of the system's takes over the input: a
  // held step button's release would never reach the pre-filter.
  void EndHold();
  void ShowPortDetails();
  void HideOpenPortHint();
  void OnDevicesQuiet();
  void OnContextMenu(HWND target, LPARAM where);
  // Accessibility (dialog_accessibility.cpp): every control named from the
  // shared texts; the open button's name following its caption and its
  // description the reason an open failed; Tab on to the read-outs.
  void AnnotateControls();
  void AnnounceCaption(int controlId, std::string_view caption);
  void AnnounceOpenPortHint(std::string_view hint);
  bool OnTab(bool backward);
  // The lab's limits (dialog_limits.cpp): a control's tooltip and
  // description from its marks; its hover tip made at its first mark; the
  // read-outs' tips placed over them again after a change of layout; the
  // colours of a read-out in alarm (WM_CTLCOLORSTATIC), nullptr for others.
  void ShowMarks(int controlId);
  void AddMarkTip(int controlId);
  void PlaceMarkTips();
  HBRUSH AlarmColours(HWND control, HDC dc);

  SerialLinkInterface& m_link;
  std::function<void(HWND)> m_help;
  HWND m_hWnd = nullptr;
  DWORD m_threadId = 0;

  // Members bound to their controls, in binding order.
  CStateButton m_softActiveButton;
  CNumericEdit m_frequencyEdit;
  CNumericEdit m_durationEdit;
  CNumericEdit m_currentEdit;
  HWND m_currentSlider = nullptr;
  HWND m_portList = nullptr;
  HWND m_openPortButton = nullptr;
  HICON m_hIcon = nullptr;       // shared resource icon: not destroyed
  HICON m_hSmallIcon = nullptr;  // loaded at its own size: destroyed with the window
  HICON m_hBigIcon = nullptr;    // the same, at the DPI's large size
  UINT m_dpi = 0;
  // The dialog font made for a DPI other than the one the window was created
  // at; the controls use it, and it goes after the window (the dialog's own
  // font is the dialog manager's).
  HFONT m_dpiFont = nullptr;

  static constexpr std::size_t kAnnotatedControls = std::size(kAccessibleTexts);
  std::array<CAccessibleAnnotation, kAnnotatedControls> m_accessible;  // by kAccessibleTexts

  HWND m_tooltip = nullptr;     // hover tips: the port list's details, why an open failed
  HWND m_hintPopUp = nullptr;   // the same hint, shown at once after a failed open
  std::wstring m_openPortHint;  // the tools keep pointers into these two
  std::wstring m_portDetails;
  std::vector<std::string> m_portDetailTexts;  // by list index
  // The lab's marks by control id, only on controls that got one, and their
  // tooltips' texts (the tips keep pointers into them).
  std::map<int, LimitMarks> m_marks;
  std::map<int, std::wstring> m_markTips;
  HBRUSH m_alarmBrush = nullptr;  // made at the first alarm, deleted with the window
  LimitsSources m_limitsSources;

  // The controller's port list: a device change's scan runs off this thread.
  PortScan m_ports;
  ReadingsLog m_readings;  // before the controller, which tells it of every reading
  Controller m_controller;
  std::unique_ptr<HistoryWindow> m_history;

  bool m_closed = false;
  bool m_sessionEnded = false;
  bool m_comInitialized = false;  // this window's thread entered an apartment in Create

  // Work posted to the window thread, oldest first, one WM_APP_RUN_POSTED
  // message each; the lock guards the queue, which any thread may post to.
  std::mutex m_postedLock;
  std::deque<std::function<void()>> m_posted;
};

}  // namespace quorvane
