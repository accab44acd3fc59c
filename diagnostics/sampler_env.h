// SamplerEnv: everything the report cycle (report_cycle.h) needs from outside
// the library: the HTTP exchange, the machine probes, the DNS servers, the
// resolver, the pinger, the stop signal and the clock. The Windows layer
// (probes/windows_sampler_env.h) carries WinInet, WMI, the registry, Winsock
// and raw ICMP; a recording fake (fake_sampler_env_test_util.h) lets the
// cycle run natively in tests, with stalls and faults of its choosing.
// Thread safety: worker thread only; Stop reaches an env through its own stop
// signal, from the host's thread.
// Ownership: the worker thread makes its env when it begins and destroys it
// when it ends; the cycle borrows it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "diagnostics/answer_read.h"
#include "diagnostics/config_answer.h"
#include "diagnostics/public_ip_page.h"
#include "diagnostics/sampler_report.h"

using diag::kMaxAnswerBytes;

class SamplerEnv {
 public:
  virtual ~SamplerEnv() = default;

  // The stop signal: true once Stop was called.
  virtual bool Stopping() = 0;
  // Waits up to `ms`; true when the wait ended because of Stop (at once when
  // Stop came before).
  virtual bool Wait(uint32_t ms) = 0;
  // The clock: seconds since 1970-01-01 UTC.
  virtual int64_t Now() = 0;
  // A pseudo-random number 0..32767 (the C library's per-thread rand, never
  // seeded).
  virtual int Random() = 0;

  // One HTTP exchange: type 1 GET, type 2 POST of `body`. *response (cleared
  // first) holds the answer's lines joined without their line feeds, at most
  // kMaxAnswerBytes of them; the result is the POST's HTTP status, else 0.
  // Stop ends it at once (empty answer, 0).
  virtual int Exchange(const std::string& url, int type, const std::string& body,
                       std::string* response) = 0;

  // Opens the machine probes (WMI); false ends the worker with -1.
  virtual bool OpenMachine() = 0;
  // The data sampled once per worker thread: OS, video adapters, DirectX.
  virtual void SampleOnce(SamplerReport* report) = 0;
  // The data sampled every round: processor load, then memory. Each leaves
  // its field as it was when its source gives nothing (Stop included).
  virtual void SampleLoad(SamplerReport* report) = 0;

  // Appends the DNS servers' addresses.
  virtual void DnsServers(std::vector<std::string>* list) = 0;
  // Resolves `entry->target` into its host name and address text ("0.0.0.0"
  // and an empty name when it does not resolve, or when Stop came first).
  virtual void Resolve(NameResolutionEntry* entry) = 0;
  // Pings `host`: the stats of the requests sent, false (stats all 0) when
  // nothing could be sent. Stop ends it at once.
  virtual bool Ping(const std::string& host, PingStats* stats, int packets, int interval_ms,
                    int timeout_ms) = 0;

  // One line to the debugger output, in the ANSI code page.
  virtual void Trace(const std::string& line) = 0;
};
