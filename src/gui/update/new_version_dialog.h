// NewVersionDialog: offers (or demands) the new version found by the version
// check. On Windows "Update Now" downloads and starts its installer; elsewhere
// it opens the maker's download page in the browser, as the installer is a
// Windows program. Its continueToMainWindow tells start-up whether the
// program goes on to the main window.
#pragma once

#include <QDialog>
#include <chrono>

#include "update/update_rules.h"

class QLabel;
class QNetworkReply;
class QProgressBar;
class QPushButton;
class QScrollArea;

namespace orvanta {

class DesktopShell;
class Dialogs;
class InstallerLauncher;

// A download that receives nothing for this long fails, so that a stalled
// server cannot hold the dialog: Abort only acts when data arrives.
inline constexpr std::chrono::milliseconds kDownloadReadTimeout{30000};

#ifdef _WIN32
inline constexpr bool kDownloadsInstaller = true;
#else
inline constexpr bool kDownloadsInstaller = false;
#endif

class NewVersionDialog : public QDialog {
  Q_OBJECT

 public:
  NewVersionDialog(UpdateOffer offer, Dialogs& dialogs, DesktopShell& shell, InstallerLauncher& launcher,
                   QWidget* parent = nullptr);

  // True: start-up goes on to the main window; false: the program ends.
  bool continueToMainWindow = false;
  // Which way "Update Now" goes: the installer's download, or the download page.
  bool downloadsInstaller = kDownloadsInstaller;
  std::chrono::milliseconds downloadReadTimeout = kDownloadReadTimeout;

  // The message scrolls: a change list may be longer than the dialog.
  QScrollArea* scrMessage;
  QLabel* lblMessage;
  QLabel* imgIcon;
  QProgressBar* progressBar;
  QPushButton* btUpdateNow;
  QPushButton* btCancel;

  void btUpdateNowClick();
  void btCancelClick();
  // The download's progress event: `count` bytes received so far. Returns
  // why the transfer must stop, or nothing to go on.
  QString DownloadProgress(const QNetworkReply& sender, qint64 count);

 signals:
  // After each progress event that let the download go on.
  void DownloadProgressed(qint64 count);

 protected:
  void showEvent(QShowEvent* event) override;
  // Every way of closing passes here: Skip or Exit, the close button, Escape.
  void done(int result) override;

 private:
  void FormShow();
  void FitButtons();
  // The way without the installer: the download page in the browser. The
  // dialog closes once something opened it, and stays with a message naming
  // the address when nothing could.
  void OpenDownloadPage();
  // Downloads the installer and starts it; the failure's text, or empty.
  QString DownloadAndStart();

  UpdateOffer offer_;
  // The program ends as the dialog closes: the running version is no longer
  // supported, or the installer was started.
  bool exitOnClose_;
  Dialogs& dialogs_;
  DesktopShell& shell_;
  InstallerLauncher& launcher_;
  bool downloading_ = false;
  bool downloadCancelled_ = false;
};

}  // namespace orvanta
