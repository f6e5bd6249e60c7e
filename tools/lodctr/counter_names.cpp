// Loading and unloading counter names; see counter_names.h.
#include "counter_names.h"

#include <windows.h>

#include <cstring>
#include <sstream>

#include "pairway/registry_batch.h"

namespace pairway::perf {
namespace {

const char kPerflibKey[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Perflib";
const char kServicesKey[] = "SYSTEM\\CurrentControlSet\\Services\\";
// What a fresh machine's table holds: the system's first object.
constexpr DWORD kBaseLastCounter = 2;
constexpr DWORD kBaseLastHelp = 3;

std::string Trim(const std::string& text) {
  size_t start = text.find_first_not_of(" \t\r");
  size_t end = text.find_last_not_of(" \t\r");
  return start == std::string::npos ? "" : text.substr(start, end - start + 1);
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  return text;
}

// ---- Registry access, all inside the caller's batch --------------------------------------------

class Key {
 public:
  Key(const std::string& path, bool create) {
    error_ = create ? RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0,
                                      KEY_ALL_ACCESS, nullptr, &key_, nullptr)
                    : RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_ALL_ACCESS, &key_);
  }
  ~Key() {
    if (error_ == ERROR_SUCCESS) RegCloseKey(key_);
  }
  Key(const Key&) = delete;
  Key& operator=(const Key&) = delete;

  LONG error() const { return error_; }
  bool GetNumber(const char* name, DWORD* number) const {
    DWORD size = sizeof *number, type;
    return RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<LPBYTE>(number), &size) ==
               ERROR_SUCCESS &&
           size == sizeof *number;
  }
  LONG SetNumber(const char* name, DWORD number) {
    return RegSetValueExA(key_, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                          sizeof number);
  }
  // A pair list "index\0text\0...\0" as (index, text) pairs; empty when missing.
  std::vector<std::pair<DWORD, std::string>> GetPairs(const char* name) const {
    std::vector<std::pair<DWORD, std::string>> pairs;
    DWORD size = 0, type;
    if (RegQueryValueExA(key_, name, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return pairs;
    std::vector<char> data(size + 2, '\0');
    if (RegQueryValueExA(key_, name, nullptr, &type, reinterpret_cast<LPBYTE>(data.data()),
                         &size) != ERROR_SUCCESS) {
      return pairs;
    }
    std::vector<std::string> strings;
    for (size_t i = 0; i < size && data[i] != '\0'; i += strings.back().size() + 1) {
      strings.emplace_back(&data[i]);
    }
    for (size_t i = 0; i + 1 < strings.size(); i += 2) {
      pairs.emplace_back(static_cast<DWORD>(strtoul(strings[i].c_str(), nullptr, 10)),
                         strings[i + 1]);
    }
    return pairs;
  }
  LONG SetPairs(const char* name, const std::vector<std::pair<DWORD, std::string>>& pairs) {
    std::string data;
    for (const auto& [index, text] : pairs) {
      data += std::to_string(index);
      data.push_back('\0');
      data += text;
      data.push_back('\0');
    }
    data.push_back('\0');
    return RegSetValueExA(key_, name, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size()));
  }
  LONG Delete(const char* name) { return RegDeleteValueA(key_, name); }

 private:
  HKEY key_ = nullptr;
  LONG error_;
};

std::string RegistryError(LONG error) {
  return "the registry could not be written (error " + std::to_string(error) + ")";
}

// Makes sure the table exists, seeded as a fresh machine's.
LONG EnsureTable(Key& perflib) {
  DWORD number;
  if (perflib.GetNumber("Last Counter", &number)) return ERROR_SUCCESS;
  LONG error = perflib.SetNumber("Last Counter", kBaseLastCounter);
  if (error == ERROR_SUCCESS) error = perflib.SetNumber("Last Help", kBaseLastHelp);
  if (error != ERROR_SUCCESS) return error;
  Key english(std::string(kPerflibKey) + "\\009", true);
  if (english.error() != ERROR_SUCCESS) return english.error();
  error = english.SetPairs("Counter", {{1, "1847"}, {2, "System"}});
  if (error == ERROR_SUCCESS) {
    error = english.SetPairs("Help", {{3,
                                       "The System object type includes those counters that "
                                       "apply to all processors on the computer collectively."}});
  }
  return error;
}

}  // namespace

