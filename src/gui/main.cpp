// Start-up: title, catalogue, version check, main window, event loop.
#include <cstdio>
#include <cstdlib>

#include "gui/application.h"
#include "gui/desktop_shell.h"
#include "gui/dialogs.h"
#include "gui/main_window.h"
#include "gui/startup_hooks.h"
#include "text/catalogue.h"
#include "text/translate.h"

int main(int argc, char** argv) {
  orvanta::LoadTranslations();
#ifdef _WIN32
  const bool displayKnown = true;  // Windows always has its desktop
#else
  const bool displayKnown = std::getenv("DISPLAY") != nullptr || std::getenv("WAYLAND_DISPLAY") != nullptr ||
                            std::getenv("QT_QPA_PLATFORM") != nullptr;
#endif
  if (!displayKnown) {
    std::fprintf(
        stderr, "orvanta: %s\n",
        orvanta::TranslateText("No display found: use the command-line front end, orvanta-cli FOLDER...").c_str());
    return 1;
  }
  orvanta::OrvantaApplication app(argc, argv);
  orvanta::ApplyLanguageToToolkit();
  orvanta::SystemDialogs dialogs;
  app.SetDialogs(&dialogs);

  if (!orvanta::OfferNewVersion()) return 0;

  orvanta::SystemDesktopShell shell;
  orvanta::MainWindow form(dialogs, shell);
  form.show();
  return app.exec();
}
