// IServiceThread, the start and stop interface of Zintal.dll's worker-thread
// classes, and CServiceThread, the plain loop thread: a derived class gives
// OnThreadLoop, which runs while the run flag is set and returns true.
//
// Start protocol: StartThread blocks until OnThreadStratEvent has run on the
// new thread, so what it sets up is visible to the starter when StartThread
// returns; when it returns false or throws, OnThreadStopEvent runs, the
// thread ends and StartThread returns false. An exception thrown by
// OnThreadStratEvent, OnThreadLoop or OnThreadStopEvent is caught here (the
// loop then ends as on false), also when the derived class lives in another
// module: Zintal.dll and such modules share the toolchain's C++ runtime DLLs.
//
// StartThread also returns false when the new thread ends before its start
// step returned (ExitThread inside it, or a TerminateThread from elsewhere).
//
// Destruction: the base destructor calls StopThread(INFINITE): it clears the
// run flag (message threads also get WM_QUIT) and waits for the thread's end.
// Advice: a derived class should stop its thread in its own destructor. The
// base destructor runs after the derived part is gone, so a thread still
// running then may call into a destroyed object (a loop step that is pure
// here cannot be called at all); the base destructor writes a debug message
// (OutputDebugStringA) saying so whenever it finds the thread still running.
// An object may also be destroyed on its own thread (delete this in a loop
// step or in OnThreadStopEvent, the thread touching nothing of it after):
// the destructor then closes the thread's handle and the thread runs on to
// its end.
//
// Thread safety: StartThread, StopThread and TerminateThread from one
// controlling thread at a time (two at once are reported on the debugger
// output); IsRuning, GetSetRun, GetThreadHandle, GetThreadID (and
// PostThreadMessageA of the message threads) from any thread, also while the
// controlling thread starts or stops: no call waits on a handle another
// thread may close, and none takes a lock, so a thread terminated anywhere
// inside these calls (by TerminateThread, its own or a host's) blocks no
// later call. The handle GetThreadHandle returns is still the object's and
// closed by its next stop, terminate or start. StopThread on the worker
// itself clears the run flag and returns false without waiting;
// TerminateThread on the worker itself ends it and leaves the handle to the
// next stop, start or terminate.
// Ownership: the object owns its thread handle; thread objects cannot be
// copied (two objects would share one handle).
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <atomic>

#include "common_services/include/zintal/zintal_api.h"

// What this header declares has Zintal.dll's layout whatever packing the
// includer has set; the compiler and libstdc++ settings a caller shares:
// zintal_api.h.
#pragma pack(push, 8)

// Slots in this order: IsRuning, GetSetRun, StartThread, StopThread,
// TerminateThread. No virtual destructor.
class ZINTAL_API IServiceThread {
 public:
  // True while the thread exists and has not ended.
  virtual bool IsRuning() = 0;
  // The run flag.
  virtual bool GetSetRun() = 0;
  virtual bool StartThread() = 0;
  // Clears the run flag and waits up to `milliseconds` for the thread's end;
  // false when it did not end in time (the handle is kept for a later stop).
  virtual bool StopThread(DWORD milliseconds) = 0;
  virtual bool TerminateThread(DWORD exit_code) = 0;
};

class ZINTAL_API CServiceThread : public IServiceThread {
 public:
  bool IsRuning() override;
  bool GetSetRun() override;
  bool StartThread() override;
  bool StopThread(DWORD milliseconds) override;
  bool TerminateThread(DWORD exit_code) override;

  HANDLE GetThreadHandle();
  DWORD GetThreadID();

  CServiceThread(const CServiceThread&) = delete;
  CServiceThread& operator=(const CServiceThread&) = delete;

 protected:
  CServiceThread();
  virtual ~CServiceThread();

  // On the new thread, before the starter returns; false fails the start.
  virtual bool OnThreadStratEvent();
  // On the thread after its loop, also after a failed start.
  virtual bool OnThreadStopEvent();
  // One turn of the loop; false ends it.
  virtual bool OnThreadLoop() = 0;

 private:
  static unsigned __stdcall ThreadFunction(void* start_block);

  // Written by the controlling thread, read by the worker at every turn.
  std::atomic<bool> run_;
  DWORD thread_id_;
  HANDLE thread_handle_;
};

ZINTAL_ABI_SIZE(IServiceThread, 4);
ZINTAL_ABI_SIZE(CServiceThread, 16);

#pragma pack(pop)
