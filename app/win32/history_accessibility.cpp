// What the readings history window tells a screen reader: its buttons in
// words, the status line by what it says, and the chart's text alternative.
#include <ole2.h>
#include <oleacc.h>

#include "app/win32/history_window.h"
#include "history/chart_summary.h"
#include "serial/win32/wide_text.h"

namespace quorvane {

void HistoryWindow::AnnotateControls(const std::array<HWND, 4>& spans, HWND follow, HWND record,
                                     HWND exportButton, HWND status) {
  // The captions ("1 min", "All") are terse; the names say what a press shows.
  constexpr const wchar_t* kSpanNames[] = {L"Show the last minute", L"Show the last 10 minutes",
                                           L"Show the last hour", L"Show all readings kept"};
  for (std::size_t i = 0; i < spans.size(); ++i)
    m_spanTexts[i].Attach(spans[i], kSpanNames[i], L"");
  m_followText.Attach(follow, L"Follow newest",
                      L"Keep the newest reading at the right edge. Zooming (wheel, or drag "
                      L"across the chart) or scrolling (arrow keys, Shift+wheel) stops following.");
  m_recordText.Attach(record, L"Record readings", L"");
  m_exportText.Attach(exportButton, L"Export readings",
                      L"Write every reading kept since the port was first opened to a CSV file");
  m_chartText.Attach(m_chart.Handle(), L"Readings chart", L"");
  m_chartText.SetRole(ROLE_SYSTEM_CHART);
  m_statusText.Attach(status, L"Status", L"");
}

void HistoryWindow::AnnounceRecording(bool recording) {
  m_recordText.SetName(recording ? L"Stop recording" : L"Record readings");
  m_recordText.SetDescription(recording ? L"Close the recording file"
                                        : L"Write each reading to a CSV file as it arrives");
}

void HistoryWindow::AnnounceStatus(const std::wstring& text) {
  // Named as what it is, with what it says, so a change is announced.
  m_statusText.SetName(L"Status: " + text);
}

void HistoryWindow::AnnounceChart(const ReadingHistory& history, const TrendView& view) {
  // Once per redraw, which comes at most once per reading.
  m_chartText.SetDescription(Widen(ChartSummary(history, view.from, view.to)));
}

}  // namespace quorvane
