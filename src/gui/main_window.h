// MainWindow: the main window. Its controls are the scan settings and the
// window operations of the engine's scan run; its commands are the rows of WindowCommands().
#pragma once

#include <QMainWindow>
#include <chrono>
#include <functional>
#include <memory>
#include <span>

#include "core/scan_host.h"
#include "core/scan_settings.h"
#include "scan/scan_run.h"

class QAbstractButton;
class QAction;
class QButtonGroup;
class QCheckBox;
class QGroupBox;
class QHBoxLayout;
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
class Prompts;
struct RemovalProgress;
struct KeepRule;
struct KeepReport;
class Dialogs;
class ResultList;
class ResultListModel;
class ResultListView;
class MainWindow;

// A window command: a menu item, a button, or both, run by one handler. The
// item and the button are found by their objectName, the names the commands
// have always had; captions are catalogue texts, translated when the
// interface texts are applied.
struct WindowCommand {
  enum class Enabled {
    Always,
    Idle,           // not while a scan runs: it changes or reads what the scan fills
    WhileScanning,  // only while a scan runs (Stop)
  };
  enum class Check { None, Off, On };  // a checkable item and its first state

  void (MainWindow::*handler)();
  Enabled enabled;
  const char* menu = nullptr;  // the objectName of the menu that holds the item; none: no item
  bool separatorBefore = false;
  const char* item = nullptr;
  const char* itemCaption = nullptr;
  const char* button = nullptr;  // the panels place it; none: no button
  const char* buttonCaption = nullptr;
  Check check = Check::None;
  // Keys that run the command, as QKeySequence reads them ("F5; Ctrl+R"). A
  // row with keys and no menu has an item of the window's own, in no menu.
  const char* keys = nullptr;
};

// The manual that came with the program (README.md beside it or in
// share/doc/orvanta); empty when there is none.
std::string LocalManual();

// Every window command, items in menu order.
std::span<const WindowCommand> WindowCommands();

// A setting kept from one session to the next, in the settings file that
// holds the language (the registry on Windows): its key there and the
// objectName of the control whose state it holds. Saved when the window
// closes, put back when the next one opens; a missing key keeps the start value.
struct RememberedSetting {
  const char* key;
  const char* control;
};
std::span<const RememberedSetting> RememberedSettings();

class MainWindow : public QMainWindow, public ScanHost, public ScanSettings {
  Q_OBJECT

 public:
  MainWindow(Dialogs& dialogs, DesktopShell& shell, QWidget* parent = nullptr);
  ~MainWindow() override;

  ScanRun& Run() { return *run_; }
  const QString& LastAddFolderParent() const { return lastAddFolderParent_; }

  // Commands: each is one row of the command table in main_window.cpp, which
  // gives its menu item and button, their captions and when they are enabled.
  void PickFolderToAdd();
  void RemoveSelectedFolder();
  void ScanFolders();
  void StopScan();
  void ShowFileClones();
  void ShowFolderClones();
  void ToggleSettingsPanel();
  void CloseWindow();
  void ShowTutorial();
  void ContactUs();
  void VisitWebsite();
  void ShowAbout();
  void CheckAllButOne();
  void CheckAllRows();
  void UncheckAllRows();
  void KeepCopiesInFolder();
  void KeepNewest();
  void KeepOldest();
  void KeepShortestPath();
  void MoveCheckedToTrash();
  void OpenSelectedLocation();
  // Action > Replace checked with links to the kept copy.
  void LinkCheckedToKept();
  // Action > Move checked to folder... and Copy checked to folder...
  void MoveCheckedToFolder();
  void CopyCheckedToFolder();
  void ExportFileClones();
  void ExportFolderClones();
  // The list of the active page, as its Export command does.
  void ExportActiveList();
  // The menu bar takes the keyboard, its first menu open.
  void OpenMenuBar();
  void ExportHtmlPage();
  void PutBackLastRemoval();
  void SaveResultsFile();
  void OpenResultsFile();
  void ClearCache();
  // Ctrl+F: the search field takes the focus, its text selected.
  void FocusSearch();

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
  bool OneFileSystem() const override;
  std::vector<std::string> ExcludedFolders() const override;
  std::int64_t MaxSizeMB() const override;
  bool ScanTrash() const override;
  bool ReadPlaceholders() const override;
  std::vector<std::string> ReferenceFolders() const override;
  std::string DigestCacheFile() const override;
  std::int64_t DigestCacheLimitMB() const override;

