// The update check's rules, free of any toolkit: where the files lie, how the
// version line and the change list are read, and the text the dialog shows.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "text/text_helpers.h"  // SplitLines: how the update files are read

namespace orvanta {

inline constexpr char kVersionFilePath[] = "/download/version/orvanta-version.html";
inline constexpr char kChangeListPath[] = "/download/version/orvanta-changes.html";
inline constexpr char kInstallerPath[] = "/download/orvanta.exe";
inline constexpr char kInstallerFileName[] = "vlm_update.exe";
// Where a system without the installer's platform gets the new version: the
// maker's download page, in the browser.
inline constexpr char kDownloadPagePath[] = "/download/";
inline constexpr char kUpdateUserAgent[] = "Mozilla/4.0 (compatible; MyApp)";

// The running version as the version file writes it: without its point (24).
int RunningVersionNumber();

// The update server's base address without a trailing "/": the environment
// variable ORVANTA_UPDATE_URL when set, else the build setting of that name.
std::string UpdateServerUrl();

// Removes the lines of zero characters; a line of blanks stays.
void DropEmptyLines(std::vector<std::string>& lines);

struct VersionLine {
  int latest = 0;
  int minimum = 0;
  std::string latestText;  // the latest version as the line writes it
};

// "latest/minimum", both decimal digits only; nothing when either is empty,
// holds anything else or does not fit an int.
std::optional<VersionLine> ParseVersionLine(std::string_view line);

// A version written without its point, with the point put back before its
// last character: "25" gives "2.5", "210" gives "21.0".
std::string DisplayVersion(std::string_view text);

struct UpdateOffer {
  std::string message;
  bool compulsory = false;
};

// What the version file and the change list (bodies as received) tell a
// program of version `running`: nothing, an optional or a compulsory update.
// The message is composed in the current language.
std::optional<UpdateOffer> ComposeUpdateOffer(std::string_view versionBody, std::string_view changeListBody,
                                              int running);

}  // namespace orvanta
