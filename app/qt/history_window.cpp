// The readings history window's controls, its redraw pace and its files.
#include "app/qt/history_window.h"

#include <algorithm>

#include <QButtonGroup>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QShortcut>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/qt/trend_chart.h"
#include "controller/display_forms.h"

namespace quorvane {

namespace {

QString Native(const QString& path) { return QDir::toNativeSeparators(path); }

QString Clock(WallTime time) {
  return QDateTime::fromMSecsSinceEpoch(
             std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count())
      .toString("HH:mm:ss");
}

// The chart in words, for those who cannot see it: the time span shown and
// the newest value of each line.
QString ChartSummary(const ReadingHistory& history, WallTime from, WallTime to) {
  QString text = QStringLiteral("Shown from %1 to %2.").arg(Clock(from), Clock(to));
  if (history.Empty()) return text + QStringLiteral(" No readings yet.");
  const Reading& newest = history.Newest();
  return text + QStringLiteral(
                    " Newest reading at %1: measured current %2 mA, current set-point "
                    "%3 mA, seed %4 °C, pump %5 °C.")
                    .arg(Clock(newest.time),
                         QString::fromStdString(SetpointText(newest.currentRead)),
                         QString::fromStdString(SetpointText(newest.currentSetpoint)),
                         QString::fromStdString(TemperatureText(newest.seedTemp)),
                         QString::fromStdString(TemperatureText(newest.pumpTemp)));
}

}  // namespace

HistoryWindow::HistoryWindow(ReadingsLog& readings, QWidget* parent)
    : QWidget(parent, Qt::Window), m_readings(readings) {
  setWindowTitle("Readings history");
  BuildControls();
  resize(900, 520);
  m_redrawTimer.setInterval(kPollPeriod);
  connect(&m_redrawTimer, &QTimer::timeout, this, &HistoryWindow::Redraw);
  connect(m_chart, &TrendChart::ViewMoved, this, [this] {
    m_following = false;
    m_follow->setChecked(false);
    m_viewChanged = true;
    Redraw();
  });
  m_readings.OnRecordingFailed(
      [this](const std::string& path, const std::string& reason) { OnRecordingFailed(path, reason); });
  auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(close, &QShortcut::activated, this, &QWidget::close);
  ShowRecordingState();
}

void HistoryWindow::BuildControls() {
  auto* bar = new QHBoxLayout;
  bar->addWidget(new QLabel("Show the last:", this));
  m_spans = new QButtonGroup(this);
  m_spans->setExclusive(true);
  struct SpanButton {
    const char* caption;
    const char* name;  // what a screen reader says
    Span span;
  };
  const SpanButton spans[] = {{"1 min", "Show the last minute", Span::Minute},
                              {"10 min", "Show the last 10 minutes", Span::TenMinutes},
                              {"1 h", "Show the last hour", Span::Hour},
                              {"All", "Show all readings kept", Span::All}};
  for (const auto& [caption, name, span] : spans) {
    auto* button = new QToolButton(this);
    button->setText(caption);
    button->setAccessibleName(name);
    button->setCheckable(true);
    button->setChecked(span == m_span);
    m_spans->addButton(button, static_cast<int>(span));
    bar->addWidget(button);
    connect(button, &QToolButton::clicked, this, [this, span = span] { FollowSpan(span); });
  }
  m_follow = new QToolButton(this);
  m_follow->setText("Follow newest");
  m_follow->setToolTip("Keep the newest reading at the right edge. Zooming (wheel, or drag "
                       "across the chart) or scrolling (arrow keys, Shift+wheel) stops following.");
  m_follow->setAccessibleDescription(m_follow->toolTip());
  m_follow->setCheckable(true);
  m_follow->setChecked(true);
  connect(m_follow, &QToolButton::clicked, this, [this](bool on) {
    m_following = on;
    m_viewChanged = true;
    Redraw();
  });
  bar->addSpacing(12);
  bar->addWidget(m_follow);
  bar->addStretch(1);
  m_record = new QPushButton(this);
  m_record->setAutoDefault(false);
  connect(m_record, &QPushButton::clicked, this, &HistoryWindow::OnRecordPressed);
  m_export = new QPushButton("Export\u2026", this);
  m_export->setAutoDefault(false);
  m_export->setToolTip("Write every reading kept since the port was first opened to a CSV file");
  m_export->setAccessibleName("Export readings");
  m_export->setAccessibleDescription(m_export->toolTip());
  connect(m_export, &QPushButton::clicked, this, &HistoryWindow::OnExportPressed);
  bar->addWidget(m_record);
  bar->addWidget(m_export);

  m_chart = new TrendChart(this);
  m_chart->setAccessibleName("Readings chart");
  m_status = new QLabel(this);
  m_status->setTextFormat(Qt::PlainText);
  m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(bar);
  layout->addWidget(m_chart, 1);
  layout->addWidget(m_status);
}

void HistoryWindow::FollowSpan(Span span) {
  m_span = span;
  m_spans->button(static_cast<int>(span))->setChecked(true);
  m_following = true;
  m_follow->setChecked(true);
  m_viewChanged = true;
  Redraw();
}

void HistoryWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  m_viewChanged = true;
  Redraw();
}

