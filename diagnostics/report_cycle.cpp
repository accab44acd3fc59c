#include "diagnostics/report_cycle.h"

#include <exception>
#include <memory>

#include "diagnostics/config_answer.h"
#include "diagnostics/public_ip_page.h"
#include "diagnostics/report_codec.h"
#include "diagnostics/report_json.h"
#include "diagnostics/round_pause.h"
#include "diagnostics/service_host.h"

namespace {

// "工作线程执行异常" in the ANSI code page of the platform's users (936), the
// form of the library's other texts.
const char kWorkerFailed[] = "\xB9\xA4\xD7\xF7\xCF\xDF\xB3\xCC\xD6\xB4\xD0\xD0\xD2\xEC\xB3\xA3";

}  // namespace

int RunSampler(SamplerEnv* env, int64_t user_id) {
  try {
    auto context = std::make_unique<SamplerContext>();
    context->env = env;
    context->worker.BindToCurrent();
    if (!env->OpenMachine()) return -1;
    context->user_id = user_id;
    if (!PrepareSampler(context.get())) {
      // A request that Stop cut short is not a configuration failure.
      return env->Stopping() ? 0 : -1;
    }
    bool first_round = true;
    while (!env->Stopping()) {
      RunRound(context.get(), first_round);
      first_round = false;
    }
  } catch (...) {
    env->Trace(kWorkerFailed);
    return -1;
  }
  return 0;
}

bool PrepareSampler(SamplerContext* context) {
  Q_CHECK_BOUND_THREAD(context->worker, "worker thread");
  SamplerEnv* env = context->env;
  if (!FetchConfig(env, diag::ConfigUrl(env->Random()), &context->config)) return false;
  SamplerReport& r = context->report;
  r = SamplerReport();
  r.version = "1.0";
  r.user_id = context->user_id;
  env->SampleOnce(&r);
  return true;
}

bool FetchConfig(SamplerEnv* env, const std::string& url, SamplerConfig* config) {
  std::string answer;
  env->Exchange(url, 1, std::string(), &answer);
  if (env->Stopping()) return false;  // whatever came is not traced
  std::string trace;
  if (diag::ParseConfigAnswer(answer, diag::DefaultConfig(), config, &trace)) return true;
  if (!trace.empty()) env->Trace(trace);
  return false;
}

std::string LookupPublicIp(SamplerEnv* env, std::string* provider, const std::string& pattern,
                           const std::string& url) {
  provider->clear();
  std::string page;
  env->Exchange(url.empty() ? diag::DefaultConfig().ip_api_url : url, 1, std::string(), &page);
  bool limited = false;
  std::string ip = diag::MatchPublicIp(page, pattern.empty() ? diag::kDefaultIpPattern : pattern,
                                       provider, &limited);
  if (limited) env->Trace("public-IP pattern: search limit reached, no match");
  return ip;
}

bool RunRound(SamplerContext* context, bool first_round) {
  Q_CHECK_BOUND_THREAD(context->worker, "worker thread");
  SamplerEnv* env = context->env;
  SamplerReport& r = context->report;
  const SamplerConfig& c = context->config;
  env->SampleLoad(&r);
  if (env->Stopping()) return false;
  r.ip.clear();
  for (int attempt = 0; attempt < 2 && r.ip.empty(); ++attempt) {
    if (env->Stopping()) return false;
    r.ip = LookupPublicIp(env, &r.isp, c.ip_api_pattern, c.ip_api_url);
    if (env->Wait(1000)) return false;
  }
  r.dns.clear();
  env->DnsServers(&r.dns);
  r.name_resolution.clear();
  for (const std::string& target : c.dns_targets) {
    // A resolver may take seconds a name: Stop is looked at between names.
    if (env->Stopping()) return false;
    r.name_resolution.push_back({target, std::string(), std::string()});
    env->Resolve(&r.name_resolution.back());
  }
  r.ping.clear();
  for (const auto& [name, host] : c.ping_targets) {
    if (env->Stopping()) return false;
    PingStats& stats = r.ping[name];
    env->Ping(host, &stats, c.ping_packets, c.ping_interval, c.ping_timeout);
  }
  // A round that Stop cut short is not reported: its pings are partial.
  if (env->Stopping()) return false;
  SendReport(context, first_round);
  env->Wait(diag::PauseMs(c.period, c.period_rand, env->Random()));
  return true;
}

int SendReport(SamplerContext* context, bool first_round) {
  Q_CHECK_BOUND_THREAD(context->worker, "worker thread");
  SamplerEnv* env = context->env;
  int type = first_round ? 0 : 1;
  std::string text = diag::WriteCompactJson(diag::BuildReportJson(context->report, type));
  if (text.size() > diag::kMaxReportText) {
    // The codec's buffers take 4096 bytes: a longer report is not sent.
    env->Trace("report too long: " + std::to_string(text.size()) + " bytes");
    return 1;
  }
  std::string body = diag::EncodeReportBody(text);
  int64_t timespan = env->Now();
  std::string sign = diag::SignReport(type, timespan);
  std::string answer;
  env->Exchange(diag::BuildSubmitUrl(context->config.submit_url, type, timespan, sign), 2, body,
                &answer);
  return 1;
}
