#include "exams_dialog.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "preview_dialog.h"

namespace slicery::qt {

namespace {

QString text(const std::string& s) {
  return QString::fromStdString(s);
}

}  // namespace

ExamsDialog::ExamsDialog(app::ExamBatch& batch, Mode mode,
                         std::function<void(const app::Message&)> tell, QWidget* parent)
    : QDialog(parent), batch_(batch), tell_(std::move(tell)) {
  setObjectName(QStringLiteral("Exams"));
  setWindowTitle(QString::fromLatin1(app::kExamsTitle));
  resize(900, 420);

  heading_ = new QLabel(text(batch_.heading()), this);
  heading_->setWordWrap(true);
  heading_->setTextFormat(Qt::PlainText);

  const auto columns = app::examColumns();
  table_ = new QTableWidget(static_cast<int>(batch_.rows().size()),
                            static_cast<int>(columns.size()), this);
  table_->setObjectName(QStringLiteral("exams"));
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->verticalHeader()->hide();
  for (size_t c = 0; c < columns.size(); ++c) {
    table_->setHorizontalHeaderItem(static_cast<int>(c),
                                    new QTableWidgetItem(QString::fromUtf8(columns[c].caption)));
    table_->setColumnWidth(static_cast<int>(c), columns[c].width);
  }
  table_->horizontalHeader()->setStretchLastSection(true);
  for (int r = 0; r < table_->rowCount(); ++r) {
    for (int c = 0; c < table_->columnCount(); ++c) {
      auto* item = new QTableWidgetItem;
      item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
      if (c == 0) {
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
      }
      if (c == 1 || c == 2) item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      table_->setItem(r, c, item);
    }
  }
  showRows();
  connect(table_, &QTableWidget::itemChanged, this, [this](QTableWidgetItem* item) {
    if (item->column() != 0) return;
    batch_.tick(static_cast<size_t>(item->row()), item->checkState() == Qt::Checked);
    showRows();
  });

  bar_ = new QProgressBar(this);
  bar_->setTextVisible(false);
  counts_ = new QLabel(this);
  preview_ = new QPushButton(QString::fromLatin1(app::kExamsPreview), this);
  start_ = new QPushButton(QString::fromLatin1(app::kExamsStart), this);
  close_ = new QPushButton(QString::fromLatin1(app::kExamsClose), this);
  close_->setDefault(true);
  connect(preview_, &QPushButton::clicked, this, &ExamsDialog::openPreview);
  connect(start_, &QPushButton::clicked, this, &ExamsDialog::start);
  connect(close_, &QPushButton::clicked, this, &ExamsDialog::reject);

  auto* buttons = new QHBoxLayout;
  buttons->addWidget(counts_, 1);
  buttons->addWidget(preview_);
  buttons->addWidget(start_);
  buttons->addWidget(close_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(heading_);
  layout->addWidget(table_, 1);
  layout->addWidget(bar_);
  layout->addLayout(buttons);

  batch_.onProgress = [this](bool rowsChanged) { showProgress(rowsChanged); };
  showProgress(true);
  if (mode == Mode::undo) {
    preview_->hide();
    start_->hide();
    QMetaObject::invokeMethod(
        this, [this] { work(&app::ExamBatch::undo); }, Qt::QueuedConnection);
  }
}

void ExamsDialog::start() {
  work(&app::ExamBatch::start);
}

void ExamsDialog::openPreview() {
  if (!batch_.canStart()) return;
  PreviewDialog dialog(batch_.preview(), true, this);
  if (dialog.exec() == QDialog::Accepted) start();
}

void ExamsDialog::work(void (app::ExamBatch::*what)()) {
  if (batch_.working() || ran_) return;
  ran_ = true;
  for (QPushButton* button : {preview_, start_, close_}) button->setEnabled(false);
  table_->setEnabled(false);
  (batch_.*what)();
  showProgress(true);
  table_->setEnabled(true);
  close_->setEnabled(true);
  close_->setFocus();
  if (tell_) tell_(batch_.summary());
  if (afterWork) afterWork();
}

void ExamsDialog::reject() {
  if (batch_.working()) {
    batch_.pressEscape();
    return;
  }
  QDialog::reject();
}

void ExamsDialog::showRows() {
  const QSignalBlocker quiet(table_);
  for (int r = 0; r < table_->rowCount(); ++r) {
    const auto row = static_cast<size_t>(r);
    for (int c = 0; c < table_->columnCount(); ++c) {
      QTableWidgetItem* item = table_->item(r, c);
      const QString shown = text(batch_.cell(row, static_cast<size_t>(c)));
      if (item->text() != shown) {
        item->setText(shown);
        item->setToolTip(shown);
      }
    }
    table_->item(r, 0)->setCheckState(batch_.rows()[row].ticked ? Qt::Checked : Qt::Unchecked);
  }
  if (start_ != nullptr) {
    start_->setEnabled(!ran_ && batch_.canStart());
    preview_->setEnabled(!ran_ && batch_.canStart());
  }
}

void ExamsDialog::showProgress(bool rowsChanged) {
  bar_->setMaximum(std::max(batch_.filesTotal(), 1));
  bar_->setValue(std::min(batch_.filesDone(), bar_->maximum()));
  counts_->setText(text(batch_.progressText()));
  if (rowsChanged) showRows();
}

}  // namespace slicery::qt
