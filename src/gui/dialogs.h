// Every modal dialog the window shows, behind one interface so that tests
// script the answers instead of blocking.
#pragma once

#include <QString>

class QWidget;

namespace orvanta {

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // An existing folder, or empty when cancelled.
  virtual QString ChooseFolder(QWidget* parent, const QString& title, const QString& startFolder) = 0;
  // A file name to save to, or empty when cancelled. The dialog asks before it
  // names an existing file; after No the person picks again or cancels.
  virtual QString ChooseSaveFile(QWidget* parent, const QString& proposedName, const QString& filter) = 0;
  // An existing file to open, or empty when cancelled.
  virtual QString ChooseOpenFile(QWidget* parent, const QString& filter) = 0;
  // Plain message: no icon, OK.
  virtual void Message(QWidget* parent, const QString& text) = 0;
  // Information icon, OK.
  virtual void Information(QWidget* parent, const QString& text) = 0;
  // Error icon, OK.
  virtual void Error(QWidget* parent, const QString& text) = 0;
  // Question icon, Yes and No; true for Yes. With `defaultYes` false, No is
  // the default button (a Yes that would lose data).
  virtual bool Confirm(QWidget* parent, const QString& text, bool defaultYes = true) = 0;
};

// The real dialogs: Qt's folder picker and save dialog, message boxes
// captioned with the application title.
class SystemDialogs final : public Dialogs {
 public:
  QString ChooseFolder(QWidget* parent, const QString& title, const QString& startFolder) override;
  QString ChooseSaveFile(QWidget* parent, const QString& proposedName, const QString& filter) override;
  QString ChooseOpenFile(QWidget* parent, const QString& filter) override;
  void Message(QWidget* parent, const QString& text) override;
  void Information(QWidget* parent, const QString& text) override;
  void Error(QWidget* parent, const QString& text) override;
  bool Confirm(QWidget* parent, const QString& text, bool defaultYes = true) override;
};

}  // namespace orvanta
