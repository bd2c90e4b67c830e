// Dialogs whose answers a test sets beforehand, and a desktop that records
// what it is asked to open.
#pragma once

#include <QFileInfo>
#include <QStringList>
#include <deque>
#include <string>

#include "gui/desktop_shell.h"
#include "gui/dialogs.h"

namespace orvanta::test {

class ScriptedDialogs final : public Dialogs {
 public:
  std::deque<QString> folders;    // answers of the folder picker; empty string: cancel
  std::deque<QString> saveFiles;  // answers of the save dialog
  std::deque<QString> openFiles;  // answers of the open dialog
  // The save dialog's question when its answer names an existing file, as the
  // platform's asks it ("overwrite:PATH" in shown); No (or none left) cancels.
  std::deque<bool> overwrites;
  std::deque<bool> confirmations;
  QStringList shown;  // "message:TEXT", "information:TEXT", "error:TEXT", "confirm:TEXT"
  bool lastConfirmDefaultYes = true;
  QString lastFolderTitle, lastFolderStart, lastSaveName, lastSaveFilter, lastOpenFilter;

  QString ChooseFolder(QWidget*, const QString& title, const QString& start) override {
    lastFolderTitle = title;
    lastFolderStart = start;
    return Take(folders, QString());
  }
  QString ChooseSaveFile(QWidget*, const QString& proposedName, const QString& filter) override {
    lastSaveName = proposedName;
    lastSaveFilter = filter;
    const QString chosen = Take(saveFiles, QString());
    if (chosen.isEmpty() || !QFileInfo::exists(chosen)) return chosen;
    shown << "overwrite:" + chosen;
    return Take(overwrites, false) ? chosen : QString();
  }
  QString ChooseOpenFile(QWidget*, const QString& filter) override {
    lastOpenFilter = filter;
    return Take(openFiles, QString());
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

// Every request as "show:PATH", "open:PATH", "web:URL" or "item:PATH";
// `opens` false stands for a desktop where nothing can open them.
struct RecordingShell final : DesktopShell {
  QStringList requests;
  bool opens = true;
  bool ShowFile(const std::string& path) override { return Record("show:" + QString::fromStdString(path)); }
  bool OpenFolder(const std::string& path) override { return Record("open:" + QString::fromStdString(path)); }
  bool OpenWebPage(const QString& url) override { return Record("web:" + url); }
  bool OpenItem(const std::string& path, std::string& error) override {
    if (!opens) error = "no handler";
    return Record("item:" + QString::fromStdString(path));
  }

 private:
  bool Record(const QString& request) {
    requests << request;
    return opens;
  }
};

}  // namespace orvanta::test
