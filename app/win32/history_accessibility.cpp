// What the readings history window tells a screen reader: its buttons in
// words, the status line by what it says, and the chart's text alternative.
#include <ole2.h>
#include <oleacc.h>

#include "app/win32/history_window.h"
#include "serial/win32/wide_text.h"

namespace quorvane {

void HistoryWindow::AnnotateControls(const std::array<HWND, 4>& spans, HWND follow, HWND record,
                                     HWND exportButton, HWND status) {
  const auto attach = [](CAccessibleAnnotation& text, HWND control, const ButtonTexts& words) {
    text.Attach(control, Widen(words.name), Widen(words.description));
  };
  for (std::size_t i = 0; i < spans.size(); ++i) attach(m_spanTexts[i], spans[i], kSpanButtons[i]);
  attach(m_followText, follow, kFollowButton);
  attach(m_recordText, record, kRecordButton);
  attach(m_exportText, exportButton, kExportButton);
  m_chartText.Attach(m_chart.Handle(), Widen(kChartName), L"");
  m_chartText.SetRole(ROLE_SYSTEM_CHART);
  m_statusText.Attach(status, L"", L"");  // named by what it says, once it says it
}

void HistoryWindow::DescribeChart(const std::string& text) {
  // Once per redraw, which comes at most once per reading.
  m_chartText.SetDescription(Widen(text));
}

}  // namespace quorvane
