// The network probes of the diagnostics worker, run every round: the public
// IP address and provider from the public-IP page, the DNS servers, the name
// resolutions and the pings of the configured targets.
// Thread safety: worker thread only (Winsock started by Init).
#pragma once

#include <string>
#include <vector>

#include "diagnostics/sampler_report.h"

class StopSignal;

// One try: GET the page (an empty URL or pattern means the default) and
// match it; *provider is emptied first. Stop cancels the GET. Throws std::regex_error for a pattern
// that does not compile.
std::string LookupPublicIp(std::string* provider, const std::string& pattern,
                           const std::string& url, const StopSignal* stop = nullptr);

// Appends the address of every DNS server to *list; the count appended.
int GetDnsServers(std::vector<std::string>* list);

void ResolveDnsTargets(const SamplerConfig& config, SamplerReport* report);

// Pings every target in name order; a set `stop` ends the remaining ones.
void PingTargets(const SamplerConfig& config, SamplerReport* report, const StopSignal* stop);
