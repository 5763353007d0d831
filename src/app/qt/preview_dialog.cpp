#include "preview_dialog.h"

#include <QColor>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

namespace slicery::qt {

int PreviewModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(preview_.steps.size());
}

int PreviewModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : columns;
}

QVariant PreviewModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const app::PreviewStep& step = preview_.steps[static_cast<size_t>(index.row())];
  if (role == Qt::ForegroundRole && !step.failure.empty()) {
    return QColor(Qt::darkRed);
  }
  if (role != Qt::DisplayRole && role != Qt::ToolTipRole) return {};
  switch (index.column()) {
    case oldName:
      return QString::fromStdString(app::Preview::shownFrom(step));
    case newName:
      return QString::fromStdString(app::Preview::shownTo(step));
    case note:
      return QString::fromStdString(app::Preview::shownNote(step));
    default:
      return {};
  }
}

QVariant PreviewModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (role != Qt::DisplayRole || orientation != Qt::Horizontal) return {};
  switch (section) {
    case oldName:
      return QStringLiteral("Old name");
    case newName:
      return QStringLiteral("New name");
    case note:
      return QStringLiteral("Note");
    default:
      return {};
  }
}

PreviewDialog::PreviewDialog(app::Preview preview, bool canStart, QWidget* parent)
    : QDialog(parent), preview_(std::move(preview)), model_(preview_) {
  setObjectName(QStringLiteral("Preview"));
  setWindowTitle(QStringLiteral("Slicery - Preview"));
  resize(900, 520);

  auto* summary = new QLabel(QString::fromStdString(preview_.summary()), this);
  summary->setObjectName(QStringLiteral("summary"));
  summary->setWordWrap(true);
  summary->setTextFormat(Qt::PlainText);

  view_ = new QTableView(this);
  view_->setObjectName(QStringLiteral("steps"));
  view_->setModel(&model_);
  view_->setSelectionBehavior(QAbstractItemView::SelectRows);
  view_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  view_->setWordWrap(false);
  // A name's series and slice pieces come near its start.
  view_->setTextElideMode(Qt::ElideRight);
  // Rows of one height and columns of set widths: nothing measures all the
  // rows, so a long plan opens as fast as a short one.
  view_->verticalHeader()->hide();
  view_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  view_->verticalHeader()->setDefaultSectionSize(view_->fontMetrics().height() + 4);
  view_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  view_->horizontalHeader()->setStretchLastSection(true);
  view_->setColumnWidth(PreviewModel::oldName, 340);
  view_->setColumnWidth(PreviewModel::newName, 340);

  auto* buttons = new QDialogButtonBox(this);
  QPushButton* start = buttons->addButton(QStringLiteral("&Start"), QDialogButtonBox::AcceptRole);
  start->setObjectName(QStringLiteral("start"));
  start->setEnabled(canStart);
  QPushButton* close = buttons->addButton(QStringLiteral("Close"), QDialogButtonBox::RejectRole);
  close->setObjectName(QStringLiteral("close"));
  close->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(summary);
  layout->addWidget(view_, 1);
  layout->addWidget(buttons);
}

}  // namespace slicery::qt
