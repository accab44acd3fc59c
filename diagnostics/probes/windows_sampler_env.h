// The report cycle's outside world on Windows (sampler_env.h): WinInet
// through HttpRequest, WMI and the registry through the machine probes, IP
// Helper and the resolver through the network probes, raw ICMP through
// PingHost, the worker's StopSignal, _time64 and the C library's rand.
// Every call that can block for long ends soon after Stop: the exchange and
// the resolver wait on a helper thread (pinned_call.h), WMI in slices, the
// pings in slices.
// Thread safety: worker thread only (its WMI session belongs to that thread).
// Ownership: borrows the StopSignal, which outlives the worker thread.
#pragma once

#include <memory>

#include "diagnostics/sampler_env.h"

class StopSignal;

std::unique_ptr<SamplerEnv> MakeWindowsSamplerEnv(const StopSignal& stop);
