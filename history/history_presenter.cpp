// The readings history window's state, redraw pace, input and files.
#include "history/history_presenter.h"

#include <ctime>
#include <utility>

#include "history/chart_summary.h"

namespace quorvane {

HistoryPresenter::HistoryPresenter(ReadingsLog& readings, HistoryView& view, Clock clock)
    : m_readings(readings), m_view(view), m_clock(std::move(clock)) {
  const WallTime now = m_clock();
  m_shown = {now - std::chrono::minutes(1), now};
}

HistoryPresenter::~HistoryPresenter() { m_readings.OnRecordingFailed(nullptr); }

void HistoryPresenter::Begin() {
  m_readings.OnRecordingFailed([this](const std::string& path, const std::string& reason) {
    ShowRecordingState();
    Warn("Recording stopped: writing " + path + " failed: " + reason +
         ". Every row written before is complete; the panel goes on as before.");
  });
  ShowRecordingState();
}

void HistoryPresenter::FollowSpan(TrendSpan span) {
  m_span = span;
  m_view.ShowSpan(span);
  m_following = true;
  m_view.ShowFollowing(true);
  OnViewChanged();
}

void HistoryPresenter::SetFollowing(bool following) {
  m_following = following;
  OnViewChanged();
}

void HistoryPresenter::OnChartKey(ChartKey key) {
  switch (key) {
    case ChartKey::Earlier:
      return Move(-0.25, 1.0, 0.0);
    case ChartKey::Later:
      return Move(0.25, 1.0, 0.0);
    case ChartKey::ZoomIn:
      return Move(0.0, 0.5, 0.5);
    case ChartKey::ZoomOut:
      return Move(0.0, 2.0, 0.5);
  }
}

void HistoryPresenter::OnChartWheel(int delta, bool sideways, double anchor) {
  if (delta == 0) return;
  // Sideways (or with Shift): scroll through time. Up and down: zoom about the pointer.
  if (sideways) return Move(delta > 0 ? -0.1 : 0.1, 1.0, 0.0);
  Move(0.0, delta > 0 ? 0.8 : 1.25, anchor);
}

void HistoryPresenter::OnChartDragged(double left, double right) {
  if (right <= left) return;
  Move(left, right - left, 0.0);
}

void HistoryPresenter::OnChartZoomed(TrendView view) {
  m_shown = view;
  m_following = false;
  m_view.ShowFollowing(false);
  OnViewChanged();
}

void HistoryPresenter::Move(double shiftFraction, double zoomFactor, double anchorFraction) {
  OnChartZoomed(MovedView(m_shown, shiftFraction, zoomFactor, anchorFraction));
}

void HistoryPresenter::OnViewChanged() {
  m_viewChanged = true;
  Redraw();
}

void HistoryPresenter::Redraw() {
  if (!m_view.Visible()) return;
  const ReadingHistory& history = m_readings.History();
  if (!m_viewChanged && history.Appended() == m_drawnAppended) return;
  if (m_following) m_shown = FollowingView(history, m_span, m_clock());
  m_view.DrawChart(history, m_shown);
  // Once per drawing, which comes at most once per reading.
  m_view.DescribeChart(ChartSummary(history, m_shown.from, m_shown.to));
  m_drawnAppended = history.Appended();
  m_viewChanged = false;
  ++m_redraws;
  // New readings are drawn at most as often as they come, and in a long span
  // only once the view has moved on by a pixel's worth of time: a redraw per
  // reading would cost time and show nothing new. The window wakes no more
  // often than it draws.
  m_view.StartRedrawTimer(RedrawWait(m_shown, m_view.PlotWidth()));
}

// A name with the time in it, so one recording never overwrites another.
std::string HistoryPresenter::SuggestedFile(const char* stem) const {
  const std::tm local = LocalTime(m_clock());
  char stamp[32] = {};
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  return std::string(stem) + "-" + stamp + ".csv";
}

void HistoryPresenter::OnRecordPressed() {
  if (m_readings.Recording()) return StopRecording();
  const std::string path = m_view.AskForFile("Record readings to", SuggestedFile("readings"));
  if (!path.empty()) RecordTo(path);
}

void HistoryPresenter::OnExportPressed() {
  const std::string path =
      m_view.AskForFile("Export readings to", SuggestedFile("readings-history"));
  if (!path.empty()) ExportTo(path);
}

bool HistoryPresenter::RecordTo(const std::string& path) {
  const std::string reason = m_readings.StartRecording(path);
  ShowRecordingState();
  if (reason.empty()) return true;
  Warn("Cannot record to " + path + ": " + reason + ".");
  return false;
}

void HistoryPresenter::StopRecording() {
  m_readings.StopRecording();
  ShowRecordingState();
}

bool HistoryPresenter::ExportTo(const std::string& path) {
  const std::string reason = m_readings.Export(path);
  if (!reason.empty()) {
    Warn("Cannot export to " + path + ": " + reason + ". The file was left as it was.");
    // The box tells of the export; the status line goes on telling where the
    // recording writes.
    if (m_readings.Recording()) ShowRecordingState();
    return false;
  }
  m_lastMessage =
      "Exported " + std::to_string(m_readings.History().Size()) + " readings to " + path + ".";
  SetStatus(m_lastMessage);
  return true;
}

void HistoryPresenter::ShowRecordingState() {
  const bool recording = m_readings.Recording();
  m_view.ShowRecordButton(recording ? kStopRecordingButton : kRecordButton);
  if (recording) {
    m_lastMessage.clear();
    SetStatus("Recording to " + m_readings.RecordingPath());
  } else {
    SetStatus(m_lastMessage.empty() ? "Not recording." : m_lastMessage);
  }
}

void HistoryPresenter::SetStatus(const std::string& text) {
  // Named as what it is, with what it says, so a change is announced.
  m_view.ShowStatus(text, "Status: " + text);
}

void HistoryPresenter::Warn(const std::string& text) {
  m_lastMessage = text;
  SetStatus(text);
  m_view.ShowWarning(text);
}

}  // namespace quorvane
