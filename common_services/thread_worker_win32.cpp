// The start and stop protocol shared by the thread classes.
#include "common_services/thread_worker_win32.h"

#include <process.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

namespace zintal_detail {

bool WorkerIsRunning(HANDLE thread_handle) {
  return thread_handle != nullptr && WaitForSingleObject(thread_handle, 0) == WAIT_TIMEOUT;
}

namespace {

void ForgetThread(WorkerFields f) {
  if (f.thread_handle != nullptr) CloseHandle(f.thread_handle);
  f.thread_handle = nullptr;
  f.thread_id = 0;
}

}  // namespace

bool StartWorker(WorkerFields f, void* thread, unsigned(__stdcall* entry)(void*)) {
  ForgetThread(f);  // a thread that ended

  StartBlock block = {false, CreateEventA(nullptr, FALSE, FALSE, nullptr), thread};
  if (block.start_event == nullptr) return false;
  f.run = true;
  // Created suspended so that the handle and id are stored before the thread
  // runs (its start step may post to itself); then released at once.
  unsigned id = 0;
  HANDLE handle =
      reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, entry, &block, CREATE_SUSPENDED, &id));
  if (handle == nullptr) {
    f.run = false;
    CloseHandle(block.start_event);
    return false;
  }
  f.thread_handle = handle;
  f.thread_id = id;
  ResumeThread(handle);

  WaitForSingleObject(block.start_event, INFINITE);
  CloseHandle(block.start_event);
  return block.start_result;
}

bool StopWorker(WorkerFields f, DWORD milliseconds, bool post_quit) {
  if (WorkerIsRunning(f.thread_handle)) {
    f.run = false;
    if (post_quit) ::PostThreadMessageA(f.thread_id, WM_QUIT, 0, 0);
    // The worker cannot wait for its own end.
    if (GetCurrentThreadId() == f.thread_id) return false;
    if (WaitForSingleObject(f.thread_handle, milliseconds) == WAIT_TIMEOUT) return false;
  }
  ForgetThread(f);
  return true;
}

bool TerminateWorker(WorkerFields f, DWORD exit_code) {
  if (WorkerIsRunning(f.thread_handle)) ::TerminateThread(f.thread_handle, exit_code);
  ForgetThread(f);
  return true;
}

void PrepareWorker(bool message_queue) {
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  if (message_queue) {
    MSG msg;
    PeekMessageA(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE);
  }
}

void SignalStarter(StartBlock* block, bool started) {
  block->start_result = started;
  SetEvent(block->start_event);
}

void CheckStoppedBeforeDestruction(HANDLE thread_handle, const char* class_name) {
  if (!WorkerIsRunning(thread_handle)) return;
  char text[256];
  std::snprintf(text, sizeof text,
                "%s destroyed while its thread still runs: a derived class must stop its thread "
                "(StopThread) in its own destructor\n",
                class_name);
  OutputDebugStringA(text);
  std::fputs(text, stderr);
  std::fflush(stderr);
  std::abort();
}

}  // namespace zintal_detail
