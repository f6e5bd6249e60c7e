// Threads and time: CreateThread, GetExitCodeThread, thread and process ids, Sleep, GetTickCount.
#include "pairway/kernel_object.h"

#include <windows.h>

#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <system_error>
#include <thread>

namespace {

// A thread's handle is signalled when its routine returns; the exit code is then its result.
class ThreadObject final : public pairway::Signal {
 public:
  ThreadObject() : Signal(/*manual_reset=*/true, /*initially_set=*/false) {}

  void Finish(DWORD code) {
    exit_code_.store(code);
    Set();
  }
  DWORD exit_code() const { return IsSet() ? exit_code_.load() : STILL_ACTIVE; }

  std::atomic<DWORD> id{0};

 private:
  std::atomic<DWORD> exit_code_{STILL_ACTIVE};
};

DWORD CurrentThreadId() { return static_cast<DWORD>(syscall(SYS_gettid)); }

}  // namespace

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE lpStartAddress,
                           LPVOID lpParameter, DWORD dwCreationFlags, LPDWORD lpThreadId) {
  if (lpStartAddress == nullptr || (dwCreationFlags & CREATE_SUSPENDED) != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto object = std::make_shared<ThreadObject>();
  HANDLE handle = pairway::InsertHandle(object);
  if (handle == nullptr) return nullptr;
  // The id is known only once the thread runs; the creator waits for it so that *lpThreadId is
  // valid on return, as callers expect. The new thread shares ownership of the start signal: the
  // creator may see it set and return while Set is still waking it, so it must not live on the
  // creator's stack.
  auto started = std::make_shared<pairway::Signal>(/*manual_reset=*/true, /*initially_set=*/false);
  try {
    std::thread([object, started, lpStartAddress, lpParameter] {
      object->id.store(CurrentThreadId());
      started->Set();
      object->Finish(lpStartAddress(lpParameter));
    }).detach();
  } catch (const std::system_error&) {
    pairway::EraseHandle(handle);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  started->Wait(INFINITE);
  if (lpThreadId != nullptr) *lpThreadId = object->id.load();
  return handle;
}

BOOL WINAPI GetExitCodeThread(HANDLE hThread, LPDWORD lpExitCode) {
  std::shared_ptr<ThreadObject> thread = pairway::LookupHandle<ThreadObject>(hThread);
  if (!thread || lpExitCode == nullptr) {
    SetLastError(thread ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  *lpExitCode = thread->exit_code();
  return TRUE;
}

DWORD WINAPI GetCurrentThreadId(void) { return CurrentThreadId(); }

DWORD WINAPI GetCurrentProcessId(void) { return static_cast<DWORD>(getpid()); }

void WINAPI Sleep(DWORD dwMilliseconds) {
  if (dwMilliseconds == INFINITE) {
    for (;;) pause();
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds));
}

DWORD WINAPI GetTickCount(void) {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  uint64_t ms =
      static_cast<uint64_t>(now.tv_sec) * 1000 + static_cast<uint64_t>(now.tv_nsec) / 1000000;
  return static_cast<DWORD>(ms);  // wraps after 49.7 days, as on the platform
}
