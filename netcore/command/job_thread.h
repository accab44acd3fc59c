// The job thread: the gate client's single worker. Commands posted from any
// thread are dispatched here one at a time to the processor registered for
// their kind; delayed commands are held until due, and every processor gets a
// timer call at the first pass more than 100 ms after the previous one. The
// thread sleeps until a post wakes it, a delayed command falls due or the
// next timer call is due; it does not poll.
// Thread safety: PostCommand, Stop, GetTickCount and IsJobThread from any
// thread; AddProcessor before Start only; processors run on the job thread only.
// Ownership: a posted command with a delete handler is released once after
// dispatch; processors are not owned; Release destroys the job thread and
// releases the commands still waiting without dispatching them (a waiting
// delayed job is freed without running its work).
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <utility>

#include "netcore/command/cmd_base.h"
#include "netcore/port/wake_lock.h"
#include "shared/thread_check/thread_check.h"

class ICmdProcess;

// Operations in slot order; no virtual destructor (destroyed by Release).
class IJobProcessPool {
 public:
  virtual void AddProcessor(ICmdProcess* proc, uint16_t kind) = 0;
  virtual void ReservedSlot2(int, int) = 0;
  // Returns 1 when the command was taken, 0 for a null command.
  virtual int PostCommand(bs::CMD_base* cmd) = 0;
  virtual void Release() = 0;
  virtual bool Start(int) = 0;
  virtual void Stop() = 0;
  virtual void ReservedSlot7(int) = 0;
  virtual void ReservedSlot8(int) = 0;
  virtual int ReservedSlot9() = 0;
  virtual int ReservedSlot10() = 0;
  virtual uint32_t GetTickCount() = 0;

 protected:
  ~IJobProcessPool() = default;
};

// A processor. All four run on the job thread.
class ICmdProcess {
 public:
  // Once, before the first dispatch, with 0 and the pool; the result is not used.
  virtual bool OnStart(int, IJobProcessPool* pool) = 0;
  // Never called by the job thread.
  virtual void Reset() = 0;
  // One command, called with 0; the processor does not own the command.
  virtual void Process(bs::CMD_base* cmd, int) = 0;
  // Periodic call with the job time (ms since Start) and 0.
  virtual void OnTimer(uint64_t now_ms, int) = 0;

 protected:
  ~ICmdProcess() = default;
};

class KJobThread final : public IJobProcessPool {
 public:
  // Source of a monotonic millisecond count; the default is steady_clock.
  // Tests pass their own to drive job time without waiting for it.
  using ClockMs = std::function<uint64_t()>;

  KJobThread();
  explicit KJobThread(ClockMs clock);
  KJobThread(const KJobThread&) = delete;
  KJobThread& operator=(const KJobThread&) = delete;

  void AddProcessor(ICmdProcess* proc, uint16_t kind) override;
  void ReservedSlot2(int, int) override {}
  int PostCommand(bs::CMD_base* cmd) override;
  // Stops the thread if it still runs, waits (50 ms steps) until it has
  // ended, releases what is still queued (see Ownership), then deletes this
  // object.
  void Release() override;
  // Starts the detached dispatch thread, which holds the module that runs it
  // loaded until its last instruction there (q_platform::StartDetachedThread).
  // A second call starts nothing and returns false, as does a thread that
  // could not be started.
  bool Start(int) override;
  void Stop() override;
  void ReservedSlot7(int) override {}
  void ReservedSlot8(int) override {}
  int ReservedSlot9() override { return 0; }
  int ReservedSlot10() override { return 0; }
  uint32_t GetTickCount() override;

  // Milliseconds since Start (0 before Start).
  uint64_t JobTimeMs() const;
  // True when called on this object's dispatch thread.
  bool IsJobThread() const;
  // For thread-affinity checks: true on the dispatch thread, and before
  // Start, while no dispatch thread exists and the starting code (or a test
  // that drives processors directly) acts for it.
  bool MayActAsJobThread() const;

 private:
  ~KJobThread();

  void ThreadMain();
  // Sleeps until a post or Stop, or until the next delayed command or timer
  // call is due.
  void WaitForWork();
  void StartPass();
  bool DrainQueue();
  bool DrainDelayed(uint64_t now);
  void TimerPass(uint64_t now);
  void Dispatch(bs::CMD_base* cmd);
  void DropPending();

  // Delayed commands sort by due time, then by posting order.
  using DelayKey = std::pair<uint64_t, uint64_t>;  // (due ms, sequence)

  // Guards the command list and the delayed map, and is what the thread
  // sleeps on: an in-process lock and condition variable, so a post that
  // wakes the thread costs no round trip through the kernel (wineserver).
  q_platform::WakeLock queue_mutex_;
  std::mutex run_mutex_;
  std::deque<bs::CMD_base*> commands_ Q_GUARDED_BY(queue_mutex_);
  std::map<DelayKey, bs::CMD_base*> delayed_ Q_GUARDED_BY(queue_mutex_);
  uint64_t delayed_seq_ Q_GUARDED_BY(queue_mutex_) = 0;
  ClockMs clock_;
  std::atomic<uint64_t> start_stamp_{0};
  std::map<uint16_t, ICmdProcess*> processors_;
  ICmdProcess* default_proc_ = nullptr;
  std::atomic<bool> stop_{false};
  std::atomic<bool> exited_{false};
  std::atomic<bool> started_{false};   // the OnStart calls were made
  std::atomic<bool> launched_{false};  // Start created the thread
  std::mutex start_mutex_;
  // queue_mutex_ is signalled by PostCommand and Stop while the thread
  // sleeps on it; it guards posts_ and sleeping_.
  uint64_t posts_ Q_GUARDED_BY(queue_mutex_) = 0;     // every post counts, delayed ones too
  bool sleeping_ Q_GUARDED_BY(queue_mutex_) = false;  // the thread waits on queue_mutex_
  std::atomic<std::thread::id> thread_id_{};
  bool have_last_timer_ = false;  // job thread only
  uint64_t last_timer_ = 0;       // job thread only
};

// True when `pool` is null, is not a KJobThread, or may act as its job thread.
bool MayActAsJobThread(IJobProcessPool* pool);

// Aborts (thread_check.h) when the caller is not `pool`'s job
// thread (null: no job thread to be on, nothing to check).
#define Q_CHECK_JOB_THREAD(pool) Q_CHECK_THREAD(MayActAsJobThread(pool), "job thread")
