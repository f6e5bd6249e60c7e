// pairway-reg: looks into and changes the registry of a machine root, in the manner of the
// platform's reg tool (its verbs, its /switch arguments, its output and its messages).
//
//   pairway-reg query KEY [/v NAME | /ve] [/s]
//   pairway-reg add KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/s SEPARATOR] [/f]
//   pairway-reg delete KEY [/v NAME | /ve | /va] [/f]
//   pairway-reg import FILE
//   pairway-reg export KEY FILE [/y]
//
// Exit status: 0 success, 1 failure (the message says which), 2 a usage error.
#include <windows.h>

#include <stdio.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "pairway/machine_root.h"
#include "pairway/registry_batch.h"
#include "reg_file.h"
#include "reg_tree.h"

namespace {

using pairway::reg::ExportedValue;
using pairway::reg::RegOperation;

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

const char kSuccess[] = "The operation completed successfully.";
const char kNotFound[] =
    "ERROR: The system was unable to find the specified registry key or value.";

// ---- Key names ----------------------------------------------------------------------------

struct KeyName {
  HKEY root = nullptr;
  std::string root_name;  // "HKEY_LOCAL_MACHINE"
  std::string path;       // below the root, no leading '\'
  std::string Full() const { return path.empty() ? root_name : root_name + "\\" + path; }
};

bool ParseKeyName(std::string text, KeyName* key) {
  size_t slash = text.find('\\');
  std::string root = text.substr(0, slash);
  for (char& c : root) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  if (root == "HKLM" || root == "HKEY_LOCAL_MACHINE") {
    key->root = HKEY_LOCAL_MACHINE;
    key->root_name = "HKEY_LOCAL_MACHINE";
  } else if (root == "HKCU" || root == "HKEY_CURRENT_USER") {
    key->root = HKEY_CURRENT_USER;
    key->root_name = "HKEY_CURRENT_USER";
  } else {
    return false;
  }
  key->path = slash == std::string::npos ? "" : text.substr(slash + 1);
  while (!key->path.empty() && key->path.back() == '\\') key->path.pop_back();
  return true;
}

bool SameName(const std::string& a, const std::string& b) {
  return a.size() == b.size() && strcasecmp(a.c_str(), b.c_str()) == 0;
}

// ---- Messages -----------------------------------------------------------------------------

int Report(LONG error) {
  if (error == ERROR_FILE_NOT_FOUND) {
    fprintf(stderr, "%s\n", kNotFound);
  } else {
    char text[512] = "";
    FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                   text, sizeof text, nullptr);
    size_t n = strlen(text);
    while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n')) text[--n] = '\0';
    fprintf(stderr, "ERROR: %s\n", n > 0 ? text : "The registry could not be accessed.");
  }
  return kFailed;
}

int Usage(const char* verb) {
  fprintf(stderr, "ERROR: Invalid syntax.\nType \"pairway-reg %s --help\" for usage.\n", verb);
  return kUsage;
}

bool Confirm(const std::string& question) {
  printf("%s (Yes/No)? ", question.c_str());
  fflush(stdout);
  char answer[16];
  if (fgets(answer, sizeof answer, stdin) == nullptr) {
    printf("\n");
    return false;
  }
  return answer[0] == 'y' || answer[0] == 'Y';
}

// ---- Reading a key -----------------------------------------------------------------------

using Value = pairway::reg::ExportedValue;
using pairway::reg::ReadKey;
using pairway::reg::ReadSubkeys;
using pairway::reg::ReadValues;

const char* TypeName(DWORD type) {
  switch (type) {
    case REG_NONE:
      return "REG_NONE";
    case REG_SZ:
      return "REG_SZ";
    case REG_EXPAND_SZ:
      return "REG_EXPAND_SZ";
    case REG_BINARY:
      return "REG_BINARY";
    case REG_DWORD:
      return "REG_DWORD";
    case REG_DWORD_BIG_ENDIAN:
      return "REG_DWORD_BIG_ENDIAN";
    case REG_MULTI_SZ:
      return "REG_MULTI_SZ";
    case REG_QWORD:
      return "REG_QWORD";
    default:
      return "REG_UNKNOWN";
  }
}

