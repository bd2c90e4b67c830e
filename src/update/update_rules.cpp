#include "update/update_rules.h"

#include <climits>
#include <cstdlib>

#include "core/app_info.h"
#include "text/text_helpers.h"
#include "text/translate.h"

#ifndef ORVANTA_UPDATE_URL_DEFAULT
#define ORVANTA_UPDATE_URL_DEFAULT "https://orvanta.invalid"
#endif

namespace orvanta {

namespace {

std::optional<int> DecimalNumber(std::string_view text) {
  const std::optional<std::int64_t> value = DecimalInteger(text);
  if (!value || *value < INT_MIN || *value > INT_MAX) return std::nullopt;
  return static_cast<int>(*value);
}

}  // namespace

int RunningVersionNumber() {
  std::string digits;
  for (const char c : std::string_view(kVersion)) {
    if (c != '.') digits.push_back(c);
  }
  return DecimalNumber(digits).value_or(0);
}

std::string UpdateServerUrl() {
  const char* fromEnvironment = std::getenv("ORVANTA_UPDATE_URL");
  std::string url =
      fromEnvironment != nullptr && *fromEnvironment != '\0' ? fromEnvironment : ORVANTA_UPDATE_URL_DEFAULT;
  while (!url.empty() && url.back() == '/') url.pop_back();
  return url;
}

void DropEmptyLines(std::vector<std::string>& lines) {
  std::erase_if(lines, [](const std::string& line) { return line.empty(); });
}

std::optional<VersionLine> ParseVersionLine(std::string_view line) {
  const std::size_t slash = line.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  const std::string_view latestText = line.substr(0, slash);
  const std::optional<int> latest = DecimalNumber(latestText);
  const std::optional<int> minimum = DecimalNumber(line.substr(slash + 1));
  if (!latest || !minimum) return std::nullopt;
  return VersionLine{*latest, *minimum, std::string(latestText)};
}

std::string DisplayVersion(std::string_view text) {
  if (text.empty()) return std::string();
  std::string display(text.substr(0, text.size() - 1));
  display += '.';
  display += text.back();
  return display;
}

std::optional<UpdateOffer> ComposeUpdateOffer(std::string_view versionBody, std::string_view changeListBody,
                                              int running) {
  const std::vector<std::string> versionLines = SplitLines(versionBody);
  if (versionLines.empty()) return std::nullopt;
  std::vector<std::string> changes = SplitLines(changeListBody);
  DropEmptyLines(changes);
  const std::optional<VersionLine> version = ParseVersionLine(versionLines.front());
  if (!version) return std::nullopt;

  UpdateOffer offer;
  // The message names the latest version in both cases: that is what the user downloads.
  const std::string display = DisplayVersion(version->latestText);
  if (version->minimum > running) {
    offer.compulsory = true;
    offer.message = FormatText(
        TranslateText(
            "This version of the software is out of date. You must download the current version %s to continue using the software."),
        {display});
  } else if (version->latest > running) {
    offer.message = FormatText(TranslateText("The new version %s is available"), {display});
  } else {
    return std::nullopt;
  }
  offer.message += "\r\n\r\n";
  offer.message += TranslateText("What's new:");
  offer.message += "\r\n";
  for (const std::string& change : changes) {
    offer.message += change;
    offer.message += "\r\n";
  }
  return offer;
}

}  // namespace orvanta
