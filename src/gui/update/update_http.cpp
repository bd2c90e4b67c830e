#include "gui/update/update_http.h"

#include <QEventLoop>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>
#include <cstdint>
#include <memory>

#if QT_CONFIG(ssl)
#include <QSslConfiguration>
#include <QSslSocket>
#endif

#include "text/translate.h"
#include "update/update_rules.h"

namespace orvanta {

bool IsPermittedUpdateUrl(const QUrl& url) {
  if (!url.isValid() || url.host().isEmpty()) return false;
  const QString scheme = url.scheme().toLower();
  if (scheme == "https") return true;
  if (scheme != "http") return false;
  QHostAddress address;
  return address.setAddress(url.host()) && address.isLoopback();
}

QUrl UpdateFileUrl(const char* path) { return QUrl(QString::fromStdString(UpdateServerUrl()) + path); }

QNetworkReply* StartUpdateGet(QNetworkAccessManager& manager, const QUrl& url, std::chrono::milliseconds readTimeout) {
  QNetworkRequest request(url);
  request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray(kUpdateUserAgent));
  request.setTransferTimeout(static_cast<int>(readTimeout.count()));
#if QT_CONFIG(ssl)
  QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
  tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
  request.setSslConfiguration(tls);
#endif
  request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
  return manager.get(request);
}

QString ReplyFailure(const QNetworkReply& reply) {
  if (reply.error() != QNetworkReply::NoError) return reply.errorString();
  const int status = reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
  if (status >= 200 && status < 300) return QString();
  // A redirect that was not followed, or a status Qt does not count as an error.
  const std::string reason = reply.attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString().toStdString();
  return QString::fromStdString(
      FormatText(TranslateText("The server answered %d %s."), {std::int64_t{status}, reason}));
}

std::optional<QByteArray> FetchUpdateFile(QNetworkAccessManager& manager, const QUrl& url,
                                          std::chrono::milliseconds readTimeout, QDeadlineTimer deadline) {
  QUrl address = url;
  // Redirects are followed here rather than by Qt, so that every hop is vetted.
  for (int redirects = 0;; ++redirects) {
    if (!IsPermittedUpdateUrl(address) || deadline.hasExpired()) return std::nullopt;
    const std::unique_ptr<QNetworkReply> reply(StartUpdateGet(manager, address, readTimeout));
    // The read time-out does not cover name lookup and connecting on every
    // path; this timer bounds the whole request.
    QTimer bound;
    bound.setSingleShot(true);
    QObject::connect(&bound, &QTimer::timeout, reply.get(), &QNetworkReply::abort);
    QEventLoop loop;
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    bound.start(std::chrono::milliseconds(deadline.remainingTime()));
    if (!reply->isFinished()) loop.exec();

    const QUrl target = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
    if (reply->error() == QNetworkReply::NoError && target.isValid() && !target.isEmpty()) {
      if (redirects == kMaxUpdateRedirects) return std::nullopt;
      address = address.resolved(target);
      continue;
    }
    if (!ReplyFailure(*reply).isEmpty()) return std::nullopt;
    return reply->readAll();
  }
}

}  // namespace orvanta
