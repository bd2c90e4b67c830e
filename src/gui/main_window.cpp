#include "gui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDate>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cstdlib>

#include "actions/check_marks.h"
#include "actions/csv_export.h"
#include "actions/html_export.h"
#include "actions/keep_rules.h"
#include "actions/link_replacement.h"
#include "actions/list_totals.h"
#include "actions/open_location.h"
#include "actions/prompts.h"
#include "actions/relocation.h"
#include "actions/removal.h"
#include "actions/removal_record.h"
#include "actions/saved_results.h"
#include "collect/masks.h"
#include "core/app_info.h"
#include "core/paths.h"
#include "fileclones/digest_cache.h"
#include "gui/application.h"
#include "gui/desktop_shell.h"
#include "gui/dialogs.h"
#include "gui/local_path.h"
#include "gui/mnemonics.h"
#include "gui/remembered_settings.h"
#include "gui/result_list_view.h"
#include "platform/platform.h"
#include "text/catalogue.h"
#include "text/translate.h"

namespace orvanta {
namespace {

QString Tr(const char* text) { return QString::fromStdString(TranslateText(text)); }

// The Scan button's picture: a magnifier over two pages, drawn at any scale.
QIcon ScanIcon() {
  QIcon icon;
  for (const int size : {16, 24, 32, 42, 48, 64, 84, 128}) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 42.0, size / 42.0);
    auto page = [&painter](QPointF at, QColor fill) {
      QPainterPath path;
      path.moveTo(at);
      path.lineTo(at + QPointF(16, 0));
      path.lineTo(at + QPointF(22, 6));
      path.lineTo(at + QPointF(22, 28));
      path.lineTo(at + QPointF(0, 28));
      path.closeSubpath();
      painter.setPen(QPen(QColor(70, 90, 120), 1.4));
      painter.setBrush(fill);
      painter.drawPath(path);
      painter.setPen(QPen(QColor(150, 165, 190), 1.2));
      for (int line = 0; line < 4; ++line) {
        painter.drawLine(at + QPointF(4, 10 + 4 * line), at + QPointF(18, 10 + 4 * line));
      }
    };
    page({3, 3}, QColor(235, 241, 250));
    page({11, 9}, QColor(255, 255, 255));
    painter.setPen(QPen(QColor(40, 110, 200), 3.2, Qt::SolidLine, Qt::RoundCap));
    painter.setBrush(QColor(200, 225, 255, 170));
    painter.drawEllipse(QPointF(25, 24), 8, 8);
    painter.setPen(QPen(QColor(40, 60, 90), 4.5, Qt::SolidLine, Qt::RoundCap));
    painter.drawLine(QPointF(31, 30), QPointF(38, 37));
    painter.end();
    icon.addPixmap(pixmap);
  }
  return icon;
}

QLabel* Label(QWidget* parent) { return new QLabel(parent); }

QSpinBox* SpinEdit(QWidget* parent, int minimum, int maximum, int value) {
  auto* spin = new QSpinBox(parent);
  spin->setRange(minimum, maximum);
  spin->setValue(value);
  return spin;
}

template <typename Control>
Control* Named(Control* control, const char* objectName) {
  control->setObjectName(objectName);
  return control;
}

}  // namespace

std::span<const WindowCommand> WindowCommands() {
  using Enabled = WindowCommand::Enabled;
  using Check = WindowCommand::Check;
  using W = MainWindow;
  // clang-format off
  static const WindowCommand kCommands[] = {
      {.handler = &W::PickFolderToAdd, .enabled = Enabled::Idle, .menu = "File1", .item = "AddFolder1",
       .itemCaption = "Add Folder...", .button = "btnAddFolder", .buttonCaption = "Add folder..."},
      {.handler = &W::ExportFileClones, .enabled = Enabled::Idle, .menu = "File1", .separatorBefore = true,
       .item = "ExportFileClones1", .itemCaption = "Export File Clones...", .button = "btnExportFiles",
       .buttonCaption = "Export File Clones..."},
      {.handler = &W::ExportFolderClones, .enabled = Enabled::Idle, .menu = "File1", .item = "ExportFolderClones1",
       .itemCaption = "Export Folder Clones...", .button = "btnExportDirs", .buttonCaption = "Export Folder Clones..."},
      {.handler = &W::ExportHtmlPage, .enabled = Enabled::Idle, .menu = "File1", .item = "ExportHtml1",
       .itemCaption = "Export HTML..."},
      {.handler = &W::SaveResultsFile, .enabled = Enabled::Idle, .menu = "File1", .separatorBefore = true,
       .item = "SaveResults1", .itemCaption = "Save results..."},
      {.handler = &W::OpenResultsFile, .enabled = Enabled::Idle, .menu = "File1", .item = "OpenResults1",
       .itemCaption = "Open results..."},
      {.handler = &W::CloseWindow, .enabled = Enabled::Always, .menu = "File1", .separatorBefore = true,
       .item = "Exit1", .itemCaption = "Exit"},

      {.handler = &W::ScanFolders, .enabled = Enabled::Idle, .menu = "Action1", .item = "Scan1",
       .itemCaption = "Scan", .button = "btnScan", .buttonCaption = "Scan", .keys = "F5; Ctrl+R"},
      {.handler = &W::StopScan, .enabled = Enabled::WhileScanning, .menu = "Action1", .item = "Stop1",
       .itemCaption = "Stop", .button = "btnStop", .buttonCaption = "Stop", .keys = "Esc"},
      {.handler = &W::MoveCheckedToTrash, .enabled = Enabled::Idle, .menu = "Action1", .separatorBefore = true,
       .item = "MoveCheckedtoRecycleBin1", .itemCaption = "Remove Checked", .button = "btnDeleteSelected",
#ifdef _WIN32
       .buttonCaption = "Delete checked to Recycle Bin",
#else
       .buttonCaption = "Delete checked to Trash",  // the name Linux desktops give it
#endif
       .keys = "Del"},
      {.handler = &W::LinkCheckedToKept, .enabled = Enabled::Idle, .menu = "Action1",
       .item = "ReplaceCheckedWithLinks1", .itemCaption = "Replace checked with links to the kept copy"},
      {.handler = &W::MoveCheckedToFolder, .enabled = Enabled::Idle, .menu = "Action1",
       .item = "MoveCheckedToFolder1", .itemCaption = "Move checked to folder..."},
      {.handler = &W::CopyCheckedToFolder, .enabled = Enabled::Idle, .menu = "Action1",
       .item = "CopyCheckedToFolder1", .itemCaption = "Copy checked to folder..."},
      {.handler = &W::PutBackLastRemoval, .enabled = Enabled::Idle, .menu = "Action1", .item = "UndoRemoval1",
       .itemCaption = "Undo removal"},
      {.handler = &W::ClearCache, .enabled = Enabled::Idle, .menu = "Action1", .separatorBefore = true,
       .item = "ClearCache1", .itemCaption = "Clear cache"},

      // The Edit menu is the lists' context menu too.
      {.handler = &W::CheckAllButOne, .enabled = Enabled::Idle, .menu = "Edit1", .item = "Checkallbutoneingroup1",
       .itemCaption = "Check all but one in group", .button = "btnSelectAllButOne",
       .buttonCaption = "Check all but one in group"},
      {.handler = &W::CheckAllRows, .enabled = Enabled::Idle, .menu = "Edit1", .item = "Checkall1",
       .itemCaption = "Check All", .button = "btnCheckAll", .buttonCaption = "Check all"},
      {.handler = &W::UncheckAllRows, .enabled = Enabled::Idle, .menu = "Edit1", .item = "Uncheckall1",
       .itemCaption = "Uncheck All", .button = "btnUncheckAll", .buttonCaption = "Uncheck all"},
      {.handler = &W::KeepCopiesInFolder, .enabled = Enabled::Idle, .menu = "Edit1", .separatorBefore = true,
       .item = "KeepCopiesInFolder1", .itemCaption = "Keep copies in folder..."},
      {.handler = &W::KeepNewest, .enabled = Enabled::Idle, .menu = "Edit1", .item = "KeepNewest1",
       .itemCaption = "Keep newest"},
      {.handler = &W::KeepOldest, .enabled = Enabled::Idle, .menu = "Edit1", .item = "KeepOldest1",
       .itemCaption = "Keep oldest"},
      {.handler = &W::KeepShortestPath, .enabled = Enabled::Idle, .menu = "Edit1", .item = "KeepShortestPath1",
       .itemCaption = "Keep shortest path"},

      {.handler = &W::ShowFileClones, .enabled = Enabled::Always, .menu = "Page1", .item = "FileClones1",
       .itemCaption = "File Clones", .check = Check::On},
      {.handler = &W::ShowFolderClones, .enabled = Enabled::Always, .menu = "Page1", .item = "FolderClones1",
       .itemCaption = "Folder Clones", .check = Check::Off},
      {.handler = &W::ToggleSettingsPanel, .enabled = Enabled::Always, .menu = "View1", .item = "ShowSettingsPanel1",
       .itemCaption = "Show Settings Panel", .check = Check::On},

      {.handler = &W::ShowTutorial, .enabled = Enabled::Always, .menu = "Help1", .item = "utorial1",
       .itemCaption = "Tutorial"},
      {.handler = &W::ContactUs, .enabled = Enabled::Always, .menu = "Help1", .separatorBefore = true,
       .item = "ContactUs1", .itemCaption = "Contact Us"},
      {.handler = &W::VisitWebsite, .enabled = Enabled::Always, .menu = "Help1", .item = "VisitWebsite1",
       .itemCaption = "Visit Website"},
      {.handler = &W::ShowAbout, .enabled = Enabled::Always, .menu = "Help1", .separatorBefore = true,
       .item = "About1", .itemCaption = "About..."},

      {.handler = &W::RemoveSelectedFolder, .enabled = Enabled::Idle, .button = "btnRemoveFolder",
       .buttonCaption = "Remove Selected"},
      {.handler = &W::OpenSelectedLocation, .enabled = Enabled::Idle, .button = "btnOpenLocation",
       .buttonCaption = "Open location"},

      // Keys alone.
      {.handler = &W::ExportActiveList, .enabled = Enabled::Idle, .item = "ExportActiveList1", .keys = "Ctrl+E"},
      {.handler = &W::OpenMenuBar, .enabled = Enabled::Always, .item = "OpenMenuBar1", .keys = "F10"},
      {.handler = &W::FocusSearch, .enabled = Enabled::Idle, .item = "FindInLists1", .keys = "Ctrl+F"},
  };
  // clang-format on
  return kCommands;
}

