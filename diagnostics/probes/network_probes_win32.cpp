#include "diagnostics/probes/network_probes.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>

#include <iphlpapi.h>

#include <cstdlib>
#include <memory>

#include "diagnostics/probes/pinned_call.h"
#include "diagnostics/probes/stop_signal.h"

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

namespace {

struct Lookup {
  std::string host_name;
  unsigned long address = 0;
  bool found = false;
};

// gethostbyname on the helper thread; its host entry is that thread's own.
std::shared_ptr<Lookup> LookUp(const std::string& name, const StopSignal* stop) {
  auto lookup = std::make_shared<Lookup>();
  bool done = RunPinned(
      [lookup, name] {
        hostent* entry = gethostbyname(name.c_str());
        if (entry && entry->h_addr_list[0]) {
          lookup->host_name = entry->h_name ? entry->h_name : "";
          lookup->address = *reinterpret_cast<const u_long*>(entry->h_addr_list[0]);
          lookup->found = true;
        }
      },
      stop);
  // After Stop the helper may still write into its own record: not read.
  return done ? lookup : std::make_shared<Lookup>();
}

}  // namespace

void ResolveName(NameResolutionEntry* entry, const StopSignal* stop) {
  std::shared_ptr<Lookup> lookup = LookUp(entry->target, stop);
  in_addr a;
  a.s_addr = lookup->found ? lookup->address : 0;
  entry->host_name = lookup->found ? lookup->host_name : std::string();
  entry->ip = inet_ntoa(a);
}

unsigned long ResolveAddress(const std::string& host, const StopSignal* stop) {
  std::shared_ptr<Lookup> lookup = LookUp(host, stop);
  return lookup->found ? lookup->address : 0;
}
