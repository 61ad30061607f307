// The readings history window's logic, below either toolkit: which span it
// follows and when that stops, what the chart's keys and wheel do, when it is
// drawn, the record and export flow with its messages, and every text the
// window shows or a screen reader speaks. Each toolkit's window implements
// HistoryView to draw and to ask for what only it can do, and forwards the
// operator's input here.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "history/readings_log.h"
#include "history/trend_view.h"

namespace quorvane {

// What a button says on its face, to a screen reader, and in its tooltip.
struct ButtonTexts {
  const char* caption;
  const char* name;
  const char* description;
};

// The window's fixed texts (UTF-8), for both toolkits.
inline constexpr const char* kHistoryTitle = "Readings history";
// The panel's menu item that opens the window (F2).
inline constexpr const char* kHistoryMenuItem = "Readings history\u2026";
inline constexpr const char* kSpanPrompt = "Show the last:";
inline constexpr const char* kChartName = "Readings chart";
inline constexpr ButtonTexts kFollowButton{
    "Follow newest", "Follow newest",
    "Keep the newest reading at the right edge. Zooming (wheel, or drag across the chart) or "
    "scrolling (arrow keys, Shift+wheel) stops following."};
inline constexpr ButtonTexts kExportButton{
    "Export\u2026", "Export readings",
    "Write every reading kept since the port was first opened to a CSV file"};
inline constexpr ButtonTexts kRecordButton{"Record\u2026", "Record readings",
                                           "Write each reading to a CSV file as it arrives"};
inline constexpr ButtonTexts kStopRecordingButton{"Stop recording", "Stop recording",
                                                  "Close the recording file"};
// One button per span, in TrendSpan's order. The captions are terse; the
// names say what a press shows.
inline constexpr ButtonTexts kSpanButtons[] = {
    {"1 min", "Show the last minute", ""},
    {"10 min", "Show the last 10 minutes", ""},
    {"1 h", "Show the last hour", ""},
    {"All", "Show all readings kept", ""},
};

// The chart's keys, as each toolkit names them.
enum class ChartKey { Earlier, Later, ZoomIn, ZoomOut };

// What the presenter asks of a window. Called on the window thread only.
class HistoryView {
 public:
  virtual ~HistoryView() = default;

  // On the screen: not hidden, not down on the task bar. Nothing is drawn
  // out of sight.
  virtual bool Visible() const = 0;
  // Width of the chart's plotting area in pixels: how finely time can be shown.
  virtual int PlotWidth() const = 0;
  virtual void DrawChart(const ReadingHistory& history, TrendView view) = 0;
  // The chart's text alternative, renewed with each drawing.
  virtual void DescribeChart(const std::string& text) = 0;
  // Calls HistoryPresenter::OnRedrawTimer every wait from now on (a running
  // timer starts again with the new wait), until the window hides.
  virtual void StartRedrawTimer(std::chrono::milliseconds wait) = 0;

  virtual void ShowSpan(TrendSpan span) = 0;
  virtual void ShowFollowing(bool following) = 0;
  virtual void ShowRecordButton(const ButtonTexts& texts) = 0;
  // The status line's text, and its name to a screen reader.
  virtual void ShowStatus(const std::string& text, const std::string& name) = 0;
  // A warning box that does not stop the panel.
  virtual void ShowWarning(const std::string& text) = 0;
  // The file the operator picks to save into (UTF-8), or "" when cancelled.
  virtual std::string AskForFile(const std::string& title, const std::string& suggestedName) = 0;
};

// Threads: the window thread only, as the readings log.
class HistoryPresenter {
 public:
  using Clock = std::function<WallTime()>;

  HistoryPresenter(ReadingsLog& readings, HistoryView& view,
                   Clock clock = &std::chrono::system_clock::now);
  ~HistoryPresenter();
  HistoryPresenter(const HistoryPresenter&) = delete;
  HistoryPresenter& operator=(const HistoryPresenter&) = delete;

  // Shows the recording state and takes the log's failures: once the
  // window's controls exist.
  void Begin();

  // The span buttons and "Follow newest".
  void FollowSpan(TrendSpan span);
  void SetFollowing(bool following);
  bool Following() const { return m_following; }
  TrendSpan Span() const { return m_span; }

  // The operator's zooming and scrolling; each stops following.
  void OnChartKey(ChartKey key);
  // delta: the wheel's turn, positive away from the operator (or to the
  // right); anchor: where the pointer is across the plot, 0 to 1.
  void OnChartWheel(int delta, bool sideways, double anchor);
  // A drag across the plot from left to right (fractions of its width).
  void OnChartDragged(double left, double right);
  // The toolkit's chart zoomed by itself (a rubber band) to view.
  void OnChartZoomed(TrendView view);

  // The window showed, or its chart's size or resolution changed.
  void OnViewChanged();
  void OnRedrawTimer() { Redraw(); }
  // How often the chart has been drawn: only while shown and something changed.
  int Redraws() const { return m_redraws; }

  // The Record… and Export… buttons: they ask for a file, then go on below.
  void OnRecordPressed();
  void OnExportPressed();
  // Both report failures in a box and in the status line.
  bool RecordTo(const std::string& path);
  bool ExportTo(const std::string& path);
  void StopRecording();

 private:
  void Move(double shiftFraction, double zoomFactor, double anchorFraction);
  void Redraw();
  void ShowRecordingState();
  void SetStatus(const std::string& text);
  void Warn(const std::string& text);
  std::string SuggestedFile(const char* stem) const;

  ReadingsLog& m_readings;
  HistoryView& m_view;
  Clock m_clock;

  TrendSpan m_span = TrendSpan::TenMinutes;
  bool m_following = true;
  bool m_viewChanged = true;
  TrendView m_shown;  // as drawn last, or as the operator moved it
  std::uint64_t m_drawnAppended = 0;
  int m_redraws = 0;
  // The last export's or failure's message: the status line goes back to it
  // when a recording stops.
  std::string m_lastMessage;
};

}  // namespace quorvane
