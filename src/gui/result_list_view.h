// The result lists on screen: a flat Qt model over the engine's ResultList (a
// header row per group followed by its member rows) and a tree view that draws
// the header rows across all columns. Flat, so 100,000 rows need neither
// expansion state nor spanned indexes. The groups come in the list's order and
// search (ResultList::ShownGroups); after the list's own columns the model adds
// "Modified" and "Size (bytes)", which the CSV leaves out unless asked.
#pragma once

#include <QAbstractItemModel>
#include <QMenu>
#include <QStyledItemDelegate>
#include <QTreeView>
#include <vector>

#include "actions/list_rows.h"
#include "core/result_list.h"

namespace orvanta {

class ResultListModel final : public QAbstractItemModel, private ResultListObserver {
  Q_OBJECT

 public:
  explicit ResultListModel(ResultList& list, QObject* parent = nullptr);
  ~ResultListModel() override;

  ResultList& List() { return list_; }
  // The columns after the list's own.
  int ModifiedColumn() const { return static_cast<int>(list_.Columns().size()); }
  int BytesColumn() const { return ModifiedColumn() + 1; }
  // The engine's row shown at this index; -1 for a group header.
  int EngineRow(const QModelIndex& index) const;
  // The index of an engine row in the given column; invalid when it is not shown.
  QModelIndex IndexOfEngineRow(int row, int column) const;
  bool IsGroupHeader(const QModelIndex& index) const;
  // Column captions follow the engine's list (after a change of language).
  void RefreshHeader();

  QModelIndex index(int row, int column, const QModelIndex& parent = {}) const override;
  QModelIndex parent(const QModelIndex& child) const override;
  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
  // Header clicks: the groups ordered by the column's key (Group: number of
  // members; names; paths; sizes: total size; Modified: newest member).
  void sort(int column, Qt::SortOrder order) override;
  GroupOrder OrderOfColumn(int column) const;

 private:
  QString Details(const ListRow& row) const;
  void ListReset() override;
  void RowCheckChanged(std::size_t row) override;
  void Rebuild();

  // One shown line: a group header (group index) or a member (engine row).
  struct Line {
    bool header;
    std::uint32_t item;
  };
  ResultList& list_;
  std::vector<Line> lines_;
  std::vector<int> lineOfRow_;  // engine row -> shown line
};

// Paths read left to right whatever the layout: "/tmp/a" in an Arabic window
// keeps its leading "/" on the left. Names and dates (ownDirection) take the
// direction of their own first strong letter, so "02 - Hit 2.mp3" keeps its
// order in an Arabic window and an Arabic name reads right to left in an
// English one.
// The text stays at the cell's leading edge.
class PathDelegate final : public QStyledItemDelegate {
 public:
  explicit PathDelegate(QObject* parent, bool ownDirection = false)
      : QStyledItemDelegate(parent), ownDirection_(ownDirection) {}
  // The option a cell is drawn with.
  QStyleOptionViewItem CellOption(const QStyleOptionViewItem& base, const QModelIndex& index) const {
    QStyleOptionViewItem option = base;
    initStyleOption(&option, index);
    return option;
  }

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

 private:
  bool ownDirection_;
};

class ResultListView final : public QTreeView {
  Q_OBJECT

 public:
  explicit ResultListView(QWidget* parent = nullptr);
  // pathColumn: the column of paths, which takes the width the others leave;
  // nameColumn: the column of names (-1: none).
  void SetResultModel(ResultListModel* model, int pathColumn, int nameColumn = -1);
  // The header's context menu: a check item per optional column.
  QMenu* MakeColumnMenu(QWidget* parent);
  ResultListModel* ResultModel() const { return model_; }
  // Each column at its set width, or wider where its caption needs it
  // (captions in other languages run longer than the English ones).
  void FitColumnsToCaptions();
  // The engine row of the selected row, -1 when none is selected or it is a group header.
  int SelectedEngineRow() const;

 protected:
  void drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  // Group headers are passed over: the cursor moves on to the next file row
  // in its direction (or back, at the end), never onto a row it cannot select.
  QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
  // Space toggles the current row's check mark from whichever column holds the cursor.
  void keyPressEvent(QKeyEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void GiveSpareWidthToPaths();

  ResultListModel* model_ = nullptr;
  const FileRecord* currentRecord_ = nullptr;  // the current row's record, found again after a reset
  int pathColumn_ = -1;
  int pathColumnMinimum_ = 0;
};

}  // namespace orvanta