std::string FormatData(const Value& value) {
  const std::vector<BYTE>& d = value.data;
  std::string text;
  char buffer[32];
  switch (value.type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      return std::string(d.begin(), std::find(d.begin(), d.end(), 0));
    case REG_MULTI_SZ: {
      // Strings shown joined by a literal \0, as the platform's tool shows them.
      size_t end = d.size();
      while (end > 0 && d[end - 1] == 0) --end;
      for (size_t i = 0; i < end; ++i) {
        if (d[i] == 0)
          text += "\\0";
        else
          text.push_back(static_cast<char>(d[i]));
      }
      return text;
    }
    case REG_DWORD:
      if (d.size() == 4) {
        DWORD n;
        std::memcpy(&n, d.data(), 4);
        snprintf(buffer, sizeof buffer, "0x%x", n);
        return buffer;
      }
      break;
    case REG_QWORD:
      if (d.size() == 8) {
        uint64_t n;
        std::memcpy(&n, d.data(), 8);
        snprintf(buffer, sizeof buffer, "0x%llx", static_cast<unsigned long long>(n));
        return buffer;
      }
      break;
  }
  for (BYTE b : d) {
    snprintf(buffer, sizeof buffer, "%02X", b);
    text += buffer;
  }
  return text;
}

void PrintValue(const Value& value) {
  printf("    %s    %s    %s\n", value.name.empty() ? "(Default)" : value.name.c_str(),
         TypeName(value.type), FormatData(value).c_str());
}

// ---- query -----------------------------------------------------------------------------

struct QueryOptions {
  bool one_value = false;
  std::string value_name;
  bool recursive = false;
};

LONG QueryKey(HKEY parent, const std::string& path, const std::string& display,
              const QueryOptions& options, bool* printed_value) {
  std::vector<Value> values;
  std::vector<std::string> subkeys;
  LONG error = ReadKey(parent, path, &values, &subkeys);
  if (error != ERROR_SUCCESS) return error;

  bool shown_header = false;
  for (const Value& value : values) {
    if (options.one_value && !SameName(value.name, options.value_name)) continue;
    if (!shown_header) printf("\n%s\n", display.c_str());
    shown_header = true;
    PrintValue(value);
    *printed_value = true;
  }
  if (!options.one_value && !shown_header) printf("\n%s\n", display.c_str());
  for (const std::string& name : subkeys) {
    std::string child = path.empty() ? name : path + "\\" + name;
    if (options.recursive) {
      error = QueryKey(parent, child, display + "\\" + name, options, printed_value);
      if (error != ERROR_SUCCESS) return error;
    } else if (!options.one_value) {
      if (shown_header && name == subkeys.front()) printf("\n");
      printf("%s\\%s\n", display.c_str(), name.c_str());
    }
  }
  return ERROR_SUCCESS;
}

int Query(const std::vector<std::string>& args) {
  if (args.empty()) return Usage("query");
  KeyName key;
  if (!ParseKeyName(args[0], &key)) return Usage("query");
  QueryOptions options;
  for (size_t i = 1; i < args.size(); ++i) {
    std::string arg = args[i];
    if (strcasecmp(arg.c_str(), "/v") == 0 && i + 1 < args.size()) {
      options.one_value = true;
      options.value_name = args[++i];
    } else if (strcasecmp(arg.c_str(), "/ve") == 0) {
      options.one_value = true;
      options.value_name.clear();
    } else if (strcasecmp(arg.c_str(), "/s") == 0) {
      options.recursive = true;
    } else {
      return Usage("query");
    }
  }
  bool printed_value = false;
  HKEY base = key.root;
  LONG error = QueryKey(base, key.path, key.Full(), options, &printed_value);
  if (error != ERROR_SUCCESS) return Report(error);
  if (options.one_value && !printed_value) return Report(ERROR_FILE_NOT_FOUND);
  printf("\n");
  return kOk;
}

