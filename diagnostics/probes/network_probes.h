// The network probes of the Windows layer (windows_sampler_env.h): the DNS
// servers and the name resolutions; the pings are in icmp_socket.h and the
// public-IP page is read by the report cycle through the HTTP exchange.
// Thread safety: worker thread only (Winsock started by Init).
#pragma once

#include <string>
#include <vector>

#include "diagnostics/sampler_report.h"

class StopSignal;

// Appends the address of every DNS server to *list; the count appended.
int GetDnsServers(std::vector<std::string>* list);

// Resolves entry->target (gethostbyname) into the official host name and the
// first address; "0.0.0.0" and an empty name when it does not resolve. The
// resolver cannot be woken: with a `stop` it runs on a helper thread
// (pinned_call.h) and Stop ends the wait at once, leaving "0.0.0.0".
void ResolveName(NameResolutionEntry* entry, const StopSignal* stop);

// The first IPv4 address of `host` (network order), or 0 when it does not
// resolve or Stop came first; a helper thread as for ResolveName.
unsigned long ResolveAddress(const std::string& host, const StopSignal* stop);
