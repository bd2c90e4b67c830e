// The application object: an error that escapes an event handler is shown in
// an error box and the program goes on.
#pragma once

#include <QApplication>

namespace orvanta {

class Dialogs;

class OrvantaApplication final : public QApplication {
 public:
  OrvantaApplication(int& argc, char** argv);
  void SetDialogs(Dialogs* dialogs) { dialogs_ = dialogs; }
  bool notify(QObject* receiver, QEvent* event) override;

 private:
  Dialogs* dialogs_ = nullptr;
};

// Makes the toolkit follow the catalogue's language in force: Qt's own texts
// (standard buttons, the file dialogs) from its translations, and the layout
// right to left for a language written so. Call after the application object
// exists and again whenever the language changes. False when Qt has no
// translation of its own for the language (its texts then stay English).
bool ApplyLanguageToToolkit();

// The error box's text: the message, with "." appended when its last
// character's code lies above that of ".".
QString ErrorBoxText(const QString& message);

}  // namespace orvanta
