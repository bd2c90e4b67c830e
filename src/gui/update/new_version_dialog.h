// NewVersionDialog: offers (or demands) the new version found by the version
// check, downloads and starts its installer. Its continueToMainWindow tells
// start-up whether the program goes on to the main window.
#pragma once

#include <QDialog>
#include <chrono>

class QLabel;
class QNetworkReply;
class QProgressBar;
class QPushButton;

namespace orvanta {

class DesktopShell;
class Dialogs;
class InstallerLauncher;

// A download that receives nothing for this long fails, so that a stalled
// server cannot hold the dialog: Abort only acts when data arrives.
inline constexpr std::chrono::milliseconds kDownloadReadTimeout{30000};

class NewVersionDialog : public QDialog {
  Q_OBJECT

 public:
  NewVersionDialog(Dialogs& dialogs, DesktopShell& shell, InstallerLauncher& launcher, QWidget* parent = nullptr);

  // True: start-up goes on to the main window; false: the program ends.
  bool continueToMainWindow = false;
  std::chrono::milliseconds downloadReadTimeout = kDownloadReadTimeout;

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
  // Downloads the installer and starts it; the failure's text, or empty.
  QString DownloadAndStart();

  Dialogs& dialogs_;
  DesktopShell& shell_;
  InstallerLauncher& launcher_;
  bool downloading_ = false;
  bool downloadCancelled_ = false;
};

}  // namespace orvanta
