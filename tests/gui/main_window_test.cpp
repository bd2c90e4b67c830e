// The main window, driven as a user would, with scripted dialogs.
#include <QAction>
#include <QButtonGroup>
#include <QCheckBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QToolButton>
#include <QtTest>
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
#include "text/translate.h"

namespace orvanta {

using test::RecordingShell;

// A window whose message pump can stand for a failing stage.
class FaultyForm : public MainWindow {
 public:
  using MainWindow::MainWindow;
  int failAtPump = -1;
  int pumps = 0;
  void PumpMessages() override {
    if (++pumps == failAtPump) throw std::runtime_error("disk on fire");
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
    form->seMinSizeMB->setValue(0);
  }
  void cleanup() {
    form.reset();
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
    QCOMPARE(fresh.rgCompareItems->checkedId(), 3);
    QCOMPARE(fresh.Compare(), CompareMode::Content);
    QVERIFY(fresh.chkFileDuplicates->isChecked());
    QVERIFY(!fresh.chkDirDuplicates->isChecked());
    QVERIFY(fresh.chkParallelHash->isChecked());
    QCOMPARE(fresh.edMasks->text(), QString("*.*"));
    const std::tuple<QSpinBox*, int, int, int> spins[] = {{fresh.seMinSizeMB, 0, 1048576, 1},
                                                          {fresh.seMaxGroups, 0, 1000000, 100},
                                                          {fresh.seMinGroupSize, 2, 1000, 2}};
    for (const auto& [spin, minimum, maximum, value] : spins) {
      QCOMPARE(spin->minimum(), minimum);
      QCOMPARE(spin->maximum(), maximum);
      QCOMPARE(spin->value(), value);
    }
    QCOMPARE(fresh.lbFolders->count(), 0);
    QVERIFY(!fresh.btnStop->isEnabled());
    QVERIFY(!fresh.Stop1->isEnabled());
    QCOMPARE(fresh.lblStatus->text(), QString("Ready"));
    QCOMPARE(fresh.PageControl1->currentIndex(), 0);
    QVERIFY(fresh.FileClones1->isChecked());
    QVERIFY(!fresh.FolderClones1->isChecked());
    QVERIFY(fresh.ShowSettingsPanel1->isChecked());
    QCOMPARE(fresh.PanelTop->height(), 130);
    QCOMPARE(fresh.PanelBottom->height(), 81);
    QCOMPARE(fresh.ProgressBar->width(), 236);
    QCOMPARE(fresh.btnScan->size(), QSize(84, 80));
    QCOMPARE(fresh.rbNameAndSize->text(), QString("Name && Size"));
    QCOMPARE(fresh.lvFiles->header()->sectionSize(2), 520);
    QCOMPARE(fresh.lvDirs->header()->sectionSize(1), 740);
    QCOMPARE(fresh.lvFiles->model()->headerData(3, Qt::Horizontal).toString(), QString("File size (MB)"));
    for (QAction* action : fresh.findChildren<QAction*>()) QVERIFY(action->shortcut().isEmpty());
  }

  void addingAFolderTwiceLeavesOneEntryEndingInTheDelimiter() {
    for (const std::string& answer : {tree->Path("a"), tree->Folder("a"), tree->Path("b/../a"), std::string(),
                                      tree->Path("A")}) {
      dialogs.folders.push_back(QString::fromStdString(answer));
    }
    for (int i = 0; i < 4; ++i) form->btnAddFolderClick();
    QCOMPARE(form->lbFolders->count(), 1);
    QCOMPARE(form->lbFolders->item(0)->text(), QString::fromStdString(tree->Folder("a")));
    QCOMPARE(form->LastAddFolderParent(), QString::fromStdString(tree->Root()));
    QCOMPARE(dialogs.lastFolderTitle, QString("Select folder to scan"));
    QCOMPARE(dialogs.lastFolderStart, QString::fromStdString(tree->Root()));
    tree->Dir("A");
    form->btnAddFolderClick();  // another folder here: names differ in case
    QCOMPARE(form->lbFolders->count(), 2);

    form->lbFolders->setCurrentRow(0);
    form->btnRemoveFolderClick();
    QCOMPARE(form->lbFolders->count(), 1);
    form->lbFolders->clearSelection();
    form->btnRemoveFolderClick();
    QCOMPARE(form->lbFolders->count(), 1);
  }

