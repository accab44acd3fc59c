// The worker thread's report cycle over its SamplerEnv: fetch the
// configuration (PrepareSampler, FetchConfig), take the once-only samples,
// then report rounds (RunRound, SendReport) with a pause between them until
// Stop. Portable: the Windows worker (probes/worker.h) runs it over the Windows
// layer, the tests over a recording fake.
// Thread safety: worker thread only; every call on one thread, the one that
// owns the SamplerContext and the env.
// Ownership: the context borrows the env; RunSampler builds and destroys the
// context.
#pragma once

#include <cstdint>
#include <string>

#include "diagnostics/sampler_env.h"
#include "diagnostics/sampler_report.h"
#include "shared/thread_check/thread_check.h"

// The worker thread's state, built when the cycle begins and destroyed when
// it ends.
struct SamplerContext {
  SamplerEnv* env = nullptr;
  int64_t user_id = 0;
  SamplerConfig config;
  SamplerReport report;
  // Bound by RunSampler to the thread that runs the cycle; every step checks it.
  q_platform::ThreadChecker worker;
};

// The whole cycle; the worker thread's exit code: 0 after Stop, -1 after a
// failure (no machine probes, no configuration, an exception in a round).
// A configuration request that Stop ended is no failure: 0, nothing traced.
int RunSampler(SamplerEnv* env, int64_t user_id);

bool PrepareSampler(SamplerContext* context);
// False for an empty, over-long or unreadable answer (the last two traced).
bool FetchConfig(SamplerEnv* env, const std::string& url, SamplerConfig* config);
// One try: GET the page (an empty URL or pattern means the default) and match
// it; *provider is emptied first. A search that reaches its limit is no
// match, traced in one line. Throws diag::PatternError for a pattern that
// does not compile.
std::string LookupPublicIp(SamplerEnv* env, std::string* provider, const std::string& pattern,
                           const std::string& url);
// False when Stop cut the round short (no report was sent).
bool RunRound(SamplerContext* context, bool first_round);
// Builds, enciphers, signs and posts one report; 1 (the post's outcome is
// not looked at). A report text over 4096 bytes is traced and not posted.
int SendReport(SamplerContext* context, bool first_round);
