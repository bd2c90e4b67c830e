// The main window, driven as a user would, with scripted dialogs.
#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <stdexcept>

#include "../engine/list_checks.h"
#include "../engine/test_support.h"
#include "core/file_record.h"
#include "core/paths.h"
#include "gui/application.h"
#include "gui/desktop_shell.h"
#include "gui/main_window.h"
#include "gui/result_list_view.h"
#include "platform/platform.h"
#include "scripted_dialogs.h"
#include "text/catalogue.h"
#include "text/text_helpers.h"
#include "text/translate.h"
#include "window_controls.h"

namespace orvanta {

using test::Find;
using test::RecordingShell;

// A window whose message pump can stand for a failing stage.
class FaultyForm : public MainWindow {
 public:
  using MainWindow::MainWindow;
  int failAtPump = -1;
  int pumps = 0;
  std::function<void()> onPump;  // at every pump, before the window's own
  void PumpMessages() override {
    if (++pumps == failAtPump) throw std::runtime_error("disk on fire");
    if (onPump) onPump();
    MainWindow::PumpMessages();
  }
};

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  test::ScriptedDialogs dialogs;
  RecordingShell shell;
  std::unique_ptr<FaultyForm> form;
  std::unique_ptr<test::TempTree> tree;

  static QString YesButtonText() {
    QMessageBox box(QMessageBox::Question, "", "", QMessageBox::Yes | QMessageBox::No);
    return box.button(QMessageBox::Yes)->text();
  }

  // The form's menu item and button of that objectName.
  QAction* Item(const char* name) const { return Find<QAction>(*form, name); }
  QAbstractButton* Button(const char* name) const { return Find<QAbstractButton>(*form, name); }

  // Runs `action` at the next message pump of the running scan.
  void AtNextPump(std::function<void()> action) { QTimer::singleShot(0, form.get(), std::move(action)); }

 private slots:
  void init() {
    dialogs = test::ScriptedDialogs();
    shell = RecordingShell();
    form = std::make_unique<FaultyForm>(dialogs, shell);
    tree = std::make_unique<test::TempTree>();
    tree->File("a/same.txt", "12345");
    tree->File("b/same.txt", "12345");
    tree->File("b/copy.txt", "12345");
    tree->File("c/other.txt", "abcdefg");
    Find<QSpinBox>(*form, "seMinSizeMB")->setValue(0);
  }
  void cleanup() {
    form.reset();
    // English again also after a failed language test, so its failure stays its own.
    LoadTranslationsFrom(tree->Path("none"), std::nullopt, "en");
    tree.reset();
  }

  void startValues() {
    MainWindow fresh(dialogs, shell);
    QCOMPARE(fresh.windowTitle(), QString("Orvanta 2.4"));
    // Qt appends the display name to every title on Linux when one is set; an
    // unset one follows the application name.
    QCoreApplication::setApplicationName("Probe");
    const QString displayName = QGuiApplication::applicationDisplayName();
    QCoreApplication::setApplicationName("Orvanta");
    QCOMPARE(displayName, QString("Probe"));
    QCOMPARE(Find<QButtonGroup>(fresh, "rgCompareItems")->checkedId(), 3);
    QCOMPARE(fresh.Compare(), CompareMode::Content);
    QVERIFY(Find<QCheckBox>(fresh, "chkFileDuplicates")->isChecked());
    QVERIFY(!Find<QCheckBox>(fresh, "chkDirDuplicates")->isChecked());
    QVERIFY(Find<QCheckBox>(fresh, "chkParallelHash")->isChecked());
    // Off by default; the scan reads the box when it starts.
    QVERIFY(!Find<QCheckBox>(fresh, "chkOneFileSystem")->isChecked());
    QVERIFY(!fresh.OneFileSystem());
    Find<QCheckBox>(fresh, "chkOneFileSystem")->setChecked(true);
    QVERIFY(fresh.OneFileSystem());
    QCOMPARE(Find<QLineEdit>(fresh, "edMasks")->text(), QString("*.*"));
    const std::tuple<QSpinBox*, int, int, int> spins[] = {{Find<QSpinBox>(fresh, "seMinSizeMB"), 0, 1048576, 1},
                                                          {Find<QSpinBox>(fresh, "seMaxGroups"), 0, 1000000, 100},
                                                          {Find<QSpinBox>(fresh, "seMinGroupSize"), 2, 1000, 2}};
    for (const auto& [spin, minimum, maximum, value] : spins) {
      QCOMPARE(spin->minimum(), minimum);
      QCOMPARE(spin->maximum(), maximum);
      QCOMPARE(spin->value(), value);
    }
    QCOMPARE(Find<QListWidget>(fresh, "lbFolders")->count(), 0);
    QVERIFY(!Find<QAbstractButton>(fresh, "btnStop")->isEnabled());
    QVERIFY(!Find<QAction>(fresh, "Stop1")->isEnabled());
    QCOMPARE(Find<QLabel>(fresh, "lblStatus")->text(), QString("Ready"));
    QCOMPARE(Find<QTabWidget>(fresh, "PageControl1")->currentIndex(), 0);
    QVERIFY(Find<QAction>(fresh, "FileClones1")->isChecked());
    QVERIFY(!Find<QAction>(fresh, "FolderClones1")->isChecked());
    QVERIFY(Find<QAction>(fresh, "ShowSettingsPanel1")->isChecked());
    QCOMPARE(Find<QWidget>(fresh, "PanelTop")->height(), 130);
    QCOMPARE(Find<QWidget>(fresh, "PanelBottom")->height(), 81);
    QCOMPARE(Find<QProgressBar>(fresh, "ProgressBar")->width(), 236);
    QCOMPARE(Find<QAbstractButton>(fresh, "btnScan")->size(), QSize(84, 80));
    QCOMPARE(Find<QRadioButton>(fresh, "rbNameAndSize")->text(), QString("Name && Size"));
    QCOMPARE(Find<ResultListView>(fresh, "lvFiles")->header()->sectionSize(2), 520);
    QCOMPARE(Find<ResultListView>(fresh, "lvDirs")->header()->sectionSize(1), 740);
    QCOMPARE(Find<ResultListView>(fresh, "lvFiles")->model()->headerData(3, Qt::Horizontal).toString(),
             QString("File size (MB)"));
    for (QAction* action : fresh.findChildren<QAction*>()) QVERIFY(action->shortcut().isEmpty());
  }

  void addingAFolderTwiceLeavesOneEntryEndingInTheDelimiter() {
    for (const std::string& answer :
         {tree->Path("a"), tree->Folder("a"), tree->Path("b/../a"), std::string(), tree->Path("A")}) {
      dialogs.folders.push_back(QString::fromStdString(answer));
    }
    for (int i = 0; i < 4; ++i) form->PickFolderToAdd();
    QCOMPARE(Find<QListWidget>(*form, "lbFolders")->count(), 1);
    QCOMPARE(Find<QListWidget>(*form, "lbFolders")->item(0)->text(), QString::fromStdString(tree->Folder("a")));
    QCOMPARE(form->LastAddFolderParent(), QString::fromStdString(tree->Root()));
    QCOMPARE(dialogs.lastFolderTitle, QString("Select folder to scan"));
    QCOMPARE(dialogs.lastFolderStart, QString::fromStdString(tree->Root()));
    tree->Dir("A");
    form->PickFolderToAdd();  // another folder here: names differ in case
    QCOMPARE(Find<QListWidget>(*form, "lbFolders")->count(), 2);

    Find<QListWidget>(*form, "lbFolders")->setCurrentRow(0);
    form->RemoveSelectedFolder();
    QCOMPARE(Find<QListWidget>(*form, "lbFolders")->count(), 1);
    Find<QListWidget>(*form, "lbFolders")->clearSelection();
    form->RemoveSelectedFolder();
    QCOMPARE(Find<QListWidget>(*form, "lbFolders")->count(), 1);
  }

