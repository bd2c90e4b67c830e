// The state of the window's settings controls as stored texts, so that one
// table (RememberedSettings() in main_window.cpp) names what is kept from one
// session to the next: a key and a control, whatever kind of control it is.
#pragma once

#include <optional>
#include <string>
#include <vector>

class QObject;

namespace orvanta {

// The state of a check box, radio group, spin box, line edit, folder list or
// checkable menu item as one line of text; nothing for any other control.
std::optional<std::string> StoredState(const QObject& control);
// Puts a stored state back; a text the control cannot take (a word where a
// number belongs, a choice it does not have) leaves it as it is.
void RestoreState(QObject& control, const std::string& stored);

// A list of texts as one line: "\" escapes itself, "|", a line feed ("\n")
// and a carriage return ("\r"); "|" separates the items. Any bytes pass, so
// a folder name with a line break or a "|" comes back as it was.
std::string JoinStoredList(const std::vector<std::string>& items);
std::vector<std::string> SplitStoredList(const std::string& stored);

}  // namespace orvanta
