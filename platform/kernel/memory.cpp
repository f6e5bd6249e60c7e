// GlobalAlloc and LocalAlloc: fixed blocks whose handle is their address.
//
// Every block is recorded, so that freeing a block twice or freeing a pointer the layer never
// gave out fails with ERROR_INVALID_HANDLE instead of corrupting the heap. Blocks cross module
// boundaries freely (one module allocates, another frees), which is why they live here, once per
// process.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <unordered_map>

namespace {

std::mutex blocks_mutex;
// Block address -> requested size. Never destroyed: blocks may be freed during exit.
auto* blocks = new std::unordered_map<void*, SIZE_T>;

void* Allocate(UINT flags, SIZE_T bytes) {
  // A block of 0 bytes is still a unique block.
  void* block = (flags & GMEM_ZEROINIT) != 0 ? std::calloc(1, bytes == 0 ? 1 : bytes)
                                             : std::malloc(bytes == 0 ? 1 : bytes);
  if (block == nullptr) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  std::lock_guard lock(blocks_mutex);
  blocks->emplace(block, bytes);
  return block;
}

// NULL on success, the block on failure, as the platform returns.
void* Free(void* block) {
  if (block == nullptr) return nullptr;
  {
    std::lock_guard lock(blocks_mutex);
    if (blocks->erase(block) == 0) {
      SetLastError(ERROR_INVALID_HANDLE);
      return block;
    }
  }
  std::free(block);
  return nullptr;
}

bool IsBlock(void* block, SIZE_T* size) {
  std::lock_guard lock(blocks_mutex);
  auto it = blocks->find(block);
  if (it == blocks->end()) return false;
  if (size != nullptr) *size = it->second;
  return true;
}

}  // namespace

HGLOBAL WINAPI GlobalAlloc(UINT uFlags, SIZE_T dwBytes) { return Allocate(uFlags, dwBytes); }

HGLOBAL WINAPI GlobalFree(HGLOBAL hMem) { return Free(hMem); }

LPVOID WINAPI GlobalLock(HGLOBAL hMem) {
  if (!IsBlock(hMem, nullptr)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return hMem;
}

// Fixed blocks have no lock count: always "no longer locked".
BOOL WINAPI GlobalUnlock(HGLOBAL hMem) {
  SetLastError(IsBlock(hMem, nullptr) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE);
  return FALSE;
}

SIZE_T WINAPI GlobalSize(HGLOBAL hMem) {
  SIZE_T size = 0;
  if (!IsBlock(hMem, &size)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return size;
}

HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes) { return Allocate(uFlags, uBytes); }

HLOCAL WINAPI LocalFree(HLOCAL hMem) { return Free(hMem); }
