// copy_out.h: how the platform's string calls hand a text to a caller's buffer.
#ifndef PAIRWAY_KERNEL_COPY_OUT_H
#define PAIRWAY_KERNEL_COPY_OUT_H

#include <windows.h>

#include <cstring>
#include <string_view>

namespace pairway {

// Copies `text` with its terminator into buffer[size] and returns its length; when it does not
// fit (or buffer is NULL), copies nothing and returns the size needed, terminator included. This
// is the convention of GetSystemDirectoryA, GetEnvironmentVariableA and their kin.
inline DWORD CopyOut(std::string_view text, LPSTR buffer, DWORD size) {
  if (buffer == nullptr || size <= text.size()) return static_cast<DWORD>(text.size() + 1);
  std::memcpy(buffer, text.data(), text.size());
  buffer[text.size()] = '\0';
  return static_cast<DWORD>(text.size());
}

}  // namespace pairway

#endif  // PAIRWAY_KERNEL_COPY_OUT_H
