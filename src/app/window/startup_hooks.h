// The steps of start-up that come before the main window.
#pragma once

namespace orvanta {

// Loads the interface text catalogue and chooses the language.
void LoadTranslations();

// Runs the version check and, when it has news, the new-version dialog.
// False when the program is to end before the main window opens.
bool OfferNewVersion();

}  // namespace orvanta
