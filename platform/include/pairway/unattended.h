// unattended.h: what a run without a person at a screen is told to use instead of a window.
//
// The libraries the setup host calls show windows (a property sheet, a dialog) and wait for a
// person. Where no screen exists nobody can answer them, so the dialog framework does not show
// them: it says so on standard error and the call returns at once, as one whose window could not
// be created. Pairway's own commands do the same work without a window; the host that makes the
// call knows which procedure it calls and so which commands those are, and names them here
// before the call. The framework prints them with its notice.
//
// Process-wide; safe to call from any thread.
#ifndef PAIRWAY_UNATTENDED_H
#define PAIRWAY_UNATTENDED_H

#include <string>

#include "pairway/api.h"

namespace pairway {

// Sets the text (one or more lines, without a final line feed) that names the commands doing the
// work of the windows the coming call may show; an empty text forgets it.
PAIRWAY_API void SetUnattendedAlternative(const std::string& text);

// The text last set; empty when none.
PAIRWAY_API std::string UnattendedAlternative();

}  // namespace pairway

#endif  // PAIRWAY_UNATTENDED_H
