#include "gui/application.h"

#include <exception>

#include "core/app_info.h"
#include "gui/dialogs.h"

namespace orvanta {

OrvantaApplication::OrvantaApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(kApplicationTitle);
  setApplicationDisplayName(kApplicationTitle);
  setApplicationVersion(kVersion);
}

bool OrvantaApplication::notify(QObject* receiver, QEvent* event) {
  QString message;
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    // Every error of ours: shown, and the program goes on. Anything else is a
    // fault no box can explain and ends the program where it was thrown.
    message = QString::fromUtf8(error.what());
  }
  if (dialogs_ != nullptr) dialogs_->Error(activeWindow(), ErrorBoxText(message));
  return false;
}

QString ErrorBoxText(const QString& message) {
  if (!message.isEmpty() && message.back().unicode() > u'.') return message + ".";
  return message;
}

}  // namespace orvanta
