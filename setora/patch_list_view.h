// The report view of the patch list: a model over PatchList and a tree
// view without branches that highlights whole rows, cuts long texts with
// "...", and turns a left click or double click on a row into a toggle of
// that row only (the click does not move the selection).
#pragma once

#include <QAbstractTableModel>
#include <QPixmap>
#include <QTreeView>
#include <functional>
#include <vector>

#include "setora/patch_list.h"

class PatchListModel : public QAbstractTableModel {
 public:
  explicit PatchListModel(PatchList* list, QObject* parent = nullptr);

  // Column titles from the string table (61205 to 61207).
  void load_titles();
  // Reads the rows again after the list was filled (icons included).
  void reload();
  // Shows the new state of one row.
  void row_changed(int row);

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  // The picture of column 0: state icon and the patch's small icon.
  QPixmap row_picture(int row) const;

 private:
  PatchList* list_;
  QString titles_[3];
  std::vector<QPixmap> icons_;  // the small icons, one per row
};

class PatchListView : public QTreeView {
 public:
  explicit PatchListView(QWidget* parent = nullptr);

  // Called with the row that a left click or double click hit.
  std::function<void(int row)> on_row_clicked;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  bool take_click(QMouseEvent* event);
  bool swallow_release_ = false;
};