bool ParseDefinition(const std::string& text, Definition* definition, std::string* error) {
  *definition = Definition();
  std::istringstream in(text);
  std::string line, section;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    line = Trim(line);
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      if (line.back() != ']') {
        *error = "line " + std::to_string(number) + ": a section header must end with ']'";
        return false;
      }
      section = Upper(line.substr(1, line.size() - 2));
      continue;
    }
    size_t equals = line.find('=');
    if (equals == std::string::npos) {
      *error = "line " + std::to_string(number) + ": expected NAME=VALUE";
      return false;
    }
    std::string key = Upper(Trim(line.substr(0, equals)));
    std::string value = Trim(line.substr(equals + 1));
    if (section == "INFO" && key == "DRIVERNAME") {
      definition->driver = value;
    } else if (section == "LANGUAGES") {
      // A language is a subkey of the table named by its hexadecimal id ("009"): anything else
      // would name a key elsewhere.
      if (key.empty() || key.size() > 3 ||
          key.find_first_not_of("0123456789ABCDEF") != std::string::npos) {
        *error = "line " + std::to_string(number) + ": a language id has 1 to 3 hex digits";
        return false;
      }
      definition->languages.push_back(key);
    } else if (section == "TEXT") {
      // SYMBOL_LLL_NAME or SYMBOL_LLL_HELP
      size_t kind = key.rfind('_');
      size_t language = kind == std::string::npos ? kind : key.rfind('_', kind - 1);
      std::string what = kind == std::string::npos ? "" : key.substr(kind + 1);
      if (language == std::string::npos || language == 0 || (what != "NAME" && what != "HELP")) {
        *error = "line " + std::to_string(number) + ": expected SYMBOL_LLL_NAME or SYMBOL_LLL_HELP";
        return false;
      }
      std::string symbol = key.substr(0, language);
      std::string lang = key.substr(language + 1, kind - language - 1);
      bool known = false;
      for (const std::string& s : definition->symbols) known = known || s == symbol;
      if (!known) definition->symbols.push_back(symbol);
      CounterText& texts = definition->texts[lang][symbol];
      (what == "NAME" ? texts.name : texts.help) = value;
    }
  }
  if (definition->driver.empty()) {
    *error = "no drivername in the [info] section";
    return false;
  }
  if (definition->languages.empty() || definition->symbols.empty()) {
    *error = "no [languages] or no [text] entries";
    return false;
  }
  for (const std::string& lang : definition->languages) {
    for (const std::string& symbol : definition->symbols) {
      const CounterText& texts = definition->texts[lang][symbol];
      if (texts.name.empty() || texts.help.empty()) {
        *error = symbol + " has no name or no help text in language " + lang;
        return false;
      }
    }
  }
  return true;
}

