#include "gui/mnemonics.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QSet>

#include "text/catalogue.h"

namespace orvanta {
namespace {

// The letter an item's text marks with a single "&" ("&&" is a shown "&"); null for none.
QChar MarkedLetter(const QString& text) {
  for (qsizetype i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '&') continue;
    if (text[i + 1] == '&') {
      ++i;
    } else {
      return text[i + 1];
    }
  }
  return QChar();
}

// Whether a keyboard types the character as one key: not a syllable of an input method.
bool Typeable(QChar c) {
  if (!c.isLetterOrNumber() || c.isSurrogate()) return false;
  switch (c.script()) {
    case QChar::Script_Han:
    case QChar::Script_Hiragana:
    case QChar::Script_Katakana:
    case QChar::Script_Hangul:
    case QChar::Script_Bopomofo: return false;
    default: return true;
  }
}

// The text with "&" before the letter at `at`.
QString MarkAt(const QString& text, qsizetype at) { return text.left(at) + '&' + text.mid(at); }

QString WithMnemonic(const QString& text, const QString& englishText, QSet<QChar>& used) {
  // A word's first letter, then any letter; "&&" is no letter.
  for (const bool wordStartsOnly : {true, false}) {
    for (qsizetype i = 0; i < text.size(); ++i) {
      if (text[i] == '&') {
        ++i;
        continue;
      }
      const bool wordStart = i == 0 || !text[i - 1].isLetterOrNumber();
      if ((wordStartsOnly && !wordStart) || !Typeable(text[i])) continue;
      if (!used.contains(text[i].toLower())) {
        used.insert(text[i].toLower());
        return MarkAt(text, i);
      }
    }
  }
  // After the text, as Chinese, Japanese and Korean menus show it: a letter of
  // the English text where one is free, else any free one.
  const QString candidates = englishText.toUpper() + "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  for (const QChar c : candidates) {
    if (c.isLetterOrNumber() && c.unicode() < 128 && !used.contains(c.toLower())) {
      used.insert(c.toLower());
      return text + "(&" + c + ")";
    }
  }
  return text;
}

void MarkItems(const QList<QAction*>& items) {
  QSet<QChar> used;
  for (const QAction* item : items) {
    if (const QChar letter = MarkedLetter(item->text()); !letter.isNull()) used.insert(letter.toLower());
  }
  const int language = CurrentTranslations().currentLanguageIndex;
  for (QAction* item : items) {
    const QString text = item->text();
    if (item->isSeparator() || text.isEmpty() || !MarkedLetter(text).isNull()) continue;
    const QString english =
        QString::fromStdString(TextInLanguage(text.toStdString(), language, 0).value_or(text.toStdString()));
    item->setText(WithMnemonic(text, english, used));
  }
  for (const QAction* item : items) {
    if (item->menu() != nullptr) MarkItems(item->menu()->actions());
  }
}

}  // namespace

void MarkMnemonics(QMenuBar& bar) { MarkItems(bar.actions()); }

}  // namespace orvanta