// ---- add -------------------------------------------------------------------------------

bool TypeFromName(const std::string& name, DWORD* type) {
  static const std::pair<const char*, DWORD> kTypes[] = {
      {"REG_SZ", REG_SZ},
      {"REG_EXPAND_SZ", REG_EXPAND_SZ},
      {"REG_MULTI_SZ", REG_MULTI_SZ},
      {"REG_DWORD", REG_DWORD},
      {"REG_BINARY", REG_BINARY},
      {"REG_NONE", REG_NONE},
      {"REG_QWORD", REG_QWORD},
      {"REG_DWORD_BIG_ENDIAN", REG_DWORD_BIG_ENDIAN}};
  for (const auto& [text, value] : kTypes) {
    if (strcasecmp(name.c_str(), text) == 0) {
      *type = value;
      return true;
    }
  }
  return false;
}

// Turns /d DATA into the bytes stored for `type`; false when DATA does not fit the type.
bool EncodeData(DWORD type, const std::string& text, const std::string& separator,
                std::vector<BYTE>* data) {
  data->clear();
  char* stop = nullptr;
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      data->assign(text.begin(), text.end());
      data->push_back(0);
      return true;
    case REG_MULTI_SZ: {
      size_t start = 0;
      while (start <= text.size() && !text.empty()) {
        size_t end = text.find(separator, start);
        std::string item = text.substr(start, end == std::string::npos ? end : end - start);
        data->insert(data->end(), item.begin(), item.end());
        data->push_back(0);
        if (end == std::string::npos) break;
        start = end + separator.size();
      }
      data->push_back(0);
      return true;
    }
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN: {
      unsigned long long n = strtoull(text.c_str(), &stop, 0);
      if (text.empty() || *stop != '\0' || n > 0xffffffffULL) return false;
      DWORD value = static_cast<DWORD>(n);
      if (type == REG_DWORD_BIG_ENDIAN) value = __builtin_bswap32(value);
      data->assign(reinterpret_cast<BYTE*>(&value), reinterpret_cast<BYTE*>(&value) + 4);
      return true;
    }
    case REG_QWORD: {
      unsigned long long n = strtoull(text.c_str(), &stop, 0);
      if (text.empty() || *stop != '\0') return false;
      data->assign(reinterpret_cast<BYTE*>(&n), reinterpret_cast<BYTE*>(&n) + 8);
      return true;
    }
    default:  // REG_BINARY, REG_NONE: hexadecimal digits, two per byte
      if (text.size() % 2 != 0) return false;
      for (size_t i = 0; i < text.size(); i += 2) {
        std::string pair = text.substr(i, 2);
        unsigned long byte = strtoul(pair.c_str(), &stop, 16);
        if (*stop != '\0') return false;
        data->push_back(static_cast<BYTE>(byte));
      }
      return true;
  }
}

