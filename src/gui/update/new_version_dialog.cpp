#include "gui/update/new_version_dialog.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProgressBar>
#include <QPushButton>
#include <QSaveFile>
#include <QScrollArea>
#include <QShowEvent>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <memory>

#include "core/app_info.h"
#include "gui/desktop_shell.h"
#include "gui/dialogs.h"
#include "gui/local_path.h"
#include "gui/update/installer_launcher.h"
#include "gui/update/update_http.h"
#include "gui/update/update_icon.h"
#include "platform/platform.h"
#include "text/translate.h"
#include "update/update_rules.h"

namespace orvanta {
namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

NewVersionDialog::NewVersionDialog(UpdateOffer offer, Dialogs& dialogs, DesktopShell& shell,
                                   InstallerLauncher& launcher, QWidget* parent)
    : QDialog(parent),
      offer_(std::move(offer)),
      exitOnClose_(offer_.compulsory),
      dialogs_(dialogs),
      shell_(shell),
      launcher_(launcher) {
  setObjectName("frmNewVersion");
  QFont font("Segoe UI");
  font.setPixelSize(12);
  setFont(font);
  // Fixed size; without a parent, QDialog centres itself on the screen when shown.
  setFixedSize(425, 187);

  scrMessage = new QScrollArea(this);
  scrMessage->setObjectName("scrMessage");
  scrMessage->setGeometry(90, 11, 315, 106);
  scrMessage->setFrameShape(QFrame::NoFrame);
  scrMessage->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  scrMessage->setWidgetResizable(true);
  lblMessage = new QLabel;
  lblMessage->setObjectName("lblMessage");
  lblMessage->setWordWrap(true);
  lblMessage->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  lblMessage->setTextFormat(Qt::PlainText);
  lblMessage->setTextInteractionFlags(Qt::TextSelectableByMouse);
  scrMessage->setWidget(lblMessage);
  scrMessage->viewport()->setAutoFillBackground(false);
  lblMessage->setAutoFillBackground(false);

  imgIcon = new QLabel(this);
  imgIcon->setObjectName("imgIcon");
  imgIcon->setGeometry(9, 15, 70, 75);
  imgIcon->setAlignment(Qt::AlignCenter);
  imgIcon->setPixmap(DrawUpdateIcon(QSize(70, 70), devicePixelRatio()));

  progressBar = new QProgressBar(this);
  progressBar->setObjectName("progressBar");
  progressBar->setGeometry(8, 126, 397, 17);
  progressBar->setRange(0, 100);
  progressBar->setValue(0);
  progressBar->setTextVisible(false);
  progressBar->hide();

  btUpdateNow = new QPushButton(Q(TranslateText("Update Now")), this);
  btUpdateNow->setObjectName("btUpdateNow");
  btUpdateNow->setGeometry(214, 151, 100, 25);
  btUpdateNow->setAutoDefault(false);

  btCancel = new QPushButton(Q(TranslateText("Cancel")), this);
  btCancel->setObjectName("btCancel");
  btCancel->setGeometry(327, 151, 75, 25);
  btCancel->setAutoDefault(false);

  connect(btUpdateNow, &QPushButton::clicked, this, &NewVersionDialog::btUpdateNowClick);
  connect(btCancel, &QPushButton::clicked, this, &NewVersionDialog::btCancelClick);
}

void NewVersionDialog::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) FormShow();
}

void NewVersionDialog::FormShow() {
  continueToMainWindow = true;
  setWindowTitle(QString(" ") + kApplicationTitle);
  btUpdateNow->setText(Q(TranslateText("Update Now")));
  btCancel->setText(exitOnClose_ ? Q(TranslateText("Exit")) : Q(TranslateText("Skip")));
  FitButtons();
  lblMessage->setText(Q(offer_.message));
}

void NewVersionDialog::FitButtons() {
  // The buttons keep their places and right edges; a longer caption (in
  // another language) widens them to the left instead of being cut.
  auto needed = [](const QPushButton* button) {
    return button->fontMetrics().horizontalAdvance(QString(button->text()).remove('&')) + 16;
  };
  const int cancelWidth = std::max(75, needed(btCancel));
  btCancel->setGeometry(402 - cancelWidth, 151, cancelWidth, 25);
  const int updateWidth = std::max(100, needed(btUpdateNow));
  btUpdateNow->setGeometry(btCancel->x() - 13 - updateWidth, 151, updateWidth, 25);
}

void NewVersionDialog::done(int result) {
  // Only Abort stops a download: Escape or the close button leave it running,
  // and the dialog closes once it has ended, as it does after every download.
  if (downloading_) return;
  if (exitOnClose_) continueToMainWindow = false;
  QDialog::done(result);
}

