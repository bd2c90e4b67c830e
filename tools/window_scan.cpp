// Runs the window's scan of the given folders offscreen and exits, so that a
// benchmark can time it beside orvanta-cli on the same tree:
//   orvanta-window-scan [--sequential] FOLDER...
// Settings as `orvanta-cli --compare content --min-size-mb 0 --max-groups 0`.
// Prints the scan's own time (without Qt's start-up) and the number of rows
// listed to standard error.
#include <QCheckBox>
#include <QSpinBox>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "gui/application.h"
#include "gui/desktop_shell.h"
#include "gui/dialogs.h"
#include "gui/main_window.h"
#include "text/catalogue.h"

int main(int argc, char** argv) {
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  orvanta::LoadTranslations();
  // The folders given with the start values, not the settings a past session
  // kept (read from here on; the window is never closed, so nothing is written).
  setenv("XDG_CONFIG_HOME", "/nonexistent/orvanta-window-scan", 1);
  orvanta::OrvantaApplication app(argc, argv);
  const QStringList args = app.arguments().mid(1);
  if (args.isEmpty()) {
    std::fprintf(stderr, "usage: orvanta-window-scan [--sequential] FOLDER...\n");
    return 2;
  }
  orvanta::SystemDialogs dialogs;
  orvanta::SystemDesktopShell shell;
  orvanta::MainWindow form(dialogs, shell);
  for (const QString& arg : args) {
    if (arg == "--sequential") {
      form.findChild<QCheckBox*>("chkParallelHash")->setChecked(false);
    } else {
      form.AddFolder(arg);
    }
  }
  form.findChild<QSpinBox*>("seMinSizeMB")->setValue(0);
  form.findChild<QSpinBox*>("seMaxGroups")->setValue(0);
  form.show();
  QTimer::singleShot(0, [&] {
    // The window's first paint (fonts, styles) is start-up, not scanning.
    QCoreApplication::processEvents();
    const auto start = std::chrono::steady_clock::now();
    form.ScanFolders();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::fprintf(stderr, "scan %.3f s, %zu rows\n", took.count(), form.Run().FileClones().Rows().size());
    app.exit(0);
  });
  return app.exec();
}