 protected:
  void closeEvent(QCloseEvent* event) override;
  // Folders and files dropped on the folder list.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildSettingsPanel();
  // The settings panel's column of exclusions, and its texts.
  void BuildExclusionControls(QHBoxLayout* row);
  void ApplyExclusionTexts();
  void BuildResultPages();
  void BuildBottomPanel();
  // The menus, with the command table's items in them.
  void BuildMenu();
  void ConnectCommands();
  // The command's menu item and button; either may be null.
  QAction* MenuItem(const char* objectName) const;
  QAbstractButton* Button(const char* objectName) const;
  // The menu items and buttons of the commands enabled `when`.
  void EnableCommands(WindowCommand::Enabled when, bool enabled);
  // While a scan runs, nothing may change the folder list, the lists, the marks
  // or the registry, nor export, remove or open.
  void SetRunning(bool running);
  // The result page changed: the View > Page items follow.
  void MarkCurrentPage();
  void OpenMakerPage(const QString& path);
  // The message when the desktop has nothing that opens a path or an address.
  void NothingOpens(const std::string& pathOrAddress);
  // The list of the active page: the result actions work on it alone.
  bool FilePageActive() const;
  ResultList& ActiveList();
  void ExportList(const ResultList& list, const QString& proposedName);
  // Checks all but the copies the rule keeps, on the active list, and tells of
  // groups kept whole as they hold only other users' copies.
  KeepReport KeepBy(const KeepRule& rule);
  // Runs a removal or link action like a scan: Stop (and closing the window)
  // stops it after the item in hand, the window stays responsive through the
  // pump, and nothing may change the lists or marks meanwhile.
  void RunResultAction(const std::function<void(Prompts&, const RemovalProgress&)>& action);
  // Asks for the destination folder (the folder pickers' start), then moves
  // or copies the checked items of the active list there as a result action.
  void RelocateCheckedToFolder(platform::RelocationKind kind);
  // Many marks change at once: the line is drawn again once they are done.
  void ScheduleTotalsUpdate();
  // The rows of RememberedSettings(), and the folder the folder picker starts in.
  void SaveSettings() const;
  void RestoreSettings();
  // Where a folder picker opens: the parent of the folder added last, else home.
  QString FolderDialogStart() const;
  // Undo removal: enabled while the last removal's record holds an item (or cannot be read, which it says).
  void EnableUndoRemoval();

  // Controls; each has its name as objectName, by which tests find it. The
  // commands' menu items and buttons are reached through the command table.
  QWidget* PanelTop_;
  QLabel* lblFolders_;
  QListWidget* lbFolders_;
  QCheckBox* chkFileDuplicates_;
  QCheckBox* chkDirDuplicates_;
  QGroupBox* rgCompare_;
  QButtonGroup* rgCompareItems_;
  QRadioButton* rbName_;
  QRadioButton* rbSize_;
  QRadioButton* rbNameAndSize_;
  QRadioButton* rbContent_;
  QLabel* lblMasks_;
  QLineEdit* edMasks_;
  QLabel* lblMinSize_;
  QSpinBox* seMinSizeMB_;
  QCheckBox* chkParallelHash_;
  QCheckBox* chkOneFileSystem_;
  QCheckBox* chkDigestCache_;
  QSpinBox* seCacheLimitMB_;
  QLabel* lblScanFigures_;  // the last whole scan's time and files read
  QLabel* lblMaxGroups_;
  QSpinBox* seMaxGroups_;
  QLabel* lblMinGroupSize_;
  QSpinBox* seMinGroupSize_;
  // Exclusions: folder patterns, the largest file size, the trash.
  QLabel* lblExcludeFolders_;
  QLineEdit* edExcludeFolders_;
  QLabel* lblMaxSize_;
  QSpinBox* seMaxSizeMB_;
  QCheckBox* chkScanTrash_;
  QCheckBox* chkReadPlaceholders_;  // Windows only: shown there
  QTabWidget* PageControl1_;
  QWidget* tsFiles_;
  QWidget* tsDirs_;
  ResultListView* lvFiles_;
  ResultListView* lvDirs_;
  QWidget* PanelBottom_;
  QWidget* Panel1_;
  QLabel* lblStatus_;
  QLabel* lblTotals_;
  QProgressBar* ProgressBar_;
  QLineEdit* edSearch_;
  QCheckBox* chkCsvExtraColumns_;

  QMenu* File1_;
  QMenu* Action1_;
  QMenu* Edit1_;
  QMenu* View1_;
  QMenu* Page1_;
  QMenu* mmLanguage_;
  QMenu* Help1_;

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
  bool removing_ = false;  // a removal compares or moves: closing waits for it as for a scan
  bool totalsUpdatePending_ = false;
  std::chrono::steady_clock::time_point lastPump_;
};

}  // namespace orvanta
