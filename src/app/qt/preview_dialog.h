// PreviewDialog: "Slicery - Preview", the steps of the run Start would make
// now in one list over the form's preview (a model, not a widget per row,
// so 50,000 files show at once), with its counts above it. "&Start" closes
// it accepted, for the window to press Start; "Close" rejects it.
#pragma once

#include <QAbstractTableModel>
#include <QDialog>

#include "app/preview.h"

class QTableView;

namespace slicery::qt {

class PreviewModel : public QAbstractTableModel {
 public:
  enum Column { oldName, newName, note, columns };
  explicit PreviewModel(const app::Preview& preview, QObject* parent = nullptr)
      : QAbstractTableModel(parent), preview_(preview) {}
  int rowCount(const QModelIndex& parent) const override;
  int columnCount(const QModelIndex& parent) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  const app::Preview& preview_;
};

class PreviewDialog : public QDialog {
 public:
  // `canStart`: whether Start may be pressed now.
  PreviewDialog(app::Preview preview, bool canStart, QWidget* parent = nullptr);
  QTableView* steps() const { return view_; }

 private:
  app::Preview preview_;
  PreviewModel model_;
  QTableView* view_ = nullptr;
};

}  // namespace slicery::qt