  void aScanFillsTheFileList() {
    form->AddFolder(QString::fromStdString(tree->Root()));
    form->btnScan->click();
    QCOMPARE(form->lblStatus->text(), QString("  Done."));
    const ResultList& list = form->Run().FileClones();
    QCOMPARE(list.Groups().size(), std::size_t{1});
    QCOMPARE(QString::fromStdString(list.Groups()[0].header), QString("Group 1 (0.00 MB)"));
    QCOMPARE(list.Rows().size(), std::size_t{3});
    QVERIFY(!list.Rows()[0].checked);
    QVERIFY(list.Rows()[1].checked && list.Rows()[2].checked);
    QAbstractItemModel* model = form->lvFiles->model();
    QCOMPARE(model->rowCount(), 4);  // the header row and three members
    QCOMPARE(model->index(0, 0).data().toString(), QString("Group 1 (0.00 MB)"));
    QCOMPARE(model->index(1, 1).data().toString(), QString::fromStdString(std::string(list.Rows()[0].data->Name())));
    QCOMPARE(model->index(3, 2).data().toString(),
             QString::fromStdString(std::string(ExtractFileDir(list.Rows()[2].data->FullPath()))));
    QCOMPARE(model->index(1, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Unchecked));
    QVERIFY(model->setData(model->index(1, 0), Qt::Checked, Qt::CheckStateRole));
    QVERIFY(list.Rows()[0].checked);
    QVERIFY(!form->btnStop->isEnabled());
    QVERIFY(form->btnScan->isEnabled());
    QCOMPARE(QApplication::overrideCursor(), nullptr);
  }

  void scanWithoutFoldersOnlyShowsAMessage() {
    form->lblStatus->setText("previous");
    form->btnScanClick();
    QCOMPARE(dialogs.shown, QStringList{"message:Please add at least one folder."});
    QCOMPARE(form->lblStatus->text(), QString("previous"));
    QVERIFY(!form->btnStop->isEnabled());
  }

  void stopEndsTheScanAndDisablesStopAgain() {
    form->AddFolder(QString::fromStdString(tree->Root()));
    bool stopWasEnabled = false;
    AtNextPump([this, &stopWasEnabled] {
      stopWasEnabled = form->btnStop->isEnabled() && form->Stop1->isEnabled();
      form->btnStop->click();
    });
    form->btnScanClick();
    QVERIFY(stopWasEnabled);
    QCOMPARE(form->lblStatus->text(), QString("Scanning cancelled. 0 files collected so far."));
    QVERIFY(!form->btnStop->isEnabled());
    QVERIFY(!form->Stop1->isEnabled());
    QCOMPARE(form->ProgressBar->value(), 0);
    QCOMPARE(QApplication::overrideCursor(), nullptr);
  }

  void anErrorInAStageIsShownAndTheWindowRestored() {
    form->AddFolder(QString::fromStdString(tree->Root()));
    form->failAtPump = 2;
    form->btnScanClick();
    QCOMPARE(dialogs.shown, QStringList{"message:Error: disk on fire"});
    QVERIFY(!form->btnStop->isEnabled());
    QVERIFY(form->btnScan->isEnabled());
    QCOMPARE(form->ProgressBar->value(), 0);
    QCOMPARE(QApplication::overrideCursor(), nullptr);
  }

  void aSecondScanDuringARunStartsNoSecondRun() {
    form->AddFolder(QString::fromStdString(tree->Root()));
    bool scanDisabled = false, addDisabled = false;
    AtNextPump([this, &scanDisabled, &addDisabled] {
      scanDisabled = !form->btnScan->isEnabled() && !form->Scan1->isEnabled();
      addDisabled = !form->btnAddFolder->isEnabled() && !form->btnRemoveFolder->isEnabled();
      form->btnScanClick();  // ignored: a run is active
    });
    form->btnScanClick();
    QVERIFY(scanDisabled);
    QVERIFY(addDisabled);
    QCOMPARE(form->lblStatus->text(), QString("  Done."));
    QCOMPARE(form->Run().FileClones().Rows().size(), std::size_t{3});
    QVERIFY(form->btnAddFolder->isEnabled());
  }

