#include "gui/application.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QTranslator>
#include <exception>

#include "core/app_info.h"
#include "gui/dialogs.h"
#include "text/catalogue.h"

namespace orvanta {

OrvantaApplication::OrvantaApplication(int& argc, char** argv) : QApplication(argc, argv) {
  // No display name of its own: Qt would append it to every window title on Linux.
  setApplicationName(kApplicationTitle);
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

bool ApplyLanguageToToolkit() {
  static QPointer<QTranslator> qtTexts;
  if (qtTexts == nullptr) qtTexts = new QTranslator(QCoreApplication::instance());
  QCoreApplication::removeTranslator(qtTexts);
  const std::string code = LanguageCodeInForce();
  QApplication::setLayoutDirection(IsRightToLeftLanguage(code) ? Qt::RightToLeft : Qt::LeftToRight);
  if (code == "en") return true;
  const QLocale locale(QString::fromStdString(LocaleNameOfCode(code)));
  if (!qtTexts->load(locale, "qtbase", "_", QLibraryInfo::path(QLibraryInfo::TranslationsPath))) return false;
  QCoreApplication::installTranslator(qtTexts);
  return true;
}

QString ErrorBoxText(const QString& message) {
  if (!message.isEmpty() && message.back().unicode() > u'.') return message + ".";
  return message;
}

}  // namespace orvanta
