// The "Readings history" window: the trend of the board's readings since the
// port was first opened, and recording them to a CSV file. A window of its
// own beside the panel, which stays exactly as it is.
#pragma once

#include <cstdint>

#include <QTimer>
#include <QWidget>

#include "history/readings_log.h"
#include "history/trend_view.h"

class QButtonGroup;
class QLabel;
class QPushButton;
class QToolButton;

namespace quorvane {

class TrendChart;

class HistoryWindow : public QWidget {
  Q_OBJECT

 public:
  using Span = TrendSpan;

  HistoryWindow(ReadingsLog& readings, QWidget* parent);

  void FollowSpan(Span span);
  bool Following() const { return m_following; }
  TrendChart* Chart() const { return m_chart; }
  // How often the chart has been drawn: it is drawn only while the window
  // shows and something changed.
  int Redraws() const { return m_redraws; }

  // What "Record…" and "Export…" do once the operator has chosen a file.
  // Both report failures in a message box and in the window's status line.
  bool RecordTo(const QString& path);
  bool ExportTo(const QString& path);
  void StopRecording();
  QString StatusText() const;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void BuildControls();
  void OnRecordPressed();
  void OnExportPressed();
  void OnRecordingFailed(const std::string& path, const std::string& reason);
  void Redraw();
  void ShowRecordingState();
  void Warn(const QString& text);
  void SetStatus(const QString& text);
  QString SuggestedFile(const char* stem) const;

  ReadingsLog& m_readings;
  TrendChart* m_chart = nullptr;
  QButtonGroup* m_spans = nullptr;
  QToolButton* m_follow = nullptr;
  QPushButton* m_record = nullptr;
  QPushButton* m_export = nullptr;
  QLabel* m_status = nullptr;
  QTimer m_redrawTimer;

  Span m_span = Span::TenMinutes;
  bool m_following = true;
  bool m_viewChanged = true;
  std::uint64_t m_drawnAppended = 0;
  int m_redraws = 0;
  QString m_lastMessage;
};

}  // namespace quorvane