  void closingDuringARunStopsItFirst() {
    form->AddFolder(QString::fromStdString(tree->Root()));
    form->show();
    AtNextPump([this] { form->close(); });
    form->btnScanClick();
    QVERIFY(form->Run().StopFlag());
    QVERIFY(!form->isVisible());
  }

  void pageSwitchingMovesTheCheckMarks() {
    form->FolderClones1->trigger();
    QCOMPARE(form->PageControl1->currentIndex(), 1);
    QVERIFY(form->FolderClones1->isChecked());
    QVERIFY(!form->FileClones1->isChecked());
    form->PageControl1->setCurrentIndex(0);  // a click on the tab
    QVERIFY(form->FileClones1->isChecked());
    QVERIFY(!form->FolderClones1->isChecked());
    form->FileClones1->trigger();  // choosing the active page keeps its mark
    QVERIFY(form->FileClones1->isChecked());
  }

  void theSettingsPanelReturnsAboveThePages() {
    form->show();
    form->ShowSettingsPanel1->trigger();
    QVERIFY(!form->PanelTop->isVisible());
    QVERIFY(!form->ShowSettingsPanel1->isChecked());
    form->ShowSettingsPanel1->trigger();
    QVERIFY(form->PanelTop->isVisible());
    QTRY_VERIFY(form->PanelTop->geometry().bottom() < form->PageControl1->geometry().top());
    QCOMPARE(form->PanelTop->geometry().top(), 0);
  }

  void theAboutBoxNamesProgramVersionAndHost() {
    form->About1->trigger();
    QCOMPARE(dialogs.shown.size(), 1);
    QVERIFY(dialogs.shown[0].startsWith("information:Orvanta\nVersion: 2.4\n\nWebsite: orvanta.invalid\n\n"));
    QVERIFY(dialogs.shown[0].contains(QString::number(QDate::currentDate().year())));
  }

  // --- Result actions ---

  void ScanBothLists() {
    form->AddFolder(QString::fromStdString(tree->Root()));
    form->chkDirDuplicates->setChecked(true);
    tree->File("a2/same.txt", "12345");  // a2 and a are folder clones
    form->btnScanClick();
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
    form->btnCheckAll->click();
    QCOMPARE(Checks(form->Run().FileClones()), std::vector<bool>(4, true));
    QCOMPARE(Checks(form->Run().FolderClones()), folderChecks);
    form->Uncheckall1->trigger();
    QCOMPARE(Checks(form->Run().FileClones()), std::vector<bool>(4, false));
    form->Checkallbutoneingroup1->trigger();
    QCOMPARE(Checks(form->Run().FileClones()), (std::vector<bool>{false, true, true, true}));

    form->FolderClones1->trigger();
    form->btnCheckAll->click();
    QCOMPARE(Checks(form->Run().FolderClones()), std::vector<bool>(folderChecks.size(), true));
    QCOMPARE(Checks(form->Run().FileClones()), (std::vector<bool>{false, true, true, true}));
  }

