// error_text.h: the system texts of the error codes the layer returns.
#ifndef PAIRWAY_KERNEL_ERROR_TEXT_H
#define PAIRWAY_KERNEL_ERROR_TEXT_H

#include <windows.h>

namespace pairway {

// The text of `code` as the platform words it, ending in "\r\n"; NULL for a code the layer never
// returns. The text is static.
const char* SystemErrorText(DWORD code);

}  // namespace pairway

#endif  // PAIRWAY_KERNEL_ERROR_TEXT_H
