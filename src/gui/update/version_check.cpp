#include "gui/update/version_check.h"

#include <QDeadlineTimer>
#include <QNetworkAccessManager>
#include <exception>

#include "gui/update/update_http.h"
#include "update/update_rules.h"

namespace orvanta {

std::optional<UpdateOffer> CheckForNewVersion(std::chrono::milliseconds timeLimit) {
  try {
    const QDeadlineTimer deadline(timeLimit);
    QNetworkAccessManager manager;
    // Both files are needed: a failure on either ends the check.
    const std::optional<QByteArray> version =
        FetchUpdateFile(manager, UpdateFileUrl(kVersionFilePath), kUpdateReadTimeout, deadline);
    if (!version || SplitLines(version->toStdString()).empty()) return std::nullopt;
    const std::optional<QByteArray> changes =
        FetchUpdateFile(manager, UpdateFileUrl(kChangeListPath), kUpdateReadTimeout, deadline);
    if (!changes) return std::nullopt;
    return ComposeUpdateOffer(version->toStdString(), changes->toStdString(), RunningVersionNumber());
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace orvanta
