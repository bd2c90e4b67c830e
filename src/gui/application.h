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

// The error box's text: the message, with "." appended when its last
// character's code lies above that of ".".
QString ErrorBoxText(const QString& message);

}  // namespace orvanta