void NewVersionDialog::btCancelClick() {
  if (downloading_) {
    downloadCancelled_ = true;
    return;
  }
  close();
}

void NewVersionDialog::OpenDownloadPage() {
  const QString page = QString("https://") + kMakerHost + kDownloadPagePath;
  if (!shell_.OpenWebPage(page)) {
    dialogs_.Error(this, Q(FormatText(TranslateText("No program on this system can open %s."), {page.toStdString()})));
    return;
  }
  close();
}

void NewVersionDialog::btUpdateNowClick() {
  if (!downloadsInstaller) {
    OpenDownloadPage();
    return;
  }
  // From here on the program ends when the dialog closes, so that the installer can replace it.
  exitOnClose_ = true;
  downloadCancelled_ = false;
  downloading_ = true;
  btCancel->setText(Q(TranslateText("Abort")));
  FitButtons();
  btUpdateNow->setEnabled(false);
  progressBar->setValue(0);
  progressBar->show();
  progressBar->repaint();
  QCoreApplication::processEvents();

  QString failure;
  try {
    failure = DownloadAndStart();
  } catch (const std::exception& error) {
    failure = QString::fromUtf8(error.what());
  }
  downloading_ = false;
  if (!failure.isEmpty()) {
    const QString headline = Q(TranslateText("Failed to download update. Please download manually on website."));
    dialogs_.Error(this, headline + "\r\n\r\n" + failure);
    shell_.OpenWebPage(QString("https://") + kMakerHost + "/");
  }
  close();
}

QString NewVersionDialog::DownloadProgress(const QNetworkReply& sender, qint64 count) {
  if (downloadCancelled_) return Q(TranslateText("Download is cancelled. Please download manually."));
  const qint64 length = sender.header(QNetworkRequest::ContentLengthHeader).toLongLong();
  const bool chunked = sender.rawHeader("Transfer-Encoding").toLower().contains("chunked");
  // Without a length there is nothing to measure against: the bar stays.
  if (!chunked && length > 0) {
    progressBar->setValue(static_cast<int>(std::clamp<qint64>(count * 100 / length, 0, 100)));
    progressBar->repaint();
  }
  emit DownloadProgressed(count);
  return QString();
}

QString NewVersionDialog::DownloadAndStart() {
  const QUrl source = UpdateFileUrl(kInstallerPath);
  if (!IsPermittedUpdateUrl(source)) {
    return Q(FormatText(TranslateText("Refused to download from %s: only https is allowed."),
                        {source.toString().toStdString()}));
  }
  const std::string target = platform::JoinedPath(platform::TempFolder(), kInstallerFileName);

  // Written beside the target and renamed over it once complete: a broken or
  // aborted transfer never lies under the installer's name, and an older
  // installer is replaced in one step.
  QSaveFile file(FromLocalPath(target));
  if (!file.open(QIODevice::WriteOnly)) return file.errorString();

  QNetworkAccessManager manager;
  const std::unique_ptr<QNetworkReply> reply(StartUpdateGet(manager, source, downloadReadTimeout));
  QString failure;
  qint64 received = 0;
  connect(reply.get(), &QNetworkReply::readyRead, this, [&] {
    if (!failure.isEmpty()) return;
    const QByteArray data = reply->readAll();
    if (file.write(data) != data.size()) {
      failure = file.errorString();
    } else {
      received += data.size();
      failure = DownloadProgress(*reply, received);
    }
    if (!failure.isEmpty()) reply->abort();
  });
  // The window stays responsive, so that Abort can be clicked, while the transfer runs.
  QEventLoop loop;
  connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
  if (!reply->isFinished()) loop.exec();

  if (failure.isEmpty() && reply->error() == QNetworkReply::OperationCanceledError) {
    // Nobody aborted it: the read time-out did, as nothing arrived.
    const auto seconds = std::chrono::ceil<std::chrono::seconds>(downloadReadTimeout).count();
    failure = downloadCancelled_ ? Q(TranslateText("Download is cancelled. Please download manually."))
                                 : Q(FormatText(TranslateText("The download stalled: nothing arrived for %d seconds."),
                                                {std::int64_t{seconds}}));
  }
  if (failure.isEmpty()) failure = ReplyFailure(*reply);
  if (!failure.isEmpty()) {
    file.cancelWriting();
    return failure;
  }
  if (!file.commit()) return file.errorString();
  if (!platform::FileExists(target)) return Q(TranslateText("Cannot find downloaded file."));
  launcher_.Start(FileSystemPath(target));
  return QString();
}

}  // namespace orvanta
