#include "app/tools/journal_window.h"

#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include "app/dialogs/prompts.h"
#include "link/journal.h"

namespace corvella::app {
namespace {

const QString kCaption = QStringLiteral("Protocol Journal");
enum Column { kTime, kPort, kDirection, kFrame, kMeaning, kAnswer, kColumns };
// Each row keeps its kind and whether it is an error, for the filter.
constexpr int kKindRole = Qt::UserRole;
constexpr int kErrorRole = Qt::UserRole + 1;

QString Printable(const std::string& frame) {
  QString text;
  for (const char c : frame) {
    const auto byte = static_cast<unsigned char>(c);
    text += byte < 0x20 || byte >= 0x7f ? QChar(0xb7) : QChar(c);
  }
  return text;
}

}  // namespace

JournalWindow::JournalWindow(const link::Journal& journal, QWidget* parent)
    : QWidget(parent, Qt::Window),
      journal_(journal),
      table_(new QTableWidget(0, kColumns, this)),
      filter_(new QComboBox(this)),
      save_(new QPushButton(QStringLiteral("Save..."), this)) {
  setWindowTitle(kCaption);
  resize(900, 560);
  table_->setHorizontalHeaderLabels({QStringLiteral("Time (ms)"), QStringLiteral("Port"),
                                     QStringLiteral("Direction"), QStringLiteral("Frame"),
                                     QStringLiteral("Meaning"), QStringLiteral("Answer (ms)")});
  table_->setAccessibleName(QStringLiteral("Frames"));
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setStretchLastSection(false);
  table_->horizontalHeader()->setSectionResizeMode(kMeaning, QHeaderView::Stretch);
  table_->setColumnWidth(kFrame, 260);

  auto* caption = new QLabel(QStringLiteral("Show:"), this);
  caption->setBuddy(filter_);
  for (const QString& text : {QStringLiteral("All frames"), QStringLiteral("Writes"),
                              QStringLiteral("Reads"), QStringLiteral("Errors")}) {
    filter_->addItem(text);
  }
  connect(filter_, &QComboBox::currentIndexChanged, this,
          [this](int index) { SetFilter(static_cast<Filter>(index)); });
  connect(save_, &QPushButton::clicked, this, [this] {
    const QString path = chooser_();
    if (!path.isEmpty()) Save(path);
  });
  chooser_ = [this] {
    return QFileDialog::getSaveFileName(this, kCaption, QString(),
                                        QStringLiteral("Journal (*.log);;All files (*)"));
  };

  auto* top = new QHBoxLayout();
  top->addWidget(caption);
  top->addWidget(filter_);
  top->addStretch(1);
  top->addWidget(save_);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(top);
  layout->addWidget(table_, 1);

  follow_.setInterval(kJournalFollowMs);
  connect(&follow_, &QTimer::timeout, this, &JournalWindow::Follow);
}

void JournalWindow::Follow() {
  const std::vector<std::string> lines = journal_.Lines(next_, next_);
  if (lines.empty()) return;
  const bool atEnd = table_->verticalScrollBar() == nullptr ||
                     table_->verticalScrollBar()->value() == table_->verticalScrollBar()->maximum();
  for (const std::string& text : lines) {
    const std::optional<link::DecodedLine> line = reader_.Next(text);
    if (!line) continue;
    const int row = table_->rowCount();
    table_->insertRow(row);
    const QStringList cells{QString::number(line->sinceFirstMs),
                            QStringLiteral("COM%1").arg(line->entry.port),
                            line->entry.sent ? QStringLiteral("sent") : QStringLiteral("received"),
                            Printable(line->entry.frame),
                            QString::fromStdString(line->decoded.meaning),
                            line->answerMs >= 0 ? QString::number(line->answerMs) : QString()};
    for (int column = 0; column < kColumns; ++column) {
      auto* item = new QTableWidgetItem(cells[column]);
      if (column == kTime || column == kAnswer) item->setTextAlignment(Qt::AlignRight);
      table_->setItem(row, column, item);
    }
    table_->item(row, 0)->setData(kKindRole, static_cast<int>(line->decoded.kind));
    table_->item(row, 0)->setData(kErrorRole, line->decoded.error);
    table_->setRowHidden(row, !Shown(row));
  }
  if (atEnd) table_->scrollToBottom();
}

bool JournalWindow::Shown(int row) const {
  const QTableWidgetItem* item = table_->item(row, 0);
  const auto kind = static_cast<link::JournalKind>(item->data(kKindRole).toInt());
  switch (static_cast<Filter>(filter_->currentIndex())) {
    case Filter::All:
      return true;
    case Filter::Writes:
      return kind == link::JournalKind::Write;
    case Filter::Reads:
      return kind == link::JournalKind::Read;
    case Filter::Errors:
      return item->data(kErrorRole).toBool();
  }
  return true;
}

void JournalWindow::SetFilter(Filter filter) {
  if (filter_->currentIndex() != static_cast<int>(filter)) {
    filter_->setCurrentIndex(static_cast<int>(filter));  // comes back here
    return;
  }
  for (int row = 0; row < table_->rowCount(); ++row) table_->setRowHidden(row, !Shown(row));
}

bool JournalWindow::Save(const QString& path) {
  std::uint64_t next = 0;
  QByteArray text;
  for (const std::string& line : journal_.Lines(0, next)) {
    text += QByteArray::fromStdString(line);
    text += '\n';
  }
  QSaveFile file(path);
  const bool saved =
      file.open(QIODevice::WriteOnly) && file.write(text) == text.size() && file.commit();
  if (!saved) ShowError(this, QStringLiteral("%1: %2").arg(path, file.errorString()), kCaption);
  return saved;
}

void JournalWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  Follow();
  follow_.start();
}

void JournalWindow::hideEvent(QHideEvent* event) {
  follow_.stop();
  QWidget::hideEvent(event);
}

void JournalWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
    close();
    return;
  }
  QWidget::keyPressEvent(event);
}

}  // namespace corvella::app
