#include "gui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDropEvent>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QListWidget>
#include <QMenuBar>
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
#include <chrono>
#include <cstdlib>

#include "core/app_info.h"
#include "actions/check_marks.h"
#include "actions/csv_export.h"
#include "actions/keep_rules.h"
#include "actions/list_totals.h"
#include "actions/open_location.h"
#include "actions/prompts.h"
#include "actions/removal.h"
#include "gui/application.h"
#include "gui/desktop_shell.h"
#include "gui/dialogs.h"
#include "gui/local_path.h"
#include "gui/result_list_view.h"
#include "core/paths.h"
#include "platform/platform.h"
#include "text/catalogue.h"
#include "text/translate.h"

namespace orvanta {
namespace {

QString Tr(const char* text) { return QString::fromStdString(TranslateText(text)); }

// The Scan button's picture: a magnifier over two pages, drawn at any scale.
QIcon ScanIcon() {
  QIcon icon;
  for (const int size : {42, 84}) {
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

}  // namespace

MainWindow::MainWindow(Dialogs& dialogs, DesktopShell& shell, QWidget* parent)
    : QMainWindow(parent), dialogs_(dialogs), shell_(shell) {
  setWindowTitle(QString(kApplicationTitle) + " " + kVersion);
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
  layout->addWidget(PanelTop);
  layout->addWidget(PageControl1, 1);
  layout->addWidget(PanelBottom);
  BuildMenu();
  ConnectCommands();

  EnableStop(false);
  BuildLanguageMenu();
  ApplyInterfaceTexts();

  // The client area below the menu bar is 1178 x 709, centred on the screen.
  resize(1178, 709 + menuBar()->sizeHint().height());
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

MainWindow::~MainWindow() {
  // The views and models read the run's lists: they go before the run does.
  lvFiles->setModel(nullptr);
  lvDirs->setModel(nullptr);
  delete filesModel_;
  delete dirsModel_;
}

void MainWindow::BuildSettingsPanel() {
  PanelTop = new QWidget(this);
  PanelTop->setFixedHeight(130);
  auto* row = new QHBoxLayout(PanelTop);
  row->setContentsMargins(8, 6, 8, 6);
  row->setSpacing(10);

  auto* folders = new QVBoxLayout;
  folders->setSpacing(3);
  lblFolders = Label(PanelTop);
  lbFolders = new QListWidget(PanelTop);
  lbFolders->setSelectionMode(QAbstractItemView::SingleSelection);
  lbFolders->setItemDelegate(new PathDelegate(lbFolders));
  lbFolders->viewport()->setAcceptDrops(true);
  lbFolders->viewport()->installEventFilter(this);
  folders->addWidget(lblFolders);
  folders->addWidget(lbFolders, 1);
  row->addLayout(folders, 1);

  auto* folderCommands = new QVBoxLayout;
  folderCommands->setSpacing(4);
  btnAddFolder = new QPushButton(PanelTop);
  btnRemoveFolder = new QPushButton(PanelTop);
  chkFileDuplicates = new QCheckBox(PanelTop);
  chkDirDuplicates = new QCheckBox(PanelTop);
  chkFileDuplicates->setChecked(true);
  for (QWidget* w : {static_cast<QWidget*>(btnAddFolder), static_cast<QWidget*>(btnRemoveFolder),
                     static_cast<QWidget*>(chkFileDuplicates), static_cast<QWidget*>(chkDirDuplicates)}) {
    folderCommands->addWidget(w);
  }
  folderCommands->addStretch();
  row->addLayout(folderCommands);

  rgCompare = new QGroupBox(PanelTop);
  rgCompareItems = new QButtonGroup(rgCompare);
  auto* compareItems = new QVBoxLayout(rgCompare);
  compareItems->setSpacing(2);
  compareItems->setContentsMargins(8, 4, 8, 4);
  rbName = new QRadioButton(rgCompare);
  rbSize = new QRadioButton(rgCompare);
  rbNameAndSize = new QRadioButton(rgCompare);
  rbContent = new QRadioButton(rgCompare);
  int id = 0;
  for (QRadioButton* item : {rbName, rbSize, rbNameAndSize, rbContent}) {
    rgCompareItems->addButton(item, id++);
    compareItems->addWidget(item);
  }
  rbContent->setChecked(true);
  row->addWidget(rgCompare);

  auto* fileFilters = new QVBoxLayout;
  fileFilters->setSpacing(2);
  lblMasks = Label(PanelTop);
  edMasks = new QLineEdit("*.*", PanelTop);
  lblMinSize = Label(PanelTop);
  seMinSizeMB = SpinEdit(PanelTop, 0, 1048576, 1);
  chkParallelHash = new QCheckBox(PanelTop);
  chkParallelHash->setChecked(true);
  for (QWidget* w : {static_cast<QWidget*>(lblMasks), static_cast<QWidget*>(edMasks),
                     static_cast<QWidget*>(lblMinSize), static_cast<QWidget*>(seMinSizeMB),
                     static_cast<QWidget*>(chkParallelHash)}) {
    fileFilters->addWidget(w);
  }
  fileFilters->addStretch();
  edMasks->setFixedWidth(150);
  seMinSizeMB->setFixedWidth(150);
  row->addLayout(fileFilters);

  auto* groupLimits = new QVBoxLayout;
  groupLimits->setSpacing(2);
  lblMaxGroups = Label(PanelTop);
  seMaxGroups = SpinEdit(PanelTop, 0, 1000000, 100);
  lblMinGroupSize = Label(PanelTop);
  seMinGroupSize = SpinEdit(PanelTop, 2, 1000, 2);
  for (QWidget* w : {static_cast<QWidget*>(lblMaxGroups), static_cast<QWidget*>(seMaxGroups),
                     static_cast<QWidget*>(lblMinGroupSize), static_cast<QWidget*>(seMinGroupSize)}) {
    groupLimits->addWidget(w);
  }
  groupLimits->addStretch();
  seMaxGroups->setFixedWidth(130);
  seMinGroupSize->setFixedWidth(130);
  row->addLayout(groupLimits);

  btnScan = new QToolButton(PanelTop);
  btnScan->setFixedSize(84, 80);
  btnScan->setIcon(ScanIcon());
  btnScan->setIconSize(QSize(42, 42));
  btnScan->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  row->addWidget(btnScan, 0, Qt::AlignTop);
}

void MainWindow::BuildResultPages() {
  PageControl1 = new QTabWidget(this);
  tsFiles = new QWidget;
  tsDirs = new QWidget;
  lvFiles = new ResultListView(tsFiles);
  lvDirs = new ResultListView(tsDirs);
  filesModel_ = new ResultListModel(run_->FileClones(), ListKind::Files, this);
  dirsModel_ = new ResultListModel(run_->FolderClones(), ListKind::Folders, this);
  lvFiles->SetResultModel(filesModel_, 2);
  lvDirs->SetResultModel(dirsModel_, 1);
  for (auto [page, list] : {std::pair{tsFiles, lvFiles}, std::pair{tsDirs, lvDirs}}) {
    auto* fill = new QVBoxLayout(page);
    fill->setContentsMargins(0, 0, 0, 0);
    fill->addWidget(list);
    PageControl1->addTab(page, QString());
  }
}

void MainWindow::BuildBottomPanel() {
  PanelBottom = new QWidget(this);
  PanelBottom->setFixedHeight(81);
  auto* column = new QVBoxLayout(PanelBottom);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  auto* buttons = new QHBoxLayout;
  buttons->setContentsMargins(8, 6, 8, 2);
  buttons->setSpacing(6);
  btnSelectAllButOne = new QPushButton(PanelBottom);
  btnCheckAll = new QPushButton(PanelBottom);
  btnUncheckAll = new QPushButton(PanelBottom);
  btnOpenLocation = new QPushButton(PanelBottom);
  btnDeleteSelected = new QPushButton(PanelBottom);
  btnExportFiles = new QPushButton(PanelBottom);
  btnExportDirs = new QPushButton(PanelBottom);
  for (QPushButton* b : {btnSelectAllButOne, btnCheckAll, btnUncheckAll, btnOpenLocation, btnDeleteSelected}) {
    buttons->addWidget(b);
  }
  buttons->addStretch();
  buttons->addWidget(btnExportFiles);
  buttons->addWidget(btnExportDirs);
  column->addLayout(buttons);

  Panel1 = new QWidget(PanelBottom);
  Panel1->setFixedHeight(41);
  auto* status = new QHBoxLayout(Panel1);
  status->setContentsMargins(10, 10, 10, 10);
  status->setSpacing(0);
  lblStatus = new QLabel(Panel1);
  lblStatus->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  lblStatus->setMinimumWidth(1);
  lblTotals = new QLabel(Panel1);
  lblTotals->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  ProgressBar = new QProgressBar(Panel1);
  ProgressBar->setFixedWidth(236);
  ProgressBar->setTextVisible(false);
  ProgressBar->setRange(0, progressMaximum_);
  ProgressBar->setValue(0);
  btnStop = new QPushButton(Panel1);
  btnStop->setFixedWidth(72);
  status->addWidget(lblStatus, 1);
  status->addSpacing(10);
  status->addWidget(lblTotals);
  status->addSpacing(10);
  status->addWidget(ProgressBar);
  status->addSpacing(10);
  status->addWidget(btnStop);
  column->addWidget(Panel1);
}

void MainWindow::BuildMenu() {
  QMenuBar* bar = menuBar();
  File1 = bar->addMenu(QString());
  AddFolder1 = File1->addAction(QString());
  File1->addSeparator();
  ExportFileClones1 = File1->addAction(QString());
  ExportFolderClones1 = File1->addAction(QString());
  File1->addSeparator();
  Exit1 = File1->addAction(QString());

  Action1 = bar->addMenu(QString());
  Scan1 = Action1->addAction(QString());
  Stop1 = Action1->addAction(QString());
  Action1->addSeparator();
  MoveCheckedtoRecycleBin1 = Action1->addAction(QString());

  Edit1 = bar->addMenu(QString());
  Checkallbutoneingroup1 = Edit1->addAction(QString());
  Checkall1 = Edit1->addAction(QString());
  Uncheckall1 = Edit1->addAction(QString());
  Edit1->addSeparator();
  KeepCopiesInFolder1 = Edit1->addAction(QString());
  KeepNewest1 = Edit1->addAction(QString());
  KeepOldest1 = Edit1->addAction(QString());
  KeepShortestPath1 = Edit1->addAction(QString());
  // The lists' context menu: the check commands and the keep rules, as in the Edit menu.
  auto* separator = new QAction(this);
  separator->setSeparator(true);
  for (ResultListView* view : {lvFiles, lvDirs}) {
    view->setContextMenuPolicy(Qt::ActionsContextMenu);
    view->addActions({Checkallbutoneingroup1, Checkall1, Uncheckall1, separator, KeepCopiesInFolder1, KeepNewest1,
                      KeepOldest1, KeepShortestPath1});
  }

  View1 = bar->addMenu(QString());
  Page1 = View1->addMenu(QString());
  FileClones1 = Page1->addAction(QString());
  FolderClones1 = Page1->addAction(QString());
  FileClones1->setCheckable(true);
  FolderClones1->setCheckable(true);
  FileClones1->setChecked(true);
  ShowSettingsPanel1 = View1->addAction(QString());
  ShowSettingsPanel1->setCheckable(true);
  ShowSettingsPanel1->setChecked(true);
  View1->addSeparator();
  mmLanguage = View1->addMenu(QString());

  Help1 = bar->addMenu(QString());
  mnuTutorial = Help1->addAction(QString());
  Help1->addSeparator();
  ContactUs1 = Help1->addAction(QString());
  VisitWebsite1 = Help1->addAction(QString());
  Help1->addSeparator();
  About1 = Help1->addAction(QString());
}

void MainWindow::ConnectCommands() {
  auto bind = [this](auto* sender, auto signal, void (MainWindow::*command)()) {
    connect(sender, signal, this, [this, command] { (this->*command)(); });
  };
  bind(btnAddFolder, &QPushButton::clicked, &MainWindow::btnAddFolderClick);
  bind(AddFolder1, &QAction::triggered, &MainWindow::btnAddFolderClick);
  bind(btnRemoveFolder, &QPushButton::clicked, &MainWindow::btnRemoveFolderClick);
  bind(btnScan, &QToolButton::clicked, &MainWindow::btnScanClick);
  bind(Scan1, &QAction::triggered, &MainWindow::btnScanClick);
  bind(btnStop, &QPushButton::clicked, &MainWindow::btnStopClick);
  bind(Stop1, &QAction::triggered, &MainWindow::btnStopClick);
  bind(PageControl1, &QTabWidget::currentChanged, &MainWindow::PageControl1Change);
  bind(FileClones1, &QAction::triggered, &MainWindow::FileClones1Click);
  bind(FolderClones1, &QAction::triggered, &MainWindow::FolderClones1Click);
  bind(ShowSettingsPanel1, &QAction::triggered, &MainWindow::ShowSettingsPanel1Click);
  bind(Exit1, &QAction::triggered, &MainWindow::Exit1Click);
  bind(mnuTutorial, &QAction::triggered, &MainWindow::utorial1Click);
  bind(ContactUs1, &QAction::triggered, &MainWindow::ContactUs1Click);
  bind(VisitWebsite1, &QAction::triggered, &MainWindow::VisitWebsite1Click);
  bind(About1, &QAction::triggered, &MainWindow::Button2Click);
  bind(btnSelectAllButOne, &QPushButton::clicked, &MainWindow::btnSelectAllButOneClick);
  bind(Checkallbutoneingroup1, &QAction::triggered, &MainWindow::btnSelectAllButOneClick);
  bind(btnCheckAll, &QPushButton::clicked, &MainWindow::btnCheckAllClick);
  bind(Checkall1, &QAction::triggered, &MainWindow::btnCheckAllClick);
  bind(btnUncheckAll, &QPushButton::clicked, &MainWindow::btnUncheckAllClick);
  bind(Uncheckall1, &QAction::triggered, &MainWindow::btnUncheckAllClick);
  bind(KeepCopiesInFolder1, &QAction::triggered, &MainWindow::KeepCopiesInFolder1Click);
  bind(KeepNewest1, &QAction::triggered, &MainWindow::KeepNewest1Click);
  bind(KeepOldest1, &QAction::triggered, &MainWindow::KeepOldest1Click);
  bind(KeepShortestPath1, &QAction::triggered, &MainWindow::KeepShortestPath1Click);
  bind(btnDeleteSelected, &QPushButton::clicked, &MainWindow::btnDeleteSelectedClick);
  bind(MoveCheckedtoRecycleBin1, &QAction::triggered, &MainWindow::btnDeleteSelectedClick);
  bind(btnOpenLocation, &QPushButton::clicked, &MainWindow::Button1Click);
  bind(btnExportFiles, &QPushButton::clicked, &MainWindow::btnExportFilesClick);
  bind(ExportFileClones1, &QAction::triggered, &MainWindow::btnExportFilesClick);
  bind(btnExportDirs, &QPushButton::clicked, &MainWindow::btnExportDirsClick);
  bind(ExportFolderClones1, &QAction::triggered, &MainWindow::btnExportDirsClick);
  bind(PageControl1, &QTabWidget::currentChanged, &MainWindow::UpdateTotalsLine);
  for (ResultListView* view : {lvFiles, lvDirs}) {
    connect(view, &QAbstractItemView::activated, this, &MainWindow::OpenRow);
    bind(view->model(), &QAbstractItemModel::dataChanged, &MainWindow::ScheduleTotalsUpdate);
    bind(view->model(), &QAbstractItemModel::modelReset, &MainWindow::ScheduleTotalsUpdate);
  }
}

void MainWindow::BuildLanguageMenu() {
  const Translations& translations = CurrentTranslations();
  for (std::size_t i = 0; i < translations.table.size(); ++i) {
    QAction* item = mmLanguage->addAction(QString::fromStdString(translations.table[i][0]));
    item->setCheckable(true);
    item->setData(static_cast<int>(i));
    item->setChecked(static_cast<int>(i) == translations.currentLanguageIndex);
    connect(item, &QAction::triggered, this, [this, item] { LanguageMenuClick(item); });
  }
}

void MainWindow::LanguageMenuClick(QAction* sender) {
  for (QAction* item : mmLanguage->actions()) item->setChecked(false);
  SelectLanguage(sender->data().toInt());
  sender->setChecked(true);
  ApplyLanguageToToolkit();
  ApplyInterfaceTexts();
}

void MainWindow::ApplyInterfaceTexts() {
  File1->setTitle(Tr("File"));
  Action1->setTitle(Tr("Action"));
  Edit1->setTitle(Tr("Edit"));
  View1->setTitle(Tr("View"));
  Help1->setTitle(Tr("Help"));
  AddFolder1->setText(Tr("Add Folder..."));
  ExportFileClones1->setText(Tr("Export File Clones..."));
  ExportFolderClones1->setText(Tr("Export Folder Clones..."));
  Exit1->setText(Tr("Exit"));
  Scan1->setText(Tr("Scan"));
  Stop1->setText(Tr("Stop"));
  MoveCheckedtoRecycleBin1->setText(Tr("Remove Checked"));
  Checkallbutoneingroup1->setText(Tr("Check all but one in group"));
  Checkall1->setText(Tr("Check All"));
  Uncheckall1->setText(Tr("Uncheck All"));
  KeepCopiesInFolder1->setText(Tr("Keep copies in folder..."));
  KeepNewest1->setText(Tr("Keep newest"));
  KeepOldest1->setText(Tr("Keep oldest"));
  KeepShortestPath1->setText(Tr("Keep shortest path"));
  Page1->setTitle(Tr("Page"));
  FileClones1->setText(Tr("File Clones"));
  FolderClones1->setText(Tr("Folder Clones"));
  ShowSettingsPanel1->setText(Tr("Show Settings Panel"));
  mmLanguage->setTitle(Tr("Language"));
  mnuTutorial->setText(Tr("Tutorial"));
  ContactUs1->setText(Tr("Contact Us"));
  VisitWebsite1->setText(Tr("Visit Website"));
  About1->setText(Tr("About..."));

  lblFolders->setText(Tr("Folders to scan:"));
  btnAddFolder->setText(Tr("Add folder..."));
  btnRemoveFolder->setText(Tr("Remove Selected"));
  chkFileDuplicates->setText(Tr("Find file clones"));
  chkDirDuplicates->setText(Tr("Find folder clones"));
  rgCompare->setTitle(Tr("Compare files by"));
  // Renaming the items never changes the chosen comparison.
  const int compare = rgCompareItems->checkedId();
  rbName->setText(Tr("Name"));
  rbSize->setText(Tr("Size"));
  rbNameAndSize->setText(Tr("Name && Size"));
  rbContent->setText(Tr("Content (SHA-1)"));
  if (compare >= 0) rgCompareItems->button(compare)->setChecked(true);
  lblMasks->setText(Tr("File masks (CSV):"));
  lblMinSize->setText(Tr("Min size (MB):"));
  chkParallelHash->setText(Tr("Parallel hashing"));
  lblMaxGroups->setText(Tr("Max groups (0 = all):"));
  lblMinGroupSize->setText(Tr("Min group size:"));
  btnScan->setText(Tr("Scan"));
  PageControl1->setTabText(0, Tr("File Clones"));
  PageControl1->setTabText(1, Tr("Folder Clones"));
  btnSelectAllButOne->setText(Tr("Check all but one in group"));
  btnCheckAll->setText(Tr("Check all"));
  btnUncheckAll->setText(Tr("Uncheck all"));
  btnOpenLocation->setText(Tr("Open location"));
  btnDeleteSelected->setText(Tr("Delete checked to Recycle Bin"));
  btnExportFiles->setText(Tr("Export File Clones..."));
  btnExportDirs->setText(Tr("Export Folder Clones..."));
  btnStop->setText(Tr("Stop"));
  lblStatus->setText(Tr("Ready"));
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
  lvFiles->FitColumnsToCaptions();
  lvDirs->FitColumnsToCaptions();
}

// --- Folder list ---

void MainWindow::AddFolder(const QString& chosen) {
  const std::string folder = NormalizeFolderPath(ToLocalPath(chosen));
  if (folder.empty()) return;
  const QString entry = FromLocalPath(folder);
  // Paths compare as the system does: /Photos and /photos are two folders on
  // Linux, C:\Photos and c:\photos one on Windows.
  bool listed = false;
  for (int i = 0; i < lbFolders->count() && !listed; ++i) {
    listed = platform::SamePath(ToLocalPath(lbFolders->item(i)->text()), folder);
  }
  if (!listed) lbFolders->addItem(entry);
  // The parent of the folder; the root is its own parent.
  const std::string_view withoutDelimiter = std::string_view(folder).substr(0, std::max<std::size_t>(1, folder.size() - 1));
  lastAddFolderParent_ = FromLocalPath(std::string(ExtractFileDir(withoutDelimiter)));
}

void MainWindow::btnAddFolderClick() {
  const QString start = QDir(lastAddFolderParent_).exists() && !lastAddFolderParent_.isEmpty() ? lastAddFolderParent_
                                                                                                : QString();
  const QString chosen = dialogs_.ChooseFolder(this, Tr("Select folder to scan"), start);
  if (chosen.isEmpty()) return;
  AddFolder(chosen);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  if (watched != lbFolders->viewport()) return QMainWindow::eventFilter(watched, event);
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

void MainWindow::btnRemoveFolderClick() {
  const auto selected = lbFolders->selectedItems();
  if (selected.isEmpty()) return;
  delete lbFolders->takeItem(lbFolders->row(selected.front()));
}

// --- Scan run ---

void MainWindow::btnScanClick() {
  if (run_->Running()) return;
  if (lbFolders->count() > 0) SetRunning(true);
  lastPump_ = {};  // the run's first pump always delivers
  const ScanOutcome outcome = run_->Run();
  SetRunning(false);
  if (outcome.kind == ScanOutcome::Kind::NoFolders) {
    dialogs_.Message(this, Tr("Please add at least one folder."));
  } else if (outcome.kind == ScanOutcome::Kind::Failed) {
    dialogs_.Message(this, Tr("Error: ") + QString::fromStdString(outcome.error));
  }
  if (closeAfterRun_) close();
}

void MainWindow::btnStopClick() { run_->RequestStop(); }

void MainWindow::SetRunning(bool running) {
  for (QWidget* w : {static_cast<QWidget*>(btnScan), static_cast<QWidget*>(btnAddFolder),
                     static_cast<QWidget*>(btnRemoveFolder), static_cast<QWidget*>(lbFolders),
                     static_cast<QWidget*>(btnSelectAllButOne), static_cast<QWidget*>(btnCheckAll),
                     static_cast<QWidget*>(btnUncheckAll), static_cast<QWidget*>(btnOpenLocation),
                     static_cast<QWidget*>(btnDeleteSelected), static_cast<QWidget*>(btnExportFiles),
                     static_cast<QWidget*>(btnExportDirs)}) {
    w->setEnabled(!running);
  }
  for (QAction* a : {Scan1, AddFolder1, ExportFileClones1, ExportFolderClones1, MoveCheckedtoRecycleBin1,
                     Checkallbutoneingroup1, Checkall1, Uncheckall1, KeepCopiesInFolder1, KeepNewest1, KeepOldest1,
                     KeepShortestPath1}) {
    a->setEnabled(!running);
  }
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (run_->Running()) {
    // The run returns at its next poll; the window closes then.
    closeAfterRun_ = true;
    run_->RequestStop();
    event->ignore();
    return;
  }
  event->accept();
}

void MainWindow::SetStatusText(const std::string& text) { lblStatus->setText(QString::fromStdString(text)); }

void MainWindow::SetProgressRange(int minimum, int maximum) {
  progressMaximum_ = maximum;
  if (!marquee_) ProgressBar->setRange(minimum, maximum);
}

// QProgressBar::setValue formats the bar's text and notifies accessibility
// each time; once per file that cost the window a tenth of a /usr scan. The
// bar moves at once at its ends and by a thousandth of its range, and
// otherwise catches up at the next pump, the only point where it is painted.
void MainWindow::SetProgressPosition(int position) {
  progressPosition_ = position;
  if (marquee_) return;
  const int minimum = ProgressBar->minimum(), maximum = ProgressBar->maximum();
  const auto step = std::abs(static_cast<std::int64_t>(position) - ProgressBar->value());
  if (position <= minimum || position >= maximum || step * 1000 >= std::int64_t{maximum} - minimum) {
    ProgressBar->setValue(position);
  }
}

void MainWindow::SetProgressMarquee(bool on) {
  if (on != marquee_) {
    marquee_ = on;
    // A range of 0..0 is Qt's busy indicator.
    ProgressBar->setRange(0, on ? 0 : progressMaximum_);
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
  if (!marquee_ && ProgressBar->value() != progressPosition_) ProgressBar->setValue(progressPosition_);
  QCoreApplication::processEvents();
}

void MainWindow::SetBusyCursor(bool busy) {
  if (busy) {
    QApplication::setOverrideCursor(Qt::BusyCursor);
  } else {
    QApplication::restoreOverrideCursor();
  }
}

void MainWindow::EnableStop(bool enabled) {
  btnStop->setEnabled(enabled);
  Stop1->setEnabled(enabled);
}

std::vector<std::string> MainWindow::Folders() const {
  std::vector<std::string> folders;
  for (int i = 0; i < lbFolders->count(); ++i) folders.push_back(ToLocalPath(lbFolders->item(i)->text()));
  return folders;
}

CompareMode MainWindow::Compare() const { return CompareModeFromIndex(rgCompareItems->checkedId()); }
std::string MainWindow::MasksText() const { return edMasks->text().toStdString(); }
std::int64_t MainWindow::MinSizeMB() const { return ReadIntegerSetting(seMinSizeMB->cleanText().toStdString(), 0); }
bool MainWindow::ParallelHashing() const { return chkParallelHash->isChecked(); }
int MainWindow::MaxGroups() const {
  return static_cast<int>(ReadIntegerSetting(seMaxGroups->cleanText().toStdString(), 0));
}
int MainWindow::MinGroupSize() const {
  return static_cast<int>(ReadIntegerSetting(seMinGroupSize->cleanText().toStdString(), 2));
}
bool MainWindow::FindFileClones() const { return chkFileDuplicates->isChecked(); }
bool MainWindow::FindFolderClones() const { return chkDirDuplicates->isChecked(); }

// --- Pages, panel, help ---

void MainWindow::PageControl1Change() {
  FileClones1->setChecked(PageControl1->currentIndex() == 0);
  FolderClones1->setChecked(PageControl1->currentIndex() == 1);
}

void MainWindow::FileClones1Click() {
  PageControl1->setCurrentIndex(0);
  PageControl1Change();
}

void MainWindow::FolderClones1Click() {
  PageControl1->setCurrentIndex(1);
  PageControl1Change();
}

void MainWindow::ShowSettingsPanel1Click() {
  // The action has toggled its own check mark; the panel follows it.
  PanelTop->setVisible(ShowSettingsPanel1->isChecked());
}

void MainWindow::Exit1Click() { close(); }

void MainWindow::OpenMakerPage(const QString& path) {
  const QString address = QString("https://") + kMakerHost + path;
  if (!shell_.OpenWebPage(address)) NothingOpens(address.toStdString());
}

void MainWindow::NothingOpens(const std::string& pathOrAddress) {
  dialogs_.Message(this, QString::fromStdString(
                             FormatText(TranslateText("No program on this system can open %s."), {pathOrAddress})));
}

void MainWindow::utorial1Click() { OpenMakerPage("/redirect/tutorial-orvanta.html"); }
void MainWindow::ContactUs1Click() { OpenMakerPage("/support.html"); }
void MainWindow::VisitWebsite1Click() { OpenMakerPage("/"); }

void MainWindow::Button2Click() {
  const QString text = QString(kApplicationTitle) + "\n" + Tr("Version:") + " " + kVersion + "\n\n" +
                       Tr("Website:") + " " + kMakerHost + "\n\n" +
                       Tr("This program is provided as is, without warranty of any kind.") + "\n\n" +
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

bool MainWindow::FilePageActive() const { return PageControl1->currentWidget() == tsFiles; }

ResultList& MainWindow::ActiveList() { return FilePageActive() ? run_->FileClones() : run_->FolderClones(); }

void MainWindow::btnSelectAllButOneClick() {
  CheckAllButOneInGroup(ActiveList(), FilePageActive() ? ListKind::Files : ListKind::Folders);
}
void MainWindow::btnCheckAllClick() { CheckAll(ActiveList()); }
void MainWindow::btnUncheckAllClick() { UncheckAll(ActiveList()); }

void MainWindow::KeepBy(const KeepRule& rule) {
  CheckAllButKept(ActiveList(), FilePageActive() ? ListKind::Files : ListKind::Folders, {rule});
}

void MainWindow::KeepCopiesInFolder1Click() {
  const QString chosen = dialogs_.ChooseFolder(this, Tr("Select the folder whose copies to keep"), QString());
  if (chosen.isEmpty()) return;
  KeepBy(KeepInFolder(ToLocalPath(chosen)));
}

void MainWindow::KeepNewest1Click() { KeepBy({KeepRule::Kind::Newest, {}}); }
void MainWindow::KeepOldest1Click() { KeepBy({KeepRule::Kind::Oldest, {}}); }
void MainWindow::KeepShortestPath1Click() { KeepBy({KeepRule::Kind::ShortestPath, {}}); }

void MainWindow::btnDeleteSelectedClick() {
  DialogPrompts prompts(dialogs_, this);
  // Both lists: rows of files inside a moved folder go from the file page too.
  orvanta::DeleteChecked(run_->FileClones(), run_->FolderClones(), FilePageActive() ? ListKind::Files : ListKind::Folders,
                         prompts);
}

void MainWindow::Button1Click() {
  const ResultListView* view = FilePageActive() ? lvFiles : lvDirs;
  const LocationRequest request =
      ResolveLocation(ActiveList(), FilePageActive() ? ListKind::Files : ListKind::Folders, view->CurrentEngineRow());
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
  if (view == nullptr) view = FilePageActive() ? lvFiles : lvDirs;
  const int row = view->ResultModel()->EngineRow(index);
  if (row < 0) return;  // a group header
  const bool files = view == lvFiles;
  const std::optional<std::string> message =
      OpenRowItem(files ? run_->FileClones() : run_->FolderClones(), files ? ListKind::Files : ListKind::Folders, row,
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
  const std::string line =
      TotalsLine(ActiveList(), FilePageActive() ? ListKind::Files : ListKind::Folders, run_->DecimalSeparator());
  lblTotals->setText(QString::fromStdString(line));
}

void MainWindow::ExportList(const ResultList& list, const QString& proposedName) {
  const QString chosen = dialogs_.ChooseSaveFile(this, proposedName, "CSV files (*.csv);;All files (*.*)");
  if (chosen.isEmpty()) return;
  try {
    ExportListViewToCsv(list, ToLocalPath(chosen));
  } catch (const std::exception& error) {
    dialogs_.Error(this, ErrorBoxText(QString::fromUtf8(error.what())));
  }
}

void MainWindow::btnExportFilesClick() { ExportList(run_->FileClones(), "duplicate_files.csv"); }
void MainWindow::btnExportDirsClick() { ExportList(run_->FolderClones(), "duplicate_directories.csv"); }

}  // namespace orvanta