  void removalAsksAndMovesCheckedFilesToTheTrash() {
    const test::ScopedEnvironmentVariable dataHome("XDG_DATA_HOME", tree->Path("data"));
    ScanBothLists();
    form->btnUncheckAll->click();
    form->btnDeleteSelected->click();
    QCOMPARE(dialogs.shown, QStringList{"message:No files selected."});

    form->btnCheckAll->click();
    form->btnDeleteSelected->click();  // answered No
    QCOMPARE(dialogs.shown.last(), QString("confirm:Move 4 files to Recycle Bin?\n\n"
                                           "No copy would remain of these groups:\nGroup 1 (0.00 MB)"));
    QVERIFY(!dialogs.lastConfirmDefaultYes);
    QCOMPARE(form->Run().FileClones().Rows().size(), std::size_t{4});

    form->Checkallbutoneingroup1->trigger();
    const std::string kept = form->Run().FileClones().Rows()[0].data->FullPath();
    const std::string moved = form->Run().FileClones().Rows()[1].data->FullPath();
    dialogs.confirmations = {true};
    form->MoveCheckedtoRecycleBin1->trigger();
    QCOMPARE(dialogs.shown.mid(2), (QStringList{"confirm:Move 3 files to Recycle Bin?",
                                                "message:Files were moved to the Recycle Bin."}));
    QCOMPARE(form->Run().FileClones().Rows().size(), std::size_t{1});
    QVERIFY(QFile::exists(QString::fromStdString(kept)));
    QVERIFY(!QFile::exists(QString::fromStdString(moved)));
    QCOMPARE(form->lvFiles->model()->rowCount(), 2);  // header and the kept row
  }

  void aPartialFailureTakesOutOnlyTheRowsThatMoved() {
    const test::ScopedEnvironmentVariable dataHome("XDG_DATA_HOME", tree->Path("data"));
    ScanBothLists();
    const std::string vanished = form->Run().FileClones().Rows()[1].data->FullPath();
    QFile::remove(QString::fromStdString(vanished));
    dialogs.confirmations = {true};
    form->btnDeleteSelected->click();
    QCOMPARE(dialogs.shown.last(), QString::fromStdString("message:Failed to delete some files.\n\nMoved: 2. Stayed: 1."
                                                          "\n\nIt is no longer there.\n" + vanished));
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
    form->chkDirDuplicates->setChecked(true);
    form->btnScanClick();
    QCOMPARE(form->Run().FolderClones().Rows().size(), std::size_t{6});
    form->FolderClones1->trigger();
    form->Checkallbutoneingroup1->trigger();
    dialogs.confirmations = {true};
    form->btnDeleteSelected->click();
    QCOMPARE(dialogs.shown, (QStringList{"confirm:Move 3 directories to Recycle Bin?",
                                         "message:Directories were moved to the Recycle Bin."}));
    QVERIFY(QFile::exists(QString::fromStdString(tree->Path("p/Photos/2019/beach.jpg"))));
    QVERIFY(QFile::exists(QString::fromStdString(tree->Path("p/Photos/2020/snow.jpg"))));
    QVERIFY(!QFile::exists(QString::fromStdString(tree->Path("p/Photos - Copy"))));
    QCOMPARE(form->Run().FolderClones().Rows().size(), std::size_t{3});
    QCOMPARE(form->Run().FileClones().Rows().size(), std::size_t{2});  // the copy's files went with it
  }

  void openLocationShowsTheFileOrOpensTheFolder() {
    ScanBothLists();
    form->btnOpenLocation->click();
    QCOMPARE(dialogs.shown, QStringList{"message:Please select an item first."});
    form->lvFiles->setCurrentIndex(form->lvFiles->model()->index(1, 0));
    form->btnOpenLocation->click();
    const std::string file = form->Run().FileClones().Rows()[0].data->FullPath();
    QCOMPARE(shell.requests, QStringList{"show:" + QString::fromStdString(file)});

    form->FolderClones1->trigger();
    form->btnOpenLocation->click();  // the selection on the hidden page plays no part
    QCOMPARE(dialogs.shown.last(), QString("message:Please select an item first."));
    form->lvDirs->setCurrentIndex(form->lvDirs->model()->index(1, 0));
    form->btnOpenLocation->click();
    const std::string folder = form->Run().FolderClones().Rows()[0].subItems[0];
    QCOMPARE(shell.requests.last(), "open:" + QString::fromStdString(folder));
  }

