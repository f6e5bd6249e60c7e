// Worker threads, the hop to the GUI thread, and waiting without starving the GUI thread.
#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>

#include "pairway/ui/gui_thread.h"
#include "winerror.h"

namespace pairway::ui {

// What the new thread needs: the procedure, its argument and its object.
struct CWinThread::Start {
  AFX_THREADPROC proc;
  LPVOID param;
  CWinThread* thread;
};

CWinThread::~CWinThread() {
  if (m_hThread != nullptr) CloseHandle(m_hThread);
  if (go_ != nullptr) CloseHandle(go_);
}

DWORD CWinThread::ResumeThread() {
  if (go_ == nullptr) return 0;
  DWORD was_suspended = WaitForSingleObject(go_, 0) == WAIT_TIMEOUT ? 1 : 0;
  SetEvent(go_);
  return was_suspended;
}

DWORD WINAPI CWinThread::Run(LPVOID argument) {
  Start start = *static_cast<Start*>(argument);
  delete static_cast<Start*>(argument);
  CWinThread* thread = start.thread;
  WaitForSingleObject(thread->go_, INFINITE);
  UINT result = start.proc(start.param);
  // Read before the thread ends: an owner that keeps the object may delete it right after.
  if (thread->m_bAutoDelete) delete thread;
  return result;
}

CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID param, int priority, UINT stack_size,
                           DWORD flags, LPSECURITY_ATTRIBUTES security) {
  (void)priority;
  (void)security;
  if (proc == nullptr) return nullptr;
  auto* thread = new CWinThread;
  bool suspended = (flags & CREATE_SUSPENDED) != 0;
  // The thread waits for its go even when not suspended: it may end, and delete its object,
  // only after the object holds its handle.
  thread->go_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  auto* start = new CWinThread::Start{proc, param, thread};
  if (thread->go_ != nullptr) {
    thread->m_hThread =
        CreateThread(nullptr, stack_size, &CWinThread::Run, start, 0, &thread->m_nThreadID);
  }
  if (thread->m_hThread == nullptr) {
    delete start;
    delete thread;
    return nullptr;
  }
  if (!suspended) thread->ResumeThread();
  return thread;
}

bool IsGuiThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return app == nullptr || QThread::currentThread() == app->thread();
}

void RunOnGuiThread(const std::function<void()>& call) {
  if (IsGuiThread()) {
    call();
    return;
  }
  QMetaObject::invokeMethod(QCoreApplication::instance(), call, Qt::BlockingQueuedConnection);
}

BOOL PumpWaitingMessages() {
  if (QCoreApplication::instance() == nullptr) return FALSE;
  QCoreApplication::processEvents(QEventLoop::AllEvents);
  return TRUE;
}

DWORD WaitWhileDispatching(HANDLE handle, DWORD step_ms) {
  for (;;) {
    DWORD status = WaitForSingleObject(handle, step_ms);
    if (status != WAIT_TIMEOUT) return status;
    PumpWaitingMessages();
  }
}

}  // namespace pairway::ui
