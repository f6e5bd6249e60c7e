// Events: CreateEventA, SetEvent, ResetEvent.
//
// Named events are shared within the process only; nothing of the system signals across
// processes by name.
#include "pairway/kernel_object.h"

#include <windows.h>

#include <map>
#include <string>

namespace {

class Event final : public pairway::Signal {
 public:
  using Signal::Signal;
};

std::mutex names_mutex;
std::map<std::string, std::weak_ptr<Event>>* names =
    new std::map<std::string, std::weak_ptr<Event>>;

// The named event, made when it does not exist (or all its handles were closed). *existed tells
// which.
std::shared_ptr<Event> FindOrMakeNamed(const std::string& name, bool manual, bool initial,
                                       bool* existed) {
  std::lock_guard lock(names_mutex);
  std::shared_ptr<Event> event = (*names)[name].lock();
  *existed = event != nullptr;
  if (!event) {
    event = std::make_shared<Event>(manual, initial);
    (*names)[name] = event;
  }
  return event;
}

}  // namespace

HANDLE WINAPI CreateEventA(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState,
                           LPCSTR lpName) {
  bool existed = false;
  std::shared_ptr<Event> event =
      lpName == nullptr || *lpName == '\0'
          ? std::make_shared<Event>(bManualReset != FALSE, bInitialState != FALSE)
          : FindOrMakeNamed(lpName, bManualReset != FALSE, bInitialState != FALSE, &existed);
  HANDLE handle = pairway::InsertHandle(std::move(event));
  if (handle != nullptr) SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
  return handle;
}

BOOL WINAPI SetEvent(HANDLE hEvent) {
  std::shared_ptr<Event> event = pairway::LookupHandle<Event>(hEvent);
  if (!event) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  event->Set();
  return TRUE;
}

BOOL WINAPI ResetEvent(HANDLE hEvent) {
  std::shared_ptr<Event> event = pairway::LookupHandle<Event>(hEvent);
  if (!event) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  event->Reset();
  return TRUE;
}