std::span<const RememberedSetting> RememberedSettings() {
  static const RememberedSetting kSettings[] = {
      {"Folders", "lbFolders"},
      {"CompareBy", "rgCompareItems"},
      {"FindFileClones", "chkFileDuplicates"},
      {"FindFolderClones", "chkDirDuplicates"},
      {"Masks", "edMasks"},
      {"MinSizeMB", "seMinSizeMB"},
      {"ParallelHashing", "chkParallelHash"},
      {"OneFileSystem", "chkOneFileSystem"},
      {"MaxGroups", "seMaxGroups"},
      {"MinGroupSize", "seMinGroupSize"},
      {"ExcludeFolders", "edExcludeFolders"},
      {"MaxSizeMB", "seMaxSizeMB"},
      {"ScanTrash", "chkScanTrash"},
      {"ReadPlaceholders", "chkReadPlaceholders"},
  };
  return kSettings;
}

MainWindow::MainWindow(Dialogs& dialogs, DesktopShell& shell, QWidget* parent)
    : QMainWindow(parent), dialogs_(dialogs), shell_(shell) {
  setWindowTitle(QString(kApplicationTitle) + " " + kVersion);
  // The picture of packaging/orvanta.svg, which the desktop shows for the installed program.
  setWindowIcon(ScanIcon());
  QLocale locale = QLocale::system();
  run_ = std::make_unique<ScanRun>(*this, *this, locale.decimalPoint().toStdString());

  auto* client = new QWidget(this);
  auto* layout = new QVBoxLayout(client);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  setCentralWidget(client);
  BuildSettingsPanel();
  BuildResultPages();
  BuildBottomPanel();
  layout->addWidget(PanelTop_);
  layout->addWidget(PageControl1_, 1);
  layout->addWidget(PanelBottom_);
  BuildMenu();
  ConnectCommands();

  EnableStop(false);
  EnableUndoRemoval();
  BuildLanguageMenu();
  ApplyInterfaceTexts();
  RestoreSettings();

  // The client area below the menu bar is 1178 x 709, centred on the screen.
  resize(1178, 709 + menuBar()->sizeHint().height());
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

MainWindow::~MainWindow() {
  // The views and models read the run's lists: they go before the run does.
  lvFiles_->setModel(nullptr);
  lvDirs_->setModel(nullptr);
  delete filesModel_;
  delete dirsModel_;
}

void MainWindow::BuildSettingsPanel() {
  PanelTop_ = Named(new QWidget(this), "PanelTop");
  PanelTop_->setFixedHeight(130);
  auto* row = new QHBoxLayout(PanelTop_);
  row->setContentsMargins(8, 6, 8, 6);
  row->setSpacing(10);

  auto* folders = new QVBoxLayout;
  folders->setSpacing(3);
  lblFolders_ = Named(Label(PanelTop_), "lblFolders");
  lbFolders_ = Named(new QListWidget(PanelTop_), "lbFolders");
  lbFolders_->setSelectionMode(QAbstractItemView::SingleSelection);
  lbFolders_->setItemDelegate(new PathDelegate(lbFolders_));
  lbFolders_->viewport()->setAcceptDrops(true);
  lbFolders_->viewport()->installEventFilter(this);
  // Off by default.
  chkOneFileSystem_ = Named(new QCheckBox(PanelTop_), "chkOneFileSystem");
  folders->addWidget(lblFolders_);
  folders->addWidget(lbFolders_, 1);
  folders->addWidget(chkOneFileSystem_);
  row->addLayout(folders, 1);

  auto* folderCommands = new QVBoxLayout;
  folderCommands->setSpacing(4);
  auto* btnAddFolder = Named(new QPushButton(PanelTop_), "btnAddFolder");
  auto* btnRemoveFolder = Named(new QPushButton(PanelTop_), "btnRemoveFolder");
  chkFileDuplicates_ = Named(new QCheckBox(PanelTop_), "chkFileDuplicates");
  chkDirDuplicates_ = Named(new QCheckBox(PanelTop_), "chkDirDuplicates");
  chkFileDuplicates_->setChecked(true);
  for (QWidget* w : {static_cast<QWidget*>(btnAddFolder), static_cast<QWidget*>(btnRemoveFolder),
                     static_cast<QWidget*>(chkFileDuplicates_), static_cast<QWidget*>(chkDirDuplicates_)}) {
    folderCommands->addWidget(w);
  }
  folderCommands->addStretch();
  row->addLayout(folderCommands);

  rgCompare_ = Named(new QGroupBox(PanelTop_), "rgCompare");
  rgCompareItems_ = Named(new QButtonGroup(rgCompare_), "rgCompareItems");
  auto* compareItems = new QVBoxLayout(rgCompare_);
  compareItems->setSpacing(2);
  compareItems->setContentsMargins(8, 4, 8, 4);
  rbName_ = Named(new QRadioButton(rgCompare_), "rbName");
  rbSize_ = Named(new QRadioButton(rgCompare_), "rbSize");
  rbNameAndSize_ = Named(new QRadioButton(rgCompare_), "rbNameAndSize");
  rbContent_ = Named(new QRadioButton(rgCompare_), "rbContent");
  int id = 0;
  for (QRadioButton* item : {rbName_, rbSize_, rbNameAndSize_, rbContent_}) {
    rgCompareItems_->addButton(item, id++);
    compareItems->addWidget(item);
  }
  rbContent_->setChecked(true);
  row->addWidget(rgCompare_);

  auto* fileFilters = new QVBoxLayout;
  fileFilters->setSpacing(2);
  lblMasks_ = Named(Label(PanelTop_), "lblMasks");
  edMasks_ = Named(new QLineEdit("*.*", PanelTop_), "edMasks");
  lblMinSize_ = Named(Label(PanelTop_), "lblMinSize");
  seMinSizeMB_ = Named(SpinEdit(PanelTop_, 0, 1048576, 1), "seMinSizeMB");
  chkParallelHash_ = Named(new QCheckBox(PanelTop_), "chkParallelHash");
  chkParallelHash_->setChecked(true);
  for (QWidget* w :
       {static_cast<QWidget*>(lblMasks_), static_cast<QWidget*>(edMasks_), static_cast<QWidget*>(lblMinSize_),
        static_cast<QWidget*>(seMinSizeMB_), static_cast<QWidget*>(chkParallelHash_)}) {
    fileFilters->addWidget(w);
  }
  fileFilters->addStretch();
  edMasks_->setFixedWidth(150);
  seMinSizeMB_->setFixedWidth(150);
  row->addLayout(fileFilters);
  BuildExclusionControls(row);

  auto* groupLimits = new QVBoxLayout;
  groupLimits->setSpacing(2);
  lblMaxGroups_ = Named(Label(PanelTop_), "lblMaxGroups");
  seMaxGroups_ = Named(SpinEdit(PanelTop_, 0, 1000000, 100), "seMaxGroups");
  lblMinGroupSize_ = Named(Label(PanelTop_), "lblMinGroupSize");
  seMinGroupSize_ = Named(SpinEdit(PanelTop_, 2, 1000, 2), "seMinGroupSize");
  for (QWidget* w : {static_cast<QWidget*>(lblMaxGroups_), static_cast<QWidget*>(seMaxGroups_),
                     static_cast<QWidget*>(lblMinGroupSize_), static_cast<QWidget*>(seMinGroupSize_)}) {
    groupLimits->addWidget(w);
  }
  groupLimits->addStretch();
  seMaxGroups_->setFixedWidth(130);
  seMinGroupSize_->setFixedWidth(130);
  // On by default; a build without the cache shows it off.
  auto* cache = new QHBoxLayout;
  chkDigestCache_ = Named(new QCheckBox(PanelTop_), "chkDigestCache");
  chkDigestCache_->setChecked(DigestCacheAvailable());
  chkDigestCache_->setEnabled(DigestCacheAvailable());
  seCacheLimitMB_ = Named(SpinEdit(PanelTop_, 1, 1048576, static_cast<int>(kDefaultCacheLimitMB)), "seCacheLimitMB");
  seCacheLimitMB_->setEnabled(DigestCacheAvailable());
  cache->addWidget(chkDigestCache_);
  cache->addWidget(seCacheLimitMB_);
  groupLimits->insertLayout(groupLimits->count() - 1, cache);
  row->addLayout(groupLimits);

  auto* btnScan = Named(new QToolButton(PanelTop_), "btnScan");
  btnScan->setFixedSize(84, 80);
  btnScan->setIcon(ScanIcon());
  btnScan->setIconSize(QSize(42, 42));
  btnScan->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  row->addWidget(btnScan, 0, Qt::AlignTop);
}

void MainWindow::BuildResultPages() {
  PageControl1_ = Named(new QTabWidget(this), "PageControl1");
  tsFiles_ = Named(new QWidget, "tsFiles");
  tsDirs_ = Named(new QWidget, "tsDirs");
  lvFiles_ = Named(new ResultListView(tsFiles_), "lvFiles");
  lvDirs_ = Named(new ResultListView(tsDirs_), "lvDirs");
  filesModel_ = new ResultListModel(run_->FileClones(), this);
  dirsModel_ = new ResultListModel(run_->FolderClones(), this);
  lvFiles_->SetResultModel(filesModel_, 2, 1);
  lvDirs_->SetResultModel(dirsModel_, 1);
  for (auto [page, list] : {std::pair{tsFiles_, lvFiles_}, std::pair{tsDirs_, lvDirs_}}) {
    auto* fill = new QVBoxLayout(page);
    fill->setContentsMargins(0, 0, 0, 0);
    fill->addWidget(list);
    PageControl1_->addTab(page, QString());
  }
  // The search, beside the page tabs above the lists, filters both lists.
  // In a box of its own: the tab widget sizes a corner by its size hint, which
  // a layout raises to the field's minimum width.
  auto* corner = new QWidget(PageControl1_);
  auto* cornerLayout = new QHBoxLayout(corner);
  cornerLayout->setContentsMargins(0, 0, 2, 2);
  edSearch_ = Named(new QLineEdit(corner), "edSearch");
  edSearch_->setClearButtonEnabled(true);
  edSearch_->setMinimumWidth(260);
  cornerLayout->addWidget(edSearch_);
  PageControl1_->setCornerWidget(corner, Qt::TopRightCorner);
  connect(edSearch_, &QLineEdit::textChanged, this, [this](const QString& text) {
    run_->FileClones().SetSearch(text.toStdString());
    run_->FolderClones().SetSearch(text.toStdString());
  });
}

void MainWindow::FocusSearch() {
  edSearch_->setFocus(Qt::ShortcutFocusReason);
  edSearch_->selectAll();
}

void MainWindow::BuildBottomPanel() {
  PanelBottom_ = Named(new QWidget(this), "PanelBottom");
  PanelBottom_->setFixedHeight(81);
  auto* column = new QVBoxLayout(PanelBottom_);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  auto* buttons = new QHBoxLayout;
  buttons->setContentsMargins(8, 6, 8, 2);
  buttons->setSpacing(6);
  auto* btnSelectAllButOne = Named(new QPushButton(PanelBottom_), "btnSelectAllButOne");
  auto* btnCheckAll = Named(new QPushButton(PanelBottom_), "btnCheckAll");
  auto* btnUncheckAll = Named(new QPushButton(PanelBottom_), "btnUncheckAll");
  auto* btnOpenLocation = Named(new QPushButton(PanelBottom_), "btnOpenLocation");
  auto* btnDeleteSelected = Named(new QPushButton(PanelBottom_), "btnDeleteSelected");
  auto* btnExportFiles = Named(new QPushButton(PanelBottom_), "btnExportFiles");
  auto* btnExportDirs = Named(new QPushButton(PanelBottom_), "btnExportDirs");
  for (QPushButton* b : {btnSelectAllButOne, btnCheckAll, btnUncheckAll, btnOpenLocation, btnDeleteSelected}) {
    buttons->addWidget(b);
  }
  // The last scan's figures take the room between the buttons and never
  // narrow them; the whole text is the tooltip.
  lblScanFigures_ = Named(new QLabel(PanelBottom_), "lblScanFigures");
  lblScanFigures_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  lblScanFigures_->setAlignment(Qt::AlignCenter);
  buttons->addWidget(lblScanFigures_, 1);
  // Off by default: the CSV holds the list's own columns unless asked.
  chkCsvExtraColumns_ = Named(new QCheckBox(PanelBottom_), "chkCsvExtraColumns");
  buttons->addWidget(chkCsvExtraColumns_);
  buttons->addWidget(btnExportFiles);
  buttons->addWidget(btnExportDirs);
  column->addLayout(buttons);

  Panel1_ = Named(new QWidget(PanelBottom_), "Panel1");
  Panel1_->setFixedHeight(41);
  auto* status = new QHBoxLayout(Panel1_);
  status->setContentsMargins(10, 10, 10, 10);
  status->setSpacing(0);
  lblStatus_ = Named(new QLabel(Panel1_), "lblStatus");
  lblStatus_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  lblStatus_->setMinimumWidth(1);
  lblTotals_ = Named(new QLabel(Panel1_), "lblTotals");
  lblTotals_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  ProgressBar_ = Named(new QProgressBar(Panel1_), "ProgressBar");
  ProgressBar_->setFixedWidth(236);
  ProgressBar_->setTextVisible(false);
  ProgressBar_->setRange(0, progressMaximum_);
  ProgressBar_->setValue(0);
  auto* btnStop = Named(new QPushButton(Panel1_), "btnStop");
  btnStop->setFixedWidth(72);
  status->addWidget(lblStatus_, 1);
  status->addSpacing(10);
  status->addWidget(lblTotals_);
  status->addSpacing(10);
  status->addWidget(ProgressBar_);
  status->addSpacing(10);
  status->addWidget(btnStop);
  column->addWidget(Panel1_);
}

void MainWindow::BuildMenu() {
  QMenuBar* bar = menuBar();
  File1_ = Named(bar->addMenu(QString()), "File1");
  Action1_ = Named(bar->addMenu(QString()), "Action1");
  Edit1_ = Named(bar->addMenu(QString()), "Edit1");
  View1_ = Named(bar->addMenu(QString()), "View1");
  Page1_ = Named(View1_->addMenu(QString()), "Page1");
  Help1_ = Named(bar->addMenu(QString()), "Help1");
  for (const WindowCommand& command : WindowCommands()) {
    QAction* item = nullptr;
    if (command.menu != nullptr) {
      QMenu* menu = findChild<QMenu*>(command.menu);
      if (command.separatorBefore) menu->addSeparator();
      item = Named(menu->addAction(QString()), command.item);
    } else if (command.keys != nullptr) {
      item = Named(new QAction(this), command.item);
      addAction(item);
    } else {
      continue;
    }
    if (command.check != WindowCommand::Check::None) {
      item->setCheckable(true);
      item->setChecked(command.check == WindowCommand::Check::On);
    }
    if (command.keys != nullptr) item->setShortcuts(QKeySequence::listFromString(command.keys));
  }
  View1_->addSeparator();
  mmLanguage_ = Named(View1_->addMenu(QString()), "mmLanguage");
  for (ResultListView* view : {lvFiles_, lvDirs_}) {
    view->setContextMenuPolicy(Qt::ActionsContextMenu);
    view->addActions(Edit1_->actions());
  }
}

QAction* MainWindow::MenuItem(const char* objectName) const {
  return objectName == nullptr ? nullptr : findChild<QAction*>(objectName);
}

QAbstractButton* MainWindow::Button(const char* objectName) const {
  return objectName == nullptr ? nullptr : findChild<QAbstractButton*>(objectName);
}

void MainWindow::ConnectCommands() {
  for (const WindowCommand& command : WindowCommands()) {
    const auto run = [this, handler = command.handler] { (this->*handler)(); };
    if (QAction* item = MenuItem(command.item)) connect(item, &QAction::triggered, this, run);
    if (QAbstractButton* button = Button(command.button)) connect(button, &QAbstractButton::clicked, this, run);
  }
  auto bind = [this](auto* sender, auto signal, void (MainWindow::*slot)()) {
    connect(sender, signal, this, [this, slot] { (this->*slot)(); });
  };
  bind(PageControl1_, &QTabWidget::currentChanged, &MainWindow::MarkCurrentPage);
  bind(PageControl1_, &QTabWidget::currentChanged, &MainWindow::UpdateTotalsLine);
  for (ResultListView* view : {lvFiles_, lvDirs_}) {
    connect(view, &QAbstractItemView::activated, this, &MainWindow::OpenRow);
    bind(view->model(), &QAbstractItemModel::dataChanged, &MainWindow::ScheduleTotalsUpdate);
    bind(view->model(), &QAbstractItemModel::modelReset, &MainWindow::ScheduleTotalsUpdate);
  }
}

void MainWindow::BuildLanguageMenu() {
  const Translations& translations = CurrentTranslations();
  for (std::size_t i = 0; i < translations.table.size(); ++i) {
    QAction* item = mmLanguage_->addAction(QString::fromStdString(translations.table[i][0]));
    item->setCheckable(true);
    item->setData(static_cast<int>(i));
    item->setChecked(static_cast<int>(i) == translations.currentLanguageIndex);
    connect(item, &QAction::triggered, this, [this, item] { LanguageMenuClick(item); });
  }
}

void MainWindow::LanguageMenuClick(QAction* sender) {
  for (QAction* item : mmLanguage_->actions()) item->setChecked(false);
  const int before = CurrentTranslations().currentLanguageIndex;
  const std::string status = lblStatus_->text().toStdString();
  SelectLanguage(sender->data().toInt());
  sender->setChecked(true);
  ApplyLanguageToToolkit();
  ApplyInterfaceTexts();
  // The status says what it said, in the new language; a text the catalogue
  // does not make (none yet) gives way to "Ready".
  if (const std::optional<std::string> again =
          TextInLanguage(status, before, CurrentTranslations().currentLanguageIndex)) {
    lblStatus_->setText(QString::fromStdString(*again));
  }
}

void MainWindow::ApplyInterfaceTexts() {
  File1_->setTitle(Tr("File"));
  Action1_->setTitle(Tr("Action"));
  Edit1_->setTitle(Tr("Edit"));
  View1_->setTitle(Tr("View"));
  Help1_->setTitle(Tr("Help"));
  Page1_->setTitle(Tr("Page"));
  mmLanguage_->setTitle(Tr("Language"));
  for (const WindowCommand& command : WindowCommands()) {
    if (QAction* item = MenuItem(command.item); item != nullptr && command.itemCaption != nullptr) {
      item->setText(Tr(command.itemCaption));
    }
    if (QAbstractButton* button = Button(command.button)) button->setText(Tr(command.buttonCaption));
  }

  lblFolders_->setText(Tr("Folders to scan:"));
  chkOneFileSystem_->setText(Tr("Stay on each folder's file system"));
  chkFileDuplicates_->setText(Tr("Find file clones"));
  chkDirDuplicates_->setText(Tr("Find folder clones"));
  rgCompare_->setTitle(Tr("Compare files by"));
  // Renaming the items never changes the chosen comparison.
  const int compare = rgCompareItems_->checkedId();
  rbName_->setText(Tr("Name"));
  rbSize_->setText(Tr("Size"));
  rbNameAndSize_->setText(Tr("Name && Size"));
  rbContent_->setText(Tr("Content (SHA-1)"));
  if (compare >= 0) rgCompareItems_->button(compare)->setChecked(true);
  lblMasks_->setText(Tr("File masks (CSV):"));
  lblMinSize_->setText(Tr("Min size (MB):"));
  chkParallelHash_->setText(Tr("Parallel hashing"));
  lblMaxGroups_->setText(Tr("Max groups (0 = all):"));
  lblMinGroupSize_->setText(Tr("Min group size:"));
  ApplyExclusionTexts();
  chkDigestCache_->setText(Tr("Digest cache (MB):"));
  PageControl1_->setTabText(0, Tr("File Clones"));
  PageControl1_->setTabText(1, Tr("Folder Clones"));
  lblStatus_->setText(Tr("Ready"));
  edSearch_->setPlaceholderText(Tr("Search paths (Ctrl+F)"));
  chkCsvExtraColumns_->setText(Tr("CSV with sizes in bytes and check marks"));
  UpdateTotalsLine();

  ResultList& files = run_->FileClones();
  files.SetColumnCaption(0, TranslateText("Group"));
  files.SetColumnCaption(1, TranslateText("File name"));
  files.SetColumnCaption(2, TranslateText("Directory"));
  files.SetColumnCaption(3, TranslateText("File size (MB)"));
  ResultList& folders = run_->FolderClones();
  folders.SetColumnCaption(0, TranslateText("Group"));
  folders.SetColumnCaption(1, TranslateText("Directory"));
  folders.SetColumnCaption(2, TranslateText("Size"));
  filesModel_->RefreshHeader();
  dirsModel_->RefreshHeader();
  lvFiles_->FitColumnsToCaptions();
  lvDirs_->FitColumnsToCaptions();
  MarkMnemonics(*menuBar());
}

// --- Folder list ---

void MainWindow::AddFolder(const QString& chosen) {
  const std::string folder = NormalizeFolderPath(ToLocalPath(chosen));
  if (folder.empty()) return;
  const QString entry = FromLocalPath(folder);
  // Paths compare as the system does: /Photos and /photos are two folders on
  // Linux, C:\Photos and c:\photos one on Windows.
  bool listed = false;
  for (int i = 0; i < lbFolders_->count() && !listed; ++i) {
    listed = platform::SamePath(ToLocalPath(lbFolders_->item(i)->text()), folder);
  }
  if (!listed) {
    // Its check box makes it a reference folder, unchecked at first.
    auto* item = new QListWidgetItem(entry, lbFolders_);
    item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
    item->setCheckState(Qt::Unchecked);
  }
  // The parent of the folder; the root is its own parent.
  const std::string_view withoutDelimiter =
      std::string_view(folder).substr(0, std::max<std::size_t>(1, folder.size() - 1));
  lastAddFolderParent_ = FromLocalPath(std::string(ExtractFileDir(withoutDelimiter)));
}

void MainWindow::PickFolderToAdd() {
  const QString chosen = dialogs_.ChooseFolder(this, Tr("Select folder to scan"), FolderDialogStart());
  if (chosen.isEmpty()) return;
  AddFolder(chosen);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched != lbFolders_->viewport()) return QMainWindow::eventFilter(watched, event);
  const auto localFiles = [](const QMimeData* data) {
    QStringList paths;
    for (const QUrl& url : data->urls()) {
      if (url.isLocalFile()) paths << url.toLocalFile();
    }
    return paths;
  };
  switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
      auto* drag = static_cast<QDropEvent*>(event);
      if (run_->Running() || localFiles(drag->mimeData()).isEmpty()) return false;
      drag->setDropAction(Qt::CopyAction);
      drag->accept();
      return true;
    }
    case QEvent::Drop: {
      auto* drop = static_cast<QDropEvent*>(event);
      if (run_->Running()) return false;
      for (const QString& path : localFiles(drop->mimeData())) {
        const std::string folder = FolderOfDroppedItem(ToLocalPath(path));
        if (!folder.empty()) AddFolder(FromLocalPath(folder));
      }
      drop->setDropAction(Qt::CopyAction);
      drop->accept();
      return true;
    }
    default: return QMainWindow::eventFilter(watched, event);
  }
}

