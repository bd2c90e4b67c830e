// The questions and messages a result action puts to the user; the window
// answers with its dialogs, tests with scripted answers.
#pragma once

#include <string>

namespace orvanta {

class Prompts {
 public:
  virtual ~Prompts() = default;
  // A plain message with an OK button.
  virtual void Message(const std::string& text) = 0;
  // A question with Yes and No; true for Yes. `defaultYes` false makes No the
  // answer that Enter gives, for questions whose Yes loses data.
  virtual bool Confirm(const std::string& text, bool defaultYes) = 0;
};

}  // namespace orvanta
