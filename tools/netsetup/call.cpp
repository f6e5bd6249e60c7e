// pairway-netsetup call: calls a setup procedure of an installed library, as the network setup
// does when its scripts name a library and a procedure.
//
// The setup procedure convention: BOOL PROCEDURE(DWORD argc, LPSTR argv[], LPSTR* result), where
// argv holds argc texts and *result receives a text held by the library. The library is loaded
// from the machine's system directory by its NT name, so the call reaches exactly what the
// system would load; the result text is printed as the last line, which is what scripts read.
#include <windows.h>

#include <stdio.h>
#include <strings.h>

#include <string>
#include <vector>

#include "netsetup.h"
#include "pairway/unattended.h"

namespace netsetup {
namespace {

const char kVerb[] = "call";

typedef BOOL(WINAPI* SetupProcedure)(DWORD argc, LPSTR argv[], LPSTR* result);

// A bare name is the system directory's file; a name with a directory or drive is taken as given.
std::string LibraryPath(const std::string& name) {
  if (name.find_first_of("\\/:") != std::string::npos) return name;
  char system_dir[MAX_PATH];
  UINT length = GetSystemDirectoryA(system_dir, sizeof system_dir);
  if (length == 0 || length >= sizeof system_dir) return name;
  return std::string(system_dir) + "\\" + name;
}

// The setup host gives its libraries the Windows directory as SystemRoot, so that what they start
// sees the machine's own.
void SetSystemRoot() {
  char windows_dir[MAX_PATH];
  UINT length = GetWindowsDirectoryA(windows_dir, sizeof windows_dir);
  if (length > 0 && length < sizeof windows_dir) SetEnvironmentVariableA("SystemRoot", windows_dir);
}

// The pairwayctl commands that do the work of the windows a procedure shows, for a run without a
// screen, where the dialog framework shows no window and prints these instead.
struct WindowAlternative {
  const char* library;
  const char* procedure;
  const char* text;
};
const WindowAlternative kWindowAlternatives[] = {
    {"aggcfg.dll", "TrevanConfig",
     "Without a screen, pairwayctl forms and changes the groups as the sheet does:\n"
     "  pairwayctl group create NAME PORT... [--timeout S]\n"
     "  pairwayctl group add NAME PORT...\n"
     "  pairwayctl group remove PORT...\n"
     "  pairwayctl group rename OLD NEW\n"
     "  pairwayctl group timeout NAME S\n"
     "  pairwayctl port type PORT... TYPE\n"
     "  pairwayctl show"},
    {"aggcfg.dll", "TrevanGetConnType",
     "Without a screen, pairwayctl gives ports their connection types as the dialog does:\n"
     "  pairwayctl port type PORT... TYPE   (TYPE: auto, 10half, 10full, 100half, 100full, thin)\n"
     "  pairwayctl show"},
};

// The library's file name without its folder, as the table names it.
std::string BaseName(const std::string& name) {
  size_t slash = name.find_last_of("\\/:");
  return slash == std::string::npos ? name : name.substr(slash + 1);
}

std::string AlternativeFor(const std::string& library_name, const std::string& procedure_name) {
  std::string library = BaseName(library_name);
  for (const WindowAlternative& entry : kWindowAlternatives) {
    if (strcasecmp(library.c_str(), entry.library) == 0 && procedure_name == entry.procedure) {
      return entry.text;
    }
  }
  return std::string();
}

// Calls the procedure with copies of the texts (the convention hands out writable texts).
BOOL CallProcedure(SetupProcedure procedure, const Args& texts, LPSTR* result) {
  std::vector<std::vector<char>> copies;
  for (const std::string& text : texts)
    copies.emplace_back(text.c_str(), text.c_str() + text.size() + 1);
  std::vector<LPSTR> argv;
  for (std::vector<char>& copy : copies) argv.push_back(copy.data());
  argv.push_back(NULL);  // never an empty array, even without arguments
  return procedure(static_cast<DWORD>(texts.size()), argv.data(), result);
}

}  // namespace

int CallSetupProcedure(const char* verb, const std::string& library_name,
                       const std::string& procedure_name, const Args& texts,
                       std::string* result_text, bool* has_result) {
  *has_result = false;
  SetSystemRoot();
  std::string path = LibraryPath(library_name);
  HMODULE library = LoadLibraryA(path.c_str());
  if (library == NULL) {
    return Fail(verb, kExitNotFound,
                "cannot load " + path + " (error " + std::to_string(GetLastError()) + ")");
  }
  auto procedure =
      reinterpret_cast<SetupProcedure>(GetProcAddress(library, procedure_name.c_str()));
  if (procedure == NULL) {
    FreeLibrary(library);
    return Fail(verb, kExitNotFound, library_name + " has no procedure " + procedure_name);
  }
  LPSTR result = NULL;
  pairway::SetUnattendedAlternative(AlternativeFor(library_name, procedure_name));
  BOOL succeeded = CallProcedure(procedure, texts, &result);
  pairway::SetUnattendedAlternative(std::string());
  if (result != NULL) {
    *result_text = result;
    *has_result = true;
  }
  // The library stays loaded until the tool ends, a moment later. Unloading a library that
  // brought the dialog toolkit along would unload the toolkit too, and its process-lifetime
  // caches would then look like leaks of no known module to the leak checker.
  if (!succeeded) return Fail(verb, kExitProcedure, procedure_name + " returned FALSE");
  if (result == NULL) return Fail(verb, kExitProcedure, procedure_name + " set no result text");
  return kExitOk;
}

int RunCall(const Args& args) {
  if (args.size() < 2) return Fail(kVerb, kExitUsage, "needs LIBRARY and PROCEDURE");
  std::string result;
  bool has_result = false;
  int status = CallSetupProcedure(kVerb, args[0], args[1], Args(args.begin() + 2, args.end()),
                                  &result, &has_result);
  if (has_result) printf("%s\n", result.c_str());
  fflush(stdout);
  // "0" and "98" are the configuration procedures' results for a saved change (98: one that
  // needs a restart of the machine); the driver must read its parameters again.
  if (status == kExitOk && (result == "0" || result == "98")) TellDriver(kVerb);
  return status;
}

}  // namespace netsetup
