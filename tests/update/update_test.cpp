// The version check against a local server, the new-version dialog and the
// start-up decision, with scripted dialogs and a recording launcher.
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QNetworkProxy>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>
#include <QtTest>
#include <functional>

#include "engine/test_support.h"
#include "gui/application.h"
#include "gui/desktop_shell.h"
#include "gui/scripted_dialogs.h"
#include "gui/startup_hooks.h"
#include "gui/update/installer_launcher.h"
#include "gui/update/new_version_dialog.h"
#include "gui/update/update_http.h"
#include "gui/update/version_check.h"
#include "test_http_server.h"
#include "update/update_rules.h"

namespace orvanta {

using test::TestHttpServer;

using test::RecordingShell;

// Records the installer it is asked to start, and its contents at that moment.
struct RecordingLauncher final : InstallerLauncher {
  QStringList started;
  QByteArray contents;
  void Start(const std::filesystem::path& installer) override {
    started << QString::fromStdString(installer.string());
    QFile file(started.back());
    if (file.open(QIODevice::ReadOnly)) contents = file.readAll();
  }
};

class UpdateTest : public QObject {
  Q_OBJECT

 private:
  QTemporaryDir tempFolder;
  std::unique_ptr<TestHttpServer> server;
  test::ScriptedDialogs dialogs;
  RecordingShell shell;
  RecordingLauncher launcher;
  QTimer dialogWatch;
  bool dialogAppeared = false;

  static constexpr std::chrono::milliseconds kTestCheckLimit{5000};
  const QByteArray kVersionPath = "/download/version/orvanta-version.html";
  const QByteArray kChangesPath = "/download/version/orvanta-changes.html";
  const QByteArray kInstallerPath = "/download/orvanta.exe";
  const QString kDownloadFailed = "Failed to download update. Please download manually on website.\r\n\r\n";

  QString InstallerFile() const { return QDir(tempFolder.path()).filePath("vlm_update.exe"); }

  void Serve(const QByteArray& versionLine, const QByteArray& changes = "Faster scans\r\n") {
    server->Route(kVersionPath, TestHttpServer::Body(versionLine));
    server->Route(kChangesPath, TestHttpServer::Body(changes));
  }

  // Acts on the new-version dialog once it is shown modally.
  void WhenDialogShown(std::function<void(NewVersionDialog&)> act) {
    dialogWatch.disconnect();
    connect(&dialogWatch, &QTimer::timeout, this, [this, act] {
      auto* dialog = qobject_cast<NewVersionDialog*>(QApplication::activeModalWidget());
      if (dialog == nullptr || !dialog->isVisible()) return;
      dialogWatch.stop();
      dialogAppeared = true;
      act(*dialog);
    });
    dialogWatch.start(5);
  }

  bool StartUp() { return OfferNewVersion(dialogs, shell, launcher, kTestCheckLimit); }

 private slots:
  void initTestCase() {
    QVERIFY(tempFolder.isValid());
    qputenv("TMPDIR", QFile::encodeName(tempFolder.path()));
    QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
  }

  void init() {
    server = std::make_unique<TestHttpServer>();
    qputenv("ORVANTA_UPDATE_URL", server->BaseUrl().toUtf8());
    dialogs = test::ScriptedDialogs();
    shell = RecordingShell();
    launcher = RecordingLauncher();
    dialogAppeared = false;
    QFile::remove(InstallerFile());
  }

  void cleanup() {
    dialogWatch.stop();
    server.reset();
  }

