// CWorker, the IHardInfoSampler behind CreateInstance, and its worker
// thread: WorkerMain fetches the configuration (PrepareSampler, FetchConfig),
// takes the once-only samples, then runs report rounds (RunRound, SendReport)
// with a pause between them until Stop.
// Thread safety: the host's thread calls the IHardInfoSampler operations; the
// worker thread owns its SamplerContext; they share only the StopSignal.
// Ownership: the host owns the CWorker (Release frees it); the worker thread
// borrows it while it runs, so the host calls Stop before Release.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdint>
#include <string>

#include "diagnostics/hard_info_sampler.h"
#include "diagnostics/sampler_report.h"
#include "diagnostics/stop_signal.h"
#include "diagnostics/wmi_session.h"

class CWorker final : public IHardInfoSampler {
 public:
  // How long Stop waits for the thread before it ends it by force.
  static constexpr DWORD kStopWaitMs = 3000;

  void Release() override;
  bool Init(int64_t user_id) override;
  bool Start() override;
  bool Stop() override;

  int64_t user_id() const { return user_id_; }
  const StopSignal& stop_signal() const { return stop_; }

 private:
  int64_t user_id_ = 0;
  HANDLE thread_ = nullptr;
  bool resumed_ = false;
  StopSignal stop_;
};

// The worker thread's state, built when it begins and destroyed when it ends.
struct SamplerContext {
  CWmiSession wmi;
  int64_t user_id = 0;
  SamplerConfig config;
  SamplerReport report;
  const StopSignal* stop = nullptr;
};

unsigned __stdcall WorkerMain(void* worker);
bool PrepareSampler(SamplerContext* context);
// `stop` cancels the GET (an empty answer: false).
bool FetchConfig(const std::string& url, SamplerConfig* config, const StopSignal* stop);
// False when Stop cut the round short (no report was sent).
bool RunRound(SamplerContext* context, bool first_round);
// Builds, enciphers, signs and posts one report; 1 (the post's outcome is
// not looked at). A report text over 4096 bytes is not posted.
int SendReport(SamplerContext* context, bool first_round);
