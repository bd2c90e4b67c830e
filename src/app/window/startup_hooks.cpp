#include "app/window/startup_hooks.h"

namespace orvanta {

// English only until the catalogue arrives.
void LoadTranslations() {}

// No version check yet: start-up always goes on to the main window.
bool OfferNewVersion() { return true; }

}  // namespace orvanta
