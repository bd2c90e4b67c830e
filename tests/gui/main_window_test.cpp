// The main window, driven as a user would, with scripted dialogs.
#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QDateTime>
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
#include <QStyle>
#include <QTabWidget>
#include <QTextLayout>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <map>
#include <set>
#include <stdexcept>

#include "../engine/list_checks.h"
#include "../engine/test_support.h"
#include "actions/list_rows.h"
#include "core/app_info.h"
#include "core/file_record.h"
#include "core/paths.h"
#include "gui/application.h"
#include "gui/desktop_shell.h"
#include "gui/dialogs.h"
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
  std::unique_ptr<test::ScopedEnvironmentVariable> configHome;

  static QString YesButtonText() {
    QMessageBox box(QMessageBox::Question, "", "", QMessageBox::Yes | QMessageBox::No);
    return box.button(QMessageBox::Yes)->text();
  }

  // A menu text as the person reads it: its Alt letter's marker "&" taken
  // out, and the letter after a Chinese, Japanese or Korean text ("(&F)").
  static QString Shown(QString text) {
    static const QRegularExpression kAfter("\\(&[A-Z0-9]\\)$");
    text.remove(kAfter);
    return text.replace(QRegularExpression("&(.)"), "\\1");
  }

  // The form's menu item and button of that objectName.
  QAction* Item(const char* name) const { return Find<QAction>(*form, name); }
  QAbstractButton* Button(const char* name) const { return Find<QAbstractButton>(*form, name); }

  // Three groups that each column orders differently: "12345" three times
  // (a, b), "big..." twice (d, e: the largest total), "mid" twice (f, g,
  // the newest file).
  void ScanGroupsToSort() {
    tree->File("d/zz.bin", std::string(4000, 'x'));
    tree->File("e/zz.bin", std::string(4000, 'x'));
    tree->File("f/mm.bin", std::string(300, 'y'));
    tree->File("g/mm.bin", std::string(300, 'y'));
    for (const char* old : {"a/same.txt", "b/same.txt", "b/copy.txt", "d/zz.bin", "e/zz.bin"}) {
      test::SetModifiedYear(tree->Path(old), 2001);
    }
    form->AddFolder(QString::fromStdString(tree->Root()));
    form->ScanFolders();
    QCOMPARE(form->Run().FileClones().Groups().size(), std::size_t{3});
  }
  // Each shown line as "Group N" for a header or "N dir/name" for a member
  // (N its group), checking that members sit under their own group's header.
  QStringList ShownLines(const ResultListView* view) {
    const ResultListModel* model = view->ResultModel();
    const ResultList& list = const_cast<ResultListModel*>(model)->List();
    QStringList lines;
    QString header;
    for (int line = 0; line < model->rowCount(); ++line) {
      const QModelIndex index = model->index(line, 0);
      if (model->IsGroupHeader(index)) {
        header = model->data(index, Qt::DisplayRole).toString().section(' ', 0, 1);
        lines << header;
        continue;
      }
      const ListRow& row = list.Rows()[static_cast<std::size_t>(model->EngineRow(index))];
      if (header != "Group " + QString::fromStdString(row.caption)) return {"member out of its group"};
      lines << QString::fromStdString(row.caption + " " + tree->Relative(row.data->FullPath()));
    }
    return lines;
  }

  // Runs `action` at the next message pump of the running scan.
  void AtNextPump(std::function<void()> action) { QTimer::singleShot(0, form.get(), std::move(action)); }

 private slots:
  void init() {
    dialogs = test::ScriptedDialogs();
    shell = RecordingShell();
    tree = std::make_unique<test::TempTree>();
    // Settings of a test's own: what one window saves at closing, the next test's window would find.
    configHome = std::make_unique<test::ScopedEnvironmentVariable>("XDG_CONFIG_HOME", tree->Path("settings"));
    form = std::make_unique<FaultyForm>(dialogs, shell);
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
    configHome.reset();
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
    // On by default, in the user's cache folder (here the test's scratch one).
    QVERIFY(Find<QCheckBox>(fresh, "chkDigestCache")->isChecked());
    QCOMPARE(fresh.DigestCacheFile(), platform::UserCacheFolder() + "/orvanta/digests.db");
    QVERIFY(fresh.DigestCacheFile().rfind(test::ScratchHome(), 0) == 0);
    Find<QCheckBox>(fresh, "chkDigestCache")->setChecked(false);
    QCOMPARE(fresh.DigestCacheFile(), std::string());
    // Off by default; the scan reads the box when it starts.
    QVERIFY(!Find<QCheckBox>(fresh, "chkOneFileSystem")->isChecked());
    QVERIFY(!fresh.OneFileSystem());
    Find<QCheckBox>(fresh, "chkOneFileSystem")->setChecked(true);
    QVERIFY(fresh.OneFileSystem());
    QCOMPARE(Find<QLineEdit>(fresh, "edMasks")->text(), QString("*.*"));
    const std::tuple<QSpinBox*, int, int, int> spins[] = {{Find<QSpinBox>(fresh, "seMinSizeMB"), 0, 1048576, 1},
                                                          {Find<QSpinBox>(fresh, "seMaxGroups"), 0, 1000000, 100},
                                                          {Find<QSpinBox>(fresh, "seMinGroupSize"), 2, 1000, 2},
                                                          {Find<QSpinBox>(fresh, "seCacheLimitMB"), 1, 1048576, 256}};
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
    // Keys only where the command table gives them.
    std::map<QString, QString> keys;
    for (const QAction* action : fresh.findChildren<QAction*>()) {
      if (!action->shortcuts().isEmpty()) keys[action->objectName()] = QKeySequence::listToString(action->shortcuts());
    }
    QCOMPARE(keys, (std::map<QString, QString>{{"Scan1", "F5; Ctrl+R"},
                                               {"Stop1", "Esc"},
                                               {"MoveCheckedtoRecycleBin1", "Del"},
                                               {"ExportActiveList1", "Ctrl+E"},
                                               {"OpenMenuBar1", "F10"},
                                               {"FindInLists1", "Ctrl+F"}}));
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

  void theScansFiguresTheCacheAndClearCache() {
    const std::string cacheFile = form->DigestCacheFile();
    QVERIFY(!cacheFile.empty());
    form->AddFolder(QString::fromStdString(tree->Root()));
    Button("btnScan")->click();
    QCOMPARE(Find<QLabel>(*form, "lblStatus")->text(), QString("  Done."));
    const QString figures = Find<QLabel>(*form, "lblScanFigures")->text();
    QVERIFY2(figures.startsWith("Scanned in ") && figures.endsWith(" s: 3 files read, 0 from the cache."),
             qPrintable(figures));
    QVERIFY(platform::FileExists(cacheFile));
    Item("ClearCache1")->trigger();
    QVERIFY(!platform::FileExists(cacheFile));
    QCOMPARE(Find<QLabel>(*form, "lblStatus")->text(), QString("The digest cache is empty."));
    // A cache file that is not one is set aside with one message.
    { std::ofstream(cacheFile) << "not a database"; }
    Button("btnScan")->click();
    QCOMPARE(dialogs.shown.size(), 1);
    QVERIFY2(dialogs.shown[0].contains("set aside"), qPrintable(dialogs.shown[0]));
    QVERIFY(platform::FileExists(cacheFile + ".set-aside"));
    Item("ClearCache1")->trigger();
    // Without the cache, nothing is made.
    Find<QCheckBox>(*form, "chkDigestCache")->setChecked(false);
    Button("btnScan")->click();
    QVERIFY(!platform::FileExists(cacheFile));
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
        "utorial1", "ContactUs1", "VisitWebsite1", "About1",      "OpenMenuBar1"};
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
        // Undo removal, when idle, follows the removal record (undoRemovalPutsBackWhatTheLastRemovalMoved).
        if (!scanning && name == "UndoRemoval1") return;
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
        {"File1",
         "File: Add Folder... | - | Export File Clones... | Export Folder Clones... | Export HTML... | - | Save "
         "results... | Open results... | - | Exit"},
        {"Action1",
         "Action: Scan | Stop | - | Remove Checked | Replace checked with links to the kept copy | Move checked to "
         "folder... | Copy checked to folder... | Undo removal | - | Clear cache"},
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
      for (const QAction* item : menu->actions()) items << (item->isSeparator() ? "-" : Shown(item->text()));
      QCOMPARE(Shown(menu->title()) + ": " + items.join(" | "), expected);
    }
    QStringList bar;
    for (const QAction* menu : form->menuBar()->actions()) bar << Shown(menu->text());
    QCOMPARE(bar, (QStringList{"File", "Action", "Edit", "View", "Help"}));
    const std::pair<const char*, QString> buttons[] = {
        {"btnAddFolder", "Add folder..."},
        {"btnRemoveFolder", "Remove Selected"},
        {"btnScan", "Scan"},
        {"btnSelectAllButOne", "Check all but one in group"},
        {"btnCheckAll", "Check all"},
        {"btnUncheckAll", "Uncheck all"},
        {"btnOpenLocation", "Open location"},
        {"btnDeleteSelected", "Delete checked to Trash"},
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

  void theWindowHasItsOwnIcon() {
    const QIcon icon = form->windowIcon();
    QVERIFY(!icon.isNull());
    for (const int size : {16, 32, 48, 128}) QVERIFY(icon.availableSizes().contains(QSize(size, size)));
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
    QCOMPARE(dialogs.shown.last(), QString("confirm:Move 4 files to the Trash?\n\n"
                                           "No copy would remain of these groups:\nGroup 1 (0.00 MB)"));
    QVERIFY(!dialogs.lastConfirmDefaultYes);
    QCOMPARE(form->Run().FileClones().Rows().size(), std::size_t{4});

    Item("Checkallbutoneingroup1")->trigger();
    const std::string kept = form->Run().FileClones().Rows()[0].data->FullPath();
    const std::string moved = form->Run().FileClones().Rows()[1].data->FullPath();
    dialogs.confirmations = {true};
    Item("MoveCheckedtoRecycleBin1")->trigger();
    QCOMPARE(dialogs.shown.mid(2),
             (QStringList{"confirm:Move 3 files to the Trash?", "message:Files were moved to the Trash."}));
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
    QCOMPARE(dialogs.shown.last(),
             QString::fromStdString("message:Some files were kept in place.\n\nMoved: 2. Stayed: 1."
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
    QCOMPARE(dialogs.shown,
             (QStringList{"confirm:Move 3 directories to the Trash?", "message:Directories were moved to the Trash."}));
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
    QVERIFY2(outcome.startsWith("message:Some files were kept in place.\n\nMoved: 1. Stayed: 2.\n\n"
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
               "confirm:Move 1 file to the Trash?\n\n1 of them differs from the copy that is kept:\n" + quoted);
      QCOMPARE(dialogs.shown[1], QString("confirm:Move the 1 that differs from the copy that is kept as well?"));
      QVERIFY(!dialogs.lastConfirmDefaultYes);
      QCOMPARE(QFile::exists(QString::fromStdString(other)), !secondYes);
      QCOMPARE(dialogs.shown[2], secondYes ? QString("message:Files were moved to the Trash.")
                                           : "message:Some files were kept in place.\n\nMoved: 0. Stayed: 1.\n\n"
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
    QCOMPARE(dialogs.shown.last(), QString("message:Files were moved to the Trash."));

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
    // Ctrl+click on the selected row clears the selection; the cursor stays on it.
    ResultListView* files = Find<ResultListView>(*form, "lvFiles");
    const QModelIndex selected = files->model()->index(1, 1);
    QTest::mouseClick(files->viewport(), Qt::LeftButton, Qt::ControlModifier, files->visualRect(selected).center());
    QCOMPARE(files->currentIndex().row(), 1);
    QVERIFY(!files->selectionModel()->hasSelection());
    Button("btnOpenLocation")->click();
    QCOMPARE(dialogs.shown.last(), QString("message:Please select an item first."));
    QCOMPARE(shell.requests.size(), 1);

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
      QCOMPARE(view->SelectedEngineRow(), model->EngineRow(view->currentIndex()));
    }

    // Each cell's tooltip starts with the row's full path (details follow), the header's nothing.
    const QModelIndex member = model->index(5, 1);
    const std::size_t engineRow = static_cast<std::size_t>(model->EngineRow(member));
    QCOMPARE(model->data(member, Qt::ToolTipRole).toString().section('\n', 0, 0),
             QChar(0x2066) + QString::fromStdString(list.Rows()[engineRow].data->FullPath()) + QChar(0x2069));
    QVERIFY(!model->data(model->index(4, 1), Qt::ToolTipRole).isValid());
  }

  // A message box belongs to the window: owned by it, modal to it, and
  // centred over it wherever it was moved, as the desktop places dialogs.
  void messageBoxesAreCentredOverTheirWindow() {
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    form->move(20, 15);
    QCoreApplication::processEvents();
    SystemDialogs real;
    QWidget* owner = nullptr;
    QPoint boxCentre;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      QVERIFY(box != nullptr);
      owner = box->parentWidget();
      boxCentre = box->geometry().center();
      box->accept();
    });
    real.Message(form.get(), "Please select an item first.");
    QCOMPARE(owner, form.get());
    QVERIFY2((boxCentre - form->geometry().center()).manhattanLength() <= 4,
             qPrintable(QString("%1,%2 against %3,%4")
                            .arg(boxCentre.x())
                            .arg(boxCentre.y())
                            .arg(form->geometry().center().x())
                            .arg(form->geometry().center().y())));
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

  void headerClicksSortTheGroupsAndKeepTheirMembersTogether() {
    const test::ScopedEnvironmentVariable dataHome("XDG_DATA_HOME", tree->Path("data"));
    ScanGroupsToSort();
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    auto* view = Find<ResultListView>(*form, "lvFiles");
    const QStringList found = ShownLines(view);
    QCOMPARE(found.filter("Group "), (QStringList{"Group 1", "Group 2", "Group 3"}));
    QCOMPARE(found.size(), 10);
    QCOMPARE(view->header()->sortIndicatorSection(), -1);  // as the scan listed them, no indicator
    const auto click = [view](int column) {
      const QRect section(view->header()->sectionViewportPosition(column), 0, view->header()->sectionSize(column),
                          view->header()->height());
      QTest::mouseClick(view->header()->viewport(), Qt::LeftButton, {}, section.center());
    };
    // Each column and its key; counts, sizes and dates start with the largest.
    const std::tuple<int, Qt::SortOrder, QStringList> clicks[] = {
        {0, Qt::DescendingOrder, {"Group 3", "Group 1", "Group 2"}},  // members
        {0, Qt::AscendingOrder, {"Group 1", "Group 2", "Group 3"}},   // again: reversed, ties as listed
        {1, Qt::AscendingOrder, {"Group 3", "Group 2", "Group 1"}},   // first names: copy, mm, zz
        {2, Qt::AscendingOrder, {"Group 3", "Group 1", "Group 2"}},   // folders: a, d, f
        {2, Qt::DescendingOrder, {"Group 2", "Group 1", "Group 3"}},
        {3, Qt::DescendingOrder, {"Group 1", "Group 2", "Group 3"}},  // total size
        {4, Qt::DescendingOrder, {"Group 2", "Group 1", "Group 3"}},  // the newest member
    };
    for (const auto& [column, order, groups] : clicks) {
      click(column);
      QCOMPARE(view->header()->sortIndicatorSection(), column);
      QCOMPARE(view->header()->sortIndicatorOrder(), order);
      const QStringList lines = ShownLines(view);
      QCOMPARE(lines.filter("Group "), groups);
      QCOMPARE(lines.size(), found.size());
      for (const QString& group : groups) {  // each group's members as listed, right under it
        const int at = static_cast<int>(found.indexOf(group));
        const int to = static_cast<int>(lines.indexOf(group));
        for (int i = 1; at + i < found.size() && !found[at + i].startsWith("Group "); ++i) {
          QCOMPARE(lines[to + i], found[at + i]);
        }
      }
    }

    // The sorted view acts on the rows it shows: marks, open location, removal.
    Button("btnUncheckAll")->click();
    Button("btnSelectAllButOne")->click();
    const ResultList& list = form->Run().FileClones();
    for (const ListRow& row : list.Rows()) {
      const bool first = &row == &list.Rows().front() || (&row)[-1].groupId != row.groupId;
      QCOMPARE(row.checked, !first);
    }
    Button("btnUncheckAll")->click();
    const QModelIndex chosen = view->model()->index(1, 0);  // the first member shown, of group 2
    const QString shownPath =
        view->model()->index(1, 2).data().toString() + "/" + view->model()->index(1, 1).data().toString();
    const std::string path = shownPath.toStdString();
    const std::string other = tree->Path(path == tree->Path("f/mm.bin") ? "g/mm.bin" : "f/mm.bin");
    QVERIFY(path == tree->Path("f/mm.bin") || path == tree->Path("g/mm.bin"));
    view->setCurrentIndex(chosen);
    Button("btnOpenLocation")->click();
    QCOMPARE(shell.requests, QStringList{"show:" + QString::fromStdString(path)});
    QVERIFY(view->model()->setData(chosen, Qt::Checked, Qt::CheckStateRole));
    dialogs.confirmations = {true};
    Button("btnDeleteSelected")->click();
    QCOMPARE(dialogs.shown.first(), QString("confirm:Move 1 file to the Trash?"));
    QVERIFY(!QFile::exists(QString::fromStdString(path)));
    QVERIFY(QFile::exists(QString::fromStdString(other)));
    QCOMPARE(ShownLines(view).filter("Group "), (QStringList{"Group 2", "Group 1", "Group 3"}));  // still sorted
  }

  void theSearchShowsWholeGroupsAndCtrlFReachesIt() {
    ScanGroupsToSort();
    form->show();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    auto* search = Find<QLineEdit>(*form, "edSearch");
    QCOMPARE(search->placeholderText(), QString("Search paths (Ctrl+F)"));
    auto* view = Find<ResultListView>(*form, "lvFiles");
    view->setFocus();
    QTest::keyClick(form.get(), Qt::Key_F, Qt::ControlModifier);
    QCOMPARE(QApplication::focusWidget(), search);
    const QStringList all = ShownLines(view);
    QTest::keyClicks(search, "B/COPY");  // one member of group 3: all three shown
    QCOMPARE(ShownLines(view), all.mid(all.indexOf("Group 3"), 4));
    search->setText("/mm.");
    QCOMPARE(ShownLines(view).filter("Group "), QStringList{"Group 2"});
    search->setText("no such path");
    QCOMPARE(view->model()->rowCount(), 0);
    search->clear();
    QCOMPARE(ShownLines(view), all);

    // Marks act on the whole list; the question counts what the search hides.
    search->setText("zz.bin");
    Button("btnCheckAll")->click();
    for (const ListRow& row : form->Run().FileClones().Rows()) QVERIFY(row.checked);
    Button("btnDeleteSelected")->click();  // answered No
    QVERIFY(dialogs.shown.last().endsWith("\n\n5 of them are hidden by the search."));
    QCOMPARE(form->Run().FileClones().Rows().size(), std::size_t{7});
  }

  void theExtraColumnsShowDatesAndExactSizes() {
    ScanGroupsToSort();
    auto* view = Find<ResultListView>(*form, "lvFiles");
    auto* model = view->ResultModel();
    QCOMPARE(model->columnCount(), 6);
    for (const auto& [column, caption] : {std::pair{0, "Group"},
                                          {1, "File name"},
                                          {2, "Directory"},
                                          {3, "File size (MB)"},
                                          {4, "Modified"},
                                          {5, "Size (bytes)"}}) {
      QCOMPARE(model->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString(), QString(caption));
    }
    auto* dirs = Find<ResultListView>(*form, "lvDirs")->ResultModel();
    QCOMPARE(dirs->headerData(3, Qt::Horizontal, Qt::DisplayRole).toString(), QString("Modified"));
    QVERIFY(!view->isColumnHidden(4));
    QVERIFY(view->isColumnHidden(5));  // until asked for from the header's menu

    const QModelIndex member = model->index(1, 0);  // d/zz.bin, 4000 bytes
    const ListRow& row = form->Run().FileClones().Rows()[static_cast<std::size_t>(model->EngineRow(member))];
    QCOMPARE(model->index(1, 4).data().toString(),
             QLocale().toString(QDateTime::fromMSecsSinceEpoch(row.data->modified / 1000000), QLocale::ShortFormat));
    QVERIFY(model->index(1, 4).data().toString().contains("01"));
    QCOMPARE(model->index(1, 5).data().toString(), QLocale().toString(4000));
    QCOMPARE(model->index(1, 3).data(Qt::ToolTipRole).toString(), QLocale().toString(4000) + " bytes");
    const QStringList details = model->index(1, 1).data(Qt::ToolTipRole).toString().split('\n');
    // Each value isolated in its own direction, the path left to right.
    const auto isolated = [](const QString& value) { return QChar(0x2068) + value + QChar(0x2069); };
    QCOMPARE(details.value(0), QChar(0x2066) + QString::fromStdString(row.data->FullPath()) + QChar(0x2069));
    QCOMPARE(details.value(1), "Size: " + isolated(QLocale().toString(4000)) + " bytes");
    QCOMPARE(details.value(2), "Modified: " + isolated(model->index(1, 4).data().toString()));
    QVERIFY(details.value(3).startsWith(QString("Changed: ") + QChar(0x2068)));
    QCOMPARE(details.value(4),
             "Owner: " + isolated(QString::fromStdString(platform::UserName(*platform::CurrentUserId()))));

    std::unique_ptr<QMenu> menu(view->MakeColumnMenu(nullptr));
    QCOMPARE(menu->actions().size(), 2);
    QCOMPARE(menu->actions()[0]->text(), QString("Modified"));
    QVERIFY(menu->actions()[0]->isChecked());
    QCOMPARE(menu->actions()[1]->text(), QString("Size (bytes)"));
    QVERIFY(!menu->actions()[1]->isChecked());
    menu->actions()[1]->trigger();
    QVERIFY(!view->isColumnHidden(5));
    menu->actions()[0]->trigger();
    QVERIFY(view->isColumnHidden(4));
  }

  // "02 - Hit 2.mp3" in an Arabic window: the name is laid out in its own
  // direction, not the window's, so it does not read "Hit 2.mp3 - 02".
  void anArabicRowKeepsTheOrderOfItsName() {
    const test::ScopedEnvironmentVariable configHome("XDG_CONFIG_HOME", tree->Path("config"));
    LoadTranslationsFrom(platform::JoinedPath(platform::ExecutableFolder(), "transl.dt"), std::nullopt, "en");
    const QString name = "02 - Hit 2.mp3";
    const QString arabicName = QString::fromUtf8("\xD8\xA3\xD8\xBA\xD9\x86\xD9\x8A\xD8\xA9 1.mp3");
    for (const QString& file : {name, arabicName}) {
      tree->File("m/" + file.toStdString(), "song");
      tree->File("n/" + file.toStdString(), "song");
    }
    MainWindow window(dialogs, shell);
    Find<QSpinBox>(window, "seMinSizeMB")->setValue(0);
    window.AddFolder(QString::fromStdString(tree->Path("m")));
    window.AddFolder(QString::fromStdString(tree->Path("n")));
    for (QAction* language : Find<QMenu>(window, "mmLanguage")->actions()) {
      if (language->data().toInt() == 11) language->trigger();  // the catalogue's Arabic column
    }
    QCOMPARE(window.layoutDirection(), Qt::RightToLeft);
    window.ScanFolders();
    auto* view = Find<ResultListView>(window, "lvFiles");
    auto* delegate = dynamic_cast<PathDelegate*>(view->itemDelegateForColumn(1));
    QVERIFY(delegate != nullptr);
    QStyleOptionViewItem base;
    base.initFrom(view);
    QCOMPARE(base.direction, Qt::RightToLeft);
    base.font = view->font();
    int checked = 0;
    for (int line = 0; line < view->model()->rowCount(); ++line) {
      const QModelIndex cell = view->model()->index(line, 1);
      if (view->ResultModel()->IsGroupHeader(cell)) continue;
      const QStyleOptionViewItem option = delegate->CellOption(base, cell);
      const bool latin = option.text == name;
      QVERIFY(latin || option.text == arabicName);
      QCOMPARE(option.direction, latin ? Qt::LeftToRight : Qt::RightToLeft);
      // At the leading edge of the Arabic window.
      QVERIFY(QStyle::visualAlignment(option.direction, option.displayAlignment) & Qt::AlignRight);
      // Laid out as drawn: "0" left of "H" in the name's own direction, and
      // right of it (the reordering this prevents) in the window's.
      const auto xOf = [&option](Qt::LayoutDirection direction, int position) {
        QTextLayout layout(option.text, option.font);
        QTextOption text;
        text.setTextDirection(direction);
        layout.setTextOption(text);
        layout.beginLayout();
        QTextLine textLine = layout.createLine();
        textLine.setLineWidth(1000);
        layout.endLayout();
        return textLine.cursorToX(position);
      };
      // The date keeps its order too: laid out in its own (Latin) direction.
      auto* dates = dynamic_cast<PathDelegate*>(view->itemDelegateForColumn(4));
      QVERIFY(dates != nullptr);
      const QStyleOptionViewItem date = dates->CellOption(base, view->model()->index(line, 4));
      QVERIFY(!date.text.isEmpty());
      QCOMPARE(date.direction, date.text.isRightToLeft() ? Qt::RightToLeft : Qt::LeftToRight);
      if (latin) {  // inside "02" and inside "Hit", away from the runs' edges
        QVERIFY(xOf(option.direction, 1) < xOf(option.direction, 6));
        QVERIFY(xOf(Qt::RightToLeft, 1) > xOf(Qt::RightToLeft, 6));
      }
      ++checked;
    }
    QCOMPARE(checked, 4);
    LoadTranslationsFrom(tree->Path("none"), std::nullopt, "en");
  }

  void csvExtraColumnsAreAskedForAndAnExistingFileIsAskedAbout() {
    ScanGroupsToSort();
    const QString csv = QString::fromStdString(tree->Path("out.csv"));
    dialogs.saveFiles = {csv};
    Button("btnExportFiles")->click();
    QFile written(csv);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QVERIFY(written.readAll().startsWith("\xEF\xBB\xBFGroup,File name,Directory,File size (MB)\r\n\"1\",\"zz.bin\""));
    written.close();
    QVERIFY(dialogs.shown.isEmpty());

    auto* extraColumns = Find<QCheckBox>(*form, "chkCsvExtraColumns");
    QVERIFY(!extraColumns->isChecked());
    QCOMPARE(extraColumns->text(), QString("CSV with sizes in bytes and check marks"));
    extraColumns->setChecked(true);
    dialogs.saveFiles = {csv, csv};
    dialogs.overwrites = {false, true};
    Button("btnExportFiles")->click();  // No: the file stays
    QCOMPARE(dialogs.shown, QStringList{"overwrite:" + csv});
    QVERIFY(written.open(QIODevice::ReadOnly));
    QVERIFY(!written.readAll().contains("Checked"));
    written.close();
    Button("btnExportFiles")->click();
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QByteArray extra = written.readAll();
    QVERIFY(extra.startsWith(
        "\xEF\xBB\xBFGroup,File name,Directory,File size (MB),Size (bytes),Checked\r\n\"1\",\"zz.bin\""));
    QVERIFY(extra.contains(",\"0.00 MB\",\"4000\",\"0\"\r\n"));
    QVERIFY(extra.contains(",\"0.00 MB\",\"4000\",\"1\"\r\n"));
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
    QCOMPARE(dialogs.shown,
             (QStringList{nothing.arg(file), nothing.arg(folder), nothing.arg(QString::fromStdString(LocalManual()))}));
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

  void undoRemovalPutsBackWhatTheLastRemovalMoved() {
    const test::ScopedEnvironmentVariable dataHome("XDG_DATA_HOME", tree->Path("data"));
    ScanBothLists();  // the end of the scan enables the item by the record of the data folder now in use
    QVERIFY(!Item("UndoRemoval1")->isEnabled());
    Item("Checkallbutoneingroup1")->trigger();
    const std::string moved = form->Run().FileClones().Rows()[1].data->FullPath();
    dialogs.confirmations = {true};
    Item("MoveCheckedtoRecycleBin1")->trigger();
    QVERIFY(!QFile::exists(QString::fromStdString(moved)));
    QVERIFY(Item("UndoRemoval1")->isEnabled());
    dialogs.shown.clear();
    dialogs.confirmations = {true};
    Item("UndoRemoval1")->trigger();
    QCOMPARE(dialogs.shown, (QStringList{"confirm:Put back the 3 items the last removal moved to the trash?",
                                         "message:Put back: 3. Stayed: 0."}));
    QVERIFY(QFile::exists(QString::fromStdString(moved)));
    QVERIFY(!Item("UndoRemoval1")->isEnabled());
  }

  // Saved and opened again: the same rows, marks and folders; an item
  // changed since is stale, unchecked, and no removal touches it.
  void savedResultsOpenAgainAndWhatChangedSinceStaysPut() {
    const test::ScopedEnvironmentVariable dataHome("XDG_DATA_HOME", tree->Path("data"));
    ScanBothLists();
    Item("Checkallbutoneingroup1")->trigger();
    const auto rows = [](const ResultList& list) {
      QStringList texts;
      for (const ListRow& row : list.Rows()) {
        texts << QString::fromStdString((row.checked ? "x " : "") + row.caption + " " + RowPath(row));
      }
      return texts;
    };
    const QStringList files = rows(form->Run().FileClones()), folders = rows(form->Run().FolderClones());
    const QString saved = QString::fromStdString(tree->Path("saved.json"));
    dialogs.saveFiles = {saved};
    Item("SaveResults1")->trigger();
    QCOMPARE(dialogs.lastSaveName, QString("results.orvanta.json"));

    MainWindow fresh(dialogs, shell);
    dialogs.openFiles = {saved};
    Find<QAction>(fresh, "OpenResults1")->trigger();
    QCOMPARE(dialogs.shown, QStringList{});
    QCOMPARE(rows(fresh.Run().FileClones()), files);
    QCOMPARE(rows(fresh.Run().FolderClones()), folders);
    QCOMPARE(Find<QListWidget>(fresh, "lbFolders")->count(), 1);
    QVERIFY(Find<QRadioButton>(fresh, "rbContent")->isChecked());

    test::EditInPlaceKeepingTime(tree->Path("b/copy.txt"), "54321");
    dialogs.openFiles = {saved};
    Find<QAction>(fresh, "OpenResults1")->trigger();
    QCOMPARE(dialogs.shown,
             QStringList{"message:1 of the saved items changed since; they are greyed and nothing acts on them "
                         "until the next scan."});
    dialogs.confirmations = {true};
    Find<QAction>(fresh, "Checkall1")->trigger();
    Find<QAction>(fresh, "MoveCheckedtoRecycleBin1")->trigger();
    QVERIFY(QFile::exists(QString::fromStdString(tree->Path("b/copy.txt"))));

    dialogs.shown.clear();
    QFile garbage(QString::fromStdString(tree->Path("garbage.json")));
    QVERIFY(garbage.open(QIODevice::WriteOnly));
    garbage.write("{\"format\": \"orvanta-results\", \"version\": 1, \"compare\": ");
    garbage.close();
    dialogs.openFiles = {garbage.fileName()};
    Find<QAction>(fresh, "OpenResults1")->trigger();
    QCOMPARE(dialogs.shown.size(), 1);
    QVERIFY(dialogs.shown[0].startsWith("error:Cannot open the saved results: "));
    QVERIFY(dialogs.shown[0].endsWith("It is no JSON document (at byte 55)."));
  }

  void exportHtmlWritesOnePageOfBothLists() {
    ScanBothLists();
    const QString target = QString::fromStdString(tree->Path("page.html"));
    dialogs.saveFiles = {target};
    Item("ExportHtml1")->trigger();
    QCOMPARE(dialogs.lastSaveName, QString("duplicates.html"));
    QFile written(target);
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QByteArray page = written.readAll();
    QVERIFY(page.startsWith("<!DOCTYPE html>"));
    QVERIFY(page.contains("<h2>File Clones</h2>"));
    QVERIFY(page.contains("<h2>Folder Clones</h2>"));
  }

  // The maker's host of this build is the placeholder, which reaches nobody:
  // the items open the manual that came with the program.
  void helpLinksOpenTheManualWhileTheSiteIsThePlaceholder() {
    QCOMPARE(QString(kMakerHost), QString("orvanta.invalid"));
    const QString manual = QString::fromStdString(LocalManual());
    QCOMPARE(manual, QString::fromStdString(platform::JoinedPath(platform::ExecutableFolder(), "README.md")));
    Item("utorial1")->trigger();
    Item("ContactUs1")->trigger();
    Item("VisitWebsite1")->trigger();
    QCOMPARE(shell.requests, (QStringList{"item:" + manual, "item:" + manual, "item:" + manual}));
    QVERIFY(dialogs.shown.isEmpty());
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
      QCOMPARE(Shown(items[1]->text()), QString("Deutsch"));
      QVERIFY(items[0]->isChecked() && !items[1]->isChecked());
      Find<QRadioButton>(window, "rbSize")->setChecked(true);
      Find<QLabel>(window, "lblStatus")->setText("  Done.");

      items[1]->trigger();
      QVERIFY(!items[0]->isChecked() && items[1]->isChecked());
      QCOMPARE(Find<QAbstractButton>(window, "btnScan")->text(), QString("Suchen"));
      QCOMPARE(Shown(Find<QAction>(window, "Scan1")->text()), QString("Suchen"));
      QCOMPARE(Shown(Find<QAction>(window, "Checkall1")->text()), QString("Alle markieren"));
      QCOMPARE(Find<QAbstractButton>(window, "btnCheckAll")->text(), QString("Check all"));  // another key
      QCOMPARE(Shown(Find<QMenu>(window, "mmLanguage")->title()), QString("Sprache"));
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
      // The figures of a long scan of many files beside them.
      Find<QLabel>(window, "lblScanFigures")
          ->setText(QString::fromStdString(
              FormatText(TranslateText("Scanned in %s s: %d files read, %d from the cache."),
                         {std::string("123.45"), std::int64_t{1234567}, std::int64_t{12345678}})));
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
    QCOMPARE(Shown(Item("KeepCopiesInFolder1")->text()), QString("Keep copies in folder..."));

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

  // --- Remembered work and the keyboard ---

  void settingsComeBackAfterARestart() {
    // Names a stored line could break on: a line feed, the list's separator, its escape.
    const std::string odd = tree->Dir("line\nbreak|bar\\back");
    tree->Dir("plain");
    {
      FaultyForm window(dialogs, shell);
      dialogs.folders = {QString::fromStdString(odd), QString::fromStdString(tree->Path("plain"))};
      window.PickFolderToAdd();
      QCOMPARE(dialogs.lastFolderStart, QDir::homePath());  // nothing picked yet: home, not the working folder
      window.PickFolderToAdd();
      Find<QRadioButton>(window, "rbNameAndSize")->setChecked(true);
      Find<QCheckBox>(window, "chkFileDuplicates")->setChecked(false);
      Find<QCheckBox>(window, "chkDirDuplicates")->setChecked(true);
      Find<QCheckBox>(window, "chkParallelHash")->setChecked(false);
      Find<QCheckBox>(window, "chkOneFileSystem")->setChecked(true);
      Find<QLineEdit>(window, "edMasks")->setText("*.jpg;*.p|g\\x");
      Find<QSpinBox>(window, "seMinSizeMB")->setValue(7);
      Find<QSpinBox>(window, "seMaxGroups")->setValue(0);
      Find<QSpinBox>(window, "seMinGroupSize")->setValue(3);
      Find<QListWidget>(window, "lbFolders")->item(1)->setCheckState(Qt::Checked);  // a reference folder
      Find<QLineEdit>(window, "edExcludeFolders")->setText(".git; node_modules");
      Find<QSpinBox>(window, "seMaxSizeMB")->setValue(900);
      Find<QCheckBox>(window, "chkScanTrash")->setChecked(true);
      QVERIFY(!window.ReadPlaceholders());
      Find<QCheckBox>(window, "chkReadPlaceholders")->setChecked(true);
      window.show();
#ifndef _WIN32
      QVERIFY(Find<QCheckBox>(window, "chkReadPlaceholders")->isHidden());  // no such file here
#endif
      QVERIFY(window.close());
    }
    {
      FaultyForm again(dialogs, shell);
      const QListWidget* folders = Find<QListWidget>(again, "lbFolders");
      QCOMPARE(folders->count(), 2);
      QCOMPARE(folders->item(0)->text(), QString::fromStdString(tree->Folder("line\nbreak|bar\\back")));
      QCOMPARE(folders->item(1)->text(), QString::fromStdString(tree->Folder("plain")));
      QCOMPARE(again.Compare(), CompareMode::NameAndSize);
      QVERIFY(!again.FindFileClones() && again.FindFolderClones());
      QVERIFY(!again.ParallelHashing() && again.OneFileSystem());
      QCOMPARE(again.MasksText(), std::string("*.jpg;*.p|g\\x"));
      QCOMPARE(again.MinSizeMB(), 7);
      QCOMPARE(again.MaxGroups(), 0);
      QCOMPARE(again.MinGroupSize(), 3);
      QCOMPARE(again.ReferenceFolders(), std::vector<std::string>{tree->Folder("plain")});
      QCOMPARE(folders->item(0)->checkState(), Qt::Unchecked);
      QCOMPARE(again.ExcludedFolders(), (std::vector<std::string>{".git", "node_modules"}));
      QCOMPARE(again.MaxSizeMB(), 900);
      QVERIFY(again.ScanTrash());
      QVERIFY(again.ReadPlaceholders());
      dialogs.folders = {QString()};
      again.PickFolderToAdd();
      QCOMPARE(dialogs.lastFolderStart, QString::fromStdString(tree->Root()));
      dialogs.folders = {QString()};
      again.KeepCopiesInFolder();
      QCOMPARE(dialogs.lastFolderStart, QString::fromStdString(tree->Root()));
    }
    // A file edited by hand: what a control cannot take leaves its start value;
    // folders enter the list as chosen ones do, once each.
    const std::pair<const char*, const char*> edits[] = {{"MinSizeMB", "many"},   {"MaxGroups", "-5"},
                                                         {"CompareBy", "9"},      {"FindFileClones", "maybe"},
                                                         {"Folders", "/|/||/"},   {"LastFolder", "/no/such/folder"},
                                                         {"Masks", "*.jpg|*.png"}};
    for (const auto& [key, value] : edits) QVERIFY(platform::WriteSetting(key, value));
    FaultyForm edited(dialogs, shell);
    QCOMPARE(edited.MinSizeMB(), 1);
    QCOMPARE(edited.MaxGroups(), 100);
    QCOMPARE(edited.Compare(), CompareMode::Content);
    QVERIFY(edited.FindFileClones());
    QCOMPARE(edited.MasksText(), std::string("*.*"));
    QCOMPARE(edited.Folders(), std::vector<std::string>{"/"});
    dialogs.folders = {QString()};
    edited.PickFolderToAdd();
    QCOMPARE(dialogs.lastFolderStart, QDir::homePath());
  }

  void eachKeyRunsItsCommand() {
    form->AddFolder(QString::fromStdString(tree->Root()));
    form->show();
    form->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(form.get()));
    QLabel* status = Find<QLabel>(*form, "lblStatus");
    for (const QKeyCombination key : {QKeyCombination(Qt::Key_F5), QKeyCombination(Qt::CTRL | Qt::Key_R)}) {
      status->clear();
      QTest::keyClick(form.get(), key.key(), key.keyboardModifiers());
      QCOMPARE(status->text(), QString("  Done."));
    }
    AtNextPump([this] { QTest::keyClick(form.get(), Qt::Key_Escape); });
    QTest::keyClick(form.get(), Qt::Key_F5);
    QVERIFY(form->Run().StopFlag());
    QVERIFY(status->text().startsWith("Scanning cancelled. "));
    QTest::keyClick(form.get(), Qt::Key_F5);
    QTest::keyClick(form.get(), Qt::Key_Delete);  // answered No
    QCOMPARE(dialogs.shown, QStringList{"confirm:Move 2 files to the Trash?"});
    QTest::keyClick(form.get(), Qt::Key_E, Qt::ControlModifier);  // the page's list
    QCOMPARE(dialogs.lastSaveName, QString("duplicate_files.csv"));
    Item("FolderClones1")->trigger();
    QTest::keyClick(form.get(), Qt::Key_E, Qt::ControlModifier);
    QCOMPARE(dialogs.lastSaveName, QString("duplicate_directories.csv"));
    QTest::keyClick(form.get(), Qt::Key_F10);
    QCOMPARE(form->menuBar()->activeAction(), Find<QMenu>(*form, "File1")->menuAction());
  }

  // Every menu, in every language of the catalogue, has an Alt letter for
  // each of its items, no two alike, while its texts read as translated.
  void menusHaveAltLettersInEveryLanguage() {
    LoadTranslationsFrom(platform::JoinedPath(platform::ExecutableFolder(), "transl.dt"), std::nullopt, "en");
    MainWindow window(dialogs, shell);
    const QList<QAction*> languages = Find<QMenu>(window, "mmLanguage")->actions();
    QCOMPARE(languages.size(), 16);
    std::function<void(const QList<QAction*>&, const QString&)> check = [&](const QList<QAction*>& items,
                                                                            const QString& where) {
      std::set<QString> letters;
      for (const QAction* item : items) {
        if (item->isSeparator()) continue;
        const QString letter = QKeySequence::mnemonic(item->text()).toString();
        QVERIFY2(!letter.isEmpty(), qPrintable(where + ": " + item->text()));
        QVERIFY2(letters.insert(letter).second, qPrintable(where + ": " + letter + " twice, at " + item->text()));
        if (item->menu() != nullptr) check(item->menu()->actions(), where + " > " + Shown(item->text()));
      }
    };
    for (QAction* language : languages) {
      language->trigger();
      const QString name = Shown(language->text());
      check(window.menuBar()->actions(), name);
      QCOMPARE(Shown(Find<QMenu>(window, "File1")->title()), QString::fromStdString(TranslateText("File")));
      QCOMPARE(Shown(Find<QAction>(window, "MoveCheckedtoRecycleBin1")->text()),
               QString::fromStdString(TranslateText("Remove Checked")));
    }
    languages[0]->trigger();
    QCOMPARE(Find<QMenu>(window, "File1")->title(), QString("&File"));
    QCOMPARE(Find<QMenu>(window, "Help1")->title(), QString("&Help"));
  }

  // The status line says what it said, in the language chosen.
  void theStatusKeepsItsTextAcrossALanguageSwitch() {
    LoadTranslationsFrom(platform::JoinedPath(platform::ExecutableFolder(), "transl.dt"), std::nullopt, "en");
    MainWindow window(dialogs, shell);
    const QList<QAction*> languages = Find<QMenu>(window, "mmLanguage")->actions();
    QLabel* status = Find<QLabel>(window, "lblStatus");
    // Each made in English, then read in German, Japanese and English again.
    const std::function<std::string()> texts[] = {
        [] { return "  " + TranslateText("Done."); },
        [] { return FormatText(TranslateText("Found %d files (after filters)."), {std::int64_t{42}}); },
        // A path that looks like the template's own numbers.
        [] {
          return FormatText(TranslateText("Scanning: %s (%d/%d)"), {"/x (1/2)", std::int64_t{3}, std::int64_t{4}});
        },
    };
    for (const auto& text : texts) {
      window.SetStatusText(text());
      for (const int language : {1, 10, 0}) {
        languages[language]->trigger();
        QCOMPARE(status->text(), QString::fromStdString(text()));
      }
    }
    window.SetStatusText("no text of the catalogue");
    languages[1]->trigger();
    QCOMPARE(status->text(), QString::fromStdString(TranslateText("Ready")));
    languages[0]->trigger();
  }

  // Tab goes through the controls as the window shows them: the settings
  // panel left to right, the lists, the buttons under them, Stop.
  void tabFollowsTheLayout() {
    const QStringList order = {"lbFolders",         "chkOneFileSystem", "btnAddFolder",    "btnRemoveFolder",
                               "chkFileDuplicates", "chkDirDuplicates", "rbName",          "rbContent",
                               "edMasks",           "seMinSizeMB",      "chkParallelHash", "seMaxGroups",
                               "seMinGroupSize",    "btnScan",          "lvFiles",         "btnSelectAllButOne",
                               "btnCheckAll",       "btnUncheckAll",    "btnOpenLocation", "btnDeleteSelected",
                               "btnExportFiles",    "btnExportDirs",    "btnStop"};
    QStringList chain;
    const QWidget* first = Find<QWidget>(*form, "lbFolders");
    for (const QWidget* w = first; chain.size() < 1000; w = w->nextInFocusChain()) {
      if (order.contains(w->objectName()) && !chain.contains(w->objectName())) chain << w->objectName();
      if (w->nextInFocusChain() == first) break;
    }
    QCOMPARE(chain, order);
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

  // Folder a is checked as a reference folder; b/cache is excluded by name.
  void aReferenceFolderSurvivesCheckAllAndRemovalAndAnExclusionIsLeftOut() {
    const test::ScopedEnvironmentVariable dataHome("XDG_DATA_HOME", tree->Path("data"));
    tree->File("b/cache/same.txt", "12345");
    auto* folders = Find<QListWidget>(*form, "lbFolders");
    form->AddFolder(QString::fromStdString(tree->Path("a")));
    form->AddFolder(QString::fromStdString(tree->Path("b")));
    QCOMPARE(folders->item(0)->checkState(), Qt::Unchecked);
    QVERIFY(folders->item(0)->flags() & Qt::ItemIsUserCheckable);
    folders->item(0)->setCheckState(Qt::Checked);
    QCOMPARE(form->ReferenceFolders(), std::vector<std::string>{tree->Folder("a")});
    QCOMPARE(Find<QSpinBox>(*form, "seMaxSizeMB")->value(), 0);
    QVERIFY(!Find<QCheckBox>(*form, "chkScanTrash")->isChecked());
    Find<QLineEdit>(*form, "edExcludeFolders")->setText("cache; .git");
    QCOMPARE(form->ExcludedFolders(), (std::vector<std::string>{"cache", ".git"}));
    form->ScanFolders();

    const ResultList& files = form->Run().FileClones();
    std::vector<std::string> listed;
    for (const ListRow& row : files.Rows()) listed.push_back(tree->Relative(row.data->FullPath()));
    std::sort(listed.begin() + 1, listed.end());
    QCOMPARE(listed, (std::vector<std::string>{"a/same.txt", "b/copy.txt", "b/same.txt"}));
    QVERIFY(InReference(files.Rows()[0]));
    QAbstractItemModel* model = Find<ResultListView>(*form, "lvFiles")->model();
    const QModelIndex referenceRow = model->index(1, 0);  // below the group header
    QVERIFY(!(model->flags(referenceRow) & Qt::ItemIsUserCheckable));
    QVERIFY(model->data(referenceRow, Qt::ToolTipRole).toString().contains("reference folder"));

    Button("btnCheckAll")->click();
    QCOMPARE(Checks(files), (std::vector<bool>{false, true, true}));
    dialogs.confirmations = {true};
    Button("btnDeleteSelected")->click();
    QCOMPARE(dialogs.shown.last(),
             "message:" + QString::fromStdString(test::TrashText("Files were moved to the Recycle Bin.")));
    QVERIFY(QFile::exists(QString::fromStdString(tree->Path("a/same.txt"))));
    QVERIFY(!QFile::exists(QString::fromStdString(tree->Path("b/same.txt"))));
    QVERIFY(QFile::exists(QString::fromStdString(tree->Path("b/cache/same.txt"))));

    // A malformed pattern is named in a message, nothing scanned.
    Find<QLineEdit>(*form, "edExcludeFolders")->setText("cache[");
    form->ScanFolders();
    QVERIFY(dialogs.shown.last().startsWith("message:Error: invalid folder pattern 'cache['"));
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

  // Action > Move checked to folder... and Copy checked to folder...: the
  // folder picker (cancel asks nothing), the question, each checked file
  // below the destination in a folder named after its root; a move takes the
  // rows out, a copy leaves originals and rows.
  void movingOrCopyingToAFolderKeepsEachPathBelowItsRoot() {
    for (const char* command : {"MoveCheckedToFolder1", "CopyCheckedToFolder1"}) {
      const bool move = QString(command).startsWith("Move");
      if (!move) {
        cleanup();
        init();
      }
      ScanBothLists();
      Item("Checkallbutoneingroup1")->trigger();
      std::vector<std::string> checked;
      for (const ListRow& row : form->Run().FileClones().Rows()) {
        if (row.checked) checked.push_back(row.data->FullPath());
      }
      QCOMPARE(checked.size(), std::size_t{3});
      test::TempTree destination;
      dialogs.folders = {QString()};
      const QStringList before = dialogs.shown;
      Item(command)->trigger();
      QCOMPARE(dialogs.lastFolderTitle, QString("Select the destination folder"));
      QCOMPARE(dialogs.shown, before);
      dialogs.folders = {QString::fromStdString(destination.Root())};
      dialogs.confirmations = {true};
      Item(command)->trigger();
      QVERIFY2(dialogs.shown.last().startsWith(move ? "message:The checked items were moved to "
                                                    : "message:The checked items were copied to "),
               qPrintable(dialogs.shown.last()));
      const std::string rootName = std::string(ExtractFileName(tree->Root()));
      for (const std::string& path : checked) {
        const std::string target = destination.Path(rootName + "/" + tree->Relative(path));
        QVERIFY2(QFile::exists(QString::fromStdString(target)), target.c_str());
        QCOMPARE(QFile::exists(QString::fromStdString(path)), !move);
      }
      QCOMPARE(form->Run().FileClones().Rows().size(), std::size_t{move ? 1u : 4u});
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