int Add(const std::vector<std::string>& args) {
  if (args.empty()) return Usage("add");
  KeyName key;
  if (!ParseKeyName(args[0], &key)) return Usage("add");
  bool has_value = false, force = false;
  std::string name, data_text, separator = "\\0";
  DWORD type = REG_SZ;
  for (size_t i = 1; i < args.size(); ++i) {
    const char* arg = args[i].c_str();
    bool has_next = i + 1 < args.size();
    if (strcasecmp(arg, "/v") == 0 && has_next) {
      has_value = true;
      name = args[++i];
    } else if (strcasecmp(arg, "/ve") == 0) {
      has_value = true;
      name.clear();
    } else if (strcasecmp(arg, "/t") == 0 && has_next) {
      if (!TypeFromName(args[++i], &type)) return Usage("add");
    } else if (strcasecmp(arg, "/d") == 0 && has_next) {
      has_value = true;
      data_text = args[++i];
    } else if (strcasecmp(arg, "/s") == 0 && has_next) {
      separator = args[++i];
    } else if (strcasecmp(arg, "/f") == 0) {
      force = true;
    } else {
      return Usage("add");
    }
  }
  std::vector<BYTE> data;
  if (has_value && !EncodeData(type, data_text, separator, &data)) {
    fprintf(stderr, "ERROR: Invalid data for %s: %s\n", TypeName(type), data_text.c_str());
    return kUsage;
  }
  HKEY handle;
  LONG error = RegCreateKeyExA(key.root, key.path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                               &handle, nullptr);
  if (error != ERROR_SUCCESS) return Report(error);
  if (has_value && !force &&
      RegQueryValueExA(handle, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
      !Confirm("Value " + (name.empty() ? std::string("(Default)") : name) +
               " exists, overwrite")) {
    RegCloseKey(handle);
    printf("The operation was canceled by the user.\n");
    return kFailed;
  }
  if (has_value) {
    error = RegSetValueExA(handle, name.c_str(), 0, type, data.empty() ? nullptr : data.data(),
                           static_cast<DWORD>(data.size()));
  }
  RegCloseKey(handle);
  if (error != ERROR_SUCCESS) return Report(error);
  printf("%s\n", kSuccess);
  return kOk;
}

// ---- delete ----------------------------------------------------------------------------

// Deletes a key with everything below it, deepest first (the registry keeps keys with subkeys).
LONG DeleteTree(HKEY root, const std::string& path) {
  HKEY key;
  LONG error = RegOpenKeyExA(root, path.c_str(), 0, KEY_READ, &key);
  if (error != ERROR_SUCCESS) return error;
  std::vector<std::string> subkeys;
  error = ReadSubkeys(key, &subkeys);
  RegCloseKey(key);
  if (error != ERROR_SUCCESS) return error;
  for (const std::string& name : subkeys) {
    error = DeleteTree(root, path + "\\" + name);
    if (error != ERROR_SUCCESS) return error;
  }
  return RegDeleteKeyA(root, path.c_str());
}

int Delete(const std::vector<std::string>& args) {
  if (args.empty()) return Usage("delete");
  KeyName key;
  if (!ParseKeyName(args[0], &key)) return Usage("delete");
  enum { kKey, kOneValue, kAllValues } what = kKey;
  std::string name;
  bool force = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const char* arg = args[i].c_str();
    if (strcasecmp(arg, "/v") == 0 && i + 1 < args.size()) {
      what = kOneValue;
      name = args[++i];
    } else if (strcasecmp(arg, "/ve") == 0) {
      what = kOneValue;
      name.clear();
    } else if (strcasecmp(arg, "/va") == 0) {
      what = kAllValues;
    } else if (strcasecmp(arg, "/f") == 0) {
      force = true;
    } else {
      return Usage("delete");
    }
  }
  if (what == kKey && key.path.empty()) return Usage("delete");  // never a whole root
  std::string question = what == kKey ? "Permanently delete the registry key " + key.Full()
                         : what == kOneValue
                             ? "Delete the registry value " + (name.empty() ? "(Default)" : name)
                             : "Delete all values under the registry key " + key.Full();
  if (!force && !Confirm(question)) {
    printf("The operation was canceled by the user.\n");
    return kFailed;
  }
  LONG error;
  if (what == kKey) {
    error = DeleteTree(key.root, key.path);
  } else {
    HKEY handle;
    error = RegOpenKeyExA(key.root, key.path.c_str(), 0, KEY_ALL_ACCESS, &handle);
    if (error == ERROR_SUCCESS) {
      if (what == kOneValue) {
        error = RegDeleteValueA(handle, name.c_str());
      } else {
        std::vector<Value> values;
        error = ReadValues(handle, &values);
        for (size_t i = 0; error == ERROR_SUCCESS && i < values.size(); ++i) {
          error = RegDeleteValueA(handle, values[i].name.c_str());
        }
      }
      RegCloseKey(handle);
    }
  }
  if (error != ERROR_SUCCESS) return Report(error);
  printf("%s\n", kSuccess);
  return kOk;
}