void HistoryWindow::hideEvent(QHideEvent* event) {
  m_redrawTimer.stop();
  QWidget::hideEvent(event);
}

void HistoryWindow::Redraw() {
  if (!isVisible()) return;
  const ReadingHistory& history = m_readings.History();
  if (!m_viewChanged && history.Appended() == m_drawnAppended) return;
  // New readings are drawn at most as often as they come, and in a long span
  // only once the view has moved on by a pixel's worth of time: a redraw per
  // reading would cost time and show nothing new. The pace is the timer's
  // own, so the window wakes no more often than it draws.
  TrendView view{m_chart->From(), m_chart->To()};
  if (m_following) view = FollowingView(history, m_span, std::chrono::system_clock::now());
  const auto [from, to] = view;
  m_chart->Draw(history, from, to);
  m_chart->setAccessibleDescription(ChartSummary(history, from, to));
  m_drawnAppended = history.Appended();
  m_viewChanged = false;
  ++m_redraws;
  m_redrawTimer.start(RedrawWait(view, m_chart->PlotWidth()));
}

QString HistoryWindow::SuggestedFile(const char* stem) const {
  const QString name = QStringLiteral("%1-%2.csv")
                           .arg(QString::fromLatin1(stem),
                                QDateTime::currentDateTime().toString("yyyyMMdd-HHmmss"));
  return QDir::home().filePath(name);
}

void HistoryWindow::OnRecordPressed() {
  if (m_readings.Recording()) return StopRecording();
  QFileDialog dialog(this, "Record readings to", SuggestedFile("readings"),
                     "CSV files (*.csv);;All files (*)");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix("csv");
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  RecordTo(dialog.selectedFiles().constFirst());
}

void HistoryWindow::OnExportPressed() {
  QFileDialog dialog(this, "Export readings to", SuggestedFile("readings-history"),
                     "CSV files (*.csv);;All files (*)");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix("csv");
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  ExportTo(dialog.selectedFiles().constFirst());
}

bool HistoryWindow::RecordTo(const QString& path) {
  const std::string reason = m_readings.StartRecording(path.toStdString());
  if (!reason.empty()) {
    ShowRecordingState();
    Warn(QStringLiteral("Cannot record to %1: %2.").arg(Native(path), QString::fromStdString(reason)));
    return false;
  }
  ShowRecordingState();
  return true;
}

void HistoryWindow::StopRecording() {
  m_readings.StopRecording();
  ShowRecordingState();
}

bool HistoryWindow::ExportTo(const QString& path) {
  const ReadingHistory& history = m_readings.History();
  const std::string reason = m_readings.Export(path.toStdString());
  if (!reason.empty()) {
    Warn(QStringLiteral("Cannot export to %1: %2. The file was left as it was.")
             .arg(Native(path), QString::fromStdString(reason)));
    // The box tells of the export; the status line goes on telling where the
    // recording writes.
    if (m_readings.Recording()) ShowRecordingState();
    return false;
  }
  m_lastMessage = QStringLiteral("Exported %1 readings to %2.")
                      .arg(static_cast<qulonglong>(history.Size()))
                      .arg(Native(path));
  SetStatus(m_lastMessage);
  return true;
}

void HistoryWindow::OnRecordingFailed(const std::string& path, const std::string& reason) {
  ShowRecordingState();
  Warn(QStringLiteral("Recording stopped: writing %1 failed: %2. Every row written before is "
                      "complete; the panel goes on as before.")
           .arg(Native(QString::fromStdString(path)), QString::fromStdString(reason)));
}

void HistoryWindow::ShowRecordingState() {
  const bool recording = m_readings.Recording();
  m_record->setText(recording ? "Stop recording" : "Record\u2026");
  m_record->setToolTip(recording ? "Close the recording file"
                                 : "Write each reading to a CSV file as it arrives");
  m_record->setAccessibleName(recording ? "Stop recording" : "Record readings");
  m_record->setAccessibleDescription(m_record->toolTip());
  if (recording) {
    m_lastMessage.clear();
    SetStatus(QStringLiteral("Recording to %1")
                  .arg(Native(QString::fromStdString(m_readings.RecordingPath()))));
  } else {
    SetStatus(m_lastMessage.isEmpty() ? QStringLiteral("Not recording.") : m_lastMessage);
  }
}

QString HistoryWindow::StatusText() const { return m_status->text(); }

void HistoryWindow::SetStatus(const QString& text) {
  m_status->setText(text);
  // Named as what it is, with what it says, so a change is announced.
  m_status->setAccessibleName(QStringLiteral("Status: %1").arg(text));
}

void HistoryWindow::Warn(const QString& text) {
  m_lastMessage = text;
  SetStatus(text);
  // Not modal: the panel, and this window, go on while the message is read.
  auto* box = new QMessageBox(QMessageBox::Warning, "Readings history", text, QMessageBox::Ok, this);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::NonModal);
  box->show();
}

}  // namespace quorvane
