#include "diagnostics/worker.h"

#include <cstdlib>
#include <ctime>
#include <exception>
#include <memory>
#include <stdexcept>

#include "diagnostics/config_answer.h"
#include "diagnostics/http_request.h"
#include "diagnostics/machine_probes.h"
#include "diagnostics/network_probes.h"
#include "diagnostics/report_codec.h"
#include "diagnostics/report_json.h"
#include "diagnostics/round_pause.h"
#include "diagnostics/service_host.h"
#include "diagnostics/trace_debug.h"

unsigned __stdcall WorkerMain(void* arg) {
  CWorker* worker = static_cast<CWorker*>(arg);
  const StopSignal& stop = worker->stop_signal();
  // Stop before the first run (the thread was never started): nothing to do.
  if (!stop.running()) return 0;
  std::unique_ptr<SamplerContext> context;
  try {
    context.reset(new SamplerContext());
    context->stop = &stop;
    if (FAILED(context->wmi.Open())) return unsigned(-1);
    context->user_id = worker->user_id();
    if (!PrepareSampler(context.get())) return unsigned(-1);
    bool first_round = true;
    while (stop.running()) {
      RunRound(context.get(), first_round);
      first_round = false;
    }
  } catch (...) {
    TraceDebug("工作线程执行异常");
    return unsigned(-1);
  }
  return 0;
}

bool PrepareSampler(SamplerContext* context) {
  if (!FetchConfig(diag::ConfigUrl(std::rand()), &context->config, context->stop)) return false;
  SamplerReport& r = context->report;
  r = SamplerReport();
  r.version = "1.0";
  r.user_id = context->user_id;
  SampleOs(context->wmi, &r);
  SampleVideoAdapters(context->wmi, &r);
  r.dx_major = GetDirectXVersion(&r.dx_version);
  return true;
}

bool FetchConfig(const std::string& url, SamplerConfig* config, const StopSignal* stop) {
  std::string answer;
  HttpRequest(url, &answer, 1, std::string(), stop);
  std::string trace;
  if (diag::ParseConfigAnswer(answer, diag::DefaultConfig(), config, &trace)) return true;
  if (!trace.empty()) TraceDebug("%s", trace.c_str());
  return false;
}

bool RunRound(SamplerContext* context, bool first_round) {
  const StopSignal& stop = *context->stop;
  SamplerReport& r = context->report;
  const SamplerConfig& c = context->config;
  SampleProcessorLoad(context->wmi, &r);
  SampleMemory(context->wmi, &r);
  r.ip.clear();
  for (int attempt = 0; attempt < 2 && r.ip.empty(); ++attempt) {
    if (stop.stopping()) return false;
    r.ip = LookupPublicIp(&r.isp, c.ip_api_pattern, c.ip_api_url, &stop);
    if (stop.Wait(1000)) return false;
  }
  r.dns.clear();
  GetDnsServers(&r.dns);
  ResolveDnsTargets(c, &r);
  if (stop.stopping()) return false;
  PingTargets(c, &r, &stop);
  // A round that Stop cut short is not reported: its pings are partial.
  if (stop.stopping()) return false;
  SendReport(context, first_round);
  stop.Wait(diag::PauseMs(c.period, c.period_rand, std::rand()));
  return true;
}

int SendReport(SamplerContext* context, bool first_round) {
  int type = first_round ? 0 : 1;
  std::string text = diag::WriteCompactJson(diag::BuildReportJson(context->report, type));
  if (text.size() > diag::kMaxReportText) {
    // The codec's buffers take 4096 bytes: a longer report is not sent.
    TraceDebug("report too long: %u bytes", unsigned(text.size()));
    return 1;
  }
  std::string body = diag::EncodeReportBody(text);
  int64_t timespan = _time64(nullptr);
  std::string sign = diag::SignReport(type, timespan);
  std::string answer;
  HttpRequest(diag::BuildSubmitUrl(context->config.submit_url, type, timespan, sign), &answer, 2,
              body, context->stop);
  return 1;
}
