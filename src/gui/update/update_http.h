// HTTP for the version check and the installer download, on Qt Network.
// Only https reaches the network: plain http is accepted for a loopback
// address alone, so that tests can serve the files locally.
#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>
#include <chrono>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class QUrl;

namespace orvanta {

inline constexpr int kMaxUpdateRedirects = 10;

// https, or http to a loopback address (127.0.0.0/8, ::1). A host name never
// counts as loopback: whatever it resolves to is outside our hands.
bool IsPermittedUpdateUrl(const QUrl& url);

// The address of a file on the update server.
QUrl UpdateFileUrl(const char* path);

// Starts a GET with the update user agent and certificate verification, owned
// by the caller. Redirects are not followed here: the reply ends with the 3xx
// status. `readTimeout` aborts a transfer that receives nothing for that long.
QNetworkReply* StartUpdateGet(QNetworkAccessManager& manager, const QUrl& url, std::chrono::milliseconds readTimeout);

// Why a finished reply failed (error, or a status outside 2xx); empty when it succeeded.
QString ReplyFailure(const QNetworkReply& reply);

// The whole body of a permitted address, or nothing on any failure. Redirects
// are followed up to kMaxUpdateRedirects, each target vetted like the address
// itself; the deadline bounds everything, name lookup and connecting included.
std::optional<QByteArray> FetchUpdateFile(QNetworkAccessManager& manager, const QUrl& url,
                                          std::chrono::milliseconds readTimeout, QDeadlineTimer deadline);

}  // namespace orvanta
