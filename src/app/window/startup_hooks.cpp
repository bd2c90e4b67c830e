#include "app/window/startup_hooks.h"

namespace orvanta {

// No version check yet: start-up always goes on to the main window.
bool OfferNewVersion() { return true; }

}  // namespace orvanta
