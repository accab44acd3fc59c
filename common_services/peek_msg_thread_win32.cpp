// CPeekMsgThread: the message-pumping thread with an idle step (see its header).
#include "common_services/include/zintal/peek_msg_thread.h"

#include <process.h>

#include "common_services/thread_worker_win32.h"

// Run flag, thread id and handle after the vtable pointer, in that order.
// The layout of the shipped i686 Zintal.dll, each a word wide there; the
// x86_64 test tree ships no Zintal.dll (its sizes differ: see zintal_api.h).
#if defined(__i386__)
static_assert(sizeof(CPeekMsgThread) == 4 * sizeof(void*), "CPeekMsgThread layout");
#endif

namespace {

zintal_detail::WorkerFields Fields(std::atomic<bool>& run, DWORD& id, HANDLE& handle) {
  return zintal_detail::WorkerFields{run, id, handle};
}

}  // namespace

CPeekMsgThread::CPeekMsgThread() : run_(false), thread_id_(0), thread_handle_(nullptr) {}

CPeekMsgThread::~CPeekMsgThread() {
  zintal_detail::StopOnDestruction(Fields(run_, thread_id_, thread_handle_), true,
                                   "CPeekMsgThread");
}

bool CPeekMsgThread::IsRuning() {
  return zintal_detail::WorkerIsRunning(Fields(run_, thread_id_, thread_handle_));
}

bool CPeekMsgThread::GetSetRun() { return run_; }

HANDLE CPeekMsgThread::GetThreadHandle() {
  return zintal_detail::ReadThreadHandle(Fields(run_, thread_id_, thread_handle_));
}

DWORD CPeekMsgThread::GetThreadID() {
  return zintal_detail::ReadThreadId(Fields(run_, thread_id_, thread_handle_));
}

bool CPeekMsgThread::StartThread() {
  if (IsRuning()) return false;
  if (zintal_detail::StartWorker(Fields(run_, thread_id_, thread_handle_), this, &ThreadFunction)) {
    return true;
  }
  StopThread(INFINITE);  // the thread ends after its stop event
  return false;
}

bool CPeekMsgThread::StopThread(DWORD milliseconds) {
  return zintal_detail::StopWorker(Fields(run_, thread_id_, thread_handle_), milliseconds, true);
}

bool CPeekMsgThread::TerminateThread(DWORD exit_code) {
  return zintal_detail::TerminateWorker(Fields(run_, thread_id_, thread_handle_), exit_code);
}

bool CPeekMsgThread::OnThreadStratEvent() { return true; }

bool CPeekMsgThread::OnThreadStopEvent() { return true; }

bool CPeekMsgThread::PostThreadMessageA(UINT message, WPARAM wparam, LPARAM lparam) {
  const DWORD id = GetThreadID();
  if (id == 0) return false;
  return ::PostThreadMessageA(id, message, wparam, lparam) != FALSE;
}

unsigned __stdcall CPeekMsgThread::ThreadFunction(void* start_block) {
  auto* block = static_cast<zintal_detail::StartBlock*>(start_block);
  auto* self = static_cast<CPeekMsgThread*>(block->thread);
  zintal_detail::PrepareWorker(true);
  bool started = false;
  try {
    started = self->OnThreadStratEvent();
  } catch (...) {
    started = false;
  }
  zintal_detail::SignalStarter(block, started);

  while (started && self->run_) {
    bool more = false;
    MSG msg;
    try {
      if (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) break;
        if (!self->OnThreadMessage(&msg)) {
          TranslateMessage(&msg);
          DispatchMessageA(&msg);
        }
        more = true;
      } else {
        more = self->OnThreadIdle();
      }
    } catch (...) {
      more = false;
    }
    if (!more) break;
  }
  try {
    self->OnThreadStopEvent();
  } catch (...) {
  }
  _endthreadex(0);
  return 0;
}