// ---- import ----------------------------------------------------------------------------

LONG Apply(const RegOperation& op) {
  KeyName key;
  if (!ParseKeyName(op.key, &key) || key.path.empty()) return ERROR_BADKEY;
  if (op.kind == RegOperation::kDeleteKey) {
    LONG error = DeleteTree(key.root, key.path);
    return error == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : error;  // already gone is fine
  }
  HKEY handle;
  LONG error = RegCreateKeyExA(key.root, key.path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                               &handle, nullptr);
  if (error != ERROR_SUCCESS) return error;
  if (op.kind == RegOperation::kSetValue) {
    error = RegSetValueExA(handle, op.name.c_str(), 0, op.type,
                           op.data.empty() ? nullptr : op.data.data(),
                           static_cast<DWORD>(op.data.size()));
  } else if (op.kind == RegOperation::kDeleteValue) {
    error = RegDeleteValueA(handle, op.name.c_str());
    if (error == ERROR_FILE_NOT_FOUND) error = ERROR_SUCCESS;
  }
  RegCloseKey(handle);
  return error;
}

int Import(const std::vector<std::string>& args) {
  if (args.size() != 1) return Usage("import");
  std::ifstream in(args[0], std::ios::binary);
  if (!in) {
    fprintf(stderr, "ERROR: Cannot open %s: the file does not exist or cannot be read.\n",
            args[0].c_str());
    return kFailed;
  }
  std::stringstream text;
  text << in.rdbuf();
  std::vector<RegOperation> operations;
  int line = 0;
  std::string problem;
  if (!pairway::reg::ParseRegFile(text.str(), &operations, &line, &problem)) {
    fprintf(stderr, "ERROR: %s, line %d: %s. Nothing was imported.\n", args[0].c_str(), line,
            problem.c_str());
    return kFailed;
  }
  for (const RegOperation& op : operations) {
    KeyName key;
    if (!ParseKeyName(op.key, &key) || key.path.empty()) {
      fprintf(stderr, "ERROR: %s: cannot write to key \"%s\". Nothing was imported.\n",
              args[0].c_str(), op.key.c_str());
      return kFailed;
    }
  }
  // The whole file is one transaction: a failure part-way leaves the hive as it was.
  pairway::RegistryBatch batch;
  if (batch.status() != ERROR_SUCCESS) return Report(batch.status());
  for (const RegOperation& op : operations) {
    LONG error = Apply(op);
    if (error != ERROR_SUCCESS) {
      fprintf(stderr, "ERROR: %s: writing %s%s%s failed. Nothing was imported.\n", args[0].c_str(),
              op.key.c_str(), op.name.empty() ? "" : " value ", op.name.c_str());
      return Report(error);
    }
  }
  LONG error = batch.Commit();
  if (error != ERROR_SUCCESS) return Report(error);
  printf("%s\n", kSuccess);
  return kOk;
}

// ---- export ----------------------------------------------------------------------------

LONG ExportKey(HKEY root, const std::string& path, const std::string& display, std::string* out) {
  std::vector<pairway::reg::KeySection> sections;
  LONG error = pairway::reg::ReadKeyTree(root, path, display, &sections);
  if (error != ERROR_SUCCESS) return error;
  for (const pairway::reg::KeySection& section : sections) {
    *out += pairway::reg::FormatKeySection(section.key, section.values);
  }
  return ERROR_SUCCESS;
}

