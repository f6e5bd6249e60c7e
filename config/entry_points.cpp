// The exported procedures of the aggcfg library. Only these leave the library.
#include "entry_points.h"

#include <string.h>

#include <memory>
#include <string>

#include "groups_config_app.h"
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

}  // namespace

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