void MainWindow::RemoveSelectedFolder() {
  const auto selected = lbFolders_->selectedItems();
  if (selected.isEmpty()) return;
  delete lbFolders_->takeItem(lbFolders_->row(selected.front()));
}

// --- Scan run ---

void MainWindow::ScanFolders() {
  if (run_->Running()) return;
  // Whether there is anything to scan is the run's to say: it returns at once when not.
  SetRunning(true);
  lastPump_ = {};  // the run's first pump always delivers
  lblScanFigures_->clear();
  const ScanOutcome outcome = run_->Run();
  SetRunning(false);
  if (outcome.kind == ScanOutcome::Kind::Done) {
    lblScanFigures_->setText(QString::fromStdString(run_->FiguresText()));
    lblScanFigures_->setToolTip(lblScanFigures_->text());
  }
  for (const std::string& notice : run_->CacheNotices()) dialogs_.Message(this, QString::fromStdString(notice));
  if (outcome.kind == ScanOutcome::Kind::NoFolders) {
    dialogs_.Message(this, Tr("Please add at least one folder."));
  } else if (outcome.kind == ScanOutcome::Kind::Failed) {
    dialogs_.Message(this, Tr("Error: ") + QString::fromStdString(outcome.error));
  }
  if (closeAfterRun_) close();
}

