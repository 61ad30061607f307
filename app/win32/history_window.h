// The "Readings history" window on Windows: the trend of the board's readings
// since the port was first opened, and recording them to a CSV file. A window
// of its own beside the panel, which stays exactly as it is.
#pragma once

#include "controls/win32/windows_api.h"

#include <cstdint>
#include <functional>
#include <string>

#include "app/win32/trend_chart.h"
#include "history/readings_log.h"
#include "history/trend_view.h"

namespace quorvane {

// Threads: the window thread only, as the readings log.
class HistoryWindow {
 public:
  using Span = TrendSpan;
  // Shows a warning: a box by default, tests see the text instead.
  using WarningBox = std::function<void(HWND owner, const std::wstring& text)>;

  // Owned by the panel's window, so it stays above it and goes with it.
  HistoryWindow(ReadingsLog& readings, HWND owner);
  ~HistoryWindow();
  HistoryWindow(const HistoryWindow&) = delete;
  HistoryWindow& operator=(const HistoryWindow&) = delete;

  HWND Handle() const { return m_hWnd; }
  // Shows the window in front, with the keyboard.
  void Show();
  void FollowSpan(Span span);
  bool Following() const { return m_following; }
  TrendChart& Chart() { return m_chart; }
  // How often the chart has been drawn: only while the window shows and
  // something changed.
  int Redraws() const { return m_redraws; }

  // What "Record…" and "Export…" do once the operator has chosen a file.
  // Both report failures in a box and in the window's status line.
  bool RecordTo(const std::wstring& path);
  bool ExportTo(const std::wstring& path);
  void StopRecording();
  std::wstring StatusText() const;
  void ShowWarningsWith(WarningBox box) { m_warningBox = std::move(box); }

  // Tab among the window's controls and Escape to close it; true when the
  // message was taken.
  bool PreTranslateMessage(MSG& msg);

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
  LRESULT OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void BuildControls();
  void Layout();
  void ApplyFont();
  void OnCommand(int id);
  void OnRecordPressed();
  void OnExportPressed();
  // The file the operator picks in the save dialog, or "" when cancelled.
  std::wstring AskForFile(const wchar_t* title, const wchar_t* stem);
  void OnRecordingFailed(const std::string& path, const std::string& reason);
  void Redraw();
  void ViewChanged();
  void ShowRecordingState();
  void SetStatus(const std::wstring& text);
  void Warn(const std::wstring& text);
  HWND Item(int id) const { return GetDlgItem(m_hWnd, id); }

  ReadingsLog& m_readings;
  HWND m_hWnd = nullptr;
  HFONT m_font = nullptr;
  TrendChart m_chart;
  WarningBox m_warningBox;
  std::wstring m_pendingWarning;  // shown once the message that raised it is done

  Span m_span = Span::TenMinutes;
  bool m_following = true;
  bool m_viewChanged = true;
  std::uint64_t m_drawnAppended = 0;
  int m_redraws = 0;
  std::wstring m_lastMessage;
};

}  // namespace quorvane
