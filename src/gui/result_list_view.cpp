#include "gui/result_list_view.h"

#include <QApplication>
#include <QDateTime>
#include <QFont>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLocale>
#include <QPainter>
#include <QPalette>
#include <QStyle>
#include <algorithm>
#include <unordered_map>

#include "core/file_record.h"
#include "platform/platform.h"
#include "text/translate.h"

namespace orvanta {
namespace {

QString FromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A record's time in the locale's short date and time; empty where unknown.
QString TimeText(std::int64_t systemTime) {
  if (systemTime == 0) return {};
  return QLocale().toString(QDateTime::fromMSecsSinceEpoch(platform::UnixNanoseconds(systemTime) / 1000000),
                            QLocale::ShortFormat);
}

// The exact size with the locale's digit grouping; empty where unknown.
QString BytesText(std::int64_t size) { return size < 0 ? QString() : QLocale().toString(qint64{size}); }

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
  const std::vector<bool> shown = list_.RowsShown();
  // Members follow their group's header in row order; rows of no known group come last.
  std::unordered_map<int, std::size_t> groupOfId;
  std::vector<std::vector<std::uint32_t>> members(groups.size());
  for (std::size_t g = 0; g < groups.size(); ++g) groupOfId.emplace(groups[g].groupId, g);
  std::vector<std::uint32_t> ungrouped;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    if (!shown[r]) continue;
    const auto it = groupOfId.find(rows[r].groupId);
    (it == groupOfId.end() ? ungrouped : members[it->second]).push_back(static_cast<std::uint32_t>(r));
  }
  const std::vector<std::size_t> order = list_.ShownGroups();
  lines_.reserve(order.size() + rows.size());
  auto addMember = [this](std::uint32_t row) {
    lineOfRow_[row] = static_cast<int>(lines_.size());
    lines_.push_back({false, row});
  };
  for (const std::size_t g : order) {
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

QModelIndex ResultListModel::IndexOfEngineRow(int row, int column) const {
  if (row < 0 || row >= static_cast<int>(lineOfRow_.size())) return {};
  return index(lineOfRow_[static_cast<std::size_t>(row)], column);
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

int ResultListModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : BytesColumn() + 1; }

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
  const int column = index.column();
  const int sizeColumn = ModifiedColumn() - 1;
  if (role == Qt::DisplayRole) {
    if (column == 0) return FromUtf8(row.caption);
    if (row.data == nullptr) return QString();
    if (column == ModifiedColumn()) return TimeText(row.data->modified);
    if (column == BytesColumn()) return BytesText(row.data->size);
    const auto item = static_cast<std::size_t>(column - 1);
    return item < list_.CellCount(row) ? FromUtf8(list_.CellText(row, item)) : QString();
  }
  if (role == Qt::TextAlignmentRole && column == BytesColumn()) {
    return static_cast<int>(Qt::AlignTrailing | Qt::AlignVCenter);
  }
  if (role == Qt::CheckStateRole && column == 0) return row.checked ? Qt::Checked : Qt::Unchecked;
  if (role == Qt::ToolTipRole) {
    if (row.data != nullptr && (column == sizeColumn || column == BytesColumn()) && row.data->size >= 0) {
      return FromUtf8(FormatText(TranslateText("%s bytes"), {BytesText(row.data->size).toStdString()}));
    }
    const std::string path = RowPath(row);
    if (row.stale) return FromUtf8(path + "\n" + TranslateText("Changed by a removal; scan again to compare it."));
    if (path.empty()) return QVariant();
    if (InReference(row)) {
      return Details(row) + "\n" +
             FromUtf8(TranslateText("In a reference folder (or holding one): never checked or moved."));
    }
    return Details(row);
  }
  if (role == Qt::ForegroundRole && row.stale) return QApplication::palette().brush(QPalette::Disabled, QPalette::Text);
  // Reference copies in the link colour, which every style keeps apart from the text.
  if (role == Qt::ForegroundRole && InReference(row)) return QApplication::palette().brush(QPalette::Link);
  return {};
}

QString ResultListModel::Details(const ListRow& row) const {
  const FileRecord& record = *row.data;
  const std::string owner = platform::UserName(record.owner);
  // Each value isolated in its own direction (U+2068 ... U+2069), so that a
  // date or a name keeps its order in a right-to-left line; the path reads
  // left to right (U+2066 ... U+2069) as in its column.
  const auto line = [](const std::string& format, const QString& value) {
    return FromUtf8(FormatText(format, {(QChar(0x2068) + value + QChar(0x2069)).toStdString()}));
  };
  QStringList lines{QChar(0x2066) + FromUtf8(record.FullPath()) + QChar(0x2069)};
  if (record.size >= 0) lines << line(TranslateText("Size: %s bytes"), BytesText(record.size));
  if (record.modified != 0) lines << line(TranslateText("Modified: %s"), TimeText(record.modified));
  if (record.changed != 0) lines << line(TranslateText("Changed: %s"), TimeText(record.changed));
  lines << line(TranslateText("Owner: %s"), FromUtf8(owner.empty() ? TranslateText("unknown") : owner));
  return lines.join('\n');
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
  if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) return {};
  if (role == Qt::InitialSortOrderRole) {
    const GroupOrder order = OrderOfColumn(section);
    const bool largestFirst = order == GroupOrder::Count || order == GroupOrder::Size || order == GroupOrder::Modified;
    return largestFirst ? Qt::DescendingOrder : Qt::AscendingOrder;
  }
  if (role != Qt::DisplayRole) return {};
  if (section == ModifiedColumn()) return FromUtf8(TranslateText("Modified"));
  if (section == BytesColumn()) return FromUtf8(TranslateText("Size (bytes)"));
  return FromUtf8(list_.Columns()[static_cast<std::size_t>(section)].caption);
}

