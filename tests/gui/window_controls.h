// Tests reach the window's controls as a user's description of it names them:
// by objectName ("btnScan", "KeepNewest1", "lvFiles").
#pragma once

#include <QObject>
#include <QtGlobal>

namespace orvanta::test {

// The window's control of that name; a missing one stops the run, naming it.
template <typename Control>
Control* Find(const QObject& window, const char* objectName) {
  Control* control = window.findChild<Control*>(objectName);
  if (control == nullptr) {
    qFatal("the window has no %s named %s", Control::staticMetaObject.className(), objectName);
  }
  return control;
}

}  // namespace orvanta::test
