#include "gui/update/version_check.h"

#include <QDeadlineTimer>
#include <QNetworkAccessManager>
#include <exception>

#include "gui/update/update_http.h"
#include "update/update_rules.h"

namespace orvanta {

bool CheckForNewVersion(std::chrono::milliseconds timeLimit) {
  try {
    const QDeadlineTimer deadline(timeLimit);
    QNetworkAccessManager manager;
    // Both files are needed: a failure on either ends the check.
    const std::optional<QByteArray> version =
        FetchUpdateFile(manager, UpdateFileUrl(kVersionFilePath), kUpdateReadTimeout, deadline);
    if (!version || SplitLines(version->toStdString()).empty()) return false;
    const std::optional<QByteArray> changes =
        FetchUpdateFile(manager, UpdateFileUrl(kChangeListPath), kUpdateReadTimeout, deadline);
    if (!changes) return false;
    std::optional<UpdateOffer> offer =
        ComposeUpdateOffer(version->toStdString(), changes->toStdString(), RunningVersionNumber());
    if (!offer) return false;
    if (offer->compulsory) ExitOnClose = true;
    NewVersionMessage = std::move(offer->message);
    return true;
  } catch (const std::exception&) {
    return false;
  }
}

}  // namespace orvanta