void MainWindow::StopScan() { run_->RequestStop(); }

void MainWindow::EnableCommands(WindowCommand::Enabled when, bool enabled) {
  for (const WindowCommand& command : WindowCommands()) {
    if (command.enabled != when) continue;
    if (QAction* item = MenuItem(command.item)) item->setEnabled(enabled);
    if (QAbstractButton* button = Button(command.button)) button->setEnabled(enabled);
  }
}

void MainWindow::SetRunning(bool running) {
  EnableCommands(WindowCommand::Enabled::Idle, !running);
  if (!running) EnableUndoRemoval();
  lbFolders_->setEnabled(!running);
  // A language chosen mid-scan would be saved and would relabel the running status line.
  for (QAction* item : mmLanguage_->actions()) item->setEnabled(!running);
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (run_->Running() || removing_) {
    // The run returns at its next poll; the window closes then.
    closeAfterRun_ = true;
    run_->RequestStop();
    event->ignore();
    return;
  }
  SaveSettings();
  event->accept();
}

namespace {
constexpr char kLastFolderSetting[] = "LastFolder";
// The folders of the list marked as reference folders.
constexpr char kReferenceFoldersSetting[] = "ReferenceFolders";
}  // namespace

void MainWindow::SaveSettings() const {
  for (const RememberedSetting& setting : RememberedSettings()) {
    const QObject* control = findChild<QObject*>(setting.control);
    if (const std::optional<std::string> state = control ? StoredState(*control) : std::nullopt) {
      platform::WriteSetting(setting.key, *state);
    }
  }
  platform::WriteSetting(kLastFolderSetting, JoinStoredList({ToLocalPath(lastAddFolderParent_)}));
  platform::WriteSetting(kReferenceFoldersSetting, JoinStoredList(ReferenceFolders()));
}

