// The start and stop protocol shared by Zintal.dll's three thread classes
// (CServiceThread, CPeekMsgThread, CGetMsgThread). Each class keeps its own
// three fields, as its layout requires, and hands them to these steps. Not
// exported.
// Thread safety: the Start/Stop/Terminate steps run on the controlling thread;
// PrepareWorker and SignalStarter on the new thread; the Read* steps and
// WorkerIsRunning on any thread. The thread handle and id are written and the
// handle closed only under a lock taken exclusively, and read under the same
// lock taken shared: the exported classes have no room for a lock of their
// own, so the locks come from a process-wide table picked by the object's
// address. No lock is held across a wait that can block. Two controlling
// threads at once (a Stop still waiting while another thread starts, stops
// or terminates) abort with a message (shared/thread_check).
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <atomic>

namespace zintal_detail {

// Lives on the starter's stack until the new thread signals the event.
struct StartBlock {
  bool start_result;
  HANDLE start_event;
  void* thread;
};

struct WorkerFields {
  std::atomic<bool>& run;
  DWORD& thread_id;
  HANDLE& thread_handle;
};

// True while a handle is held and its thread has not ended. Any thread.
bool WorkerIsRunning(WorkerFields fields);
// The stored values, read consistently with a concurrent start or stop. The
// handle stays the object's: it is closed by the next stop or start.
HANDLE ReadThreadHandle(WorkerFields fields);
DWORD ReadThreadId(WorkerFields fields);

// Starts `entry` with a start block for `thread` and waits until it signals
// or ends; false when no thread could be made, when its start step said no,
// or when it ended without saying (ExitThread, or a TerminateThread from
// elsewhere). The caller has checked that no thread runs; on false it stops
// the ended thread.
bool StartWorker(WorkerFields fields, void* thread, unsigned(__stdcall* entry)(void*));
// `post_quit`: the message-queue classes also post WM_QUIT to the thread.
bool StopWorker(WorkerFields fields, DWORD milliseconds, bool post_quit);
bool TerminateWorker(WorkerFields fields, DWORD exit_code);

// First steps on the new thread: seeds this thread's rand with the time and,
// with `message_queue`, creates the thread's message queue so that a message
// posted as soon as the start returns (WM_QUIT too) finds it.
void PrepareWorker(bool message_queue);
// Hands the start result to the starter; the block is not touched afterwards.
void SignalStarter(StartBlock* block, bool started);

// The base destructor's first step: a thread still running here outlived its
// derived part (against the advice of the header); say so on the debugger
// output, naming the class. The destructor then stops it all the same.
void AdviseIfStillRunning(WorkerFields fields, const char* class_name);

}  // namespace zintal_detail
