// gui_thread.h: worker threads of a dialog and the GUI thread they talk to.
//
// A worker may ask the GUI thread to do something and wait for it (RunOnGuiThread, the control
// calls marked "any thread", message boxes). The GUI thread then must not block on the worker
// alone: while it waits for the worker to end it keeps dispatching its own events, in 10 ms steps
// (WaitWhileDispatching), or the two wait for each other for ever.
//
//   page->m_running = 0;
//   WaitWhileDispatching(page->m_worker->m_hThread);   // GUI thread
//   delete page->m_worker;
#ifndef PAIRWAY_UI_GUI_THREAD_H
#define PAIRWAY_UI_GUI_THREAD_H

#include <functional>

#include "pairway/api.h"
#include "windef.h"
#include "winbase.h"

namespace pairway::ui {

using AFX_THREADPROC = UINT (*)(LPVOID);

#define THREAD_PRIORITY_NORMAL 0

// A thread started by AfxBeginThread. With m_bAutoDelete set (the default) the object deletes
// itself when the thread ends, so nobody may wait on it. An owner that waits for the thread
// starts it with CREATE_SUSPENDED, clears m_bAutoDelete, calls ResumeThread, and deletes the
// object after the thread ended (which closes m_hThread).
class PAIRWAY_API CWinThread {
 public:
  ~CWinThread();
  CWinThread(const CWinThread&) = delete;
  CWinThread& operator=(const CWinThread&) = delete;

  // Lets a thread started with CREATE_SUSPENDED run; returns 1 the first time, 0 after.
  DWORD ResumeThread();

  HANDLE m_hThread = nullptr;  // signalled when the thread has ended
  DWORD m_nThreadID = 0;
  BOOL m_bAutoDelete = TRUE;

 private:
  struct Start;
  friend CWinThread* AfxBeginThread(AFX_THREADPROC, LPVOID, int, UINT, DWORD,
                                    LPSECURITY_ATTRIBUTES);
  CWinThread() = default;
  static DWORD WINAPI Run(LPVOID start);
  HANDLE go_ = nullptr;  // signalled once the thread may call its procedure
};

// Starts `proc(param)` on a new thread, at once or, with CREATE_SUSPENDED in `flags`, when
// ResumeThread is called. `priority` and `security` are accepted and ignored. Null when the
// thread could not be started.
PAIRWAY_API CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID param,
                                       int priority = THREAD_PRIORITY_NORMAL, UINT stack_size = 0,
                                       DWORD flags = 0, LPSECURITY_ATTRIBUTES security = nullptr);

// Runs `call` on the GUI thread (the thread of the Qt application) and returns when it is done;
// on the GUI thread itself, or when there is no application, runs it at once.
PAIRWAY_API void RunOnGuiThread(const std::function<void()>& call);
// True on the GUI thread, or when there is no Qt application.
PAIRWAY_API bool IsGuiThread();

// Removes and dispatches every event waiting for the calling thread (the platform's PeekMessage
// loop); FALSE when there is no Qt application.
PAIRWAY_API BOOL PumpWaitingMessages();
// Waits for `handle` in steps of `step_ms`, dispatching the waiting events after each step that
// timed out. WAIT_OBJECT_0 when signalled, WAIT_FAILED for a bad handle.
PAIRWAY_API DWORD WaitWhileDispatching(HANDLE handle, DWORD step_ms = 10);

}  // namespace pairway::ui

#endif  // PAIRWAY_UI_GUI_THREAD_H
