// The readings history window's controls, drawn as its presenter says.
#include "app/qt/history_window.h"

#include <iterator>

#include <QButtonGroup>
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

namespace quorvane {

namespace {

QString Native(const QString& path) { return QDir::toNativeSeparators(path); }
QString Text(const char* utf8) { return QString::fromUtf8(utf8); }

}  // namespace

HistoryWindow::HistoryWindow(ReadingsLog& readings, QWidget* parent)
    : QWidget(parent, Qt::Window), m_presenter(readings, *this) {
  setWindowTitle(Text(kHistoryTitle));
  BuildControls();
  resize(900, 520);
  connect(&m_redrawTimer, &QTimer::timeout, this, [this] { m_presenter.OnRedrawTimer(); });
  m_chart->ForwardInputTo(&m_presenter);
  auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(close, &QShortcut::activated, this, &QWidget::close);
  m_presenter.Begin();
}

void HistoryWindow::BuildControls() {
  auto* bar = new QHBoxLayout;
  bar->addWidget(new QLabel(Text(kSpanPrompt), this));
  m_spans = new QButtonGroup(this);
  m_spans->setExclusive(true);
  for (int i = 0; i < static_cast<int>(std::size(kSpanButtons)); ++i) {
    const auto span = static_cast<TrendSpan>(i);
    auto* button = new QToolButton(this);
    button->setText(Text(kSpanButtons[i].caption));
    button->setAccessibleName(Text(kSpanButtons[i].name));
    button->setCheckable(true);
    button->setChecked(span == m_presenter.Span());
    m_spans->addButton(button, i);
    bar->addWidget(button);
    connect(button, &QToolButton::clicked, this, [this, span] { m_presenter.FollowSpan(span); });
  }
  m_follow = new QToolButton(this);
  m_follow->setText(Text(kFollowButton.caption));
  m_follow->setToolTip(Text(kFollowButton.description));
  m_follow->setAccessibleDescription(m_follow->toolTip());
  m_follow->setCheckable(true);
  m_follow->setChecked(m_presenter.Following());
  connect(m_follow, &QToolButton::clicked, this, [this](bool on) { m_presenter.SetFollowing(on); });
  bar->addSpacing(12);
  bar->addWidget(m_follow);
  bar->addStretch(1);
  m_record = new QPushButton(this);
  m_record->setAutoDefault(false);
  connect(m_record, &QPushButton::clicked, this, [this] { m_presenter.OnRecordPressed(); });
  m_export = new QPushButton(Text(kExportButton.caption), this);
  m_export->setAutoDefault(false);
  m_export->setToolTip(Text(kExportButton.description));
  m_export->setAccessibleName(Text(kExportButton.name));
  m_export->setAccessibleDescription(m_export->toolTip());
  connect(m_export, &QPushButton::clicked, this, [this] { m_presenter.OnExportPressed(); });
  bar->addWidget(m_record);
  bar->addWidget(m_export);

  m_chart = new TrendChart(this);
  m_chart->setAccessibleName(Text(kChartName));
  m_status = new QLabel(this);
  m_status->setTextFormat(Qt::PlainText);
  m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(bar);
  layout->addWidget(m_chart, 1);
  layout->addWidget(m_status);
}

void HistoryWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  m_presenter.OnViewChanged();
}

void HistoryWindow::hideEvent(QHideEvent* event) {
  m_redrawTimer.stop();
  QWidget::hideEvent(event);
}

int HistoryWindow::PlotWidth() const { return m_chart->PlotWidth(); }

void HistoryWindow::DrawChart(const ReadingHistory& history, TrendView view) {
  m_chart->Draw(history, view.from, view.to);
}

void HistoryWindow::DescribeChart(const std::string& text) {
  m_chart->setAccessibleDescription(QString::fromStdString(text));
}

void HistoryWindow::ShowSpan(TrendSpan span) {
  m_spans->button(static_cast<int>(span))->setChecked(true);
}

void HistoryWindow::ShowFollowing(bool following) { m_follow->setChecked(following); }

void HistoryWindow::ShowRecordButton(const ButtonTexts& texts) {
  m_record->setText(Text(texts.caption));
  m_record->setToolTip(Text(texts.description));
  m_record->setAccessibleName(Text(texts.name));
  m_record->setAccessibleDescription(m_record->toolTip());
}

void HistoryWindow::ShowStatus(const std::string& text, const std::string& name) {
  m_status->setText(QString::fromStdString(text));
  m_status->setAccessibleName(QString::fromStdString(name));
}

QString HistoryWindow::StatusText() const { return m_status->text(); }

void HistoryWindow::ShowWarning(const std::string& text) {
  // Not modal: the panel, and this window, go on while the message is read.
  auto* box = new QMessageBox(QMessageBox::Warning, Text(kHistoryTitle),
                              QString::fromStdString(text), QMessageBox::Ok, this);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::NonModal);
  box->show();
}

std::string HistoryWindow::AskForFile(const std::string& title, const std::string& suggestedName) {
  QFileDialog dialog(this, QString::fromStdString(title),
                     QDir::home().filePath(QString::fromStdString(suggestedName)),
                     "CSV files (*.csv);;All files (*)");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix("csv");
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
  return Native(dialog.selectedFiles().constFirst()).toStdString();
}

// Paths in the messages as the system writes them.
bool HistoryWindow::RecordTo(const QString& path) {
  return m_presenter.RecordTo(Native(path).toStdString());
}

bool HistoryWindow::ExportTo(const QString& path) {
  return m_presenter.ExportTo(Native(path).toStdString());
}

}  // namespace quorvane
