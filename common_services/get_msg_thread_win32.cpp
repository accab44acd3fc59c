// CGetMsgThread: the thread blocking in GetMessageA (see its header).
#include "common_services/include/zintal/get_msg_thread.h"

#include <process.h>

#include "common_services/thread_worker_win32.h"

// Run flag, thread id and handle after the vtable pointer, in that order.
// The layout of the shipped i686 Zintal.dll, each a word wide there; the
// x86_64 test tree ships no Zintal.dll (its sizes differ: see zintal_api.h).
#if defined(__i386__)
static_assert(sizeof(CGetMsgThread) == 4 * sizeof(void*), "CGetMsgThread layout");
#endif

namespace {

zintal_detail::WorkerFields Fields(std::atomic<bool>& run, DWORD& id, HANDLE& handle) {
  return zintal_detail::WorkerFields{run, id, handle};
}

}  // namespace

CGetMsgThread::CGetMsgThread() : run_(false), thread_id_(0), thread_handle_(nullptr) {}

CGetMsgThread::~CGetMsgThread() {
  zintal_detail::StopOnDestruction(Fields(run_, thread_id_, thread_handle_), true, "CGetMsgThread");
}

bool CGetMsgThread::IsRuning() {
  return zintal_detail::WorkerIsRunning(Fields(run_, thread_id_, thread_handle_));
}

bool CGetMsgThread::GetSetRun() { return run_; }

HANDLE CGetMsgThread::GetThreadHandle() {
  return zintal_detail::ReadThreadHandle(Fields(run_, thread_id_, thread_handle_));
}

DWORD CGetMsgThread::GetThreadID() {
  return zintal_detail::ReadThreadId(Fields(run_, thread_id_, thread_handle_));
}

bool CGetMsgThread::StartThread() {
  if (IsRuning()) return false;
  if (zintal_detail::StartWorker(Fields(run_, thread_id_, thread_handle_), this, &ThreadFunction)) {
    return true;
  }
  StopThread(INFINITE);  // the thread ends after its stop event
  return false;
}

bool CGetMsgThread::StopThread(DWORD milliseconds) {
  return zintal_detail::StopWorker(Fields(run_, thread_id_, thread_handle_), milliseconds, true);
}

bool CGetMsgThread::TerminateThread(DWORD exit_code) {
  return zintal_detail::TerminateWorker(Fields(run_, thread_id_, thread_handle_), exit_code);
}

bool CGetMsgThread::OnThreadStratEvent() { return true; }

bool CGetMsgThread::OnThreadStopEvent() { return true; }

bool CGetMsgThread::PostThreadMessageA(UINT message, WPARAM wparam, LPARAM lparam) {
  const DWORD id = GetThreadID();
  if (id == 0) return false;
  return ::PostThreadMessageA(id, message, wparam, lparam) != FALSE;
}

unsigned __stdcall CGetMsgThread::ThreadFunction(void* start_block) {
  auto* block = static_cast<zintal_detail::StartBlock*>(start_block);
  auto* self = static_cast<CGetMsgThread*>(block->thread);
  zintal_detail::PrepareWorker(true);
  bool started = false;
  try {
    started = self->OnThreadStratEvent();
  } catch (...) {
    started = false;
  }
  zintal_detail::SignalStarter(block, started);

  MSG msg;
  // GetMessageA gives -1 on an error; that ends the loop rather than
  // handing on a message that was never filled in.
  while (started && GetMessageA(&msg, nullptr, 0, 0) > 0 && self->run_ && msg.message != WM_QUIT) {
    try {
      if (!self->OnThreadMessage(&msg)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
    } catch (...) {
      break;
    }
  }
  try {
    self->OnThreadStopEvent();
  } catch (...) {
  }
  _endthreadex(0);
  return 0;
}
