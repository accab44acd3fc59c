// CServiceThread: the plain loop thread (see its header).
#include "common_services/include/zintal/service_thread.h"

#include <process.h>

#include "common_services/thread_worker_win32.h"

// Run flag, thread id and handle after the vtable pointer, in that order.
// The layout of the shipped i686 Zintal.dll, each a word wide there; the
// x86_64 test tree ships no Zintal.dll (its sizes differ: see zintal_api.h).
#if defined(__i386__)
static_assert(sizeof(CServiceThread) == 4 * sizeof(void*), "CServiceThread layout");
#endif

namespace {

zintal_detail::WorkerFields Fields(std::atomic<bool>& run, DWORD& id, HANDLE& handle) {
  return zintal_detail::WorkerFields{run, id, handle};
}

}  // namespace

CServiceThread::CServiceThread() : run_(false), thread_id_(0), thread_handle_(nullptr) {}

CServiceThread::~CServiceThread() {
  zintal_detail::StopOnDestruction(Fields(run_, thread_id_, thread_handle_), false,
                                   "CServiceThread");
}

bool CServiceThread::IsRuning() {
  return zintal_detail::WorkerIsRunning(Fields(run_, thread_id_, thread_handle_));
}

bool CServiceThread::GetSetRun() { return run_; }

HANDLE CServiceThread::GetThreadHandle() {
  return zintal_detail::ReadThreadHandle(Fields(run_, thread_id_, thread_handle_));
}

DWORD CServiceThread::GetThreadID() {
  return zintal_detail::ReadThreadId(Fields(run_, thread_id_, thread_handle_));
}

bool CServiceThread::StartThread() {
  if (IsRuning()) return false;
  if (zintal_detail::StartWorker(Fields(run_, thread_id_, thread_handle_), this, &ThreadFunction)) {
    return true;
  }
  StopThread(INFINITE);  // the thread ends after its stop event
  return false;
}

bool CServiceThread::StopThread(DWORD milliseconds) {
  return zintal_detail::StopWorker(Fields(run_, thread_id_, thread_handle_), milliseconds, false);
}

bool CServiceThread::TerminateThread(DWORD exit_code) {
  return zintal_detail::TerminateWorker(Fields(run_, thread_id_, thread_handle_), exit_code);
}

bool CServiceThread::OnThreadStratEvent() { return true; }

bool CServiceThread::OnThreadStopEvent() { return true; }

unsigned __stdcall CServiceThread::ThreadFunction(void* start_block) {
  auto* block = static_cast<zintal_detail::StartBlock*>(start_block);
  auto* self = static_cast<CServiceThread*>(block->thread);
  zintal_detail::PrepareWorker(false);
  bool started = false;
  try {
    started = self->OnThreadStratEvent();
  } catch (...) {
    started = false;
  }
  zintal_detail::SignalStarter(block, started);

  while (started && self->run_) {
    bool more = false;
    try {
      more = self->OnThreadLoop();
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