  // The keyboard in the file list: Space toggles the row's mark from any
  // column, and the cursor passes over group headers to the next file row.
  void spaceInAnyColumnAndACursorThatSkipsGroupHeaders() {
    tree->File("d/x.bin", "xyz");
    tree->File("e/x.bin", "xyz");
    form->AddFolder(QString::fromStdString(tree->Root()));
    form->btnScanClick();
    ResultListView* view = form->lvFiles;
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

    const std::pair<Qt::Key, int> moves[] = {{Qt::Key_Down, 5}, {Qt::Key_Up, 3},   {Qt::Key_Home, 1},
                                             {Qt::Key_Up, 1},   {Qt::Key_End, 6},   {Qt::Key_PageUp, 1}};
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
      for (const auto& [view, pathColumn, minimum] : {std::tuple{form->lvFiles, 2, 520}, std::tuple{form->lvDirs, 1, 740}}) {
        view->resize(form->PageControl1->currentWidget()->size());
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
    form->lvFiles->setCurrentIndex(form->lvFiles->model()->index(1, 0));
    form->btnOpenLocation->click();
    form->FolderClones1->trigger();
    form->lvDirs->setCurrentIndex(form->lvDirs->model()->index(1, 0));
    form->btnOpenLocation->click();
    form->ContactUs1->trigger();
    const QString file = QString::fromStdString(form->Run().FileClones().Rows()[0].data->FullPath());
    const QString folder = QString::fromStdString(form->Run().FolderClones().Rows()[0].subItems[0]);
    const QString nothing = "message:No program on this system can open %1.";
    QCOMPARE(dialogs.shown, (QStringList{nothing.arg(file), nothing.arg(folder),
                                         nothing.arg("https://orvanta.invalid/support.html")}));
  }

  void exportWritesTheListAndReportsAFailure() {
    ScanBothLists();
    const QString target = QString::fromStdString(tree->Path("out.csv"));
    dialogs.saveFiles = {target, QString()};
    form->btnExportDirs->click();
    QCOMPARE(dialogs.lastSaveName, QString("duplicate_directories.csv"));
    QCOMPARE(dialogs.lastSaveFilter, QString("CSV files (*.csv);;All files (*.*)"));
    QFile written(target);
    QVERIFY(written.open(QIODevice::ReadOnly));
    QVERIFY(written.readAll().startsWith("\xEF\xBB\xBFGroup,Directory,Size\r\n\"1\",\""));
    form->ExportFileClones1->trigger();  // cancelled
    QCOMPARE(dialogs.lastSaveName, QString("duplicate_files.csv"));
    dialogs.saveFiles = {QString::fromStdString(tree->Path("missing/folder/out.csv"))};
    form->btnExportFiles->click();
    QCOMPARE(dialogs.shown.size(), 1);
    QVERIFY(dialogs.shown[0].startsWith("error:Cannot write"));
    QVERIFY(dialogs.shown[0].endsWith(QString::fromLocal8Bit(std::strerror(ENOENT)) + "."));
  }

  void helpLinksOpenTheMakersPages() {
    form->mnuTutorial->trigger();
    form->ContactUs1->trigger();
    form->VisitWebsite1->trigger();
    QCOMPARE(shell.requests, (QStringList{"web:https://orvanta.invalid/redirect/tutorial-orvanta.html",
                                          "web:https://orvanta.invalid/support.html", "web:https://orvanta.invalid/"}));
  }

  void theLanguageMenuSwitchesEveryCaption() {
    const test::ScopedEnvironmentVariable configHome("XDG_CONFIG_HOME", tree->Path("config"));
    const std::string catalogue = tree->File(
        "transl.dt",
        "3\nEnglish\nDeutsch\n\xD8\xA7\xD9\x84\xD8\xB9\xD8\xB1\xD8\xA8\xD9\x8A\xD8\xA9\nen\nde\nar\n"
        "Scan\nSuchen\n\xD9\x81\xD8\xAD\xD8\xB5\nReady\nBereit\n\n"
        "Check All\nAlle markieren\n\nGroup\nGruppe\n\nLanguage\nSprache\n\n");
    LoadTranslationsFrom(catalogue, std::nullopt, "en");
    {
      MainWindow window(dialogs, shell);
      const QList<QAction*> items = window.mmLanguage->actions();
      QCOMPARE(items.size(), 3);
      QCOMPARE(items[1]->text(), QString("Deutsch"));
      QVERIFY(items[0]->isChecked() && !items[1]->isChecked());
      window.rbSize->setChecked(true);
      window.lblStatus->setText("  Done.");

      items[1]->trigger();
      QVERIFY(!items[0]->isChecked() && items[1]->isChecked());
      QCOMPARE(window.btnScan->text(), QString("Suchen"));
      QCOMPARE(window.Scan1->text(), QString("Suchen"));
      QCOMPARE(window.Checkall1->text(), QString("Alle markieren"));
      QCOMPARE(window.btnCheckAll->text(), QString("Check all"));  // another key
      QCOMPARE(window.mmLanguage->title(), QString("Sprache"));
      QCOMPARE(window.lblStatus->text(), QString("Bereit"));
      QCOMPARE(window.lvFiles->model()->headerData(0, Qt::Horizontal).toString(), QString("Gruppe"));
      QVERIFY(window.rbSize->isChecked());
      QCOMPARE(platform::ReadSetting("CurrentLanguage"), std::optional<std::string>("de"));
      const QString csv = QString::fromStdString(tree->Path("header.csv"));
      dialogs.saveFiles = {csv};
      window.btnExportFiles->click();
      QFile exported(csv);
      QVERIFY(exported.open(QIODevice::ReadOnly));
      QCOMPARE(exported.readAll(), QByteArray("\xEF\xBB\xBFGruppe,File name,Directory,File size (MB)\r\n"));

      // Qt's own texts follow: the buttons of every message box and question.
      QCOMPARE(YesButtonText(), QString("&Ja"));
      QCOMPARE(window.layoutDirection(), Qt::LeftToRight);

      items[2]->trigger();
      QCOMPARE(window.layoutDirection(), Qt::RightToLeft);
      QCOMPARE(window.lvFiles->layoutDirection(), Qt::RightToLeft);
      QCOMPARE(YesButtonText(), QString("&\u0646\u0639\u0645"));

      items[0]->trigger();
      QCOMPARE(window.btnScan->text(), QString("Scan"));
      QCOMPARE(platform::ReadSetting("CurrentLanguage"), std::optional<std::string>("en"));
      QCOMPARE(window.layoutDirection(), Qt::LeftToRight);
      QCOMPARE(YesButtonText(), QString("&Yes"));
    }
    LoadTranslationsFrom(tree->Path("none"), std::nullopt, "en");
    MainWindow english(dialogs, shell);
    QVERIFY(english.mmLanguage->actions().isEmpty());
  }

  void theTotalsLineFollowsTheScanThePageAndTheMarks() {
    constexpr std::size_t kMB = 1 << 20;
    tree->FileOfSize("m/x.bin", kMB, 'x');
    tree->FileOfSize("n/x.bin", kMB, 'x');
    form->AddFolder(QString::fromStdString(tree->Root()));
    QCOMPARE(form->lblTotals->text(), QString());
    form->btnScan->click();
    QCoreApplication::processEvents();
    QCOMPARE(form->lblStatus->text(), QString("  Done."));
    const QString dot = QString::fromUtf8("  \u00B7  ");
    QCOMPARE(form->lblTotals->text(), "Groups: 2, extra copies: 1.00 MB" + dot + "3 checked, 1.00 MB");
    form->Run().FileClones().SetChecked(1, false);  // the 1 MB copy
    QCoreApplication::processEvents();
    QCOMPARE(form->lblTotals->text(), "Groups: 2, extra copies: 1.00 MB" + dot + "2 checked, 0.00 MB");

    form->seMaxGroups->setValue(1);
    form->btnScan->click();
    QCoreApplication::processEvents();
    QCOMPARE(form->lblTotals->text(), "Groups: first 1 of 2 listed, extra copies: 1.00 MB" + dot + "1 checked, 1.00 MB");
    form->FolderClones1Click();  // folder clones were not searched
    QCOMPARE(form->lblTotals->text(), QString());
    form->FileClones1Click();
    QVERIFY(form->lblTotals->text().startsWith("Groups: first 1 of 2"));
  }

  void theTotalsLineFitsBesideTheStatusInEveryLanguage() {
    LoadTranslationsFrom(platform::JoinedPath(platform::ExecutableFolder(), "transl.dt"), std::nullopt, "en");
    MainWindow window(dialogs, shell);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // Large figures: a big tree cut by Max groups, every row checked.
    ResultList& files = window.Run().FileClones();
    for (int group = 1; group <= 100; ++group) {
      files.AddGroup(group, "");
      for (int member = 0; member < 3; ++member) {
        ListRow& row = files.AddRow();
        row.groupId = group;
        row.checked = true;
        row.size = std::int64_t{123} << 30;
      }
    }
    files.SetGroupsFound(123456);
    const QList<QAction*> languages = window.mmLanguage->actions();
    QVERIFY(languages.size() >= 11);
    for (QAction* language : languages) {
      language->trigger();
      window.SetStatusText("  " + TranslateText("Done."));
      window.UpdateTotalsLine();
      QCoreApplication::processEvents();
      const QString line = window.lblTotals->text();
      QVERIFY2(window.lblTotals->width() >= window.lblTotals->sizeHint().width(), qPrintable(line));
      QVERIFY2(window.lblStatus->width() >= window.lblStatus->sizeHint().width(), qPrintable(language->text()));
    }
    languages.front()->trigger();
    LoadTranslationsFrom(tree->Path("none"), std::nullopt, "en");
  }

  void doubleClickOrEnterOpensTheRowsItem() {
    tree->File("x/f.txt", "q");
    tree->File("y/f.txt", "q");
    form->chkDirDuplicates->setChecked(true);
    form->AddFolder(QString::fromStdString(tree->Root()));
    form->show();
    QVERIFY(QTest::qWaitForWindowExposed(form.get()));
    form->btnScan->click();
    ResultListModel* files = form->lvFiles->ResultModel();
    const QModelIndex header = files->index(0, 1), member = files->index(1, 1);
    QVERIFY(files->IsGroupHeader(header) && !files->IsGroupHeader(member));
    // A user's double-click: press, release, then the second press as a double-click.
    const auto doubleClick = [this](const QModelIndex& index) {
      const QPoint at = form->lvFiles->visualRect(index).center();
      QTest::mouseClick(form->lvFiles->viewport(), Qt::LeftButton, {}, at);
      QTest::mouseDClick(form->lvFiles->viewport(), Qt::LeftButton, {}, at);
    };
    doubleClick(header);
    QVERIFY(shell.requests.isEmpty());  // a group header opens nothing
    doubleClick(member);
    const std::string file = form->Run().FileClones().Rows()[0].data->FullPath();
    QCOMPARE(shell.requests, QStringList{"item:" + QString::fromStdString(file)});

    form->FolderClones1Click();
    ResultListModel* dirs = form->lvDirs->ResultModel();
    QVERIFY(dirs->rowCount() > 1);
    form->lvDirs->setFocus();
    form->lvDirs->setCurrentIndex(dirs->index(1, 1));
    shell.opens = false;
    QTest::keyClick(form->lvDirs, Qt::Key_Return);
    const std::string folder = form->Run().FolderClones().Rows()[0].subItems[0];
    QCOMPARE(shell.requests.back(), "item:" + QString::fromStdString(folder));
    QCOMPARE(dialogs.shown, QStringList{"message:No program could open " + QString::fromStdString(folder) + "\nno handler"});
  }

  void droppedFoldersAndFilesAddTheirFolders() {
    tree->File("b/sub/deep.txt", "x");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(tree->Path("a"))),
                  QUrl::fromLocalFile(QString::fromStdString(tree->Path("b/copy.txt"))),
                  QUrl::fromLocalFile(QString::fromStdString(tree->Path("b/sub/../same.txt"))),
                  QUrl::fromLocalFile(QString::fromStdString(tree->Path("gone"))), QUrl("https://example.org/")});
    QWidget* target = form->lbFolders->viewport();
    QDragEnterEvent enter({5, 5}, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(target, &enter);
    QVERIFY(enter.isAccepted());
    QCOMPARE(enter.dropAction(), Qt::CopyAction);
    QDropEvent drop({5, 5}, Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
    QApplication::sendEvent(target, &drop);
    QVERIFY(drop.isAccepted());
    QCOMPARE(form->lbFolders->count(), 2);
    QCOMPARE(form->lbFolders->item(0)->text(), QString::fromStdString(tree->Folder("a")));
    QCOMPARE(form->lbFolders->item(1)->text(), QString::fromStdString(tree->Folder("b")));

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
    form->chkDirDuplicates->setChecked(true);
    form->AddFolder(QString::fromStdString(photos.Root()));
    form->AddFolder(QString::fromStdString(tree->Root()));
    form->btnScanClick();
    // Next to the check commands in the Edit menu and in both lists' context menus.
    const QList<QAction*> edit = form->Edit1->actions();
    QCOMPARE(edit.mid(0, 3), (QList<QAction*>{form->Checkallbutoneingroup1, form->Checkall1, form->Uncheckall1}));
    QCOMPARE(edit.mid(4), (QList<QAction*>{form->KeepCopiesInFolder1, form->KeepNewest1, form->KeepOldest1,
                                           form->KeepShortestPath1}));
    for (ResultListView* view : {form->lvFiles, form->lvDirs}) {
      QCOMPARE(view->contextMenuPolicy(), Qt::ActionsContextMenu);
      QList<QAction*> menu = view->actions();
      menu.removeAt(3);  // the separator
      QCOMPARE(menu, QList<QAction*>(edit.mid(0, 3)) + edit.mid(4));
    }
    QCOMPARE(form->KeepCopiesInFolder1->text(), QString("Keep copies in folder..."));

    struct Case {
      QAction* item;
      QString folder;  // the folder picker's answer
      std::set<std::string> photoFilesKept;
    };
    const QString photosFolder = QString::fromStdString(photos.Path("photos"));
    const Case files[] = {
        {form->KeepNewest1, {}, {"photos_backup/a.jpg", "photos_backup/b.jpg", "music/song.mp3"}},
        {form->KeepShortestPath1, {}, {"photos/a.jpg", "photos/b.jpg", "music/song.mp3"}},
        {form->KeepCopiesInFolder1, QString::fromStdString(photos.Path("music copy")),
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
      QCOMPARE(test::GroupsLosingEveryCopy(form->Run().FileClones(), ListKind::Files), std::vector<int>{});
    }
    QCOMPARE(dialogs.lastFolderTitle, QString("Select the folder whose copies to keep"));
    // The folder page is untouched until it is the active one.
    QVERIFY(std::none_of(form->Run().FolderClones().Rows().begin(), form->Run().FolderClones().Rows().end(),
                         [](const ListRow& row) { return row.checked; }));

    form->FolderClones1Click();
    const Case folders[] = {
        {form->KeepOldest1, {}, {"photos/trip", "photos/trip/day1", "photos/trip/day2"}},
        {form->KeepNewest1, {}, {"backup/trip", "backup/trip/day2", "loose/day1"}},
        {form->KeepCopiesInFolder1, QString::fromStdString(tree->Path("photos/trip/day1")),
         {"photos/trip", "photos/trip/day1"}},
    };
    for (const Case& c : folders) {
      dialogs.folders = {c.folder};
      c.item->trigger();
      const std::set<std::string> kept = test::UncheckedPaths(form->Run().FolderClones(), ListKind::Folders, *tree);
      for (const std::string& path : c.photoFilesKept) QVERIFY2(kept.count(path) == 1, path.c_str());
      QCOMPARE(test::GroupsLosingEveryCopy(form->Run().FolderClones(), ListKind::Folders), std::vector<int>{});
    }
    // A cancelled picker changes nothing.
    const std::set<std::string> before = test::UncheckedPaths(form->Run().FolderClones(), ListKind::Folders, *tree);
    dialogs.folders = {QString()};
    form->KeepCopiesInFolder1->trigger();
    QCOMPARE(test::UncheckedPaths(form->Run().FolderClones(), ListKind::Folders, *tree), before);
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
};

}  // namespace orvanta

int main(int argc, char** argv) {
  orvanta::test::UseScratchHome();
  orvanta::OrvantaApplication app(argc, argv);
  orvanta::MainWindowTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "main_window_test.moc"
