#include "setora/patch_list_view.h"

#include <QMouseEvent>
#include <QPainter>

#include "setora/patch_icon.h"
#include "setora/pictures.h"
#include "setora/qt_text.h"
#include "setora/setora_ids.h"
#include "setora/setora_text.h"

namespace {

constexpr int kColumns = 3;

}  // namespace

PatchListModel::PatchListModel(PatchList* list, QObject* parent)
    : QAbstractTableModel(parent), list_(list) {
  load_titles();
}

void PatchListModel::load_titles() {
  titles_[0] = qt_from_ansi(load_text(IDS_COLUMN_NAME));
  titles_[1] = qt_from_ansi(load_text(IDS_COLUMN_DESCRIPTION));
  titles_[2] = qt_from_ansi(load_text(IDS_COLUMN_SIZE));
}

void PatchListModel::reload() {
  beginResetModel();
  icons_.clear();
  for (const PatchRow& row : list_->rows()) {
    icons_.push_back(patch_row_icon(row.icon, row.icon_index, list_->settings().run.patch_dir));
  }
  endResetModel();
}

void PatchListModel::row_changed(int row) {
  emit dataChanged(index(row, 0), index(row, kColumns - 1));
}

int PatchListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(icons_.size());
}

int PatchListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumns;
}

QPixmap PatchListModel::row_picture(int row) const {
  QPixmap pixmap(34, 16);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.drawPixmap(0, 0, state_picture(list_->rows()[row].state));
  p.drawPixmap(18, 0, icons_[row]);
  return pixmap;
}

QVariant PatchListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() ||
      static_cast<size_t>(index.row()) >= list_->rows().size()) {
    return QVariant();
  }
  const PatchRow& row = list_->rows()[index.row()];
  switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
      if (index.column() == 0) return qt_from_ansi(row.name);
      if (index.column() == 1) return qt_from_ansi(row.description);
      return qt_from_ansi(row.size_text);
    case Qt::DecorationRole:
      if (index.column() == 0) return row_picture(index.row());
      return QVariant();
    case Qt::TextAlignmentRole:
      if (index.column() == 2) return QVariant(Qt::AlignRight | Qt::AlignVCenter);
      return QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    case Qt::UserRole:
      return static_cast<int>(row.state);
    default:
      return QVariant();
  }
}

QVariant PatchListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || section < 0 || section >= kColumns) return QVariant();
  if (role == Qt::DisplayRole) return titles_[section];
  if (role == Qt::TextAlignmentRole) {
    return QVariant((section == 2 ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter);
  }
  return QVariant();
}

PatchListView::PatchListView(QWidget* parent) : QTreeView(parent) {
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);  // one fixed row height
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setAllColumnsShowFocus(true);  // the whole row is drawn selected
  setTextElideMode(Qt::ElideRight);
  setIconSize(QSize(34, 16));
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSortingEnabled(false);
}

bool PatchListView::take_click(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return false;
  QModelIndex index = indexAt(event->position().toPoint());
  if (!index.isValid()) return false;
  if (on_row_clicked) on_row_clicked(index.row());
  event->accept();
  return true;
}

void PatchListView::mousePressEvent(QMouseEvent* event) {
  swallow_release_ = take_click(event);
  if (!swallow_release_) QTreeView::mousePressEvent(event);
}

void PatchListView::mouseDoubleClickEvent(QMouseEvent* event) {
  swallow_release_ = take_click(event);
  if (!swallow_release_) QTreeView::mouseDoubleClickEvent(event);
}

void PatchListView::mouseReleaseEvent(QMouseEvent* event) {
  if (swallow_release_ && event->button() == Qt::LeftButton) {
    swallow_release_ = false;
    event->accept();
    return;
  }
  QTreeView::mouseReleaseEvent(event);
}
