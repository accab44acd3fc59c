// The start and stop protocol shared by Zintal.dll's three thread classes
// (CServiceThread, CPeekMsgThread, CGetMsgThread). Each class keeps its own
// three fields, as its layout requires, and hands them to these steps. Not
// exported.
// Thread safety: the Start/Stop/Terminate steps run on the controlling thread;
// PrepareWorker and SignalStarter on the new thread.
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

bool WorkerIsRunning(HANDLE thread_handle);
// Starts `entry` with a start block for `thread` and waits until it signals;
// false also when no thread could be made. The caller has checked that no
// thread runs; on a false start result it stops the ended thread.
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

// The base destructor's check: a thread still running here outlived its
// derived part, against the rule of the header; the process ends with a
// message naming the class.
void CheckStoppedBeforeDestruction(HANDLE thread_handle, const char* class_name);

}  // namespace zintal_detail
