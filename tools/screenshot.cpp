// Renders the main window after a scan of the given folders to a PNG:
//   orvanta-screenshot OUT.png [--folders] [--page N] [--compare N] [--max-groups N]
//                      [--sort COLUMN] [--search TEXT] [--details] FOLDER...
// --sort clicks a column's header (twice to reverse), --search types into the
// search field, --details shows the first file row's details tooltip.
//   orvanta-screenshot OUT.png --update-dialog      (the new-version dialog with a sample message)
//   orvanta-screenshot OUT.png --question           (the removal's question)
#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QSpinBox>
#include <QString>
#include <QTabWidget>
#include <QTimer>
#include <QToolTip>
#include <cstdio>

#include "gui/application.h"
#include "gui/desktop_shell.h"
#include "gui/dialogs.h"
#include "gui/main_window.h"
#include "gui/result_list_view.h"
#include "gui/update/installer_launcher.h"
#include "gui/update/new_version_dialog.h"
#include "text/catalogue.h"
#include "text/translate.h"
#include "update/update_rules.h"

int main(int argc, char** argv) {
  orvanta::LoadTranslations();
  orvanta::OrvantaApplication app(argc, argv);
  orvanta::ApplyLanguageToToolkit();
  const QStringList args = app.arguments().mid(1);
  if (args.isEmpty()) {
    std::fprintf(stderr,
                 "usage: orvanta-screenshot OUT.png [--folders] [--page N] [--compare N] [--max-groups N]\n"
                 "                          [--sort COLUMN] [--search TEXT] [--details] FOLDER...\n");
    return 2;
  }
  orvanta::SystemDialogs dialogs;
  orvanta::SystemDesktopShell shell;
  if (args.size() == 2 && args[1] == "--update-dialog") {
    orvanta::UpdateOffer offer;
    offer.message =
        orvanta::FormatText(orvanta::TranslateText("The new version %s is available"), {std::string("2.5")}) +
        "\r\n\r\n" + orvanta::TranslateText("What's new:") + "\r\n" +
        "Faster scans of large folders\r\nNew languages\r\n";
    orvanta::DesktopInstallerLauncher launcher;
    orvanta::NewVersionDialog dialog(offer, dialogs, shell, launcher);
    dialog.show();
    QTimer::singleShot(200, [&] {
      const bool saved = dialog.grab().save(args[0]);
      std::fprintf(stderr, "%s %s\n", saved ? "wrote" : "could not write", qPrintable(args[0]));
      app.exit(saved ? 0 : 1);
    });
    return app.exec();
  }
  if (args.size() == 2 && args[1] == "--question") {
    // The removal's question as SystemDialogs::Confirm shows it.
    QMessageBox box(QMessageBox::Question, QApplication::applicationDisplayName(),
                    QString::fromStdString(
                        orvanta::FormatText(orvanta::TranslateText("Move %d files to the Trash?"), {std::int64_t{3}})),
                    QMessageBox::Yes | QMessageBox::No);
    box.show();
    QTimer::singleShot(200, [&] {
      const bool saved = box.grab().save(args[0]);
      std::fprintf(stderr, "%s %s\n", saved ? "wrote" : "could not write", qPrintable(args[0]));
      app.exit(saved ? 0 : 1);
    });
    return app.exec();
  }
  orvanta::MainWindow form(dialogs, shell);
  int page = 0;
  QList<int> sortClicks;
  QString search;
  bool details = false;
  for (int i = 1; i < args.size(); ++i) {
    if (args[i] == "--folders") {
      form.findChild<QCheckBox*>("chkDirDuplicates")->setChecked(true);
    } else if (args[i] == "--page" && i + 1 < args.size()) {
      page = args[++i].toInt();
    } else if (args[i] == "--compare" && i + 1 < args.size()) {
      form.findChild<QButtonGroup*>("rgCompareItems")->button(args[++i].toInt())->setChecked(true);
    } else if (args[i] == "--max-groups" && i + 1 < args.size()) {
      form.findChild<QSpinBox*>("seMaxGroups")->setValue(args[++i].toInt());
    } else if (args[i] == "--sort" && i + 1 < args.size()) {
      sortClicks << args[++i].toInt();
    } else if (args[i] == "--search" && i + 1 < args.size()) {
      search = args[++i];
    } else if (args[i] == "--details") {
      details = true;
    } else {
      form.AddFolder(args[i]);
    }
  }
  form.findChild<QSpinBox*>("seMinSizeMB")->setValue(0);
  form.show();
  QTimer::singleShot(0, [&] {
    form.ScanFolders();
    form.findChild<QTabWidget*>("PageControl1")->setCurrentIndex(page);
    auto* view = form.findChild<orvanta::ResultListView*>(page == 0 ? "lvFiles" : "lvDirs");
    // A click on the header as a person makes it: the indicator flips.
    for (const int column : sortClicks) {
      QHeaderView* header = view->header();
      const bool again = header->sortIndicatorSection() == column;
      const auto initial = view->model()->headerData(column, Qt::Horizontal, Qt::InitialSortOrderRole);
      const auto order =
          again ? (header->sortIndicatorOrder() == Qt::AscendingOrder ? Qt::DescendingOrder : Qt::AscendingOrder)
                : static_cast<Qt::SortOrder>(initial.toInt());
      header->setSortIndicator(column, order);
    }
    if (!search.isEmpty()) form.findChild<QLineEdit*>("edSearch")->setText(search);
    QTimer::singleShot(200, [&, view] {
      QPixmap shot = form.grab();
      if (details) {
        // The tooltip of the first member row's name, drawn where it would show.
        const QModelIndex cell = view->model()->index(1, 1);
        const QRect rect = view->visualRect(cell);
        const QPoint at = view->viewport()->mapTo(&form, rect.center() + QPoint(0, rect.height()));
        QToolTip::showText(form.mapToGlobal(at), cell.data(Qt::ToolTipRole).toString(), view->viewport());
        QCoreApplication::processEvents();
        for (QWidget* top : QApplication::topLevelWidgets()) {
          if (top->inherits("QTipLabel") && top->isVisible()) {
            QPainter painter(&shot);
            const QPoint place = form.isRightToLeft() ? at - QPoint(top->width(), 0) : at;
            painter.drawPixmap(place, top->grab());
          }
        }
      }
      const bool saved = shot.save(args[0]);
      std::fprintf(stderr, "%s %s\n", saved ? "wrote" : "could not write", qPrintable(args[0]));
      app.exit(saved ? 0 : 1);
    });
  });
  return app.exec();
}
