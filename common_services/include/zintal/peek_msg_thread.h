// CPeekMsgThread: a worker thread of Zintal.dll that pumps its message queue
// with PeekMessageA and runs an idle step whenever the queue is empty. The
// loop does not wait: the idle step sets the pace (one that returns true at
// once makes the thread spin). Start and stop protocol, destructor advice and
// thread safety as for CServiceThread (service_thread.h); StopThread also
// posts WM_QUIT, which ends the loop.
// OnThreadMessage returns true when it handled the message; on false the
// message is translated and dispatched. An exception from OnThreadMessage or
// OnThreadIdle ends the loop as false from OnThreadIdle would.
// The thread's message queue exists before StartThread returns, so a message
// posted right after the start is not lost.
// Ownership: as CServiceThread; not copyable.
#pragma once

#include "common_services/include/zintal/service_thread.h"

// What this header declares has Zintal.dll's layout whatever packing the
// includer has set; the compiler and libstdc++ settings a caller shares:
// zintal_api.h.
#pragma pack(push, 8)

class ZINTAL_API CPeekMsgThread : public IServiceThread {
 public:
  bool IsRuning() override;
  bool GetSetRun() override;
  bool StartThread() override;
  bool StopThread(DWORD milliseconds) override;
  bool TerminateThread(DWORD exit_code) override;

  HANDLE GetThreadHandle();
  DWORD GetThreadID();
  // False before the start (thread id 0), else the system's PostThreadMessageA.
  // Any thread.
  bool PostThreadMessageA(UINT message, WPARAM wparam, LPARAM lparam);

  CPeekMsgThread(const CPeekMsgThread&) = delete;
  CPeekMsgThread& operator=(const CPeekMsgThread&) = delete;

 protected:
  CPeekMsgThread();
  virtual ~CPeekMsgThread();

  virtual bool OnThreadStratEvent();
  virtual bool OnThreadStopEvent();
  virtual bool OnThreadMessage(MSG* message) = 0;
  // The queue was empty; false ends the loop.
  virtual bool OnThreadIdle() = 0;

 private:
  static unsigned __stdcall ThreadFunction(void* start_block);

  std::atomic<bool> run_;
  DWORD thread_id_;
  HANDLE thread_handle_;
};

ZINTAL_ABI_SIZE(CPeekMsgThread, 16);

#pragma pack(pop)
