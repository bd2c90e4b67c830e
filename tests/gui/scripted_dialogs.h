// Dialogs whose answers a test sets beforehand; every message is recorded.
#pragma once

#include <QStringList>
#include <deque>

#include "gui/dialogs.h"

namespace orvanta::test {

class ScriptedDialogs final : public Dialogs {
 public:
  std::deque<QString> folders;    // answers of the folder picker; empty string: cancel
  std::deque<QString> saveFiles;  // answers of the save dialog
  std::deque<bool> confirmations;
  QStringList shown;              // "message:TEXT", "information:TEXT", "error:TEXT", "confirm:TEXT"
  bool lastConfirmDefaultYes = true;
  QString lastFolderTitle, lastFolderStart, lastSaveName, lastSaveFilter;

  QString ChooseFolder(QWidget*, const QString& title, const QString& start) override {
    lastFolderTitle = title;
    lastFolderStart = start;
    return Take(folders, QString());
  }
  QString ChooseSaveFile(QWidget*, const QString& proposedName, const QString& filter) override {
    lastSaveName = proposedName;
    lastSaveFilter = filter;
    return Take(saveFiles, QString());
  }
  void Message(QWidget*, const QString& text) override { shown << "message:" + text; }
  void Information(QWidget*, const QString& text) override { shown << "information:" + text; }
  void Error(QWidget*, const QString& text) override { shown << "error:" + text; }
  bool Confirm(QWidget*, const QString& text, bool defaultYes = true) override {
    shown << "confirm:" + text;
    lastConfirmDefaultYes = defaultYes;
    return Take(confirmations, false);
  }

 private:
  template <typename T>
  static T Take(std::deque<T>& answers, T fallback) {
    if (answers.empty()) return fallback;
    T answer = answers.front();
    answers.pop_front();
    return answer;
  }
};

}  // namespace orvanta::test
