#include "diagnostics/probes/worker.h"

#include <process.h>
#include <winsock2.h>

#include <new>
#include <utility>

#include "diagnostics/probes/trace_debug.h"
#include "diagnostics/probes/windows_sampler_env.h"
#include "diagnostics/report_cycle.h"

extern "C" IHardInfoSampler* CreateInstance() { return new (std::nothrow) CWorker(); }

CWorker::CWorker() : CWorker(&MakeWindowsSamplerEnv) {}

CWorker::CWorker(EnvFactory make_env) : make_env_(std::move(make_env)) {}

// CWorker is final and destroyed only here, through its own type. A thread
// still running would go on with a freed stop signal (every wait at once,
// rounds back to back): it is stopped first.
void CWorker::Release() {
  {
    std::unique_lock<std::mutex> call = EnterCall("Release");
    StopThread();
  }
  delete this;
}

std::unique_lock<std::mutex> CWorker::EnterCall(const char* operation) {
  std::unique_lock<std::mutex> call(calls_, std::try_to_lock);
  if (!call.owns_lock()) {
    TraceDebug("IHardInfoSampler::%s called while another call runs: it waits for that one",
               operation);
    call.lock();
  }
  return call;
}

unsigned __stdcall WorkerMain(void* arg) {
  CWorker* worker = static_cast<CWorker*>(arg);
  // Stop before the first run (the thread was never started): nothing to do.
  if (!worker->stop_signal().running()) return 0;
  std::unique_ptr<SamplerEnv> env;
  try {
    env = worker->MakeEnv();
  } catch (...) {
    return unsigned(-1);
  }
  return unsigned(RunSampler(env.get(), worker->user_id()));
}

bool CWorker::Init(int64_t user_id) {
  std::unique_lock<std::mutex> call = EnterCall("Init");
  // A second Init would lose the first thread's handle.
  if (thread_ || !stop_.valid()) return false;
  user_id_ = user_id;
  stop_.Reset();
  resumed_ = false;
  WSADATA wsa;
  if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return false;
  thread_ = reinterpret_cast<HANDLE>(
      _beginthreadex(nullptr, 0, &WorkerMain, this, CREATE_SUSPENDED, nullptr));
  return thread_ != nullptr;
}

bool CWorker::Start() {
  std::unique_lock<std::mutex> call = EnterCall("Start");
  if (stop_.SetRunning() && thread_ && !resumed_) {
    resumed_ = true;
    ResumeThread(thread_);
  }
  return true;
}

namespace {

void CALLBACK WakeApc(ULONG_PTR) {}

}  // namespace

bool CWorker::Stop() {
  std::unique_lock<std::mutex> call = EnterCall("Stop");
  StopThread();
  return true;
}

void CWorker::StopThread() {
  if (!thread_) return;
  stop_.RequestStop();
  if (!resumed_) {
    // A thread that never ran holds nothing: let it run, see the stop and
    // end by itself rather than be terminated.
    resumed_ = true;
    ResumeThread(thread_);
  }
  QueueUserAPC(&WakeApc, thread_, 0);
  DWORD code = 0;
  if (WaitForSingleObject(thread_, kStopWaitMs) != WAIT_OBJECT_0 &&
      GetExitCodeThread(thread_, &code) && code == STILL_ACTIVE) {
    TerminateThread(thread_, DWORD(-1));
  }
  CloseHandle(thread_);
  thread_ = nullptr;
}