GroupOrder ResultListModel::OrderOfColumn(int column) const {
  if (column == 0) return GroupOrder::Count;
  if (column == ModifiedColumn()) return GroupOrder::Modified;
  if (column == BytesColumn() || column == ModifiedColumn() - 1) return GroupOrder::Size;
  const bool files = list_.Kind() == ListKind::Files;
  return files && column == 1 ? GroupOrder::Name : GroupOrder::Path;
}

void ResultListModel::sort(int column, Qt::SortOrder order) {
  if (column < 0 || column >= columnCount()) {
    list_.SetGroupOrder(GroupOrder::Found, false);
    return;
  }
  list_.SetGroupOrder(OrderOfColumn(column), order == Qt::DescendingOrder);
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
  // Header clicks sort the groups; until the first, they stay as the scan listed them.
  header()->setSectionsClickable(true);
  header()->setSortIndicatorShown(true);
  header()->setSortIndicator(-1, Qt::AscendingOrder);
  connect(header(), &QHeaderView::sortIndicatorChanged, this, [this](int section, Qt::SortOrder order) {
    if (model_ != nullptr) model_->sort(section, order);
  });
  header()->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(header(), &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    QMenu* menu = MakeColumnMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(header()->mapToGlobal(at));
  });
  // The selection stays visible when the list loses the focus.
  QPalette colours = palette();
  colours.setColor(QPalette::Inactive, QPalette::Highlight, colours.color(QPalette::Active, QPalette::Highlight));
  colours.setColor(QPalette::Inactive, QPalette::HighlightedText,
                   colours.color(QPalette::Active, QPalette::HighlightedText));
  setPalette(colours);
}

void PathDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
  QStyledItemDelegate::initStyleOption(option, index);
  const Qt::LayoutDirection layout = option->direction;
  option->direction = ownDirection_ && option->text.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight;
  if (layout != option->direction) {
    option->displayAlignment =
        Qt::AlignAbsolute | (layout == Qt::RightToLeft ? Qt::AlignRight : Qt::AlignLeft) | Qt::AlignVCenter;
  }
}

void ResultListView::SetResultModel(ResultListModel* model, int pathColumn, int nameColumn) {
  model_ = model;
  pathColumn_ = pathColumn;
  setModel(model);
  setItemDelegateForColumn(pathColumn, new PathDelegate(this));
  // Names and dates in their own direction ("19 Nov 2023 23:13" stays in order in an Arabic window).
  for (const int column : {nameColumn, model->ModifiedColumn()}) {
    if (column >= 0) setItemDelegateForColumn(column, new PathDelegate(this, true));
  }
  setColumnHidden(model->BytesColumn(), true);
  // The current row stays current when a sort or search rebuilds the lines.
  // Its record is noted while the lines and rows agree (a reset comes after
  // the rows changed) and only compared, never read, afterwards.
  connect(selectionModel(), &QItemSelectionModel::currentChanged, this, [this](const QModelIndex& current) {
    const int row = model_->EngineRow(current);
    currentRecord_ = row < 0 ? nullptr : model_->List().Rows()[static_cast<std::size_t>(row)].data;
  });
  connect(model, &QAbstractItemModel::modelReset, this, [this] {
    if (currentRecord_ == nullptr) return;
    const auto& rows = model_->List().Rows();
    for (std::size_t r = 0; r < rows.size(); ++r) {
      if (rows[r].data != currentRecord_) continue;
      const QModelIndex current = model_->IndexOfEngineRow(static_cast<int>(r), 0);
      if (current.isValid()) setCurrentIndex(current);
      return;
    }
    currentRecord_ = nullptr;
  });
  FitColumnsToCaptions();
}

QMenu* ResultListView::MakeColumnMenu(QWidget* parent) {
  auto* menu = new QMenu(parent);
  if (model_ == nullptr) return menu;
  for (const int column : {model_->ModifiedColumn(), model_->BytesColumn()}) {
    QAction* item = menu->addAction(model_->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString());
    item->setCheckable(true);
    item->setChecked(!isColumnHidden(column));
    connect(item, &QAction::toggled, this, [this, column](bool shown) {
      setColumnHidden(column, !shown);
      GiveSpareWidthToPaths();
    });
  }
  return menu;
}

void ResultListView::FitColumnsToCaptions() {
  if (model_ == nullptr) return;
  const auto& columns = model_->List().Columns();
  const QFontMetrics metrics = header()->fontMetrics();
  const int margins = 2 * style()->pixelMetric(QStyle::PM_HeaderMargin, nullptr, header()) + 8;
  for (int i = 0; i < model_->columnCount(); ++i) {
    const auto listColumn = static_cast<std::size_t>(i);
    int set = listColumn < columns.size() ? columns[listColumn].width : 130;
    if (i == model_->ModifiedColumn()) {
      const QDateTime late(QDate(2000, 12, 28), QTime(23, 58));
      set = std::max(set, metrics.horizontalAdvance(QLocale().toString(late, QLocale::ShortFormat)) + 16);
    }
    const int needed = metrics.horizontalAdvance(model_->headerData(i, Qt::Horizontal, Qt::DisplayRole).toString());
    const int width = std::max(set, needed + margins);
    header()->resizeSection(i, width);
    if (i == pathColumn_) pathColumnMinimum_ = width;
  }
  GiveSpareWidthToPaths();
}

void ResultListView::GiveSpareWidthToPaths() {
  if (model_ == nullptr || pathColumn_ < 0 || pathColumn_ >= header()->count()) return;
  int others = 0;
  for (int i = 0; i < header()->count(); ++i) {
    if (i != pathColumn_ && !header()->isSectionHidden(i)) others += header()->sectionSize(i);
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