void MainWindow::RestoreSettings() {
  for (const RememberedSetting& setting : RememberedSettings()) {
    QObject* control = findChild<QObject*>(setting.control);
    if (const std::optional<std::string> stored = platform::ReadSetting(setting.key); stored && control) {
      RestoreState(*control, *stored);
    }
  }
  // A file edited by hand: the folders enter the list as a chosen folder does.
  QStringList folders;
  while (lbFolders_->count() > 0) folders << std::unique_ptr<QListWidgetItem>(lbFolders_->takeItem(0))->text();
  for (const QString& folder : folders) AddFolder(folder);
  const std::vector<std::string> references =
      SplitStoredList(platform::ReadSetting(kReferenceFoldersSetting).value_or(""));
  for (int i = 0; i < lbFolders_->count(); ++i) {
    const std::string folder = ToLocalPath(lbFolders_->item(i)->text());
    if (std::find(references.begin(), references.end(), folder) != references.end()) {
      lbFolders_->item(i)->setCheckState(Qt::Checked);
    }
  }
  const std::vector<std::string> lastFolder = SplitStoredList(platform::ReadSetting(kLastFolderSetting).value_or(""));
  lastAddFolderParent_ = lastFolder.size() == 1 ? FromLocalPath(lastFolder[0]) : QString();
}

