// help_contexts.h: the help topic of the control that has the focus, as the library's dialogs and
// pages answer F1.
#ifndef AGGCFG_HELP_CONTEXTS_H
#define AGGCFG_HELP_CONTEXTS_H

#include <windows.h>

#include <span>

// The topic of the library as a whole: any control without a topic of its own, and every point
// of the Shift+F1 help mode.
constexpr DWORD kGeneralHelpContext = 1;

struct HelpContext {
  int control;    // control id
  DWORD context;  // its help topic
};

// The topic of the focused control in `table`, else kGeneralHelpContext.
DWORD HelpContextOfFocus(std::span<const HelpContext> table);

#endif  // AGGCFG_HELP_CONTEXTS_H
