#include "netcore/command/job_thread.h"

#include <algorithm>
#include <chrono>
#include <limits>
#include <thread>
#include <vector>

#include "netcore/command/lambda_function.h"
#include "netcore/port/hop_trace.h"
#include "netcore/port/platform.h"

namespace {

uint64_t SteadyMs() {
  using namespace std::chrono;
  return static_cast<uint64_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

KJobThread::KJobThread() : KJobThread(ClockMs()) {}

KJobThread::KJobThread(ClockMs clock) : clock_(clock ? std::move(clock) : ClockMs(SteadyMs)) {}

KJobThread::~KJobThread() = default;

void KJobThread::AddProcessor(ICmdProcess* proc, uint16_t kind) {
  // Once started, the table belongs to the job thread, which reads it on
  // every pass.
  Q_CHECK_THREAD(MayActAsJobThread(), "job thread");
  processors_[kind] = proc;
  if (kind == 0) default_proc_ = proc;
}

uint64_t KJobThread::JobTimeMs() const {
  // Before Start there is no job time yet; a command delayed then counts its
  // delay from Start.
  if (!launched_.load(std::memory_order_acquire)) return 0;
  const uint64_t now = clock_();
  const uint64_t stamp = start_stamp_.load(std::memory_order_relaxed);
  return now > stamp ? now - stamp : 0;
}

int KJobThread::PostCommand(bs::CMD_base* cmd) {
  if (cmd == nullptr) return 0;
  bool wake;
  {
    std::lock_guard<q_platform::WakeLock> lock(queue_mutex_);
    if (cmd->delay == 0) {
      commands_.push_back(cmd);
    } else {
      const uint64_t now = JobTimeMs();
      const uint64_t max = std::numeric_limits<uint64_t>::max();
      const uint64_t due = cmd->delay > max - now ? max : now + cmd->delay;
      delayed_.emplace(DelayKey(due, delayed_seq_++), cmd);
    }
    ++posts_;
    wake = sleeping_;
  }
  // Outside the lock, so the woken thread does not block on it at once; the
  // thread re-reads posts_ under the lock, so no wake-up is lost.
  if (wake) queue_mutex_.NotifyOne();
  return 1;
}

bool KJobThread::Start(int) {
  if (launched_.load(std::memory_order_acquire)) return false;
  start_stamp_.store(clock_(), std::memory_order_relaxed);
  launched_.store(true, std::memory_order_release);
  // The thread keeps the library loaded until it has returned out of it:
  // Release returns once the thread has said it is done, and the host may
  // unload the library at once.
  if (!q_platform::StartDetachedThread([this] { ThreadMain(); })) {
    launched_.store(false, std::memory_order_release);
    return false;
  }
  return true;
}

void KJobThread::Stop() {
  {
    std::lock_guard<q_platform::WakeLock> lock(queue_mutex_);
    stop_.store(true, std::memory_order_release);
  }
  queue_mutex_.NotifyOne();
}

bool KJobThread::IsJobThread() const {
  return thread_id_.load(std::memory_order_acquire) == std::this_thread::get_id();
}

bool KJobThread::MayActAsJobThread() const {
  return !launched_.load(std::memory_order_acquire) || IsJobThread();
}

bool MayActAsJobThread(IJobProcessPool* pool) {
  auto* jt = dynamic_cast<KJobThread*>(pool);
  return jt == nullptr || jt->MayActAsJobThread();
}

void KJobThread::Release() {
  // Also when Stop was forgotten: never wait for a thread nobody stops.
  Stop();
  if (launched_.load(std::memory_order_acquire)) {
    // Stop wakes the thread, so it ends within its current pass; short
    // steps keep Release from adding a long sleep to every shut-down.
    while (!exited_.load(std::memory_order_acquire)) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  DropPending();
  delete this;
}

void KJobThread::DropPending() {
  // Commands still waiting are never dispatched. Their queue reference is
  // given back so they are freed, but a delayed job is marked done first:
  // its work would call into owners that are shutting down with us.
  std::vector<bs::CMD_base*> pending(commands_.begin(), commands_.end());
  for (const auto& entry : delayed_) pending.push_back(entry.second);
  commands_.clear();
  delayed_.clear();
  for (bs::CMD_base* cmd : pending) {
    if (auto* job = dynamic_cast<bs::CMD_LambdaFunctionBase*>(cmd)) job->done.store(true);
    if (cmd->handler != nullptr) cmd->handler->Release();
  }
}

uint32_t KJobThread::GetTickCount() { return q_platform::TickCountMs(); }

void KJobThread::ThreadMain() {
  thread_id_.store(std::this_thread::get_id(), std::memory_order_release);
  if (!started_.load(std::memory_order_acquire)) StartPass();
  while (!stop_.load(std::memory_order_acquire)) {
    {
      // Held while the pass works, released while the thread sleeps.
      std::lock_guard<std::mutex> run(run_mutex_);
      const uint64_t now = JobTimeMs();
      while (DrainQueue()) {
      }
      while (DrainDelayed(now)) {
      }
      TimerPass(now);
    }
    WaitForWork();
  }
  // The last touch of this object: Release may delete it as soon as it sees
  // the flag.
  exited_.store(true, std::memory_order_release);
}

void KJobThread::WaitForWork() {
  std::lock_guard<q_platform::WakeLock> lock(queue_mutex_);
  const uint64_t seen = posts_;
  for (;;) {
    if (stop_.load(std::memory_order_acquire) || !commands_.empty() || posts_ != seen) return;
    // The timer call is due at the first pass more than 100 ms after the
    // last one, so the thread never sleeps longer than that.
    const uint64_t now = JobTimeMs();
    uint64_t next = have_last_timer_ ? last_timer_ + 101 : now;
    if (!delayed_.empty()) next = std::min(next, delayed_.begin()->first.first);
    if (next <= now) return;
    // Job time counts whole milliseconds: the sleep ends at or after the
    // due millisecond, never before it (an early or spurious wake-up goes
    // round again).
    sleeping_ = true;
    queue_mutex_.WaitMs(uint32_t(std::min<uint64_t>(next - now, 1000)));
    sleeping_ = false;
  }
}

void KJobThread::StartPass() {
  std::lock_guard<std::mutex> lock(start_mutex_);
  if (started_.load(std::memory_order_relaxed)) return;
  started_.store(true, std::memory_order_release);
  // Each processor once, also one registered under several kinds.
  std::vector<ICmdProcess*> done;
  if (default_proc_ != nullptr) {
    default_proc_->OnStart(0, this);
    done.push_back(default_proc_);
  }
  for (const auto& entry : processors_) {
    ICmdProcess* proc = entry.second;
    if (proc == nullptr || std::find(done.begin(), done.end(), proc) != done.end()) continue;
    proc->OnStart(0, this);
    done.push_back(proc);
  }
}

bool KJobThread::DrainQueue() {
  bs::CMD_base* cmd;
  {
    std::lock_guard<q_platform::WakeLock> lock(queue_mutex_);
    if (commands_.empty()) return false;
    cmd = commands_.front();
    commands_.pop_front();
  }
  Dispatch(cmd);
  return true;
}

bool KJobThread::DrainDelayed(uint64_t now) {
  bs::CMD_base* cmd;
  {
    std::lock_guard<q_platform::WakeLock> lock(queue_mutex_);
    if (delayed_.empty()) return false;
    auto first = delayed_.begin();
    if (first->first.first > now) return false;
    cmd = first->second;
    delayed_.erase(first);
  }
  Dispatch(cmd);
  return true;
}

void KJobThread::TimerPass(uint64_t now) {
  Q_CHECK_THREAD(MayActAsJobThread(), "job thread");
  if (!have_last_timer_) {
    have_last_timer_ = true;
    last_timer_ = now;
    return;
  }
  if (now - last_timer_ <= 100) return;
  for (const auto& entry : processors_) {
    if (entry.second != nullptr) entry.second->OnTimer(now, 0);
  }
  last_timer_ = now;
}

void KJobThread::Dispatch(bs::CMD_base* cmd) {
  Q_HOP("job: dispatch");
  ICmdProcess* proc = default_proc_;
  auto it = processors_.find(cmd->kind);
  if (it != processors_.end() && it->second != nullptr) proc = it->second;
  if (proc != nullptr) proc->Process(cmd, 0);
  if (cmd->handler != nullptr) cmd->handler->Release();
}
