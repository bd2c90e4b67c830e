// Alt letters for the menus, in whatever language their texts are.
#pragma once

class QMenuBar;

namespace orvanta {

// Gives the menu bar's menus, and the items of every menu in it, each a letter
// of its own text, one that no other item beside it has: a word's first letter
// where it can, else any letter of it. A text written in characters a keyboard
// does not type one by one (Chinese, Japanese, Korean) is shown with the
// letter of its English text after it, "ファイル(F)"; so is a text whose
// letters all went to the items before it. A text that marks its own letter
// keeps it. Runs again after every change of the texts.
void MarkMnemonics(QMenuBar& bar);

}  // namespace orvanta
