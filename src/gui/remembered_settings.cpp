#include "gui/remembered_settings.h"

#include <QAbstractButton>
#include <QAction>
#include <QButtonGroup>
#include <QLineEdit>
#include <QListWidget>
#include <QSpinBox>
#include <charconv>

#include "gui/local_path.h"

namespace orvanta {
namespace {

std::optional<bool> StoredBool(const std::string& stored) {
  if (stored == "true") return true;
  if (stored == "false") return false;
  return std::nullopt;
}

std::optional<int> StoredInt(const std::string& stored) {
  int value = 0;
  const auto [end, error] = std::from_chars(stored.data(), stored.data() + stored.size(), value);
  if (error != std::errc() || end != stored.data() + stored.size() || stored.empty()) return std::nullopt;
  return value;
}

std::string BoolText(bool value) { return value ? "true" : "false"; }

}  // namespace

std::string JoinStoredList(const std::vector<std::string>& items) {
  std::string joined;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) joined += '|';
    for (const char c : items[i]) {
      switch (c) {
        case '\\': joined += "\\\\"; break;
        case '|': joined += "\\|"; break;
        case '\n': joined += "\\n"; break;
        case '\r': joined += "\\r"; break;
        default: joined += c;
      }
    }
  }
  return joined;
}

std::vector<std::string> SplitStoredList(const std::string& stored) {
  std::vector<std::string> items;
  if (stored.empty()) return items;
  std::string item;
  for (std::size_t i = 0; i < stored.size(); ++i) {
    const char c = stored[i];
    if (c == '|') {
      items.push_back(std::move(item));
      item.clear();
    } else if (c == '\\' && i + 1 < stored.size()) {
      const char next = stored[++i];
      item += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    } else {
      item += c;
    }
  }
  items.push_back(std::move(item));
  return items;
}

std::optional<std::string> StoredState(const QObject& control) {
  if (const auto* list = qobject_cast<const QListWidget*>(&control)) {
    std::vector<std::string> items;
    for (int i = 0; i < list->count(); ++i) items.push_back(ToLocalPath(list->item(i)->text()));
    return JoinStoredList(items);
  }
  if (const auto* group = qobject_cast<const QButtonGroup*>(&control)) return std::to_string(group->checkedId());
  if (const auto* spin = qobject_cast<const QSpinBox*>(&control)) return std::to_string(spin->value());
  if (const auto* edit = qobject_cast<const QLineEdit*>(&control)) return JoinStoredList({edit->text().toStdString()});
  if (const auto* box = qobject_cast<const QAbstractButton*>(&control); box != nullptr && box->isCheckable()) {
    return BoolText(box->isChecked());
  }
  if (const auto* item = qobject_cast<const QAction*>(&control); item != nullptr && item->isCheckable()) {
    return BoolText(item->isChecked());
  }
  return std::nullopt;
}

void RestoreState(QObject& control, const std::string& stored) {
  if (auto* list = qobject_cast<QListWidget*>(&control)) {
    list->clear();
    for (const std::string& item : SplitStoredList(stored)) list->addItem(FromLocalPath(item));
  } else if (auto* group = qobject_cast<QButtonGroup*>(&control)) {
    const std::optional<int> id = StoredInt(stored);
    if (QAbstractButton* item = id ? group->button(*id) : nullptr) item->setChecked(true);
  } else if (auto* spin = qobject_cast<QSpinBox*>(&control)) {
    const std::optional<int> value = StoredInt(stored);
    if (value && *value >= spin->minimum() && *value <= spin->maximum()) spin->setValue(*value);
  } else if (auto* edit = qobject_cast<QLineEdit*>(&control)) {
    // One text, escaped as a list item; an unescaped "|" makes it no text of ours.
    const std::vector<std::string> text = SplitStoredList(stored);
    if (text.size() <= 1) edit->setText(text.empty() ? QString() : QString::fromStdString(text[0]));
  } else if (auto* box = qobject_cast<QAbstractButton*>(&control); box != nullptr && box->isCheckable()) {
    if (const std::optional<bool> checked = StoredBool(stored)) box->setChecked(*checked);
  } else if (auto* item = qobject_cast<QAction*>(&control); item != nullptr && item->isCheckable()) {
    if (const std::optional<bool> checked = StoredBool(stored)) item->setChecked(*checked);
  }
}

}  // namespace orvanta
