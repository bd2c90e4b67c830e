#include "gui/result_list_view.h"

#include <QApplication>
#include <QFont>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPainter>
#include <QPalette>
#include <QStyle>
#include <algorithm>
#include <unordered_map>

#include "text/translate.h"

namespace orvanta {
namespace {

QString FromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

ResultListModel::ResultListModel(ResultList& list, QObject* parent) : QAbstractItemModel(parent), list_(list) {
  Rebuild();
  list_.SetObserver(this);
}

ResultListModel::~ResultListModel() { list_.SetObserver(nullptr); }

void ResultListModel::Rebuild() {
  lines_.clear();
  const auto& groups = list_.Groups();
  const auto& rows = list_.Rows();
  lineOfRow_.assign(rows.size(), -1);
  lines_.reserve(groups.size() + rows.size());
  // Members follow their group's header in row order; rows of no known group come last.
  std::unordered_map<int, std::size_t> groupOfId;
  std::vector<std::vector<std::uint32_t>> members(groups.size());
  for (std::size_t g = 0; g < groups.size(); ++g) groupOfId.emplace(groups[g].groupId, g);
  std::vector<std::uint32_t> ungrouped;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const auto it = groupOfId.find(rows[r].groupId);
    (it == groupOfId.end() ? ungrouped : members[it->second]).push_back(static_cast<std::uint32_t>(r));
  }
  auto addMember = [this](std::uint32_t row) {
    lineOfRow_[row] = static_cast<int>(lines_.size());
    lines_.push_back({false, row});
  };
  for (std::size_t g = 0; g < groups.size(); ++g) {
    lines_.push_back({true, static_cast<std::uint32_t>(g)});
    for (const std::uint32_t row : members[g]) addMember(row);
  }
  for (const std::uint32_t row : ungrouped) addMember(row);
}

void ResultListModel::ListReset() {
  beginResetModel();
  Rebuild();
  endResetModel();
}

void ResultListModel::RowCheckChanged(std::size_t row) {
  if (row >= lineOfRow_.size() || lineOfRow_[row] < 0) return;
  const QModelIndex changed = index(lineOfRow_[row], 0);
  emit dataChanged(changed, changed, {Qt::CheckStateRole});
}

void ResultListModel::RefreshHeader() { emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1); }

int ResultListModel::EngineRow(const QModelIndex& index) const {
  if (!index.isValid() || index.row() >= static_cast<int>(lines_.size())) return -1;
  const Line& line = lines_[static_cast<std::size_t>(index.row())];
  return line.header ? -1 : static_cast<int>(line.item);
}

bool ResultListModel::IsGroupHeader(const QModelIndex& index) const {
  return index.isValid() && index.row() < static_cast<int>(lines_.size()) &&
         lines_[static_cast<std::size_t>(index.row())].header;
}

QModelIndex ResultListModel::index(int row, int column, const QModelIndex& parent) const {
  if (parent.isValid() || row < 0 || row >= static_cast<int>(lines_.size()) || column < 0 || column >= columnCount()) {
    return {};
  }
  return createIndex(row, column);
}

QModelIndex ResultListModel::parent(const QModelIndex&) const { return {}; }

int ResultListModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

int ResultListModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(list_.Columns().size());
}

QVariant ResultListModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid()) return {};
  const Line& line = lines_[static_cast<std::size_t>(index.row())];
  if (line.header) {
    if (role == Qt::DisplayRole && index.column() == 0) return FromUtf8(list_.Groups()[line.item].header);
    if (role == Qt::FontRole) {
      QFont bold;
      bold.setBold(true);
      return bold;
    }
    return {};
  }
  const ListRow& row = list_.Rows()[line.item];
  if (role == Qt::DisplayRole) {
    if (index.column() == 0) return FromUtf8(row.caption);
    const auto item = static_cast<std::size_t>(index.column() - 1);
    return item < list_.CellCount(row) ? FromUtf8(list_.CellText(row, item)) : QString();
  }
  if (role == Qt::CheckStateRole && index.column() == 0) return row.checked ? Qt::Checked : Qt::Unchecked;
  if (role == Qt::ToolTipRole) {
    const std::string path = RowPath(row);
    if (row.stale) return FromUtf8(path + "\n" + TranslateText("Changed by a removal; scan again to compare it."));
    if (InReference(row)) {
      return FromUtf8(path + "\n" + TranslateText("In a reference folder (or holding one): never checked or moved."));
    }
    return path.empty() ? QVariant() : FromUtf8(path);
  }
  if (role == Qt::ForegroundRole && row.stale) return QApplication::palette().brush(QPalette::Disabled, QPalette::Text);
  // Reference copies in the link colour, which every style keeps apart from the text.
  if (role == Qt::ForegroundRole && InReference(row)) return QApplication::palette().brush(QPalette::Link);
  return {};
}

bool ResultListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  const int row = EngineRow(index);
  if (row < 0 || role != Qt::CheckStateRole || index.column() != 0) return false;
  list_.SetChecked(static_cast<std::size_t>(row), value.toInt() == Qt::Checked);
  return true;
}

Qt::ItemFlags ResultListModel::flags(const QModelIndex& index) const {
  if (!index.isValid()) return Qt::NoItemFlags;
  if (IsGroupHeader(index)) return Qt::ItemIsEnabled;
  Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
  const int row = EngineRow(index);
  if (index.column() == 0 && (row < 0 || (!list_.Rows()[static_cast<std::size_t>(row)].stale &&
                                          !InReference(list_.Rows()[static_cast<std::size_t>(row)])))) {
    flags |= Qt::ItemIsUserCheckable;
  }
  return flags;
}

