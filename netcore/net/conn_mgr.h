// QConnMgr, the connection manager on libevent: one loop thread that blocks
// in the event loop and runs every libevent callback, host-name connects
// (evdns) with a connect time-out, and channels whose reader threads cut
// their input into frames (conn_channel.h). The loop thread gives the
// connect results and close reports; each channel's reader gives its frames.
// A Send on a thread with a send batch open (netcore/port/send_batch.h) is
// held there and written when the batch ends, together with the frames the
// batch holds for the same connection.
// Thread safety: Connect, Send and Close from any thread; Init and Release by
// the owner only, never concurrently with other calls (Release also from
// inside a sink call). The hooks and the
// channel-side operations (DestroyChannel, FireTimer) run on the loop thread.
// Locks: the manager's mutex guards the channel map, the id counter and the
// timer set. Lock order is mutex -> buffer event lock -> event base lock,
// never the other way: libevent runs the channels' callbacks without the
// buffer event's lock, and the loop thread never holds the mutex while it
// calls the sink.
// Ownership: the manager owns its channels, timers, event base and DNS base;
// Release frees all of them with the manager; the sink is not owned.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

#include "netcore/net/conn_manager.h"
#include "netcore/net/conn_timer.h"
#include "netcore/port/send_batch.h"
#include "shared/thread_check/thread_check.h"

class QConnChannel;
struct event_base;
struct evdns_base;

class QConnMgr : public ICMGR_ConnManager {
 public:
  QConnMgr();
  QConnMgr(const QConnMgr&) = delete;
  QConnMgr& operator=(const QConnMgr&) = delete;
  // Stops the loop thread if it still runs (Release is the normal way out).
  ~QConnMgr() override;

  // Fails when already running, when libevent cannot be made thread-safe,
  // when the event base cannot be created, when OnStart refuses or the loop
  // thread cannot be started.
  bool Init(ICMGR_ChannelSink* sink) override;
  // Also from inside a sink call (on the loop thread or a reader): then the
  // loop thread frees the manager once its loop and the readers have ended.
  void Release() override;
  // 0 when the manager is not running or the buffer event cannot be created.
  // A port outside 1..65535 or a bad host is reported later as a failed connect.
  uint64_t Connect(const char* host, int port, int user_data, unsigned timeout_ms) override;
  bool Send(uint64_t conn_id, const char* data, int len) override;
  void Close(uint64_t conn_id) override;
  void ResolveHosts(int count, void* entries, int a, int b, int c) override;

  // Hooks. OnStart runs inside Init before the loop thread starts (false
  // makes Init fail); OnStop inside Release before the loop is told to end.
  virtual bool OnStart();
  virtual void OnStop();
  // Expiry of the periodic timer: arms the next one, 100 ms later.
  virtual void OnTimer(int user_data, uint64_t conn_id);

  // Loop-thread side, used by channels and timers.
  bool Stopping() const { return stopping_.load(std::memory_order_acquire); }
  // True on the loop thread, and while no loop thread runs (before Init's
  // thread starts and after it has ended, the owner's thread acts for it).
  bool MayActAsLoopThread() const;
  // Removes the channel from the map, frees its timer and buffer event, gives
  // the close report if it was connected and had none yet, frees it.
  void DestroyChannel(QConnChannel* ch);
  // Takes the channel out of the table, so that Send and Close no longer
  // find it; DestroyChannel does this too. Loop thread.
  void UnlistChannel(QConnChannel* ch);
  // Runs the timer's callback once, then frees the record.
  void FireTimer(QConnTimer* timer);
  // Cancels a pending timer and frees it.
  void FreeTimer(QConnTimer* timer);

 protected:
  // Arms a one-shot timer on the loop; null when the manager is stopping or
  // out of memory. Takes the mutex.
  QConnTimer* AddTimer(uint64_t conn_id, int user_data, unsigned ms, QConnTimer::Callback cb);
  // Arms the first periodic timer (OnTimer re-arms it). Nothing in the
  // system calls it; a subclass may, e.g. from OnStart.
  void ArmPeriodicTimer();

  uint64_t next_id_ Q_GUARDED_BY(mutex_) = 0;
  struct event_base* base_ = nullptr;
  std::atomic<bool> stopping_{false};
  std::atomic<bool> exited_{true};
  std::mutex mutex_;
  std::map<uint64_t, QConnChannel*> channels_ Q_GUARDED_BY(mutex_);
  ICMGR_ChannelSink* sink_ = nullptr;
  // Arguments of the last ResolveHosts.
  int resolve_count_ Q_GUARDED_BY(mutex_) = 0;
  void* resolve_entries_ Q_GUARDED_BY(mutex_) = nullptr;
  int resolve_args_[3] Q_GUARDED_BY(mutex_) = {};

  struct evdns_base* dns_ = nullptr;                   // null: blocking look-up on the loop thread
  std::set<QConnTimer*> timers_ Q_GUARDED_BY(mutex_);  // every armed record
  std::thread loop_;
  std::atomic<std::thread::id> loop_id_{};  // set while the loop thread runs
  bool free_on_exit_ = false;               // Release came from the loop thread

 private:
  QConnTimer* AddTimerLocked(uint64_t conn_id, int user_data, unsigned ms, QConnTimer::Callback cb);
  uint64_t NextIdLocked();
  void LoopMain();
  void RequestStop();
  void StopLoop();
  void FreeBaseAndDns();

  // Timer callbacks.
  void StartConnect(int user_data, uint64_t conn_id);
  void ConnectTimeoutCheck(int user_data, uint64_t conn_id);
  void CloseNow(int user_data, uint64_t conn_id);

  // Send without holding: on this thread what the socket takes at once,
  // the rest through the loop.
  bool SendNow(uint64_t conn_id, const char* data, int len);

  // Where the frames a send batch held for this manager are written.
  class HeldOutlet final : public q_platform::SendOutlet {
   public:
    explicit HeldOutlet(QConnMgr* mgr) : mgr_(mgr) {}
    void SendHeld(uint64_t key, const char* data, size_t size) override {
      mgr_->SendNow(key, data, int(size));
    }

   private:
    QConnMgr* mgr_;
  };
  HeldOutlet held_outlet_{this};
  // Closed first thing by the destructor: a batch ending later drops its frames.
  std::shared_ptr<q_platform::SendBatchTarget> batch_target_ =
      std::make_shared<q_platform::SendBatchTarget>(&held_outlet_);
};

// Aborts (thread_check.h) when the caller is not `mgr`'s loop thread.
#define Q_CHECK_LOOP_THREAD(mgr) Q_CHECK_THREAD((mgr)->MayActAsLoopThread(), "loop thread")
