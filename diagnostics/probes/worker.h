// CWorker, the IHardInfoSampler behind CreateInstance, and its worker
// thread: WorkerMain makes the thread's SamplerEnv (the Windows layer, or
// what a test hands the worker) and runs the report cycle over it
// (report_cycle.h) until Stop.
// Thread safety: the host calls the IHardInfoSampler operations from any
// thread, one at a time; a call made while another runs is reported to the
// debugger output and waits for it (the host's process is not ours to end).
// WorkerMain and everything it calls run on the worker thread only, which
// owns its env and its SamplerContext; the two threads share only the
// StopSignal.
// Ownership: the host owns the CWorker (Release frees it, after stopping a
// worker thread that still runs); the worker thread borrows it while it runs.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "diagnostics/hard_info_sampler.h"
#include "diagnostics/probes/stop_signal.h"
#include "diagnostics/sampler_env.h"

class CWorker final : public IHardInfoSampler {
 public:
  // How long Stop waits for the thread before it ends it by force.
  static constexpr DWORD kStopWaitMs = 3000;

  // Makes the worker thread's env, on that thread.
  using EnvFactory = std::function<std::unique_ptr<SamplerEnv>(const StopSignal& stop)>;

  // The Windows layer (windows_sampler_env.h).
  CWorker();
  // Another env, for tests.
  explicit CWorker(EnvFactory make_env);

  // Stops a worker thread that still runs (as Stop does), then frees the
  // object: a host that forgot Stop leaves no thread on freed state.
  void Release() override;
  bool Init(int64_t user_id) override;
  bool Start() override;
  bool Stop() override;

  int64_t user_id() const { return user_id_; }
  const StopSignal& stop_signal() const { return stop_; }
  // Worker thread only.
  std::unique_ptr<SamplerEnv> MakeEnv() const { return make_env_(stop_); }

 private:
  ~CWorker() = default;

  // Stop's work, under calls_.
  void StopThread();
  // Takes calls_ for one operation, reporting a call that finds it held.
  std::unique_lock<std::mutex> EnterCall(const char* operation);

  EnvFactory make_env_;
  int64_t user_id_ = 0;
  HANDLE thread_ = nullptr;
  bool resumed_ = false;
  StopSignal stop_;
  // Held by each of the four operations: two at once would race on thread_
  // and resumed_.
  std::mutex calls_;
};

// The worker thread's body: the cycle's exit code (0 after Stop, -1 after a
// failure). Worker thread only.
unsigned __stdcall WorkerMain(void* worker);
