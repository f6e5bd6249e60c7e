// netsetup.h: pairway-netsetup, the stand-in for the platform's network setup.
//
// One program with verbs. Each verb is a row of the command table (netsetup.cpp) with its
// synopsis, its help text and the function that runs it; a verb family lives in its own file
// (root.cpp: init; cards.cpp: add-card, remove-card; tcpip.cpp: set-ip; call.cpp: call;
// nic.cpp: nic). A verb
// receives its own arguments (without the verb) after the global options were taken out, with
// PAIRWAY_ROOT already naming the machine root.
//
// Exit codes are stable, so scripts and tests can tell failures apart.
#ifndef PAIRWAY_NETSETUP_H
#define PAIRWAY_NETSETUP_H

#include <string>
#include <vector>

namespace netsetup {

enum ExitCode {
  kExitOk = 0,
  kExitUsage = 1,      // unknown verb, bad option or argument
  kExitNoRoot = 2,     // no machine root, or it cannot be made
  kExitRegistry = 3,   // a registry call failed
  kExitNotFound = 4,   // the card, key or interface named does not exist
  kExitFiles = 5,      // the system directory cannot be prepared
  kExitFull = 6,       // no free card number
  kExitProcedure = 7,  // a setup procedure returned FALSE or no result text
};

using Args = std::vector<std::string>;

struct Command {
  const char* name;
  const char* synopsis;  // arguments after the verb, for the usage line
  const char* help;      // what the verb does, in a few lines
  int (*run)(const Args& args);
};

// The verbs, in the order --help lists them.
int RunInit(const Args& args);
int RunAddCard(const Args& args);
int RunRemoveCard(const Args& args);
int RunSetIp(const Args& args);
int RunCall(const Args& args);
int RunNic(const Args& args);

// Calls setup procedure `procedure_name` of library `library_name` (a bare name is the system
// directory's file) with `texts`, as the platform's setup does. Returns kExitOk, or the exit code
// after naming the failure for `verb` on standard error: kExitNotFound (no library or no such
// procedure) or kExitProcedure (FALSE, or no result text). When the procedure set a result text,
// *result_text holds a copy and *has_result is true, also when it returned FALSE. A library whose
// procedure was called stays loaded until the program ends.
int CallSetupProcedure(const char* verb, const std::string& library_name,
                       const std::string& procedure_name, const Args& texts,
                       std::string* result_text, bool* has_result);

// "pairway-netsetup: <verb>: <message>" on standard error; returns `code` for `return Fail(...)`.
int Fail(const char* verb, int code, const std::string& message);

// Tells the driver service TREVAN that its parameters changed (SERVICE_CONTROL_PARAMCHANGE), as
// the platform's network setup has the driver read its configuration again after a change.
// Quiet when no service manager runs, the driver is not installed or not running: it reads its
// parameters when it starts. Anything else is a warning for `verb` on standard error; the
// change stays written and the verb still succeeds.
void TellDriver(const char* verb);

// Parses a whole decimal number in [min, max]; false for anything else.
bool ParseNumber(const std::string& text, long min, long max, long* value);

}  // namespace netsetup

#endif  // PAIRWAY_NETSETUP_H