bool LoadCounters(const Definition& definition, std::string* error) {
  RegistryBatch batch;
  if (batch.status() != ERROR_SUCCESS) {
    *error = RegistryError(static_cast<LONG>(batch.status()));
    return false;
  }
  Key driver(kServicesKey + definition.driver, false);
  if (driver.error() != ERROR_SUCCESS) {
    *error = "the driver " + definition.driver + " is not installed (no service key)";
    return false;
  }
  Key performance(kServicesKey + definition.driver + "\\Performance", true);
  DWORD loaded;
  if (performance.error() == ERROR_SUCCESS && performance.GetNumber("First Counter", &loaded)) {
    *error = "the counters of " + definition.driver + " are loaded already (unlodctr them first)";
    return false;
  }
  Key perflib(kPerflibKey, true);
  LONG result = performance.error() != ERROR_SUCCESS ? performance.error() : perflib.error();
  if (result == ERROR_SUCCESS) result = EnsureTable(perflib);
  DWORD last_counter = 0, last_help = 0;
  if (result == ERROR_SUCCESS && (!perflib.GetNumber("Last Counter", &last_counter) ||
                                  !perflib.GetNumber("Last Help", &last_help))) {
    result = ERROR_BADDB;
  }
  // Names take the next even indexes after every index in use, each help the odd one after its
  // name.
  DWORD highest = std::max(last_counter, last_help == 0 ? 0 : last_help - 1);
  DWORD first = (highest | 1u) + 1;
  DWORD last = first + 2 * static_cast<DWORD>(definition.symbols.size() - 1);
  for (size_t l = 0; result == ERROR_SUCCESS && l < definition.languages.size(); ++l) {
    const std::string& lang = definition.languages[l];
    Key language(std::string(kPerflibKey) + "\\" + lang, true);
    result = language.error();
    if (result != ERROR_SUCCESS) break;
    auto counters = language.GetPairs("Counter");
    auto helps = language.GetPairs("Help");
    for (size_t i = 0; i < definition.symbols.size(); ++i) {
      const CounterText& texts = definition.texts.at(lang).at(definition.symbols[i]);
      counters.emplace_back(first + 2 * static_cast<DWORD>(i), texts.name);
      helps.emplace_back(first + 2 * static_cast<DWORD>(i) + 1, texts.help);
    }
    result = language.SetPairs("Counter", counters);
    if (result == ERROR_SUCCESS) result = language.SetPairs("Help", helps);
  }
  if (result == ERROR_SUCCESS) result = perflib.SetNumber("Last Counter", last);
  if (result == ERROR_SUCCESS) result = perflib.SetNumber("Last Help", last + 1);
  if (result == ERROR_SUCCESS) result = performance.SetNumber("First Counter", first);
  if (result == ERROR_SUCCESS) result = performance.SetNumber("Last Counter", last);
  if (result == ERROR_SUCCESS) result = performance.SetNumber("First Help", first + 1);
  if (result == ERROR_SUCCESS) result = performance.SetNumber("Last Help", last + 1);
  if (result == ERROR_SUCCESS) result = static_cast<LONG>(batch.Commit());
  if (result != ERROR_SUCCESS) {
    *error = RegistryError(result);
    return false;
  }
  return true;
}

bool UnloadCounters(const std::string& driver, std::string* error) {
  RegistryBatch batch;
  if (batch.status() != ERROR_SUCCESS) {
    *error = RegistryError(static_cast<LONG>(batch.status()));
    return false;
  }
  Key performance(kServicesKey + driver + "\\Performance", false);
  DWORD first = 0, last = 0;
  if (performance.error() != ERROR_SUCCESS || !performance.GetNumber("First Counter", &first) ||
      !performance.GetNumber("Last Counter", &last)) {
    *error = "no counters of " + driver + " are loaded";
    return false;
  }
  Key perflib(kPerflibKey, false);
  LONG result = perflib.error();
  DWORD highest_counter = kBaseLastCounter, highest_help = kBaseLastHelp;
  for (DWORD i = 0; result == ERROR_SUCCESS; ++i) {
    char lang[256];
    DWORD size = sizeof lang;
    HKEY perflib_key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPerflibKey, 0, KEY_READ, &perflib_key) !=
        ERROR_SUCCESS) {
      break;
    }
    LONG enumerated =
        RegEnumKeyExA(perflib_key, i, lang, &size, nullptr, nullptr, nullptr, nullptr);
    RegCloseKey(perflib_key);
    if (enumerated != ERROR_SUCCESS) break;
    Key language(std::string(kPerflibKey) + "\\" + lang, false);
    if ((result = language.error()) != ERROR_SUCCESS) break;
    for (const char* list : {"Counter", "Help"}) {
      auto pairs = language.GetPairs(list);
      std::vector<std::pair<DWORD, std::string>> kept;
      for (auto& pair : pairs) {
        if (pair.first >= first && pair.first <= last + 1) continue;  // the driver's own
        (pair.first % 2 == 0 ? highest_counter : highest_help) =
            std::max(pair.first % 2 == 0 ? highest_counter : highest_help, pair.first);
        kept.push_back(std::move(pair));
      }
      if ((result = language.SetPairs(list, kept)) != ERROR_SUCCESS) break;
    }
  }
  if (result == ERROR_SUCCESS) result = perflib.SetNumber("Last Counter", highest_counter);
  if (result == ERROR_SUCCESS) result = perflib.SetNumber("Last Help", highest_help);
  for (const char* name : {"First Counter", "Last Counter", "First Help", "Last Help"}) {
    if (result == ERROR_SUCCESS) result = performance.Delete(name);
  }
  if (result == ERROR_SUCCESS) result = static_cast<LONG>(batch.Commit());
  if (result != ERROR_SUCCESS) {
    *error = RegistryError(result);
    return false;
  }
  return true;
}

}  // namespace pairway::perf
