// The help topic of the focused control.
#include "help_contexts.h"

#include "pairway/ui/wnd.h"

DWORD HelpContextOfFocus(std::span<const HelpContext> table) {
  const pairway::ui::CWnd* focus = pairway::ui::CWnd::GetFocus();
  if (focus == nullptr) return kGeneralHelpContext;
  for (const HelpContext& entry : table) {
    if (entry.control == focus->GetDlgCtrlID()) return entry.context;
  }
  return kGeneralHelpContext;
}
