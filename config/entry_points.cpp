// The exported procedures of the aggcfg library. Only these leave the library.
#include "entry_points.h"

#include <string.h>

#include <memory>
#include <string>

#include "groups_config_app.h"
#include "groups_config_sheet.h"
#include "new_hardware_dlg.h"
#include "registry_layout.h"

namespace {

// The result text of the library's procedures ("0", "98" or "99").
char result_buffer[8];

// The card number text of the call. A setup that passes no argument at all names no port, rather
// than making the library read through a missing array.
const char* FirstArgument(DWORD argument_count, LPSTR arguments[]) {
  if (argument_count == 0 || arguments == nullptr || arguments[0] == nullptr) return "0";
  return arguments[0];
}

// The port the caller asked about: "" for "0", else "TREVAN" and the argument as it stands.
std::string CurrentPort(const char* card) {
  return strcmp(card, "0") == 0 ? std::string() : TREVAN_PRODUCT_NAME + std::string(card);
}

}  // namespace

BOOL WINAPI TrevanConfig(DWORD argument_count, LPSTR arguments[], LPSTR* result) {
  theApp.m_statisticsLibrary = LoadLibraryA(STATISTICS_LIBRARY_NAME);
  if (theApp.m_statisticsLibrary != nullptr) {
    theApp.m_statisticsEntry = GetProcAddress(theApp.m_statisticsLibrary, STATISTICS_ENTRY_POINT);
  }
  auto registry = std::make_unique<CAdapterRegistry>();
  theApp.m_registry = registry.get();
  registry->LoadAdapters();
  theApp.LoadConfiguration(CurrentPort(FirstArgument(argument_count, arguments)));

  auto sheet = std::make_unique<CGroupsConfigSheet>(AGGCFG_APP_TITLE, nullptr, 0);
  theApp.m_pMainWnd = sheet.get();
  INT_PTR ended = sheet->DoModal();
  theApp.m_pMainWnd = nullptr;

  if (result != nullptr) *result = result_buffer;
  strcpy(result_buffer, "99");
  if (theApp.m_appliedChanges > 0) strcpy(result_buffer, ended == IDOK ? "0" : "98");

  sheet.reset();
  theApp.m_registry = nullptr;
  registry.reset();
  theApp.FreeStandalonePorts();
  theApp.FreeGroups();
  FreeLibrary(theApp.m_statisticsLibrary);
  theApp.m_statisticsLibrary = nullptr;
  theApp.m_statisticsEntry = nullptr;
  return TRUE;
}

BOOL WINAPI TrevanGetConnType(DWORD argument_count, LPSTR arguments[], LPSTR* result) {
  auto registry = std::make_unique<CAdapterRegistry>();
  theApp.m_registry = registry.get();
  registry->LoadAdapters();
  const char* card = FirstArgument(argument_count, arguments);
  if (strcmp(card, "0") != 0) {
    theApp.LoadTypedPort(TREVAN_PRODUCT_NAME + std::string(card));
  } else {
    theApp.LoadUntypedPorts();
  }
  INT_PTR answer = IDCANCEL;
  {
    CNewHardwareDlg dialog;
    theApp.m_pMainWnd = &dialog;
    answer = dialog.DoModal();
    theApp.m_pMainWnd = nullptr;
  }
  if (result != nullptr) *result = result_buffer;
  // A dialog that could not be shown saved nothing, so it answers as a cancelled one.
  if (answer == IDOK) {
    strcpy(result_buffer, "0");
  } else {
    strcpy(result_buffer, theApp.m_appliedChanges > 0 ? "98" : "99");
  }
  theApp.m_registry = nullptr;
  theApp.FreeStandalonePorts();
  return TRUE;
}

BOOL WINAPI TrevanRemoveLinks(DWORD argument_count, LPSTR arguments[], LPSTR* result) {
  auto registry = std::make_unique<CAdapterRegistry>();
  theApp.m_registry = registry.get();
  registry->LoadAdapters();
  if (result != nullptr) *result = result_buffer;
  const char* card = FirstArgument(argument_count, arguments);
  if (strcmp(card, "0") != 0) theApp.RemovePortLinks(TREVAN_PRODUCT_NAME + std::string(card));
  theApp.m_registry = nullptr;
  return TRUE;
}
