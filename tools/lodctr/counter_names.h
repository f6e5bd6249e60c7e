// counter_names.h: the system's table of performance counter names and help texts, and the
// stand-ins for the platform's lodctr and unlodctr that load a driver's names into it.
//
// Where the table lives (under HKEY_LOCAL_MACHINE), as the platform keeps it:
//
//   SOFTWARE\Microsoft\Windows NT\CurrentVersion\Perflib
//       "Last Counter"  REG_DWORD  the highest name index in use (names have even indexes)
//       "Last Help"     REG_DWORD  the highest help index in use (a name's help is index + 1)
//   SOFTWARE\Microsoft\Windows NT\CurrentVersion\Perflib\009   (one subkey per language)
//       "Counter"       REG_MULTI_SZ  pairs of strings: index, name, index, name, ...
//       "Help"          REG_MULTI_SZ  pairs of strings: index, help text, ...
//
// A driver's names take the indexes after "Last Counter"; the driver's own Performance key
// (SYSTEM\CurrentControlSet\Services\DRIVER\Performance) records them as "First Counter",
// "Last Counter", "First Help" and "Last Help", which is what unlodctr removes again. A fresh
// machine's table holds the system's first object (index 2, "System"), as the platform's does.
//
// Each load or unload is one registry transaction: it happens whole or not at all.
#ifndef PAIRWAY_TOOLS_LODCTR_COUNTER_NAMES_H
#define PAIRWAY_TOOLS_LODCTR_COUNTER_NAMES_H

#include <map>
#include <string>
#include <vector>

namespace pairway::perf {

// A counter's (or object's) texts in one language.
struct CounterText {
  std::string name;
  std::string help;
};

struct Definition {
  std::string driver;
  std::vector<std::string> languages;  // "009", ...
  std::vector<std::string> symbols;    // "BYTES_SENT", in file order: the order of the indexes
  // texts[language][symbol]
  std::map<std::string, std::map<std::string, CounterText>> texts;
};

// Parses a definition file ([info] drivername, [languages], [text] NAME_LLL_NAME / _HELP). On
// failure returns false with a message naming the line.
bool ParseDefinition(const std::string& text, Definition* definition, std::string* error);

// Loads the names; false with a message when the driver's names are loaded already or the
// registry cannot be written (nothing is changed then).
bool LoadCounters(const Definition& definition, std::string* error);

// Removes the driver's names; false with a message when none are loaded.
bool UnloadCounters(const std::string& driver, std::string* error);

}  // namespace pairway::perf

#endif  // PAIRWAY_TOOLS_LODCTR_COUNTER_NAMES_H
