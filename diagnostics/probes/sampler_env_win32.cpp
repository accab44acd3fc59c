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
#include "shared/thread_check/thread_check.h"

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
    Q_CHECK_BOUND_THREAD(worker_, "worker thread");
    return HttpRequest(url, response, type, body, &stop_);
  }

  bool OpenMachine() override {
    Q_CHECK_BOUND_THREAD(worker_, "worker thread");
    return SUCCEEDED(wmi_.Open());
  }
  void SampleOnce(SamplerReport* report) override {
    Q_CHECK_BOUND_THREAD(worker_, "worker thread");
    SampleOs(wmi_, report);
    SampleVideoAdapters(wmi_, report);
    report->dx_major = GetDirectXVersion(&report->dx_version);
  }
  void SampleLoad(SamplerReport* report) override {
    Q_CHECK_BOUND_THREAD(worker_, "worker thread");
    SampleProcessorLoad(wmi_, report);
    SampleMemory(wmi_, report);
  }

  void DnsServers(std::vector<std::string>* list) override {
    Q_CHECK_BOUND_THREAD(worker_, "worker thread");
    GetDnsServers(list);
  }
  void Resolve(NameResolutionEntry* entry) override {
    Q_CHECK_BOUND_THREAD(worker_, "worker thread");
    ResolveName(entry, &stop_);
  }
  bool Ping(const std::string& host, PingStats* stats, int packets, int interval_ms,
            int timeout_ms) override {
    Q_CHECK_BOUND_THREAD(worker_, "worker thread");
    return PingHost(host.c_str(), stats, packets, interval_ms, timeout_ms, &stop_);
  }

  void Trace(const std::string& line) override { TraceDebug("%s", line.c_str()); }

 private:
  const StopSignal& stop_;
  CWmiSession wmi_;  // closed by its destructor, on the worker thread
  // The first probe binds it: the env is made on the worker thread and used there only.
  q_platform::ThreadChecker worker_;
};

}  // namespace

std::unique_ptr<SamplerEnv> MakeWindowsSamplerEnv(const StopSignal& stop) {
  return std::make_unique<WindowsSamplerEnv>(stop);
}
