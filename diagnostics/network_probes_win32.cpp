#include "diagnostics/network_probes.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>

#include <iphlpapi.h>

#include <cstdlib>

#include "diagnostics/http_request.h"
#include "diagnostics/icmp_socket.h"
#include "diagnostics/public_ip_page.h"
#include "diagnostics/service_host.h"
#include "diagnostics/stop_signal.h"

std::string LookupPublicIp(std::string* provider, const std::string& pattern,
                           const std::string& url, const StopSignal* stop) {
  provider->clear();
  std::string page;
  HttpRequest(url.empty() ? diag::DefaultConfig().ip_api_url : url, &page, 1, std::string(), stop);
  return diag::MatchPublicIp(page, pattern.empty() ? diag::kDefaultIpPattern : pattern, provider);
}

int GetDnsServers(std::vector<std::string>* list) {
  ULONG size = 584;
  FIXED_INFO* info = static_cast<FIXED_INFO*>(std::malloc(size));
  if (!info) return 0;
  DWORD r = GetNetworkParams(info, &size);
  if (r == ERROR_BUFFER_OVERFLOW) {
    std::free(info);
    info = static_cast<FIXED_INFO*>(std::malloc(size));
    if (!info) return 0;
    r = GetNetworkParams(info, &size);
  }
  int count = 0;
  if (r == NO_ERROR) {
    for (IP_ADDR_STRING* a = &info->DnsServerList; a; a = a->Next) {
      list->push_back(a->IpAddress.String);
      ++count;
    }
  }
  std::free(info);
  return count;
}

void ResolveDnsTargets(const SamplerConfig& config, SamplerReport* report) {
  report->name_resolution.clear();
  for (const std::string& target : config.dns_targets) {
    report->name_resolution.push_back({target, std::string(), std::string()});
    NameResolutionEntry& e = report->name_resolution.back();
    hostent* entry = gethostbyname(target.c_str());
    if (entry && entry->h_addr_list[0]) {
      e.host_name = entry->h_name ? entry->h_name : "";
      in_addr a;
      a.s_addr = *reinterpret_cast<const u_long*>(entry->h_addr_list[0]);
      e.ip = inet_ntoa(a);
    } else {
      in_addr zero;
      zero.s_addr = 0;
      e.ip = inet_ntoa(zero);
    }
  }
}

void PingTargets(const SamplerConfig& config, SamplerReport* report, const StopSignal* stop) {
  report->ping.clear();
  for (const auto& [name, host] : config.ping_targets) {
    if (stop && stop->stopping()) return;
    PingStats& stats = report->ping[name];
    PingHost(host.c_str(), &stats, config.ping_packets, config.ping_interval, config.ping_timeout,
             stop);
  }
}