QString MainWindow::FolderDialogStart() const {
  return !lastAddFolderParent_.isEmpty() && QDir(lastAddFolderParent_).exists() ? lastAddFolderParent_
                                                                                : QDir::homePath();
}

void MainWindow::SetStatusText(const std::string& text) { lblStatus_->setText(QString::fromStdString(text)); }

void MainWindow::SetProgressRange(int minimum, int maximum) {
  progressMaximum_ = maximum;
  if (!marquee_) ProgressBar_->setRange(minimum, maximum);
}

// QProgressBar::setValue formats the bar's text and notifies accessibility
// each time; once per file that cost the window a tenth of a /usr scan. The
// bar moves at once at its ends and by a thousandth of its range, and
// otherwise catches up at the next pump, the only point where it is painted.
void MainWindow::SetProgressPosition(int position) {
  progressPosition_ = position;
  if (marquee_) return;
  const int minimum = ProgressBar_->minimum(), maximum = ProgressBar_->maximum();
  const auto step = std::abs(static_cast<std::int64_t>(position) - ProgressBar_->value());
  if (position <= minimum || position >= maximum || step * 1000 >= std::int64_t{maximum} - minimum) {
    ProgressBar_->setValue(position);
  }
}

void MainWindow::SetProgressMarquee(bool on) {
  if (on != marquee_) {
    marquee_ = on;
    // A range of 0..0 is Qt's busy indicator.
    ProgressBar_->setRange(0, on ? 0 : progressMaximum_);
  }
  PumpMessages();
}

// The stages pump every 50 files, thousands of times a second on a warm
// cache, and each pump lays out and repaints the status line. A screen shows
// a frame every 16 ms at best, so a pump sooner than that after the last one
// only repaints texts nobody sees; Stop waits at most that long.
void MainWindow::PumpMessages() {
  constexpr auto kFrame = std::chrono::milliseconds(15);
  const auto now = std::chrono::steady_clock::now();
  if (now - lastPump_ < kFrame) return;
  lastPump_ = now;
  if (!marquee_ && ProgressBar_->value() != progressPosition_) ProgressBar_->setValue(progressPosition_);
  QCoreApplication::processEvents();
}

