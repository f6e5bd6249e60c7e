// The shared library mifsnmp (installed as mifsnmp.dll): the agent's core and its entry routine.
//
// The platform's loader calls a library's entry routine when it maps the library into a process
// and when it unmaps it; the host's loader runs these two functions at the same moments.
#include "agent_entry.h"

namespace {

__attribute__((constructor)) void process_attach() { DllMain(NULL, DLL_PROCESS_ATTACH, NULL); }

__attribute__((destructor)) void process_detach() { DllMain(NULL, DLL_PROCESS_DETACH, NULL); }

}  // namespace
