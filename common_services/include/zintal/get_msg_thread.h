// CGetMsgThread: a worker thread of Zintal.dll that blocks in GetMessageA and
// hands each message to OnThreadMessage until WM_QUIT comes or the run flag
// is cleared. Start and stop protocol, destructor advice and thread safety as
// for CServiceThread (service_thread.h); StopThread also posts WM_QUIT.
// OnThreadMessage returns true when it handled the message; on false the
// message is translated and dispatched. An exception from it ends the loop.
// The thread's message queue exists before StartThread returns.
// Ownership: as CServiceThread; not copyable.
#pragma once

#include "common_services/include/zintal/service_thread.h"

// What this header declares has Zintal.dll's layout whatever packing the
// includer has set; the compiler and libstdc++ settings a caller shares:
// zintal_api.h.
#pragma pack(push, 8)

class ZINTAL_API CGetMsgThread : public IServiceThread {
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

  CGetMsgThread(const CGetMsgThread&) = delete;
  CGetMsgThread& operator=(const CGetMsgThread&) = delete;

 protected:
  CGetMsgThread();
  virtual ~CGetMsgThread();

  virtual bool OnThreadStratEvent();
  virtual bool OnThreadStopEvent();
  virtual bool OnThreadMessage(MSG* message) = 0;

 private:
  static unsigned __stdcall ThreadFunction(void* start_block);

  std::atomic<bool> run_;
  DWORD thread_id_;
  HANDLE thread_handle_;
};

ZINTAL_ABI_SIZE(CGetMsgThread, 16);

#pragma pack(pop)