  void theVersionLineDecidesTheOffer_data() {
    QTest::addColumn<QByteArray>("versionFile");
    QTest::addColumn<QByteArray>("changeList");
    QTest::addColumn<bool>("offered");
    QTest::addColumn<bool>("compulsory");
    QTest::addColumn<QString>("message");
    const QString optional = "The new version 2.5 is available\r\n\r\nWhat's new:\r\n";
    const QString outdated =
        "This version of the software is out of date. You must download the current version %1 to continue using the "
        "software.\r\n\r\nWhat's new:\r\nFaster scans\r\n";
    QTest::newRow("25/20 optional") << QByteArray("25/20\r\n") << QByteArray("Faster scans\r\n") << true << false
                                    << optional + "Faster scans\r\n";
    QTest::newRow("25/25 compulsory") << QByteArray("25/25") << QByteArray("Faster scans") << true << true
                                      << outdated.arg("2.5");
    QTest::newRow("30/25 compulsory, names the latest")
        << QByteArray("30/25\n10/10") << QByteArray("Faster scans\n") << true << true << outdated.arg("3.0");
    QTest::newRow("blank lines dropped, blanks kept") << QByteArray(
                                                             "\xEF\xBB\xBF"
                                                             "25/20\n")
                                                      << QByteArray(
                                                             "\xEF\xBB\xBF"
                                                             "one\r\n\r\ntwo\n\n  \rthree\r\r")
                                                      << true << false << optional + "one\r\ntwo\r\n  \r\nthree\r\n";
    QTest::newRow("empty change list") << QByteArray("25/20") << QByteArray() << true << false << optional;
    const std::pair<const char*, const char*> nothing[] = {{"24/24", "24/24"},
                                                           {"24/10", "24/10"},
                                                           {"no slash", "25"},
                                                           {"letter in latest", "2a/20"},
                                                           {"letter in minimum", "25/2x"},
                                                           {"no latest", "/20"},
                                                           {"empty file", ""},
                                                           {"empty first line", "\r\n25/20"}};
    for (const auto& [name, line] : nothing) {
      QTest::newRow(name) << QByteArray(line) << QByteArray("Faster scans") << false << false << QString();
    }
  }

  void theVersionLineDecidesTheOffer() {
    QFETCH(QByteArray, versionFile);
    QFETCH(QByteArray, changeList);
    QFETCH(bool, offered);
    QFETCH(bool, compulsory);
    QFETCH(QString, message);
    Serve(versionFile, changeList);
    const std::optional<UpdateOffer> offer = CheckForNewVersion(kTestCheckLimit);
    QCOMPARE(offer.has_value(), offered);
    QCOMPARE(offer && offer->compulsory, compulsory);
    QCOMPARE(QString::fromStdString(offer ? offer->message : std::string()), message);
    QCOMPARE(server->paths.value(0), kVersionPath);
    QCOMPARE(server->paths.size(), versionFile.isEmpty() ? 1 : 2);  // an empty version file ends the check
    for (const QByteArray& agent : server->userAgents) QCOMPARE(agent, QByteArray("Mozilla/4.0 (compatible; MyApp)"));
  }

  // Everything but a good answer from a permitted address gives no offer.
  void theTransportDecidesWhetherTheFilesCount_data() {
    QTest::addColumn<QString>("base");  // empty: the test server
    QTest::addColumn<QByteArray>("versionRoute");
    QTest::addColumn<bool>("offered");
    QTest::addColumn<int>("requests");
    QTest::newRow("one redirect is followed") << QString() << QByteArray("/elsewhere") << true << 3;
    QTest::newRow("version file missing") << QString() << QByteArray() << false << 1;
    QTest::newRow("redirect loop stops after 10") << QString() << QByteArray("loop") << false << 11;
    QTest::newRow("redirect to plain http off loopback")
        << QString() << QByteArray("http://localhost:%1/elsewhere") << false << 1;
    QTest::newRow("plain http server off loopback")
        << QString("http://localhost:%1") << QByteArray("/elsewhere") << false << 0;
  }

