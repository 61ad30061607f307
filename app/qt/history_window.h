// The "Readings history" window: the trend of the board's readings since the
// port was first opened, and recording them to a CSV file. A window of its
// own beside the panel, which stays exactly as it is. It draws and forwards
// the operator's input; HistoryPresenter decides.
#pragma once

#include <QTimer>
#include <QWidget>

#include "history/history_presenter.h"

class QButtonGroup;
class QLabel;
class QPushButton;
class QToolButton;

namespace quorvane {

class TrendChart;

class HistoryWindow : public QWidget, private HistoryView {
  Q_OBJECT

 public:
  using Span = TrendSpan;

  HistoryWindow(ReadingsLog& readings, QWidget* parent);

  void FollowSpan(Span span) { m_presenter.FollowSpan(span); }
  bool Following() const { return m_presenter.Following(); }
  TrendChart* Chart() const { return m_chart; }
  // How often the chart has been drawn: it is drawn only while the window
  // shows and something changed.
  int Redraws() const { return m_presenter.Redraws(); }

  // What "Record…" and "Export…" do once the operator has chosen a file.
  // Both report failures in a message box and in the window's status line.
  bool RecordTo(const QString& path);
  bool ExportTo(const QString& path);
  void StopRecording() { m_presenter.StopRecording(); }
  QString StatusText() const;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void BuildControls();
  // HistoryView.
  bool Visible() const override { return isVisible(); }
  int PlotWidth() const override;
  void DrawChart(const ReadingHistory& history, TrendView view) override;
  void DescribeChart(const std::string& text) override;
  void StartRedrawTimer(std::chrono::milliseconds wait) override { m_redrawTimer.start(wait); }
  void ShowSpan(TrendSpan span) override;
  void ShowFollowing(bool following) override;
  void ShowRecordButton(const ButtonTexts& texts) override;
  void ShowStatus(const std::string& text, const std::string& name) override;
  void ShowWarning(const std::string& text) override;
  std::string AskForFile(const std::string& title, const std::string& suggestedName) override;

  TrendChart* m_chart = nullptr;
  QButtonGroup* m_spans = nullptr;
  QToolButton* m_follow = nullptr;
  QPushButton* m_record = nullptr;
  QPushButton* m_export = nullptr;
  QLabel* m_status = nullptr;
  QTimer m_redrawTimer;
  HistoryPresenter m_presenter;
};

}  // namespace quorvane