QVariant ResultListModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columnCount()) return {};
  return FromUtf8(list_.Columns()[static_cast<std::size_t>(section)].caption);
}

ResultListView::ResultListView(QWidget* parent) : QTreeView(parent) {
  setRootIsDecorated(false);
  setItemsExpandable(false);
  setUniformRowHeights(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setAllColumnsShowFocus(true);
  setSortingEnabled(false);
  header()->setStretchLastSection(false);
  header()->setSectionsMovable(false);
  // The selection stays visible when the list loses the focus.
  QPalette colours = palette();
  colours.setColor(QPalette::Inactive, QPalette::Highlight, colours.color(QPalette::Active, QPalette::Highlight));
  colours.setColor(QPalette::Inactive, QPalette::HighlightedText,
                   colours.color(QPalette::Active, QPalette::HighlightedText));
  setPalette(colours);
}

void PathDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
  QStyledItemDelegate::initStyleOption(option, index);
  if (option->direction == Qt::RightToLeft) option->displayAlignment = Qt::AlignRight | Qt::AlignVCenter;
  option->direction = Qt::LeftToRight;
}

void ResultListView::SetResultModel(ResultListModel* model, int pathColumn) {
  model_ = model;
  pathColumn_ = pathColumn;
  setModel(model);
  setItemDelegateForColumn(pathColumn, new PathDelegate(this));
  FitColumnsToCaptions();
}

void ResultListView::FitColumnsToCaptions() {
  if (model_ == nullptr) return;
  const auto& columns = model_->List().Columns();
  const QFontMetrics metrics = header()->fontMetrics();
  const int margins = 2 * style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header()) + 8;
  for (std::size_t i = 0; i < columns.size(); ++i) {
    const int needed = metrics.horizontalAdvance(FromUtf8(columns[i].caption)) + margins;
    const int width = std::max(columns[i].width, needed);
    header()->resizeSection(static_cast<int>(i), width);
    if (static_cast<int>(i) == pathColumn_) pathColumnMinimum_ = width;
  }
  GiveSpareWidthToPaths();
}

void ResultListView::GiveSpareWidthToPaths() {
  if (model_ == nullptr || pathColumn_ < 0 || pathColumn_ >= header()->count()) return;
  int others = 0;
  for (int i = 0; i < header()->count(); ++i) {
    if (i != pathColumn_) others += header()->sectionSize(i);
  }
  header()->resizeSection(pathColumn_, std::max(pathColumnMinimum_, viewport()->width() - others));
}

void ResultListView::resizeEvent(QResizeEvent* event) {
  QTreeView::resizeEvent(event);
  GiveSpareWidthToPaths();
}

QModelIndex ResultListView::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) {
  const QModelIndex next = QTreeView::moveCursor(action, modifiers);
  if (model_ == nullptr || !model_->IsGroupHeader(next)) return next;
  const bool upwards = action == MoveUp || action == MovePageUp || action == MoveHome || action == MovePrevious;
  const int column = currentIndex().isValid() ? currentIndex().column() : 0;
  for (const int step : {upwards ? -1 : 1, upwards ? 1 : -1}) {
    for (int row = next.row(); row >= 0 && row < model_->rowCount(); row += step) {
      const QModelIndex candidate = model_->index(row, column);
      if (!model_->IsGroupHeader(candidate)) return candidate;
    }
  }
  return currentIndex();
}

void ResultListView::keyPressEvent(QKeyEvent* event) {
  const QModelIndex current = currentIndex();
  if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier && model_ != nullptr &&
      model_->EngineRow(current) >= 0) {
    const QModelIndex box = model_->index(current.row(), 0);
    const bool checked = model_->data(box, Qt::CheckStateRole).toInt() == Qt::Checked;
    model_->setData(box, checked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
    event->accept();
    return;
  }
  QTreeView::keyPressEvent(event);
}

int ResultListView::SelectedEngineRow() const {
  if (model_ == nullptr) return -1;
  // The selection, not the cursor: a Ctrl+click that clears the selection leaves the cursor on its row.
  const QModelIndexList selected = selectionModel()->selectedRows();
  return selected.isEmpty() ? -1 : model_->EngineRow(selected.front());
}

void ResultListView::drawRow(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const {
  if (model_ == nullptr || !model_->IsGroupHeader(index)) {
    QTreeView::drawRow(painter, option, index);
    return;
  }
  // A group header: its text across every column, over a line like a list view's group.
  const QRect row = option.rect;
  painter->save();
  QFont font = option.font;
  font.setBold(true);
  painter->setFont(font);
  painter->setPen(palette().color(QPalette::Link));
  const QRect text = row.adjusted(6, 0, -6, 0);
  const QString header = model_->data(index, Qt::DisplayRole).toString();
  // The text at the leading edge (the right one in a right-to-left layout), the line after it.
  painter->drawText(text, Qt::AlignVCenter | Qt::AlignLeft,
                    header);  // the painter mirrors it in a right-to-left layout
  const int textWidth = painter->fontMetrics().horizontalAdvance(header);
  painter->setPen(palette().color(QPalette::Mid));
  const int y = row.center().y();
  if (textWidth + 8 < text.width()) {
    if (isRightToLeft()) {
      painter->drawLine(text.left(), y, text.right() - textWidth - 8, y);
    } else {
      painter->drawLine(text.left() + textWidth + 8, y, text.right(), y);
    }
  }
  painter->restore();
}

}  // namespace orvanta
