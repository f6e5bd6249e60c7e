// aggcfg-screenshots: pictures of the library's sheet and dialogs for the documentation.
//
//   aggcfg-screenshots FOLDER
//
// Loads the configuration of the machine root ($PAIRWAY_ROOT) as the configuration entry point
// does, for port TREVAN2, shows the sheet offscreen and saves each page as drawn by its real
// widgets: FOLDER/config-sheet-configuration.png and FOLDER/config-sheet-status.png; then the
// new-hardware dialog listing every port: FOLDER/new-hardware-dialog.png. Exit status 0
// when every picture was saved, 1 when one was not, 2 for a usage error. scripts/screenshots runs
// it on a machine made for the purpose.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <QApplication>
#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <string>

#include "groups_config_app.h"
#include "groups_config_sheet.h"
#include "new_hardware_dlg.h"
#include "pairway/ui/gui_session.h"
#include "pairway/ui/recording_sink.h"

namespace {

bool Save(QWidget* window, const std::string& path) {
  bool saved = window->grab().save(QString::fromStdString(path), "PNG");
  fprintf(stderr, "%s %s\n", saved ? "saved" : "could not save", path.c_str());
  return saved;
}

// Shows the sheet and saves a picture of each of its pages.
bool SaveSheet(const std::string& folder) {
  auto registry = std::make_unique<CAdapterRegistry>();
  theApp.m_registry = registry.get();
  registry->LoadAdapters();
  theApp.LoadConfiguration("TREVAN2");
  CGroupsConfigSheet sheet(AGGCFG_APP_TITLE);
  theApp.m_pMainWnd = &sheet;
  const char* const kNames[] = {"configuration", "status"};
  bool saved = true;
  QTimer::singleShot(0, [&] {
    for (int page = 0; page < sheet.GetPageCount(); ++page) {
      sheet.SetActivePage(page);
      QApplication::processEvents();
      saved = Save(sheet.widget(), folder + "/config-sheet-" + kNames[page] + ".png") && saved;
    }
    sheet.EndDialog(IDCANCEL);
  });
  sheet.DoModal();
  theApp.m_pMainWnd = nullptr;
  theApp.m_registry = nullptr;
  theApp.FreeStandalonePorts();
  theApp.FreeGroups();
  return saved;
}

// Shows the new-hardware dialog with every port of the machine listed, and saves a picture of it.
bool SaveNewHardwareDialog(const std::string& folder) {
  auto registry = std::make_unique<CAdapterRegistry>();
  theApp.m_registry = registry.get();
  registry->LoadAdapters();
  for (const auto& entry : registry->entries()) theApp.LoadTypedPort(entry->m_instanceName);
  CNewHardwareDlg dialog;
  theApp.m_pMainWnd = &dialog;
  bool saved = false;
  QTimer::singleShot(0, [&] {
    QApplication::processEvents();
    saved = Save(dialog.widget(), folder + "/new-hardware-dialog.png");
    dialog.EndDialog(IDCANCEL);
  });
  dialog.DoModal();
  theApp.m_pMainWnd = nullptr;
  theApp.m_registry = nullptr;
  theApp.FreeStandalonePorts();
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || strcmp(argv[1], "--help") == 0) {
    fprintf(argc == 2 ? stdout : stderr,
            "usage: aggcfg-screenshots FOLDER\n"
            "Saves pictures of the configuration sheet's pages, drawn offscreen from the machine\n"
            "root $PAIRWAY_ROOT, into FOLDER. Exit status 0 saved, 1 not saved, 2 usage.\n");
    return argc == 2 ? 0 : 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  pairway::ui::GuiSession session;
  // The tool closes its windows itself; with its own sink the framework shows them although
  // there is no screen, and a box the pages raise is answered with its default button.
  pairway::ui::RecordingSink sink;
  pairway::ui::ScopedUiSink sink_scope(&sink);
  bool sheet = SaveSheet(argv[1]);
  bool dialog = SaveNewHardwareDialog(argv[1]);
  return sheet && dialog ? 0 : 1;
}