  void aScanFillsTheFileList() {
    form->AddFolder(QString::fromStdString(tree->Root()));
    Button("btnScan")->click();
    QCOMPARE(Find<QLabel>(*form, "lblStatus")->text(), QString("  Done."));
    const ResultList& list = form->Run().FileClones();
    QCOMPARE(list.Groups().size(), std::size_t{1});
    QCOMPARE(QString::fromStdString(list.Groups()[0].header), QString("Group 1 (0.00 MB)"));
    QCOMPARE(list.Rows().size(), std::size_t{3});
    QVERIFY(!list.Rows()[0].checked);
    QVERIFY(list.Rows()[1].checked && list.Rows()[2].checked);
    QAbstractItemModel* model = Find<ResultListView>(*form, "lvFiles")->model();
    QCOMPARE(model->rowCount(), 4);  // the header row and three members
    QCOMPARE(model->index(0, 0).data().toString(), QString("Group 1 (0.00 MB)"));
    QCOMPARE(model->index(1, 1).data().toString(), QString::fromStdString(std::string(list.Rows()[0].data->Name())));
    QCOMPARE(model->index(3, 2).data().toString(),
             QString::fromStdString(std::string(ExtractFileDir(list.Rows()[2].data->FullPath()))));
    QCOMPARE(model->index(1, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    QVERIFY(model->setData(model->index(1, 0), Qt::Checked, Qt::CheckStateRole));
    QVERIFY(list.Rows()[0].checked);
    QVERIFY(!Button("btnStop")->isEnabled());
    QVERIFY(Button("btnScan")->isEnabled());
    QCOMPARE(QApplication::overrideCursor(), nullptr);
  }

  void scanWithoutFoldersOnlyShowsAMessage() {
    Find<QLabel>(*form, "lblStatus")->setText("previous");
    form->ScanFolders();
    QCOMPARE(dialogs.shown, QStringList{"message:Please add at least one folder."});
    QCOMPARE(Find<QLabel>(*form, "lblStatus")->text(), QString("previous"));
    QVERIFY(!Button("btnStop")->isEnabled());
  }

  void stopEndsTheScanAndDisablesStopAgain() {
    form->AddFolder(QString::fromStdString(tree->Root()));
    bool stopWasEnabled = false;
    AtNextPump([this, &stopWasEnabled] {
      stopWasEnabled = Button("btnStop")->isEnabled() && Item("Stop1")->isEnabled();
      Button("btnStop")->click();
    });
    form->ScanFolders();
    QVERIFY(stopWasEnabled);
    QCOMPARE(Find<QLabel>(*form, "lblStatus")->text(), QString("Scanning cancelled. 0 files collected so far."));
    QVERIFY(!Button("btnStop")->isEnabled());
    QVERIFY(!Item("Stop1")->isEnabled());
    QCOMPARE(Find<QProgressBar>(*form, "ProgressBar")->value(), 0);
    QCOMPARE(QApplication::overrideCursor(), nullptr);
  }

  void anErrorInAStageIsShownAndTheWindowRestored() {
    form->AddFolder(QString::fromStdString(tree->Root()));
    form->failAtPump = 2;
    form->ScanFolders();
    QCOMPARE(dialogs.shown, QStringList{"message:Error: disk on fire"});
    QVERIFY(!Button("btnStop")->isEnabled());
    QVERIFY(Button("btnScan")->isEnabled());
    QCOMPARE(Find<QProgressBar>(*form, "ProgressBar")->value(), 0);
    QCOMPARE(QApplication::overrideCursor(), nullptr);
  }

  void aSecondScanDuringARunStartsNoSecondRun() {
    form->AddFolder(QString::fromStdString(tree->Root()));
    bool scanDisabled = false, addDisabled = false;
    AtNextPump([this, &scanDisabled, &addDisabled] {
      scanDisabled = !Button("btnScan")->isEnabled() && !Item("Scan1")->isEnabled();
      addDisabled = !Button("btnAddFolder")->isEnabled() && !Button("btnRemoveFolder")->isEnabled();
      form->ScanFolders();  // ignored: a run is active
    });
    form->ScanFolders();
    QVERIFY(scanDisabled);
    QVERIFY(addDisabled);
    QCOMPARE(Find<QLabel>(*form, "lblStatus")->text(), QString("  Done."));
    QCOMPARE(form->Run().FileClones().Rows().size(), std::size_t{3});
    QVERIFY(Button("btnAddFolder")->isEnabled());
  }

  // While a scan runs, every command but those that only look (pages, panel,
  // help) or end the run is disabled: nothing may change the folder list, the
  // lists, the marks or the registry, nor export, remove or open. A command
  // added to the table is held to that unless it is named here.
  void everyCommandThatChangesWhatTheScanFillsIsDisabledDuringIt() {
    const std::set<QString> enabledDuringAScan = {
        "Exit1",    "Stop1",      "btnStop",       "FileClones1", "FolderClones1", "ShowSettingsPanel1",
        "utorial1", "ContactUs1", "VisitWebsite1", "About1"};
    // A catalogue of two languages, for a language menu with items: choosing
    // one is saved, so it waits for the scan too.
    const test::ScopedEnvironmentVariable configHome("XDG_CONFIG_HOME", tree->Path("config"));
    LoadTranslationsFrom(tree->File("transl.dt", "2\nEnglish\nDeutsch\nen\nde\nScan\nSuchen\n"), std::nullopt, "en");
    form = std::make_unique<FaultyForm>(dialogs, shell);
    LoadTranslationsFrom(tree->Path("none"), std::nullopt, "en");
    QCOMPARE(Find<QMenu>(*form, "mmLanguage")->actions().size(), 2);
    // The controls whose state is not `expected`, given whether a scan runs.
    const auto wrong = [&](bool scanning) {
      QStringList names;
      const auto check = [&](const QString& name, bool enabled) {
        const bool expected = scanning ? enabledDuringAScan.count(name) > 0 : name != "Stop1" && name != "btnStop";
        if (enabled != expected) names << name;
      };
      for (const WindowCommand& command : WindowCommands()) {
        if (command.item != nullptr) check(command.item, Item(command.item)->isEnabled());
        if (command.button != nullptr) check(command.button, Button(command.button)->isEnabled());
      }
      for (QAction* language : Find<QMenu>(*form, "mmLanguage")->actions()) {
        check("language " + language->text(), language->isEnabled());
      }
      check("lbFolders", Find<QListWidget>(*form, "lbFolders")->isEnabled());
      return names;
    };
    QCOMPARE(wrong(false), QStringList{});
    Find<QSpinBox>(*form, "seMinSizeMB")->setValue(0);
    form->AddFolder(QString::fromStdString(tree->Root()));
    std::optional<QStringList> wrongDuringTheScan;
    AtNextPump([&] { wrongDuringTheScan = wrong(true); });
    form->ScanFolders();
    QVERIFY(wrongDuringTheScan.has_value());  // the scan pumped
    QCOMPARE(*wrongDuringTheScan, QStringList{});
    QCOMPARE(wrong(false), QStringList{});
  }

  // The menus as they read, separators as "-"; the table builds them in this order.
  void theMenusReadAsBefore() {
    const std::pair<const char*, QString> menus[] = {
        {"File1", "File: Add Folder... | - | Export File Clones... | Export Folder Clones... | - | Exit"},
        {"Action1", "Action: Scan | Stop | - | Remove Checked | Replace checked with links to the kept copy"},
        {"Edit1",
         "Edit: Check all but one in group | Check All | Uncheck All | - | Keep copies in folder... | Keep newest | "
         "Keep oldest | Keep shortest path"},
        {"View1", "View: Page | Show Settings Panel | - | Language"},
        {"Page1", "Page: File Clones | Folder Clones"},
        {"Help1", "Help: Tutorial | - | Contact Us | Visit Website | - | About..."},
    };
    for (const auto& [name, expected] : menus) {
      const QMenu* menu = Find<QMenu>(*form, name);
      QStringList items;
      for (const QAction* item : menu->actions()) items << (item->isSeparator() ? "-" : item->text());
      QCOMPARE(menu->title() + ": " + items.join(" | "), expected);
    }
    QStringList bar;
    for (const QAction* menu : form->menuBar()->actions()) bar << menu->text();
    QCOMPARE(bar, (QStringList{"File", "Action", "Edit", "View", "Help"}));
    const std::pair<const char*, QString> buttons[] = {
        {"btnAddFolder", "Add folder..."},
        {"btnRemoveFolder", "Remove Selected"},
        {"btnScan", "Scan"},
        {"btnSelectAllButOne", "Check all but one in group"},
        {"btnCheckAll", "Check all"},
        {"btnUncheckAll", "Uncheck all"},
        {"btnOpenLocation", "Open location"},
        {"btnDeleteSelected", "Delete checked to Recycle Bin"},
        {"btnExportFiles", "Export File Clones..."},
        {"btnExportDirs", "Export Folder Clones..."},
        {"btnStop", "Stop"},
    };
    for (const auto& [name, caption] : buttons) QCOMPARE(Button(name)->text(), caption);
  }

  void closingDuringARunStopsItFirst() {
    form->AddFolder(QString::fromStdString(tree->Root()));
    form->show();
    AtNextPump([this] { form->close(); });
    form->ScanFolders();
    QVERIFY(form->Run().StopFlag());
    QVERIFY(!form->isVisible());
  }

  void pageSwitchingMovesTheCheckMarks() {
    Item("FolderClones1")->trigger();
    QCOMPARE(Find<QTabWidget>(*form, "PageControl1")->currentIndex(), 1);
    QVERIFY(Item("FolderClones1")->isChecked());
    QVERIFY(!Item("FileClones1")->isChecked());
    Find<QTabWidget>(*form, "PageControl1")->setCurrentIndex(0);  // a click on the tab
    QVERIFY(Item("FileClones1")->isChecked());
    QVERIFY(!Item("FolderClones1")->isChecked());
    Item("FileClones1")->trigger();  // choosing the active page keeps its mark
    QVERIFY(Item("FileClones1")->isChecked());
  }

  void theSettingsPanelReturnsAboveThePages() {
    form->show();
    Item("ShowSettingsPanel1")->trigger();
    QVERIFY(!Find<QWidget>(*form, "PanelTop")->isVisible());
    QVERIFY(!Item("ShowSettingsPanel1")->isChecked());
    Item("ShowSettingsPanel1")->trigger();
    QVERIFY(Find<QWidget>(*form, "PanelTop")->isVisible());
    QTRY_VERIFY(Find<QWidget>(*form, "PanelTop")->geometry().bottom() <
                Find<QTabWidget>(*form, "PageControl1")->geometry().top());
    QCOMPARE(Find<QWidget>(*form, "PanelTop")->geometry().top(), 0);
  }

  void theAboutBoxNamesProgramVersionAndHost() {
    Item("About1")->trigger();
    QCOMPARE(dialogs.shown.size(), 1);
    QVERIFY(dialogs.shown[0].startsWith("information:Orvanta\nVersion: 2.4\n\nWebsite: orvanta.invalid\n\n"));
    QVERIFY(dialogs.shown[0].contains(QString::number(QDate::currentDate().year())));
  }

  // --- Result actions ---

  void ScanBothLists() {
    form->AddFolder(QString::fromStdString(tree->Root()));
    Find<QCheckBox>(*form, "chkDirDuplicates")->setChecked(true);
    tree->File("a2/same.txt", "12345");  // a2 and a are folder clones
    form->ScanFolders();
    QCOMPARE(form->Run().FileClones().Rows().size(), std::size_t{4});
    QVERIFY(!form->Run().FolderClones().Rows().empty());
  }
  static std::vector<bool> Checks(const ResultList& list) {
    std::vector<bool> checks;
    for (const ListRow& row : list.Rows()) checks.push_back(row.checked);
    return checks;
  }

  void checkMarksChangeTheActivePageOnly() {
    ScanBothLists();
    const auto folderChecks = Checks(form->Run().FolderClones());
    Button("btnCheckAll")->click();
    QCOMPARE(Checks(form->Run().FileClones()), std::vector<bool>(4, true));
    QCOMPARE(Checks(form->Run().FolderClones()), folderChecks);
    Item("Uncheckall1")->trigger();
    QCOMPARE(Checks(form->Run().FileClones()), std::vector<bool>(4, false));
    Item("Checkallbutoneingroup1")->trigger();
    QCOMPARE(Checks(form->Run().FileClones()), (std::vector<bool>{false, true, true, true}));

    Item("FolderClones1")->trigger();
    Button("btnCheckAll")->click();
    QCOMPARE(Checks(form->Run().FolderClones()), std::vector<bool>(folderChecks.size(), true));
    QCOMPARE(Checks(form->Run().FileClones()), (std::vector<bool>{false, true, true, true}));
  }

  void removalAsksAndMovesCheckedFilesToTheTrash() {
    const test::ScopedEnvironmentVariable dataHome("XDG_DATA_HOME", tree->Path("data"));
    ScanBothLists();
    Button("btnUncheckAll")->click();
    Button("btnDeleteSelected")->click();
    QCOMPARE(dialogs.shown, QStringList{"message:No files selected."});

    Button("btnCheckAll")->click();
    Button("btnDeleteSelected")->click();  // answered No
    QCOMPARE(dialogs.shown.last(), QString("confirm:Move 4 files to Recycle Bin?\n\n"
                                           "No copy would remain of these groups:\nGroup 1 (0.00 MB)"));
    QVERIFY(!dialogs.lastConfirmDefaultYes);
    QCOMPARE(form->Run().FileClones().Rows().size(), std::size_t{4});

    Item("Checkallbutoneingroup1")->trigger();
    const std::string kept = form->Run().FileClones().Rows()[0].data->FullPath();
    const std::string moved = form->Run().FileClones().Rows()[1].data->FullPath();
    dialogs.confirmations = {true};
    Item("MoveCheckedtoRecycleBin1")->trigger();
    QCOMPARE(dialogs.shown.mid(2),
             (QStringList{"confirm:Move 3 files to Recycle Bin?", "message:Files were moved to the Recycle Bin."}));
    QCOMPARE(form->Run().FileClones().Rows().size(), std::size_t{1});
    QVERIFY(QFile::exists(QString::fromStdString(kept)));
    QVERIFY(!QFile::exists(QString::fromStdString(moved)));
    QCOMPARE(Find<ResultListView>(*form, "lvFiles")->model()->rowCount(), 2);  // header and the kept row
  }

  void aPartialFailureTakesOutOnlyTheRowsThatMoved() {
    const test::ScopedEnvironmentVariable dataHome("XDG_DATA_HOME", tree->Path("data"));
    ScanBothLists();
    const std::string vanished = form->Run().FileClones().Rows()[1].data->FullPath();
    QFile::remove(QString::fromStdString(vanished));
    dialogs.confirmations = {true};
    Button("btnDeleteSelected")->click();
    QCOMPARE(dialogs.shown.last(), QString::fromStdString("message:Failed to delete some files.\n\nMoved: 2. Stayed: 1."
                                                          "\n\nIt is no longer there.\n" +
                                                          vanished));
    QCOMPARE(form->Run().FileClones().Rows().size(), std::size_t{2});
    QVERIFY(form->Run().FileClones().Rows()[1].checked);
  }

  void folderPageRemovalKeepsOneSideOfNestedClones() {
    const test::ScopedEnvironmentVariable dataHome("XDG_DATA_HOME", tree->Path("data"));
    for (const char* root : {"Photos", "Photos - Copy"}) {
      tree->File(std::string("p/") + root + "/2019/beach.jpg", "beach");
      tree->File(std::string("p/") + root + "/2020/snow.jpg", "snow!");
    }
    form->AddFolder(QString::fromStdString(tree->Path("p")));
    Find<QCheckBox>(*form, "chkDirDuplicates")->setChecked(true);
    form->ScanFolders();
    QCOMPARE(form->Run().FolderClones().Rows().size(), std::size_t{6});
    Item("FolderClones1")->trigger();
    Item("Checkallbutoneingroup1")->trigger();
    dialogs.confirmations = {true};
    Button("btnDeleteSelected")->click();
    QCOMPARE(dialogs.shown, (QStringList{"confirm:Move 3 directories to Recycle Bin?",
                                         "message:Directories were moved to the Recycle Bin."}));
    QVERIFY(QFile::exists(QString::fromStdString(tree->Path("p/Photos/2019/beach.jpg"))));
    QVERIFY(QFile::exists(QString::fromStdString(tree->Path("p/Photos/2020/snow.jpg"))));
    QVERIFY(!QFile::exists(QString::fromStdString(tree->Path("p/Photos - Copy"))));
    QCOMPARE(form->Run().FolderClones().Rows().size(), std::size_t{3});
    QCOMPARE(form->Run().FileClones().Rows().size(), std::size_t{2});  // the copy's files went with it
  }

  // Checks exactly the rows of these paths on the file page.
  void CheckOnlyFiles(const std::vector<std::string>& paths) {
    ResultList& files = form->Run().FileClones();
    for (std::size_t i = 0; i < files.Rows().size(); ++i) {
      const std::string path = files.Rows()[i].data->FullPath();
      files.SetChecked(i, std::find(paths.begin(), paths.end(), path) != paths.end());
    }
  }

  // Stop during a removal ends it after the item in hand; the window stays
  // responsive meanwhile, and nothing else may change the lists.
  void stopDuringARemovalLeavesTheRestInPlace() {
    const test::ScopedEnvironmentVariable dataHome("XDG_DATA_HOME", tree->Path("data"));
    std::vector<std::string> copies;
    for (const char* name : {"1", "2", "3"}) {
      tree->File(std::string("k/") + name + ".dat", std::string("content ") + name);
      copies.push_back(tree->File(std::string("m/") + name + ".dat", std::string("content ") + name));
    }
    form->AddFolder(QString::fromStdString(tree->Root()));
    form->ScanFolders();
    CheckOnlyFiles(copies);
    Find<QLabel>(*form, "lblStatus")->setText("before");
    bool stopClicked = false, othersDisabled = true;
    form->onPump = [&] {
      othersDisabled = othersDisabled && !Button("btnScan")->isEnabled() && !Button("btnCheckAll")->isEnabled() &&
                       !Find<ResultListView>(*form, "lvFiles")->isEnabled();
      const bool firstGone = std::count_if(copies.begin(), copies.end(), [](const std::string& path) {
                               return !QFile::exists(QString::fromStdString(path));
                             }) == 1;
      if (!stopClicked && firstGone && Button("btnStop")->isEnabled()) {
        stopClicked = true;
        Button("btnStop")->click();
      }
    };
    dialogs.confirmations = {true};
    Button("btnDeleteSelected")->click();
    form->onPump = nullptr;
    QVERIFY(stopClicked);
    QVERIFY(othersDisabled);
    const QString outcome = dialogs.shown.last();
    QVERIFY2(outcome.startsWith("message:Failed to delete some files.\n\nMoved: 1. Stayed: 2.\n\n"
                                "The removal was stopped.\n"),
             qPrintable(outcome));
    int left = 0;
    for (const std::string& path : copies) left += QFile::exists(QString::fromStdString(path)) ? 1 : 0;
    QCOMPARE(left, 2);
    for (const char* name : {"1", "2", "3"})
      QVERIFY(QFile::exists(QString::fromStdString(tree->Path(std::string("k/") + name + ".dat"))));
    QCOMPARE(form->Run().FileClones().Rows().size(), std::size_t{8});
    QVERIFY(!Button("btnStop")->isEnabled());
    QVERIFY(Button("btnScan")->isEnabled());
    QVERIFY(Find<ResultListView>(*form, "lvFiles")->isEnabled());
    QCOMPARE(Find<QLabel>(*form, "lblStatus")->text(), QString("before"));
  }

  void closingDuringARemovalStopsItFirst() {
    const test::ScopedEnvironmentVariable dataHome("XDG_DATA_HOME", tree->Path("data"));
    form->AddFolder(QString::fromStdString(tree->Root()));
    form->ScanFolders();
    form->show();
    Button("btnCheckAll")->click();
    Item("Checkallbutoneingroup1")->trigger();
    bool closeAsked = false;
    form->onPump = [&] {
      if (!closeAsked) form->close();
      closeAsked = true;
      QVERIFY(form->isVisible());  // the window waits for the removal
    };
    dialogs.confirmations = {true};
    Button("btnDeleteSelected")->click();
    form->onPump = nullptr;
    QVERIFY(closeAsked);
    QVERIFY(dialogs.shown.last().contains("The removal was stopped."));
    QVERIFY(QFile::exists(QString::fromStdString(tree->Path("a/same.txt"))));
    QVERIFY(!form->isVisible());
  }

  // By name, a checked copy whose bytes differ is named in the question, quoted
  // as the listing quotes it, and moves only after a second Yes (default No).
  void copiesThatDifferByNameMoveOnlyAfterASecondYes() {
    const test::ScopedEnvironmentVariable dataHome("XDG_DATA_HOME", tree->Path("data"));
    const std::string odd = "K\x1b]0;PWNED\a\x1b[31mRED";
    const std::string kept = tree->File("notes/notes.txt", "first draft");
    const std::string other = tree->File(odd + "/notes.txt", "final text, longer");
    const QString quoted = QString::fromStdString(TerminalSafePath(other));
    form->AddFolder(QString::fromStdString(tree->Root()));
    Find<QButtonGroup>(*form, "rgCompareItems")->button(0)->setChecked(true);  // Name
    form->ScanFolders();
    for (const bool secondYes : {false, true}) {
      CheckOnlyFiles({other});
      dialogs.shown.clear();
      dialogs.confirmations = {true, secondYes};
      Button("btnDeleteSelected")->click();
      QCOMPARE(dialogs.shown.size(), 3);
      QCOMPARE(dialogs.shown[0],
               "confirm:Move 1 files to Recycle Bin?\n\n1 of them differ from the copy that is kept:\n" + quoted);
      QCOMPARE(dialogs.shown[1], QString("confirm:Move the 1 that differ from the copy that is kept as well?"));
      QVERIFY(!dialogs.lastConfirmDefaultYes);
      QCOMPARE(QFile::exists(QString::fromStdString(other)), !secondYes);
      QCOMPARE(dialogs.shown[2], secondYes ? QString("message:Files were moved to the Recycle Bin.")
                                           : "message:Failed to delete some files.\n\nMoved: 0. Stayed: 1.\n\n"
                                             "It differs from the copy that is kept.\n" +
                                                 quoted);
      for (const QString& text : dialogs.shown) QVERIFY2(!text.contains(QChar(0x1b)), qPrintable(text));
    }
    QVERIFY(QFile::exists(QString::fromStdString(kept)));
  }

  void foldersAFileRemovalChangedTurnStaleOnTheFolderPage() {
    const test::ScopedEnvironmentVariable dataHome("XDG_DATA_HOME", tree->Path("data"));
    for (const char* root : {"Photos", "Photos - Copy"}) tree->File(std::string("p/") + root + "/beach.jpg", "beach");
    form->AddFolder(QString::fromStdString(tree->Path("p")));
    Find<QCheckBox>(*form, "chkDirDuplicates")->setChecked(true);
    form->ScanFolders();
    dialogs.confirmations = {true};
    Button("btnDeleteSelected")->click();  // the file page: one beach.jpg goes
    QCOMPARE(dialogs.shown.last(), QString("message:Files were moved to the Recycle Bin."));

    Item("FolderClones1")->trigger();
    QApplication::processEvents();
    QVERIFY(Find<QLabel>(*form, "lblTotals")->text().startsWith("No clone groups found"));
    QAbstractItemModel* model = Find<ResultListView>(*form, "lvDirs")->model();
    int stale = 0;
    for (int line = 0; line < model->rowCount(); ++line) {
      const QModelIndex index = model->index(line, 0);
      if (!model->data(index, Qt::ToolTipRole).toString().contains("scan again")) continue;
      ++stale;
      QVERIFY(!(model->flags(index) & Qt::ItemIsUserCheckable));
      QCOMPARE(model->data(index, Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    }
    QCOMPARE(stale, 1);
  }

  void openLocationShowsTheFileOrOpensTheFolder() {
    ScanBothLists();
    Button("btnOpenLocation")->click();
    QCOMPARE(dialogs.shown, QStringList{"message:Please select an item first."});
    Find<ResultListView>(*form, "lvFiles")
        ->setCurrentIndex(Find<ResultListView>(*form, "lvFiles")->model()->index(1, 0));
    Button("btnOpenLocation")->click();
    const std::string file = form->Run().FileClones().Rows()[0].data->FullPath();
    QCOMPARE(shell.requests, QStringList{"show:" + QString::fromStdString(file)});

    Item("FolderClones1")->trigger();
    Button("btnOpenLocation")->click();  // the selection on the hidden page plays no part
    QCOMPARE(dialogs.shown.last(), QString("message:Please select an item first."));
    Find<ResultListView>(*form, "lvDirs")->setCurrentIndex(Find<ResultListView>(*form, "lvDirs")->model()->index(1, 0));
    Button("btnOpenLocation")->click();
    const std::string folder = form->Run().FolderClones().Rows()[0].data->FullPath();
    QCOMPARE(shell.requests.last(), "open:" + QString::fromStdString(folder));
  }

  // The keyboard in the file list: Space toggles the row's mark from any
  // column, and the cursor passes over group headers to the next file row.
  void spaceInAnyColumnAndACursorThatSkipsGroupHeaders() {
    tree->File("d/x.bin", "xyz");
    tree->File("e/x.bin", "xyz");
    form->AddFolder(QString::fromStdString(tree->Root()));
    form->ScanFolders();
    ResultListView* view = Find<ResultListView>(*form, "lvFiles");
    ResultListModel* model = view->ResultModel();
    // Two groups: a header, three copies of "12345", a header, two of "xyz".
    QCOMPARE(model->rowCount(), 7);
    QVERIFY(model->IsGroupHeader(model->index(0, 0)) && model->IsGroupHeader(model->index(4, 0)));

    const ResultList& list = form->Run().FileClones();
    for (const int column : {0, 1, 2, 3}) {
      view->setCurrentIndex(model->index(2, column));
      const bool before = list.Rows()[static_cast<std::size_t>(model->EngineRow(model->index(2, 0)))].checked;
      QTest::keyClick(view, Qt::Key_Space);
      QCOMPARE(list.Rows()[static_cast<std::size_t>(model->EngineRow(model->index(2, 0)))].checked, !before);
    }

    const std::pair<Qt::Key, int> moves[] = {{Qt::Key_Down, 5}, {Qt::Key_Up, 3},  {Qt::Key_Home, 1},
                                             {Qt::Key_Up, 1},   {Qt::Key_End, 6}, {Qt::Key_PageUp, 1}};
    view->setCurrentIndex(model->index(3, 2));
    for (const auto& [key, row] : moves) {
      QTest::keyClick(view, key);
      QCOMPARE(view->currentIndex().row(), row);
      QCOMPARE(view->currentIndex().column(), 2);
      QVERIFY(view->selectionModel()->isRowSelected(row, {}));
      QCOMPARE(view->CurrentEngineRow(), model->EngineRow(view->currentIndex()));
    }

    // Each cell's tooltip is the row's full path, the header's nothing.
    const QModelIndex member = model->index(5, 1);
    const std::size_t engineRow = static_cast<std::size_t>(model->EngineRow(member));
    QCOMPARE(model->data(member, Qt::ToolTipRole).toString(),
             QString::fromStdString(list.Rows()[engineRow].data->FullPath()));
    QVERIFY(!model->data(model->index(4, 1), Qt::ToolTipRole).isValid());
  }

  // The Directory column takes the width the other columns leave.
  void thePathColumnTakesTheSpareWidth() {
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    for (const int width : {1178, 1600}) {
      form->resize(width, form->height());
      QCoreApplication::processEvents();
      for (const auto& [view, pathColumn, minimum] : {std::tuple{Find<ResultListView>(*form, "lvFiles"), 2, 520},
                                                      std::tuple{Find<ResultListView>(*form, "lvDirs"), 1, 740}}) {
        view->resize(Find<QTabWidget>(*form, "PageControl1")->currentWidget()->size());
        int total = 0;
        for (int i = 0; i < view->header()->count(); ++i) total += view->header()->sectionSize(i);
        QCOMPARE(total, std::max(view->viewport()->width(), total - view->header()->sectionSize(pathColumn) + minimum));
        QCOMPARE_GE(view->header()->sectionSize(pathColumn), minimum);
      }
    }
  }

  // A desktop with nothing to open paths or addresses: each request ends in
  // a message that names what could not be opened.
  void whatNothingOpensIsNamedInAMessage() {
    ScanBothLists();
    shell.opens = false;
    Find<ResultListView>(*form, "lvFiles")
        ->setCurrentIndex(Find<ResultListView>(*form, "lvFiles")->model()->index(1, 0));
    Button("btnOpenLocation")->click();
    Item("FolderClones1")->trigger();
    Find<ResultListView>(*form, "lvDirs")->setCurrentIndex(Find<ResultListView>(*form, "lvDirs")->model()->index(1, 0));
    Button("btnOpenLocation")->click();
    Item("ContactUs1")->trigger();
    const QString file = QString::fromStdString(form->Run().FileClones().Rows()[0].data->FullPath());
    const QString folder = QString::fromStdString(form->Run().FolderClones().Rows()[0].data->FullPath());
    const QString nothing = "message:No program on this system can open %1.";
    QCOMPARE(dialogs.shown, (QStringList{nothing.arg(file), nothing.arg(folder),
                                         nothing.arg("https://orvanta.invalid/support.html")}));
  }

  void exportWritesTheListAndReportsAFailure() {
    ScanBothLists();
    const QString target = QString::fromStdString(tree->Path("out.csv"));
    dialogs.saveFiles = {target, QString()};
    Button("btnExportDirs")->click();
    QCOMPARE(dialogs.lastSaveName, QString("duplicate_directories.csv"));
    QCOMPARE(dialogs.lastSaveFilter, QString("CSV files (*.csv);;All files (*.*)"));
    QFile written(target);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QVERIFY(written.readAll().startsWith("\xEF\xBB\xBFGroup,Directory,Size\r\n\"1\",\""));
    Item("ExportFileClones1")->trigger();  // cancelled
    QCOMPARE(dialogs.lastSaveName, QString("duplicate_files.csv"));
    dialogs.saveFiles = {QString::fromStdString(tree->Path("missing/folder/out.csv"))};
    Button("btnExportFiles")->click();
    QCOMPARE(dialogs.shown.size(), 1);
    QVERIFY(dialogs.shown[0].startsWith("error:Cannot write"));
    QVERIFY(dialogs.shown[0].endsWith(QString::fromLocal8Bit(std::strerror(ENOENT)) + "."));
  }

  void helpLinksOpenTheMakersPages() {
    Item("utorial1")->trigger();
    Item("ContactUs1")->trigger();
    Item("VisitWebsite1")->trigger();
    QCOMPARE(shell.requests, (QStringList{"web:https://orvanta.invalid/redirect/tutorial-orvanta.html",
                                          "web:https://orvanta.invalid/support.html", "web:https://orvanta.invalid/"}));
  }

  void theLanguageMenuSwitchesEveryCaption() {
    const test::ScopedEnvironmentVariable configHome("XDG_CONFIG_HOME", tree->Path("config"));
    const std::string catalogue =
        tree->File("transl.dt",
                   "3\nEnglish\nDeutsch\n\xD8\xA7\xD9\x84\xD8\xB9\xD8\xB1\xD8\xA8\xD9\x8A\xD8\xA9\nen\nde\nar\n"
                   "Scan\nSuchen\n\xD9\x81\xD8\xAD\xD8\xB5\nReady\nBereit\n\n"
                   "Check All\nAlle markieren\n\nGroup\nGruppe\n\nLanguage\nSprache\n\n");
    LoadTranslationsFrom(catalogue, std::nullopt, "en");
    {
      MainWindow window(dialogs, shell);
      const QList<QAction*> items = Find<QMenu>(window, "mmLanguage")->actions();
      QCOMPARE(items.size(), 3);
      QCOMPARE(items[1]->text(), QString("Deutsch"));
      QVERIFY(items[0]->isChecked() && !items[1]->isChecked());
      Find<QRadioButton>(window, "rbSize")->setChecked(true);
      Find<QLabel>(window, "lblStatus")->setText("  Done.");

      items[1]->trigger();
      QVERIFY(!items[0]->isChecked() && items[1]->isChecked());
      QCOMPARE(Find<QAbstractButton>(window, "btnScan")->text(), QString("Suchen"));
      QCOMPARE(Find<QAction>(window, "Scan1")->text(), QString("Suchen"));
      QCOMPARE(Find<QAction>(window, "Checkall1")->text(), QString("Alle markieren"));
      QCOMPARE(Find<QAbstractButton>(window, "btnCheckAll")->text(), QString("Check all"));  // another key
      QCOMPARE(Find<QMenu>(window, "mmLanguage")->title(), QString("Sprache"));
      QCOMPARE(Find<QLabel>(window, "lblStatus")->text(), QString("Bereit"));
      QCOMPARE(Find<ResultListView>(window, "lvFiles")->model()->headerData(0, Qt::Horizontal).toString(),
               QString("Gruppe"));
      QVERIFY(Find<QRadioButton>(window, "rbSize")->isChecked());
      QCOMPARE(platform::ReadSetting("CurrentLanguage"), std::optional<std::string>("de"));
      const QString csv = QString::fromStdString(tree->Path("header.csv"));
      dialogs.saveFiles = {csv};
      Find<QAbstractButton>(window, "btnExportFiles")->click();
      QFile exported(csv);
      QVERIFY(exported.open(QIODevice::ReadOnly));
      QCOMPARE(exported.readAll(), QByteArray("\xEF\xBB\xBFGruppe,File name,Directory,File size (MB)\r\n"));

      // Qt's own texts follow: the buttons of every message box and question.
      QCOMPARE(YesButtonText(), QString("&Ja"));
      QCOMPARE(window.layoutDirection(), Qt::LeftToRight);

      items[2]->trigger();
      QCOMPARE(window.layoutDirection(), Qt::RightToLeft);
      QCOMPARE(Find<ResultListView>(window, "lvFiles")->layoutDirection(), Qt::RightToLeft);
      QCOMPARE(YesButtonText(), QString("&\u0646\u0639\u0645"));

      items[0]->trigger();
      QCOMPARE(Find<QAbstractButton>(window, "btnScan")->text(), QString("Scan"));
      QCOMPARE(platform::ReadSetting("CurrentLanguage"), std::optional<std::string>("en"));
      QCOMPARE(window.layoutDirection(), Qt::LeftToRight);
      QCOMPARE(YesButtonText(), QString("&Yes"));
    }
    LoadTranslationsFrom(tree->Path("none"), std::nullopt, "en");
    MainWindow english(dialogs, shell);
    QVERIFY(Find<QMenu>(english, "mmLanguage")->actions().isEmpty());
  }

  void rowsKeepTheLanguageTheyWereListedIn() {
    const test::ScopedEnvironmentVariable configHome("XDG_CONFIG_HOME", tree->Path("config"));
    LoadTranslationsFrom(platform::JoinedPath(platform::ExecutableFolder(), "transl.dt"), std::nullopt, "en");
    tree->FileOfSize("m/x.bin", 3 << 19, 'x');
    tree->FileOfSize("n/x.bin", 3 << 19, 'x');
    {
      MainWindow window(dialogs, shell);
      window.AddFolder(QString::fromStdString(tree->Path("m")));
      window.AddFolder(QString::fromStdString(tree->Path("n")));
      Find<QAbstractButton>(window, "btnScan")->click();
      QCoreApplication::processEvents();
      QCOMPARE(window.Run().FileClones().Rows().size(), std::size_t{2});

      // The first language whose unit is not " MB" (Arabic).
      for (QAction* language : Find<QMenu>(window, "mmLanguage")->actions()) {
        language->trigger();
        if (TranslateText(" MB") != " MB") break;
      }
      QVERIFY(TranslateText(" MB") != " MB");

      const QAbstractItemModel* model = Find<ResultListView>(window, "lvFiles")->model();
      QCOMPARE(model->data(model->index(0, 0)).toString(), QString("Group 1 (3.00 MB)"));
      QCOMPARE(model->data(model->index(1, 3)).toString(), QString("1.50 MB"));
      const QString csv = QString::fromStdString(tree->Path("rows.csv"));
      dialogs.saveFiles = {csv};
      Find<QAbstractButton>(window, "btnExportFiles")->click();
      QFile exported(csv);
      QVERIFY(exported.open(QIODevice::ReadOnly));
      const QList<QByteArray> lines = exported.readAll().split('\n');
      QCOMPARE(lines.size(), 4);  // the captions, two rows, the empty rest after the last CR LF
      for (int i = 1; i <= 2; ++i) QVERIFY2(lines[i].endsWith(",\"1.50 MB\"\r"), lines[i].constData());
      Find<QMenu>(window, "mmLanguage")->actions().front()->trigger();
    }
  }

  void theTotalsLineFollowsTheScanThePageAndTheMarks() {
    constexpr std::size_t kMB = 1 << 20;
    tree->FileOfSize("m/x.bin", kMB, 'x');
    tree->FileOfSize("n/x.bin", kMB, 'x');
    form->AddFolder(QString::fromStdString(tree->Root()));
    QCOMPARE(Find<QLabel>(*form, "lblTotals")->text(), QString());
    Button("btnScan")->click();
    QCoreApplication::processEvents();
    QCOMPARE(Find<QLabel>(*form, "lblStatus")->text(), QString("  Done."));
    const QString dot = QString::fromUtf8("  \u00B7  ");
    QCOMPARE(Find<QLabel>(*form, "lblTotals")->text(), "Groups: 2, extra copies: 1.00 MB" + dot + "3 checked, 1.00 MB");
    form->Run().FileClones().SetChecked(1, false);  // the 1 MB copy
    QCoreApplication::processEvents();
    QCOMPARE(Find<QLabel>(*form, "lblTotals")->text(), "Groups: 2, extra copies: 1.00 MB" + dot + "2 checked, 0.00 MB");

    Find<QSpinBox>(*form, "seMaxGroups")->setValue(1);
    Button("btnScan")->click();
    QCoreApplication::processEvents();
    QCOMPARE(Find<QLabel>(*form, "lblTotals")->text(),
             "Groups: first 1 of 2 listed, extra copies: 1.00 MB" + dot + "1 checked, 1.00 MB");
    form->ShowFolderClones();  // folder clones were not searched
    QCOMPARE(Find<QLabel>(*form, "lblTotals")->text(), QString());
    form->ShowFileClones();
    QVERIFY(Find<QLabel>(*form, "lblTotals")->text().startsWith("Groups: first 1 of 2"));
  }

  void theTotalsLineFitsBesideTheStatusInEveryLanguage() {
    LoadTranslationsFrom(platform::JoinedPath(platform::ExecutableFolder(), "transl.dt"), std::nullopt, "en");
    MainWindow window(dialogs, shell);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // Large figures: a big tree cut by Max groups, every row checked.
    ResultList& files = window.Run().FileClones();
    FileRegistry records;
    const FileRecord& large = records.Add("/large.bin", std::int64_t{123} << 30);
    for (int group = 1; group <= 100; ++group) {
      files.AddGroup(group, "");
      for (int member = 0; member < 3; ++member) {
        ListRow& row = files.AddRow();
        row.groupId = group;
        row.checked = true;
        row.data = &large;
      }
    }
    files.SetGroupsFound(123456);
    const QList<QAction*> languages = Find<QMenu>(window, "mmLanguage")->actions();
    QVERIFY(languages.size() >= 11);
    for (QAction* language : languages) {
      language->trigger();
      window.SetStatusText("  " + TranslateText("Done."));
      window.UpdateTotalsLine();
      QCoreApplication::processEvents();
      const QString line = Find<QLabel>(window, "lblTotals")->text();
      QVERIFY2(Find<QLabel>(window, "lblTotals")->width() >= Find<QLabel>(window, "lblTotals")->sizeHint().width(),
               qPrintable(line));
      QVERIFY2(Find<QLabel>(window, "lblStatus")->width() >= Find<QLabel>(window, "lblStatus")->sizeHint().width(),
               qPrintable(language->text()));
    }
    languages.front()->trigger();
    LoadTranslationsFrom(tree->Path("none"), std::nullopt, "en");
  }

  void doubleClickOrEnterOpensTheRowsItem() {
    tree->File("x/f.txt", "q");
    tree->File("y/f.txt", "q");
    Find<QCheckBox>(*form, "chkDirDuplicates")->setChecked(true);
    form->AddFolder(QString::fromStdString(tree->Root()));
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    Button("btnScan")->click();
    ResultListModel* files = Find<ResultListView>(*form, "lvFiles")->ResultModel();
    const QModelIndex header = files->index(0, 1), member = files->index(1, 1);
    QVERIFY(files->IsGroupHeader(header) && !files->IsGroupHeader(member));
    // A user's double-click: press, release, then the second press as a double-click.
    const auto doubleClick = [this](const QModelIndex& index) {
      const QPoint at = Find<ResultListView>(*form, "lvFiles")->visualRect(index).center();
      QTest::mouseClick(Find<ResultListView>(*form, "lvFiles")->viewport(), Qt::LeftButton, {}, at);
      QTest::mouseDClick(Find<ResultListView>(*form, "lvFiles")->viewport(), Qt::LeftButton, {}, at);
    };
    doubleClick(header);
    QVERIFY(shell.requests.isEmpty());  // a group header opens nothing
    doubleClick(member);
    const std::string file = form->Run().FileClones().Rows()[0].data->FullPath();
    QCOMPARE(shell.requests, QStringList{"item:" + QString::fromStdString(file)});

    form->ShowFolderClones();
    ResultListModel* dirs = Find<ResultListView>(*form, "lvDirs")->ResultModel();
    QVERIFY(dirs->rowCount() > 1);
    Find<ResultListView>(*form, "lvDirs")->setFocus();
    Find<ResultListView>(*form, "lvDirs")->setCurrentIndex(dirs->index(1, 1));
    shell.opens = false;
    QTest::keyClick(Find<ResultListView>(*form, "lvDirs"), Qt::Key_Return);
    const std::string folder = form->Run().FolderClones().Rows()[0].data->FullPath();
    QCOMPARE(shell.requests.back(), "item:" + QString::fromStdString(folder));
    QCOMPARE(dialogs.shown,
             QStringList{"message:No program could open " + QString::fromStdString(folder) + "\nno handler"});
  }

  void droppedFoldersAndFilesAddTheirFolders() {
    tree->File("b/sub/deep.txt", "x");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(tree->Path("a"))),
                  QUrl::fromLocalFile(QString::fromStdString(tree->Path("b/copy.txt"))),
                  QUrl::fromLocalFile(QString::fromStdString(tree->Path("b/sub/../same.txt"))),
                  QUrl::fromLocalFile(QString::fromStdString(tree->Path("gone"))), QUrl("https://example.org/")});
    QWidget* target = Find<QListWidget>(*form, "lbFolders")->viewport();
    QDragEnterEvent enter({5, 5}, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(target, &enter);
    QVERIFY(enter.isAccepted());
    QCOMPARE(enter.dropAction(), Qt::CopyAction);
    QDropEvent drop({5, 5}, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(target, &drop);
    QVERIFY(drop.isAccepted());
    QCOMPARE(Find<QListWidget>(*form, "lbFolders")->count(), 2);
    QCOMPARE(Find<QListWidget>(*form, "lbFolders")->item(0)->text(), QString::fromStdString(tree->Folder("a")));
    QCOMPARE(Find<QListWidget>(*form, "lbFolders")->item(1)->text(), QString::fromStdString(tree->Folder("b")));

    QMimeData text;
    text.setText("not a path");
    QDragEnterEvent refused({5, 5}, Qt::CopyAction, &text, Qt::LeftButton, {});
    refused.ignore();
    QApplication::sendEvent(target, &refused);
    QVERIFY(!refused.isAccepted());
  }

  void keepRulesCheckAllButTheKeptCopiesOfTheActivePage() {
    test::TempTree photos;
    test::MakePhotoTree(photos);
    test::MakeNestedTripTree(*tree);
    Find<QCheckBox>(*form, "chkDirDuplicates")->setChecked(true);
    form->AddFolder(QString::fromStdString(photos.Root()));
    form->AddFolder(QString::fromStdString(tree->Root()));
    form->ScanFolders();
    // Next to the check commands in the Edit menu and in both lists' context menus.
    const QList<QAction*> edit = Find<QMenu>(*form, "Edit1")->actions();
    QCOMPARE(edit.mid(0, 3), (QList<QAction*>{Item("Checkallbutoneingroup1"), Item("Checkall1"), Item("Uncheckall1")}));
    QCOMPARE(edit.mid(4), (QList<QAction*>{Item("KeepCopiesInFolder1"), Item("KeepNewest1"), Item("KeepOldest1"),
                                           Item("KeepShortestPath1")}));
    for (ResultListView* view : {Find<ResultListView>(*form, "lvFiles"), Find<ResultListView>(*form, "lvDirs")}) {
      QCOMPARE(view->contextMenuPolicy(), Qt::ActionsContextMenu);
      QList<QAction*> menu = view->actions();
      menu.removeAt(3);  // the separator
      QCOMPARE(menu, QList<QAction*>(edit.mid(0, 3)) + edit.mid(4));
    }
    QCOMPARE(Item("KeepCopiesInFolder1")->text(), QString("Keep copies in folder..."));

    struct Case {
      QAction* item;
      QString folder;  // the folder picker's answer
      std::set<std::string> photoFilesKept;
    };
    const QString photosFolder = QString::fromStdString(photos.Path("photos"));
    const Case files[] = {
        {Item("KeepNewest1"), {}, {"photos_backup/a.jpg", "photos_backup/b.jpg", "music/song.mp3"}},
        {Item("KeepShortestPath1"), {}, {"photos/a.jpg", "photos/b.jpg", "music/song.mp3"}},
        {Item("KeepCopiesInFolder1"),
         QString::fromStdString(photos.Path("music copy")),
         {"music copy/song.mp3", "music copy/old/deeper/song.mp3"}},
    };
    for (const Case& c : files) {
      dialogs.folders = {c.folder};
      c.item->trigger();
      std::set<std::string> kept;
      for (const ListRow& row : form->Run().FileClones().Rows()) {
        const std::string& path = row.data->FullPath();
        if (!row.checked && path.rfind(photos.Root(), 0) == 0) kept.insert(path.substr(photos.Root().size() + 1));
      }
      for (const std::string& path : c.photoFilesKept) QVERIFY2(kept.count(path) == 1, path.c_str());
      QCOMPARE(test::GroupsLosingEveryCopy(form->Run().FileClones()), std::vector<int>{});
    }
    QCOMPARE(dialogs.lastFolderTitle, QString("Select the folder whose copies to keep"));
    // The folder page is untouched until it is the active one.
    QVERIFY(std::none_of(form->Run().FolderClones().Rows().begin(), form->Run().FolderClones().Rows().end(),
                         [](const ListRow& row) { return row.checked; }));

    form->ShowFolderClones();
    const Case folders[] = {
        {Item("KeepOldest1"), {}, {"photos/trip", "photos/trip/day1", "photos/trip/day2"}},
        {Item("KeepNewest1"), {}, {"backup/trip", "backup/trip/day2", "loose/day1"}},
        {Item("KeepCopiesInFolder1"),
         QString::fromStdString(tree->Path("photos/trip/day1")),
         {"photos/trip", "photos/trip/day1"}},
    };
    for (const Case& c : folders) {
      dialogs.folders = {c.folder};
      c.item->trigger();
      const std::set<std::string> kept = test::UncheckedPaths(form->Run().FolderClones(), *tree);
      for (const std::string& path : c.photoFilesKept) QVERIFY2(kept.count(path) == 1, path.c_str());
      QCOMPARE(test::GroupsLosingEveryCopy(form->Run().FolderClones()), std::vector<int>{});
    }
    // A cancelled picker changes nothing.
    const std::set<std::string> before = test::UncheckedPaths(form->Run().FolderClones(), *tree);
    dialogs.folders = {QString()};
    Item("KeepCopiesInFolder1")->trigger();
    QCOMPARE(test::UncheckedPaths(form->Run().FolderClones(), *tree), before);
  }

  // A folder without a copy in some groups, or in any, is said to be so: the
  // person meant to keep copies there.
  void keepCopiesInFolderTellsWhereTheFolderHoldsNoCopy() {
    test::TempTree photos;
    test::MakePhotoTree(photos);
    form->AddFolder(QString::fromStdString(photos.Root()));
    form->ScanFolders();
    QCOMPARE(form->Run().FileClones().Groups().size(), std::size_t{3});
    const struct {
      std::string folder;
      QStringList shown;
    } cases[] = {
        {photos.Root(), {}},
        {photos.Path("photos"),
         {"message:" + QString::fromStdString(photos.Path("photos")) +
          " holds no copy in 1 of 3 groups on this page; those groups keep their first copy."}},
        {photos.Path("documents"),
         {"message:" + QString::fromStdString(photos.Path("documents")) +
          " holds no copy of any group on this page; each group keeps its first copy."}},
    };
    for (const auto& c : cases) {
      dialogs.shown.clear();
      dialogs.folders = {QString::fromStdString(c.folder)};
      Item("KeepCopiesInFolder1")->trigger();
      QCOMPARE(dialogs.shown, c.shown);
      QCOMPARE(test::GroupsLosingEveryCopy(form->Run().FileClones()), std::vector<int>{});
    }
  }

  void errorBoxTextEndsInAPoint() {
    QCOMPARE(ErrorBoxText("Access denied"), QString("Access denied."));
    QCOMPARE(ErrorBoxText("Done."), QString("Done."));
    QCOMPARE(ErrorBoxText("Failed!"), QString("Failed!"));  // "!" lies below "."
    QCOMPARE(ErrorBoxText("code 5"), QString("code 5."));
    QCOMPARE(ErrorBoxText(""), QString(""));
  }

  void errorsEscapingAnEventHandlerAreShown() {
    auto* app = static_cast<OrvantaApplication*>(QCoreApplication::instance());
    app->SetDialogs(&dialogs);
    QTimer::singleShot(0, [] { throw std::runtime_error("Cannot write file"); });
    QTest::qWait(20);
    app->SetDialogs(nullptr);
    QCOMPARE(dialogs.shown, QStringList{"error:Cannot write file."});
  }

  // Action > Replace checked with links to the kept copy: only on the file
  // page, after the question; every path stays and the linked rows go grey.
  void replacingWithLinksKeepsEveryPathAndGreysTheLinkedRows() {
    ScanBothLists();
    Item("FolderClones1")->trigger();
    Item("ReplaceCheckedWithLinks1")->trigger();
    QCOMPARE(dialogs.shown.last(), QString("message:Only files are replaced with links."));
    Item("FileClones1")->trigger();
    Item("Checkallbutoneingroup1")->trigger();
    std::vector<std::string> paths;
    for (const ListRow& row : form->Run().FileClones().Rows()) paths.push_back(row.data->FullPath());
    dialogs.confirmations = {true};
    Item("ReplaceCheckedWithLinks1")->trigger();
    QVERIFY(dialogs.shown.last().startsWith("message:Files were replaced with links to the kept copy."));
    const std::vector<ListRow>& rows = form->Run().FileClones().Rows();
    QCOMPARE(rows.size(), paths.size());
    for (std::size_t i = 0; i < rows.size(); ++i) {
      QVERIFY(QFile::exists(QString::fromStdString(paths[i])));
      QCOMPARE(rows[i].checked, false);
      QCOMPARE(rows[i].stale, i != 0 && rows[i].groupId == rows[i - 1].groupId);
    }
  }
};

}  // namespace orvanta

int main(int argc, char** argv) {
  orvanta::test::UseScratchHome();
  orvanta::OrvantaApplication app(argc, argv);
  orvanta::MainWindowTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "main_window_test.moc"