int Export(const std::vector<std::string>& args) {
  if (args.size() < 2 || args.size() > 3) return Usage("export");
  KeyName key;
  if (!ParseKeyName(args[0], &key)) return Usage("export");
  bool overwrite = args.size() == 3 && strcasecmp(args[2].c_str(), "/y") == 0;
  if (args.size() == 3 && !overwrite) return Usage("export");
  if (!overwrite && access(args[1].c_str(), F_OK) == 0 &&
      !Confirm("File " + args[1] + " already exists. Overwrite")) {
    printf("The operation was canceled by the user.\n");
    return kFailed;
  }
  std::string text = std::string(pairway::reg::kRegFileHeader) + "\n\n";
  LONG error = ExportKey(key.root, key.path, key.Full(), &text);
  if (error != ERROR_SUCCESS) return Report(error);
  std::ofstream out(args[1], std::ios::binary | std::ios::trunc);
  out << text;
  out.close();
  if (!out) {
    fprintf(stderr, "ERROR: Cannot write %s.\n", args[1].c_str());
    return kFailed;
  }
  printf("%s\n", kSuccess);
  return kOk;
}

// ---- The command table -----------------------------------------------------------------

struct Verb {
  const char* name;
  int (*run)(const std::vector<std::string>& args);
  const char* help;
};

const Verb kVerbs[] = {
    {"query", Query,
     "pairway-reg query KEY [/v NAME | /ve] [/s]\n"
     "  Shows the values of KEY and lists its subkeys.\n"
     "  /v NAME  only the value NAME        /ve  only the default value\n"
     "  /s       every key below KEY, with its values\n"},
    {"add", Add,
     "pairway-reg add KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/s SEPARATOR] [/f]\n"
     "  Creates KEY (and the keys on its path) and sets a value.\n"
     "  /t TYPE  REG_SZ (default), REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_QWORD,\n"
     "           REG_BINARY (hex digits), REG_NONE\n"
     "  /s SEP   separator of REG_MULTI_SZ strings in DATA (default \\0)\n"
     "  /f       overwrite an existing value without asking\n"},
    {"delete", Delete,
     "pairway-reg delete KEY [/v NAME | /ve | /va] [/f]\n"
     "  Deletes KEY with everything below it, or one value (/v, /ve), or all its values (/va).\n"
     "  /f       do not ask for confirmation\n"},
    {"import", Import,
     "pairway-reg import FILE\n"
     "  Applies a REGEDIT4 file. A file with an error is named with its line and imports\n"
     "  nothing: the whole file is one transaction.\n"},
    {"export", Export,
     "pairway-reg export KEY FILE [/y]\n"
     "  Writes KEY and everything below it to FILE in the REGEDIT4 format; importing the file\n"
     "  restores every value byte for byte. /y overwrites FILE without asking.\n"},
};

void PrintHelp() {
  printf(
      "pairway-reg: the registry of a machine root ($PAIRWAY_ROOT), in the manner of reg.\n"
      "Keys are written ROOT\\PATH with ROOT one of HKLM, HKCU, HKEY_LOCAL_MACHINE,\n"
      "HKEY_CURRENT_USER.\n\n");
  for (const Verb& verb : kVerbs) printf("%s\n", verb.help);
  printf("Exit status: 0 success, 1 failure, 2 usage error.\n");
}

bool IsHelp(const std::string& arg) { return arg == "--help" || arg == "-h" || arg == "/?"; }

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || IsHelp(argv[1])) {
    PrintHelp();
    return argc < 2 ? kUsage : kOk;
  }
  for (const Verb& verb : kVerbs) {
    if (strcasecmp(argv[1], verb.name) != 0) continue;
    std::vector<std::string> args(argv + 2, argv + argc);
    if (!args.empty() && IsHelp(args[0])) {
      printf("%s", verb.help);
      return kOk;
    }
    pairway::MachineRootOrExit("pairway-reg");
    return verb.run(args);
  }
  fprintf(stderr, "pairway-reg: unknown operation \"%s\"; see pairway-reg --help\n", argv[1]);
  return kUsage;
}
