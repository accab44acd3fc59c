// The start and stop protocol shared by Zintal.dll's three thread classes
// (CServiceThread, CPeekMsgThread, CGetMsgThread). Each class keeps its own
// three fields, as its layout requires, and hands them to these steps. Not
// exported.
// Thread safety: the Start/Stop/Terminate steps run on the controlling thread
// (or on the worker itself, which only clears its run flag or ends itself);
// PrepareWorker and SignalStarter on the new thread; the Read* steps and
// WorkerIsRunning on any thread. No lock is taken anywhere: these calls run
// in other people's processes, where a host may terminate any thread at any
// point, and a lock left held there would block every later caller. The
// handle and id are written atomically, and every wait is on a handle of the
// waiter's own (opened by the thread's id), so the object's handle can be
// closed by the controlling thread under no one's feet. Two controlling
// threads at once are reported on the debugger output, in the words of
// thread_check's message, and go on (Q_THREAD_CHECKS=0 drops the check).
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

// The base destructor: StopThread(INFINITE), with the debugger advice when
// the thread still runs (it outlived its derived part, against the header's
// advice). On the object's own thread (a thread object that deletes itself)
// it clears the run flag and closes the handle instead: nobody else can.
void StopOnDestruction(WorkerFields fields, bool post_quit, const char* class_name);

}  // namespace zintal_detail