  void theTransportDecidesWhetherTheFilesCount() {
    QFETCH(QString, base);
    QFETCH(QByteArray, versionRoute);
    QFETCH(bool, offered);
    QFETCH(int, requests);
    const QByteArray port = QByteArray::number(server->Port());
    if (!base.isEmpty()) qputenv("ORVANTA_UPDATE_URL", base.arg(server->Port()).toUtf8());
    server->Route(kChangesPath, TestHttpServer::Body("Faster scans"));
    server->Route("/elsewhere", TestHttpServer::Body("25/20"));
    if (versionRoute == "loop") {
      server->Route(kVersionPath, TestHttpServer::Redirect(kVersionPath));
    } else if (!versionRoute.isEmpty()) {
      server->Route(kVersionPath, TestHttpServer::Redirect(QByteArray(versionRoute).replace("%1", port)));
    }
    QCOMPARE(CheckForNewVersion(kTestCheckLimit).has_value(), offered);
    QCOMPARE(server->paths.size(), requests);
  }

  void aServerThatNeverAnswersIsGivenUpInTime_data() {
    QTest::addColumn<QString>("scheme");
    QTest::newRow("http") << "http";
    QTest::newRow("https, stuck in the handshake") << "https";
  }

  void aServerThatNeverAnswersIsGivenUpInTime() {
    QFETCH(QString, scheme);
    qputenv("ORVANTA_UPDATE_URL", QString("%1://127.0.0.1:%2").arg(scheme).arg(server->Port()).toUtf8());
    server->Route(kVersionPath, TestHttpServer::Silence());
    const std::chrono::milliseconds limit{300};
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!CheckForNewVersion(limit));
    QCOMPARE_LT(clock.elapsed(), 3000);

    clock.restart();
    QVERIFY(OfferNewVersion(dialogs, shell, launcher, limit));  // on to the main window
    QCOMPARE_LT(clock.elapsed(), 3000);
    QVERIFY(!dialogAppeared);
    QVERIFY(dialogs.shown.isEmpty());
  }

  void theProductionBoundsAreTenSeconds() {
    QCOMPARE(kVersionCheckTimeLimit, std::chrono::milliseconds(10000));
    QCOMPARE(kUpdateReadTimeout, std::chrono::milliseconds(10000));
    QCOMPARE(kMaxUpdateRedirects, 10);
  }

  void onlyHttpsOrLoopbackHttpIsPermitted_data() {
    QTest::addColumn<QString>("url");
    QTest::addColumn<bool>("permitted");
    QTest::newRow("https") << "https://orvanta.invalid/x" << true;
    QTest::newRow("http 127.0.0.1") << "http://127.0.0.1:8080/x" << true;
    QTest::newRow("http 127.200.0.9") << "http://127.200.0.9/x" << true;
    QTest::newRow("http ::1") << "http://[::1]:8080/x" << true;
    QTest::newRow("http host") << "http://orvanta.invalid/x" << false;
    QTest::newRow("http localhost by name") << "http://localhost/x" << false;
    QTest::newRow("http 10.0.0.1") << "http://10.0.0.1/x" << false;
    QTest::newRow("http 128.0.0.1") << "http://128.0.0.1/x" << false;
    QTest::newRow("ftp loopback") << "ftp://127.0.0.1/x" << false;
    QTest::newRow("file") << "file:///tmp/x" << false;
  }

  void onlyHttpsOrLoopbackHttpIsPermitted() {
    QFETCH(QString, url);
    QFETCH(bool, permitted);
    QCOMPARE(IsPermittedUpdateUrl(QUrl(url)), permitted);
  }

  void theDialogShowsTheOffer_data() {
    QTest::addColumn<bool>("compulsory");
    QTest::addColumn<QString>("cancelCaption");
    QTest::newRow("optional") << false << "Skip";
    QTest::newRow("compulsory") << true << "Exit";
  }

