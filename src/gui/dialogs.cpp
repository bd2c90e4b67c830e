#include "gui/dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>

namespace orvanta {
namespace {

QMessageBox::StandardButton ShowBox(QWidget* parent, QMessageBox::Icon icon, const QString& text,
                                    QMessageBox::StandardButtons buttons,
                                    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton) {
  // Owned by the window and centred over it, where Windows' and the Linux
  // desktops' guidelines place a modal dialog: one on the screen's centre,
  // away from a moved window, belongs to nothing in view, and a box without
  // an owner can fall behind the window it blocks.
  QMessageBox box(icon, QApplication::applicationDisplayName(), text, buttons, parent);
  if (defaultButton != QMessageBox::NoButton) box.setDefaultButton(defaultButton);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

}  // namespace

QString SystemDialogs::ChooseFolder(QWidget* parent, const QString& title, const QString& startFolder) {
  return QFileDialog::getExistingDirectory(parent, title, startFolder, QFileDialog::ShowDirsOnly);
}

QString SystemDialogs::ChooseSaveFile(QWidget* parent, const QString& proposedName, const QString& filter) {
  // The platform's dialog asks before it names an existing file.
  return QFileDialog::getSaveFileName(parent, QString(), proposedName, filter);
}

QString SystemDialogs::ChooseOpenFile(QWidget* parent, const QString& filter) {
  return QFileDialog::getOpenFileName(parent, QString(), QString(), filter);
}

void SystemDialogs::Message(QWidget* parent, const QString& text) {
  ShowBox(parent, QMessageBox::NoIcon, text, QMessageBox::Ok);
}

void SystemDialogs::Information(QWidget* parent, const QString& text) {
  ShowBox(parent, QMessageBox::Information, text, QMessageBox::Ok);
}

void SystemDialogs::Error(QWidget* parent, const QString& text) {
  ShowBox(parent, QMessageBox::Critical, text, QMessageBox::Ok);
}

bool SystemDialogs::Confirm(QWidget* parent, const QString& text, bool defaultYes) {
  return ShowBox(parent, QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No,
                 defaultYes ? QMessageBox::Yes : QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace orvanta
