// The "Readings history" window on Windows: the trend of the board's readings
// since the port was first opened, and recording them to a CSV file. A window
// of its own beside the panel, which stays exactly as it is. It draws and
// forwards the operator's input; HistoryPresenter decides.
#pragma once

#include "controls/win32/windows_api.h"

#include <array>
#include <functional>
#include <string>

#include "app/win32/trend_chart.h"
#include "controls/win32/accessible_annotation.h"
#include "history/history_presenter.h"

namespace quorvane {

// Threads: the window thread only, as the readings log.
class HistoryWindow : private HistoryView {
 public:
  using Span = TrendSpan;
  // Shows a warning: a box by default, tests see the text instead.
  using WarningBox = std::function<void(HWND owner, const std::wstring& text)>;

  // Owned by the panel's window, so it stays above it and goes with it.
  HistoryWindow(ReadingsLog& readings, HWND owner);
  ~HistoryWindow() override;
  HistoryWindow(const HistoryWindow&) = delete;
  HistoryWindow& operator=(const HistoryWindow&) = delete;

  HWND Handle() const { return m_hWnd; }
  // Shows the window in front, with the keyboard.
  void Show();
  void FollowSpan(Span span) { m_presenter.FollowSpan(span); }
  bool Following() const { return m_presenter.Following(); }
  TrendChart& Chart() { return m_chart; }
  // How often the chart has been drawn: only while the window shows and
  // something changed.
  int Redraws() const { return m_presenter.Redraws(); }

  // What "Record…" and "Export…" do once the operator has chosen a file.
  // Both report failures in a box and in the window's status line.
  bool RecordTo(const std::wstring& path);
  bool ExportTo(const std::wstring& path);
  void StopRecording() { m_presenter.StopRecording(); }
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
  HWND Item(int id) const { return GetDlgItem(m_hWnd, id); }
  // Accessibility (history_accessibility.cpp).
  void AnnotateControls(const std::array<HWND, 4>& spans, HWND follow, HWND record,
                        HWND exportButton, HWND status);

  // HistoryView.
  bool Visible() const override;
  int PlotWidth() const override { return m_chart.PlotWidth(); }
  void DrawChart(const ReadingHistory& history, TrendView view) override;
  void DescribeChart(const std::string& text) override;  // history_accessibility.cpp
  void StartRedrawTimer(std::chrono::milliseconds wait) override;
  void ShowSpan(TrendSpan span) override;
  void ShowFollowing(bool following) override;
  void ShowRecordButton(const ButtonTexts& texts) override;
  void ShowStatus(const std::string& text, const std::string& name) override;
  void ShowWarning(const std::string& text) override;
  // The save dialog (history_file_dialog.cpp).
  std::string AskForFile(const std::string& title, const std::string& suggestedName) override;

  HWND m_hWnd = nullptr;
  HFONT m_font = nullptr;
  TrendChart m_chart;
  WarningBox m_warningBox;
  std::wstring m_pendingWarning;  // shown once the message that raised it is done
  HistoryPresenter m_presenter;
  // What a screen reader is told beyond the captions; after the window, so
  // they outlive its controls.
  std::array<CAccessibleAnnotation, 4> m_spanTexts;
  CAccessibleAnnotation m_followText, m_recordText, m_exportText, m_chartText, m_statusText;
};

}  // namespace quorvane
