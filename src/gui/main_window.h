// MainWindow: the main window. Its controls are the scan settings and the
// window operations of the engine's scan run; every command is a method here.
#pragma once

#include <QMainWindow>
#include <chrono>
#include <memory>

#include "scan/scan_run.h"
#include "core/scan_settings.h"
#include "core/scan_host.h"

class QAction;
class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QModelIndex;
class QMenu;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QToolButton;

namespace orvanta {

class DesktopShell;
struct KeepRule;
class Dialogs;
class ResultList;
class ResultListModel;
class ResultListView;

class MainWindow : public QMainWindow, public ScanHost, public ScanSettings {
  Q_OBJECT

 public:
  MainWindow(Dialogs& dialogs, DesktopShell& shell, QWidget* parent = nullptr);
  ~MainWindow() override;

  ScanRun& Run() { return *run_; }
  const QString& LastAddFolderParent() const { return lastAddFolderParent_; }

  // Commands.
  void btnAddFolderClick();
  void btnRemoveFolderClick();
  void btnScanClick();
  void btnStopClick();
  void PageControl1Change();
  void FileClones1Click();
  void FolderClones1Click();
  void ShowSettingsPanel1Click();
  void Exit1Click();
  void utorial1Click();
  void ContactUs1Click();
  void VisitWebsite1Click();
  void Button2Click();
  void btnSelectAllButOneClick();
  void btnCheckAllClick();
  void btnUncheckAllClick();
  void KeepCopiesInFolder1Click();
  void KeepNewest1Click();
  void KeepOldest1Click();
  void KeepShortestPath1Click();
  void btnDeleteSelectedClick();
  void Button1Click();
  void btnExportFilesClick();
  void btnExportDirsClick();
  void BuildLanguageMenu();
  void LanguageMenuClick(QAction* sender);
  void ApplyInterfaceTexts();
  // Adds a folder as the folder picker would.
  void AddFolder(const QString& chosen);
  // Double-click or Enter on a row of the active list: opens its file or folder.
  void OpenRow(const QModelIndex& index);
  // The checked rows and the scan's figures for the active list, in lblTotals.
  void UpdateTotalsLine();

  // ScanHost
  void SetStatusText(const std::string& text) override;
  void SetProgressRange(int minimum, int maximum) override;
  void SetProgressPosition(int position) override;
  void SetProgressMarquee(bool on) override;
  void PumpMessages() override;
  void SetBusyCursor(bool busy) override;
  void EnableStop(bool enabled) override;

  // ScanSettings: read from the controls at the moment a stage asks.
  std::vector<std::string> Folders() const override;
  CompareMode Compare() const override;
  std::string MasksText() const override;
  std::int64_t MinSizeMB() const override;
  bool ParallelHashing() const override;
  int MaxGroups() const override;
  int MinGroupSize() const override;
  bool FindFileClones() const override;
  bool FindFolderClones() const override;

  // Controls, named as the commands and texts refer to them.
  QWidget* PanelTop;
  QLabel* lblFolders;
  QListWidget* lbFolders;
  QPushButton* btnAddFolder;
  QPushButton* btnRemoveFolder;
  QCheckBox* chkFileDuplicates;
  QCheckBox* chkDirDuplicates;
  QGroupBox* rgCompare;
  QButtonGroup* rgCompareItems;
  QRadioButton* rbName;
  QRadioButton* rbSize;
  QRadioButton* rbNameAndSize;
  QRadioButton* rbContent;
  QLabel* lblMasks;
  QLineEdit* edMasks;
  QLabel* lblMinSize;
  QSpinBox* seMinSizeMB;
  QCheckBox* chkParallelHash;
  QLabel* lblMaxGroups;
  QSpinBox* seMaxGroups;
  QLabel* lblMinGroupSize;
  QSpinBox* seMinGroupSize;
  QToolButton* btnScan;
  QTabWidget* PageControl1;
  QWidget* tsFiles;
  QWidget* tsDirs;
  ResultListView* lvFiles;
  ResultListView* lvDirs;
  QWidget* PanelBottom;
  QPushButton* btnSelectAllButOne;
  QPushButton* btnCheckAll;
  QPushButton* btnUncheckAll;
  QPushButton* btnOpenLocation;
  QPushButton* btnDeleteSelected;
  QPushButton* btnExportFiles;
  QPushButton* btnExportDirs;
  QWidget* Panel1;
  QLabel* lblStatus;
  QLabel* lblTotals;
  QProgressBar* ProgressBar;
  QPushButton* btnStop;

  QMenu* File1;
  QAction* AddFolder1;
  QAction* ExportFileClones1;
  QAction* ExportFolderClones1;
  QAction* Exit1;
  QMenu* Action1;
  QAction* Scan1;
  QAction* Stop1;
  QAction* MoveCheckedtoRecycleBin1;
  QMenu* Edit1;
  QAction* Checkallbutoneingroup1;
  QAction* Checkall1;
  QAction* Uncheckall1;
  QAction* KeepCopiesInFolder1;
  QAction* KeepNewest1;
  QAction* KeepOldest1;
  QAction* KeepShortestPath1;
  QMenu* View1;
  QMenu* Page1;
  QAction* FileClones1;
  QAction* FolderClones1;
  QAction* ShowSettingsPanel1;
  QMenu* mmLanguage;
  QMenu* Help1;
  QAction* mnuTutorial;
  QAction* ContactUs1;
  QAction* VisitWebsite1;
  QAction* About1;

 protected:
  void closeEvent(QCloseEvent* event) override;
  // Folders and files dropped on the folder list.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildSettingsPanel();
  void BuildResultPages();
  void BuildBottomPanel();
  void BuildMenu();
  void ConnectCommands();
  // While a scan runs, nothing may change the folder list, the lists or the registry.
  void SetRunning(bool running);
  void OpenMakerPage(const QString& path);
  // The message when the desktop has nothing that opens a path or an address.
  void NothingOpens(const std::string& pathOrAddress);
  // The list of the active page: the result actions work on it alone.
  bool FilePageActive() const;
  ResultList& ActiveList();
  void ExportList(const ResultList& list, const QString& proposedName);
  // Checks all but the copies the rule keeps, on the active list.
  void KeepBy(const KeepRule& rule);
  // Many marks change at once: the line is drawn again once they are done.
  void ScheduleTotalsUpdate();

  Dialogs& dialogs_;
  DesktopShell& shell_;
  std::unique_ptr<ScanRun> run_;
  ResultListModel* filesModel_ = nullptr;
  ResultListModel* dirsModel_ = nullptr;
  QString lastAddFolderParent_;
  int progressMaximum_ = 100;
  int progressPosition_ = 0;  // the stage's, which the bar may show a little later
  bool marquee_ = false;
  bool closeAfterRun_ = false;
  bool totalsUpdatePending_ = false;
  std::chrono::steady_clock::time_point lastPump_;
};

}  // namespace orvanta