  void theDialogShowsTheOffer() {
    QFETCH(bool, compulsory);
    QFETCH(QString, cancelCaption);
    NewVersionDialog dialog({"News\r\n", compulsory}, dialogs, shell, launcher);
    QCOMPARE(dialog.btCancel->text(), QString("Cancel"));
    dialog.show();
    QCOMPARE(dialog.continueToMainWindow, true);
    QCOMPARE(dialog.windowTitle(), QString(" Orvanta"));
    QCOMPARE(dialog.size(), QSize(425, 187));
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());
    QCOMPARE(dialog.lblMessage->text(), QString("News\r\n"));
    QVERIFY(dialog.lblMessage->wordWrap());
    QCOMPARE(dialog.btUpdateNow->text(), QString("Update Now"));
    QCOMPARE(dialog.btCancel->text(), cancelCaption);
    QVERIFY(!dialog.progressBar->isVisible());
    QCOMPARE(dialog.progressBar->maximum(), 100);
    const std::pair<QWidget*, QRect> places[] = {{dialog.scrMessage, {90, 11, 315, 106}},
                                                 {dialog.imgIcon, {9, 15, 70, 75}},
                                                 {dialog.progressBar, {8, 126, 397, 17}},
                                                 {dialog.btUpdateNow, {214, 151, 100, 25}},
                                                 {dialog.btCancel, {327, 151, 75, 25}}};
    for (const auto& [widget, place] : places) QCOMPARE(widget->geometry(), place);
    // The drawn icon: opaque blue in the middle of the disc, clear in the corner.
    const QImage icon = dialog.imgIcon->pixmap().toImage();
    QVERIFY(!icon.isNull());
    QCOMPARE(icon.pixelColor(0, 0).alpha(), 0);
    const QColor disc = icon.pixelColor(icon.width() / 5, icon.height() / 2);
    QVERIFY(disc.alpha() == 255 && disc.blue() > disc.red());
    dialog.close();
    QCOMPARE(dialog.continueToMainWindow, !compulsory);
  }

  // Skip or Exit, or the close button: an optional update goes on to the
  // main window, a compulsory one ends the program.
  void startUpFollowsTheDialog_data() {
    QTest::addColumn<QByteArray>("versionLine");
    QTest::addColumn<bool>("byCloseButton");
    QTest::addColumn<bool>("goesOn");
    QTest::newRow("optional, Skip") << QByteArray("25/20") << false << true;
    QTest::newRow("optional, close button") << QByteArray("25/20") << true << true;
    QTest::newRow("compulsory, Exit") << QByteArray("25/25") << false << false;
    QTest::newRow("compulsory, close button") << QByteArray("25/25") << true << false;
  }

  void startUpFollowsTheDialog() {
    QFETCH(QByteArray, versionLine);
    QFETCH(bool, byCloseButton);
    QFETCH(bool, goesOn);
    Serve(versionLine);
    QString message;
    WhenDialogShown([&](NewVersionDialog& dialog) {
      message = dialog.lblMessage->text();
      if (byCloseButton) {
        dialog.close();
      } else {
        dialog.btCancel->click();
      }
    });
    QCOMPARE(StartUp(), goesOn);
    QVERIFY(dialogAppeared);
    QVERIFY2(message.endsWith("What's new:\r\nFaster scans\r\n"), qPrintable(message));
    QVERIFY(dialogs.shown.isEmpty());
    QVERIFY(launcher.started.isEmpty());
    QVERIFY(server->paths.size() == 2);
  }

  void noNewsShowsNoDialog() {
    Serve("24/24");
    QVERIFY(StartUp());
    QVERIFY(!dialogAppeared);
  }

  void theChangeListScrolls() {
    std::string changes;
    for (int i = 1; i <= 40; ++i) changes += "Change number " + std::to_string(i) + "\r\n";
    NewVersionDialog dialog({changes, false}, dialogs, shell, launcher);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QCOMPARE_GT(dialog.scrMessage->verticalScrollBar()->maximum(), 0);
    QCOMPARE(dialog.lblMessage->text(), QString::fromStdString(changes));
  }

  // Without the installer's platform, "Update Now" opens the download page
  // and never fetches the installer; an optional update then goes on to the
  // main window, a compulsory one ends the program as on Windows.
  void updateNowWithoutTheInstallerOpensTheDownloadPage_data() {
    QTest::addColumn<QByteArray>("versionLine");
    QTest::addColumn<bool>("goesOn");
    QTest::newRow("optional") << QByteArray("25/20") << true;
    QTest::newRow("compulsory") << QByteArray("25/25") << false;
  }

  void updateNowWithoutTheInstallerOpensTheDownloadPage() {
    QFETCH(QByteArray, versionLine);
    QFETCH(bool, goesOn);
    Serve(versionLine);
    bool byDefault = true;
    WhenDialogShown([&](NewVersionDialog& dialog) {
      byDefault = dialog.downloadsInstaller;
      dialog.btUpdateNow->click();
    });
    QCOMPARE(StartUp(), goesOn);
#ifndef _WIN32
    QVERIFY(!byDefault);
#endif
    QCOMPARE(shell.requests, QStringList{"web:https://orvanta.invalid/download/"});
    QCOMPARE(server->paths.size(), 2);  // the two update files, no installer
    QVERIFY(launcher.started.isEmpty());
    QVERIFY(dialogs.shown.isEmpty());
    QVERIFY(!QFile::exists(InstallerFile()));
  }

  // A desktop that opens nothing: the message names the address and the
  // person stays in the dialog, free to Skip to the main window.
  void aDownloadPageNothingOpensIsNamedAndTheDialogStays() {
    Serve("25/20");
    shell.opens = false;
    bool stayed = false;
    WhenDialogShown([&](NewVersionDialog& dialog) {
      dialog.downloadsInstaller = false;
      dialog.btUpdateNow->click();
      stayed = dialog.isVisible() && dialog.btUpdateNow->isEnabled();
      dialog.btCancel->click();
    });
    QVERIFY(StartUp());
    QVERIFY(stayed);
    QCOMPARE(dialogs.shown, QStringList{"error:No program on this system can open https://orvanta.invalid/download/."});
    QVERIFY(launcher.started.isEmpty());
  }

  void aDownloadReplacesTheInstallerAndStartsIt_data() {
    QTest::addColumn<bool>("chunked");
    QTest::newRow("with a length, the bar moves") << false;
    QTest::newRow("chunked, the bar stays") << true;
  }

  void aDownloadReplacesTheInstallerAndStartsIt() {
    QFETCH(bool, chunked);
    Serve("25/20");
    const QList<QByteArray> pieces{"MZ-one-", "two-", "three-", "four"};
    server->Route(
        kInstallerPath,
        {200, pieces, chunked ? TestHttpServer::Framing::Chunked : TestHttpServer::Framing::ContentLength, {}});
    {
      QFile old(InstallerFile());
      QVERIFY(old.open(QIODevice::WriteOnly));
      old.write("an older installer, longer than the new one");
    }
    QList<int> barValues;
    QString cancelCaption;
    bool updateNowEnabled = true;
    WhenDialogShown([&](NewVersionDialog& dialog) {
      connect(dialog.progressBar, &QProgressBar::valueChanged, [&](int value) { barValues << value; });
      connect(&dialog, &NewVersionDialog::DownloadProgressed, [&] {
        cancelCaption = dialog.btCancel->text();
        updateNowEnabled = dialog.btUpdateNow->isEnabled();
        server->SendNextPiece();
      });
      dialog.downloadsInstaller = true;  // the Windows way
      dialog.btUpdateNow->click();
    });
    QVERIFY(!StartUp());  // the installer takes over
    QCOMPARE(cancelCaption, QString("Abort"));
    QVERIFY(!updateNowEnabled);
    if (chunked) {
      QVERIFY2(barValues.isEmpty(), qPrintable(QString::number(barValues.size())));
    } else {
      QVERIFY(barValues.size() >= 2);
      QVERIFY(std::is_sorted(barValues.begin(), barValues.end()));
      QCOMPARE_GT(barValues.front(), 0);
      QCOMPARE_LT(barValues.front(), 100);
      QCOMPARE(barValues.back(), 100);
    }
    QCOMPARE(launcher.started, QStringList{InstallerFile()});
    QCOMPARE(launcher.contents, pieces.join());
    QVERIFY(dialogs.shown.isEmpty());
    QVERIFY(shell.requests.isEmpty());
  }

  // Only Abort stops a download: Escape and the close button leave it to
  // finish, and the dialog closes once the installer has started.
  void escapeOrCloseDuringTheDownloadLetsItFinish() {
    Serve("25/20");
    server->Route(kInstallerPath, {200, {"MZ-one-", "two-", "three"}, TestHttpServer::Framing::ContentLength, {}});
    bool stayedOpen = true;
    WhenDialogShown([&](NewVersionDialog& dialog) {
      connect(&dialog, &NewVersionDialog::DownloadProgressed, [&] {
        QTest::keyClick(&dialog, Qt::Key_Escape);
        dialog.close();
        stayedOpen = stayedOpen && dialog.isVisible();
        server->SendNextPiece();
      });
      dialog.downloadsInstaller = true;  // the Windows way
      dialog.btUpdateNow->click();
    });
    QVERIFY(!StartUp());
    QVERIFY(stayedOpen);
    QVERIFY2(dialogs.shown.isEmpty(), qPrintable(dialogs.shown.join('|')));
    QCOMPARE(launcher.started, QStringList{InstallerFile()});
    QCOMPARE(launcher.contents, QByteArray("MZ-one-two-three"));
  }

  // Every failed download shows why, opens the home page and ends the program.
  void aFailedDownloadSaysWhyAndOpensTheHomePage_data() {
    QTest::addColumn<QString>("failure");
    QTest::addColumn<QString>("reason");  // the second part, or its start
    QTest::newRow("Abort") << "abort"
                           << "Download is cancelled. Please download manually.";
    QTest::newRow("not found") << "404"
                               << "Error transferring";
    QTest::newRow("redirect") << "redirect"
                              << "The server answered 302 Found.";
    QTest::newRow("stalled") << "stall"
                             << "The download stalled: nothing arrived for 1 seconds.";
    QTest::newRow("plain http off loopback") << "insecure"
                                             << "Refused to download from http://localhost:";
  }

  void aFailedDownloadSaysWhyAndOpensTheHomePage() {
    QFETCH(QString, failure);
    QFETCH(QString, reason);
    Serve("25/25");
    if (failure == "abort") {
      server->Route(kInstallerPath, {200, {"MZ-one-", "two"}, TestHttpServer::Framing::ContentLength, {}});
    }
    if (failure == "redirect") server->Route(kInstallerPath, TestHttpServer::Redirect("/download/other.exe"));
    if (failure == "stall") server->Route(kInstallerPath, TestHttpServer::Silence());
    WhenDialogShown([&](NewVersionDialog& dialog) {
      dialog.downloadReadTimeout = std::chrono::milliseconds(200);
      if (failure == "insecure") {
        qputenv("ORVANTA_UPDATE_URL", QString("http://localhost:%1").arg(server->Port()).toUtf8());
      }
      if (failure == "abort") {
        connect(&dialog, &NewVersionDialog::DownloadProgressed, [&] {
          dialog.btCancel->click();  // takes effect at the next progress event
          QVERIFY(dialog.isVisible());
          server->SendNextPiece();
        });
      }
      dialog.downloadsInstaller = true;  // the Windows way
      dialog.btUpdateNow->click();
    });
    QVERIFY(!StartUp());
    QCOMPARE(dialogs.shown.size(), 1);
    QVERIFY2(dialogs.shown[0].startsWith("error:" + kDownloadFailed + reason), qPrintable(dialogs.shown[0]));
    QCOMPARE(shell.requests, QStringList{"web:https://orvanta.invalid/"});
    QVERIFY(launcher.started.isEmpty());
    QVERIFY(!QFile::exists(InstallerFile()));  // nothing partial under the installer's name
    QCOMPARE(server->paths.size(), failure == "insecure" ? 2 : 3);
  }
};

}  // namespace orvanta

int main(int argc, char** argv) {
  orvanta::test::UseScratchHome();
  orvanta::OrvantaApplication app(argc, argv);
  orvanta::UpdateTest test;
  return QTest::qExec(&test, argc, argv);
}

#include "update_test.moc"
