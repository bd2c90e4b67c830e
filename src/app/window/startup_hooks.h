// The step of start-up between the catalogue and the main window.
#pragma once

namespace orvanta {

// Runs the version check and, when it has news, the new-version dialog.
// False when the program is to end before the main window opens.
bool OfferNewVersion();

}  // namespace orvanta
