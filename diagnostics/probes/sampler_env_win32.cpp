#include "diagnostics/probes/windows_sampler_env.h"

#include <cstdlib>
#include <ctime>

#include "diagnostics/probes/http_request.h"
#include "diagnostics/probes/icmp_socket.h"
#include "diagnostics/probes/machine_probes.h"
#include "diagnostics/probes/network_probes.h"
#include "diagnostics/probes/stop_signal.h"
#include "diagnostics/probes/trace_debug.h"
#include "diagnostics/probes/wmi_session.h"

namespace {

class WindowsSamplerEnv final : public SamplerEnv {
 public:
  explicit WindowsSamplerEnv(const StopSignal& stop) : stop_(stop) { wmi_.set_stop(&stop_); }

  bool Stopping() override { return stop_.stopping(); }
  bool Wait(uint32_t ms) override { return stop_.Wait(DWORD(ms)); }
  int64_t Now() override { return _time64(nullptr); }
  int Random() override { return std::rand(); }

  int Exchange(const std::string& url, int type, const std::string& body,
               std::string* response) override {
    return HttpRequest(url, response, type, body, &stop_);
  }

  bool OpenMachine() override { return SUCCEEDED(wmi_.Open()); }
  void SampleOnce(SamplerReport* report) override {
    SampleOs(wmi_, report);
    SampleVideoAdapters(wmi_, report);
    report->dx_major = GetDirectXVersion(&report->dx_version);
  }
  void SampleLoad(SamplerReport* report) override {
    SampleProcessorLoad(wmi_, report);
    SampleMemory(wmi_, report);
  }

  void DnsServers(std::vector<std::string>* list) override { GetDnsServers(list); }
  void Resolve(NameResolutionEntry* entry) override { ResolveName(entry, &stop_); }
  bool Ping(const std::string& host, PingStats* stats, int packets, int interval_ms,
            int timeout_ms) override {
    return PingHost(host.c_str(), stats, packets, interval_ms, timeout_ms, &stop_);
  }

  void Trace(const std::string& line) override { TraceDebug("%s", line.c_str()); }

 private:
  const StopSignal& stop_;
  CWmiSession wmi_;  // closed by its destructor, on the worker thread
};

}  // namespace

std::unique_ptr<SamplerEnv> MakeWindowsSamplerEnv(const StopSignal& stop) {
  return std::make_unique<WindowsSamplerEnv>(stop);
}