void MainWindow::SetBusyCursor(bool busy) {
  if (busy) {
    QApplication::setOverrideCursor(Qt::BusyCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

void MainWindow::EnableStop(bool enabled) { EnableCommands(WindowCommand::Enabled::WhileScanning, enabled); }

std::vector<std::string> MainWindow::Folders() const {
  std::vector<std::string> folders;
  for (int i = 0; i < lbFolders_->count(); ++i) folders.push_back(ToLocalPath(lbFolders_->item(i)->text()));
  return folders;
}

CompareMode MainWindow::Compare() const { return CompareModeFromIndex(rgCompareItems_->checkedId()); }
std::string MainWindow::MasksText() const { return edMasks_->text().toStdString(); }
std::int64_t MainWindow::MinSizeMB() const { return ReadIntegerSetting(seMinSizeMB_->cleanText().toStdString(), 0); }
bool MainWindow::ParallelHashing() const { return chkParallelHash_->isChecked(); }
int MainWindow::MaxGroups() const {
  return static_cast<int>(ReadIntegerSetting(seMaxGroups_->cleanText().toStdString(), 0));
}
int MainWindow::MinGroupSize() const {
  return static_cast<int>(ReadIntegerSetting(seMinGroupSize_->cleanText().toStdString(), 2));
}
bool MainWindow::FindFileClones() const { return chkFileDuplicates_->isChecked(); }
bool MainWindow::FindFolderClones() const { return chkDirDuplicates_->isChecked(); }
bool MainWindow::OneFileSystem() const { return chkOneFileSystem_->isChecked(); }
std::string MainWindow::DigestCacheFile() const {
  return chkDigestCache_->isChecked() ? DefaultDigestCacheFile() : std::string();
}
std::int64_t MainWindow::DigestCacheLimitMB() const {
  return ReadIntegerSetting(seCacheLimitMB_->cleanText().toStdString(), kDefaultCacheLimitMB);
}

void MainWindow::ClearCache() {
  std::string reason;
  if (ClearDigestCache(DefaultDigestCacheFile(), reason)) {
    SetStatusText(TranslateText("The digest cache is empty."));
  } else {
    dialogs_.Message(this, Tr("Error: ") + QString::fromStdString(reason));
  }
}

// --- Pages, panel, help ---

void MainWindow::MarkCurrentPage() {
  MenuItem("FileClones1")->setChecked(PageControl1_->currentIndex() == 0);
  MenuItem("FolderClones1")->setChecked(PageControl1_->currentIndex() == 1);
}

void MainWindow::ShowFileClones() {
  PageControl1_->setCurrentIndex(0);
  MarkCurrentPage();
}

void MainWindow::ShowFolderClones() {
  PageControl1_->setCurrentIndex(1);
  MarkCurrentPage();
}

void MainWindow::ToggleSettingsPanel() {
  // The action has toggled its own check mark; the panel follows it.
  PanelTop_->setVisible(MenuItem("ShowSettingsPanel1")->isChecked());
}

void MainWindow::CloseWindow() { close(); }

void MainWindow::OpenMakerPage(const QString& path) {
  // A build for no site of its own (the host under .invalid reaches nobody)
  // opens the manual that came with it.
  if (QString(kMakerHost).endsWith(".invalid")) {
    const std::string manual = LocalManual();
    std::string error;
    if (!manual.empty() && shell_.OpenItem(manual, error)) return;
    NothingOpens(manual.empty() ? std::string("README.md") : manual);
    return;
  }
  const QString address = QString("https://") + kMakerHost + path;
  if (!shell_.OpenWebPage(address)) NothingOpens(address.toStdString());
}

std::string LocalManual() {
  // Beside the program (a build tree), else where the package puts it.
  const std::string folder = platform::ExecutableFolder();
  for (const std::string& candidate :
       {platform::JoinedPath(folder, "README.md"), platform::JoinedPath(folder, "../share/doc/orvanta/README.md")}) {
    if (QFile::exists(FromLocalPath(candidate))) return candidate;
  }
  return {};
}

void MainWindow::NothingOpens(const std::string& pathOrAddress) {
  dialogs_.Message(this, QString::fromStdString(
                             FormatText(TranslateText("No program on this system can open %s."), {pathOrAddress})));
}

void MainWindow::ShowTutorial() { OpenMakerPage("/redirect/tutorial-orvanta.html"); }
void MainWindow::ContactUs() { OpenMakerPage("/support.html"); }
void MainWindow::VisitWebsite() { OpenMakerPage("/"); }

void MainWindow::ShowAbout() {
  const QString text = QString(kApplicationTitle) + "\n" + Tr("Version:") + " " + kVersion + "\n\n" + Tr("Website:") +
                       " " + kMakerHost + "\n\n" + Tr("This program is provided as is, without warranty of any kind.") +
                       "\n\n" +
                       QString::fromStdString(FormatText(TranslateText("Copyright (C) %d Orvanta"),
                                                         {std::int64_t{QDate::currentDate().year()}}));
  dialogs_.Information(this, text);
}

// --- Result actions ---

namespace {

class DialogPrompts final : public Prompts {
 public:
  DialogPrompts(Dialogs& dialogs, QWidget* parent) : dialogs_(dialogs), parent_(parent) {}
  void Message(const std::string& text) override { dialogs_.Message(parent_, QString::fromStdString(text)); }
  bool Confirm(const std::string& text, bool defaultYes) override {
    return dialogs_.Confirm(parent_, QString::fromStdString(text), defaultYes);
  }

 private:
  Dialogs& dialogs_;
  QWidget* parent_;
};

}  // namespace

bool MainWindow::FilePageActive() const { return PageControl1_->currentWidget() == tsFiles_; }

ResultList& MainWindow::ActiveList() { return FilePageActive() ? run_->FileClones() : run_->FolderClones(); }

void MainWindow::CheckAllButOne() { CheckAllButOneInGroup(ActiveList()); }
void MainWindow::CheckAllRows() { CheckAll(ActiveList()); }
void MainWindow::UncheckAllRows() { UncheckAll(ActiveList()); }

KeepReport MainWindow::KeepBy(const KeepRule& rule) {
  const KeepReport report = CheckAllButKept(ActiveList(), {rule});
  if (const std::string note = KeptWholeNote(report); !note.empty())
    dialogs_.Message(this, QString::fromStdString(note));
  return report;
}

void MainWindow::KeepCopiesInFolder() {
  const QString chosen = dialogs_.ChooseFolder(this, Tr("Select the folder whose copies to keep"), FolderDialogStart());
  if (chosen.isEmpty()) return;
  const KeepRule rule = KeepInFolder(ToLocalPath(chosen));
  const KeepReport report = KeepBy(rule);
  // The person meant a folder with copies in it: say where it has none.
  const auto groups = static_cast<std::int64_t>(report.groups), none = static_cast<std::int64_t>(report.heldNone[0]);
  if (none == 0) return;
  dialogs_.Message(
      this, QString::fromStdString(
                none == groups
                    ? FormatText(TranslateText("%s holds no copy of any group on this page; each group keeps its "
                                               "first copy."),
                                 {rule.given})
                    : FormatText(TranslateText("%s holds no copy in %d of %d groups on this page; those groups keep "
                                               "their first copy."),
                                 {rule.given, none, groups})));
}

void MainWindow::KeepNewest() { KeepBy({KeepRule::Kind::Newest, {}, {}}); }
void MainWindow::KeepOldest() { KeepBy({KeepRule::Kind::Oldest, {}, {}}); }
void MainWindow::KeepShortestPath() { KeepBy({KeepRule::Kind::ShortestPath, {}, {}}); }

void MainWindow::MoveCheckedToTrash() {
  // Both lists: rows of files inside a moved folder go from the file page too.
  RunResultAction([this](Prompts& prompts, const RemovalProgress& progress) {
    orvanta::DeleteChecked(run_->FileClones(), run_->FolderClones(),
                           FilePageActive() ? ListKind::Files : ListKind::Folders, prompts,
                           RecordingRemoval(platform::MoveToTrash), progress);
  });
}

void MainWindow::RunResultAction(const std::function<void(Prompts&, const RemovalProgress&)>& action) {
  DialogPrompts prompts(dialogs_, this);
  std::atomic<bool>& stop = run_->StopFlag();
  stop = false;
  QString statusBefore;
  RemovalProgress progress;
  progress.stop = &stop;
  progress.onWorking = [this, &statusBefore](bool working) {
    removing_ = working;
    SetRunning(working);
    EnableStop(working);
    lvFiles_->setEnabled(!working);
    lvDirs_->setEnabled(!working);
    if (working) {
      statusBefore = lblStatus_->text();
      lastPump_ = {};  // the first pump always delivers
    } else {
      lblStatus_->setText(statusBefore);
      SetProgressPosition(0);
    }
  };
  progress.onItem = [this](RemovalStage stage, std::size_t item, std::size_t items) {
    SetStatusText(RemovalProgressText(stage, item, items));
    SetProgressRange(0, static_cast<int>(std::min<std::size_t>(items, INT_MAX)));
    SetProgressPosition(static_cast<int>(std::min<std::size_t>(item, INT_MAX)));
    PumpMessages();
  };
  progress.onBytes = [this] { PumpMessages(); };
  try {
    action(prompts, progress);
  } catch (...) {
    if (removing_) progress.onWorking(false);
    throw;
  }
  if (closeAfterRun_) close();
}

void MainWindow::OpenSelectedLocation() {
  const ResultListView* view = FilePageActive() ? lvFiles_ : lvDirs_;
  const LocationRequest request = ResolveLocation(ActiveList(), view->SelectedEngineRow());
  switch (request.kind) {
    case LocationRequest::Kind::Message: dialogs_.Message(this, QString::fromStdString(request.text)); break;
    case LocationRequest::Kind::ShowFile:
      if (!shell_.ShowFile(request.text)) NothingOpens(request.text);
      break;
    case LocationRequest::Kind::OpenFolder:
      if (!shell_.OpenFolder(request.text)) NothingOpens(request.text);
      break;
  }
}

void MainWindow::OpenRow(const QModelIndex& index) {
  const auto* view = qobject_cast<const ResultListView*>(sender());
  if (view == nullptr) view = FilePageActive() ? lvFiles_ : lvDirs_;
  const int row = view->ResultModel()->EngineRow(index);
  if (row < 0) return;  // a group header
  const std::optional<std::string> message =
      OpenRowItem(view == lvFiles_ ? run_->FileClones() : run_->FolderClones(), row,
                  [this](const std::string& path, std::string& error) { return shell_.OpenItem(path, error); });
  if (message) dialogs_.Message(this, QString::fromStdString(*message));
}

void MainWindow::ScheduleTotalsUpdate() {
  if (totalsUpdatePending_) return;
  totalsUpdatePending_ = true;
  QTimer::singleShot(0, this, [this] { UpdateTotalsLine(); });
}

void MainWindow::UpdateTotalsLine() {
  totalsUpdatePending_ = false;
  const std::string line = TotalsLine(ActiveList(), run_->DecimalSeparator());
  lblTotals_->setText(QString::fromStdString(line));
}

void MainWindow::ExportList(const ResultList& list, const QString& proposedName) {
  const QString chosen = dialogs_.ChooseSaveFile(this, proposedName, "CSV files (*.csv);;All files (*.*)");
  if (chosen.isEmpty()) return;
  try {
    ExportListViewToCsv(list, ToLocalPath(chosen),
                        chkCsvExtraColumns_->isChecked() ? CsvColumns::WithBytesAndChecked : CsvColumns::Listed);
  } catch (const std::exception& error) {
    dialogs_.Error(this, ErrorBoxText(QString::fromUtf8(error.what())));
  }
}

void MainWindow::ExportFileClones() { ExportList(run_->FileClones(), "duplicate_files.csv"); }
void MainWindow::ExportFolderClones() { ExportList(run_->FolderClones(), "duplicate_directories.csv"); }

void MainWindow::ExportActiveList() {
  if (FilePageActive()) {
    ExportFileClones();
  } else {
    ExportFolderClones();
  }
}

void MainWindow::OpenMenuBar() {
  if (QAction* first = menuBar()->actions().value(0)) {
    menuBar()->setFocus(Qt::ShortcutFocusReason);
    menuBar()->setActiveAction(first);
  }
}

// --- Reference folders and exclusions ---

void MainWindow::BuildExclusionControls(QHBoxLayout* row) {
  auto* column = new QVBoxLayout;
  column->setSpacing(2);
  lblExcludeFolders_ = Named(Label(PanelTop_), "lblExcludeFolders");
  // Empty by default: the scan is the one described until the person names folders.
  edExcludeFolders_ = Named(new QLineEdit(PanelTop_), "edExcludeFolders");
  lblMaxSize_ = Named(Label(PanelTop_), "lblMaxSize");
  seMaxSizeMB_ = Named(SpinEdit(PanelTop_, 0, 1048576, 0), "seMaxSizeMB");
  chkScanTrash_ = Named(new QCheckBox(PanelTop_), "chkScanTrash");
  chkReadPlaceholders_ = Named(new QCheckBox(PanelTop_), "chkReadPlaceholders");
  for (QWidget* w : {static_cast<QWidget*>(lblExcludeFolders_), static_cast<QWidget*>(edExcludeFolders_),
                     static_cast<QWidget*>(lblMaxSize_), static_cast<QWidget*>(seMaxSizeMB_),
                     static_cast<QWidget*>(chkScanTrash_), static_cast<QWidget*>(chkReadPlaceholders_)}) {
    column->addWidget(w);
  }
#ifndef _WIN32
  // Only Windows has files that are only online; the box stays, hidden, so its setting is kept.
  chkReadPlaceholders_->setVisible(false);
#endif
  column->addStretch();
  edExcludeFolders_->setFixedWidth(150);
  seMaxSizeMB_->setFixedWidth(150);
  row->addLayout(column);
}

void MainWindow::ApplyExclusionTexts() {
  lblExcludeFolders_->setText(Tr("Exclude folders:"));
  // The usual candidates as an example the person can copy: none is left out unasked.
  edExcludeFolders_->setPlaceholderText(
      QString::fromStdString(FormatText(TranslateText("e.g. %s"), {".git; node_modules; .cache"})));
  edExcludeFolders_->setToolTip(
      Tr("Folder names or patterns (* ? [a-f]) the scan does not enter, separated by ; "
         "A folder holding one is no folder clone."));
  lblMaxSize_->setText(Tr("Max size (MB):"));
  seMaxSizeMB_->setSpecialValueText(Tr("no limit"));
  chkScanTrash_->setText(Tr("Scan the trash folders"));
  chkScanTrash_->setToolTip(Tr("Skipped unless checked: a copy kept in the trash is lost when the trash is emptied."));
  chkReadPlaceholders_->setText(Tr("Read files that are only online"));
  chkReadPlaceholders_->setToolTip(
      Tr("Left out unless checked: reading a file stored only online (a cloud placeholder) downloads it."));
  lbFolders_->setToolTip(Tr("A checked folder is a reference folder: what lies in it is never checked or moved."));
}

std::vector<std::string> MainWindow::ExcludedFolders() const {
  return ParseMaskList(edExcludeFolders_->text().toStdString());
}
std::int64_t MainWindow::MaxSizeMB() const { return seMaxSizeMB_->value(); }
bool MainWindow::ScanTrash() const { return chkScanTrash_->isChecked(); }
bool MainWindow::ReadPlaceholders() const { return chkReadPlaceholders_->isChecked(); }
std::vector<std::string> MainWindow::ReferenceFolders() const {
  std::vector<std::string> folders;
  for (int i = 0; i < lbFolders_->count(); ++i) {
    if (lbFolders_->item(i)->checkState() == Qt::Checked) folders.push_back(ToLocalPath(lbFolders_->item(i)->text()));
  }
  return folders;
}

// Undo removal is offered while the record holds something to put back.
void MainWindow::EnableUndoRemoval() {
  std::string error;
  const std::optional<std::vector<platform::TrashedItem>> items = ReadRemovalRecord(error);
  if (QAction* item = MenuItem("UndoRemoval1")) item->setEnabled(!items || !items->empty());
}

void MainWindow::PutBackLastRemoval() {
  DialogPrompts prompts(dialogs_, this);
  UndoRemoval(prompts);
  EnableUndoRemoval();
}

void MainWindow::ExportHtmlPage() {
  const QString chosen = dialogs_.ChooseSaveFile(this, "duplicates.html", "HTML files (*.html);;All files (*.*)");
  if (chosen.isEmpty()) return;
  try {
    ExportListsToHtml({&run_->FileClones(), &run_->FolderClones()}, ToLocalPath(chosen));
  } catch (const std::exception& error) {
    dialogs_.Error(this, ErrorBoxText(QString::fromUtf8(error.what())));
  }
}

void MainWindow::SaveResultsFile() {
  const QString chosen = dialogs_.ChooseSaveFile(this, "results.orvanta.json", "JSON files (*.json);;All files (*.*)");
  if (chosen.isEmpty()) return;
  try {
    SaveResults(run_->FileClones(), run_->FolderClones(), run_->ResultsCompare(), ToLocalPath(chosen));
  } catch (const std::exception& error) {
    dialogs_.Error(this, ErrorBoxText(QString::fromUtf8(error.what())));
  }
}

// The saved lists replace the results, and the settings panel shows the
// roots and the compare mode they came from, so Scan looks at them again.
void MainWindow::OpenResultsFile() {
  const QString chosen = dialogs_.ChooseOpenFile(this, "JSON files (*.json);;All files (*.*)");
  if (chosen.isEmpty()) return;
  std::string error;
  const std::optional<SavedResults> saved = ReadSavedResults(ToLocalPath(chosen), error);
  if (!saved) {
    dialogs_.Error(this,
                   QString::fromStdString(FormatText(TranslateText("Cannot open the saved results: %s"), {error})));
    return;
  }
  const std::size_t stale = run_->LoadSaved(*saved);
  lbFolders_->clear();
  for (const std::string& root : saved->roots) AddFolder(FromLocalPath(root));
  if (QAbstractButton* mode = rgCompareItems_->button(static_cast<int>(saved->compare))) mode->setChecked(true);
  if (!saved->folders.empty()) chkDirDuplicates_->setChecked(true);
  UpdateTotalsLine();
  if (stale > 0) dialogs_.Message(this, QString::fromStdString(StaleItemsNote(stale)));
}

void MainWindow::LinkCheckedToKept() {
  RunResultAction([this](Prompts& prompts, const RemovalProgress& progress) {
    orvanta::LinkChecked(
        run_->FileClones(), FilePageActive() ? ListKind::Files : ListKind::Folders, prompts,
        [](const platform::LinkItem& item) { return platform::ReplaceWithLink(item, platform::LinkKind::Any); },
        progress);
  });
}

void MainWindow::MoveCheckedToFolder() { RelocateCheckedToFolder(platform::RelocationKind::Move); }
void MainWindow::CopyCheckedToFolder() { RelocateCheckedToFolder(platform::RelocationKind::Copy); }

void MainWindow::RelocateCheckedToFolder(platform::RelocationKind kind) {
  const QString chosen = dialogs_.ChooseFolder(this, Tr("Select the destination folder"), FolderDialogStart());
  if (chosen.isEmpty()) return;
  // Both lists: rows of files inside a moved folder leave the file page too.
  RunResultAction([this, kind, destination = ToLocalPath(chosen)](Prompts& prompts, const RemovalProgress& progress) {
    orvanta::RelocateChecked(
        run_->FileClones(), run_->FolderClones(), FilePageActive() ? ListKind::Files : ListKind::Folders, prompts, kind,
        destination,
        [kind](const platform::RelocationItem& item, const platform::RelocationHooks& hooks) {
          return platform::RelocateItem(item, kind, hooks);
        },
        progress);
  });
}

}  // namespace orvanta
