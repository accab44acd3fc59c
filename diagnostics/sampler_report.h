// SamplerReport: the data of one diagnostics report, filled by the probes and
// written by report_json; SamplerConfig: the settings of the web service's
// configuration answer. Plain data, portable.
// Thread safety: owned by the worker thread's SamplerContext.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct NameResolutionEntry {
  std::string target;     // as configured
  std::string host_name;  // official name of the host entry; empty when not found
  std::string ip;         // dotted address text; "0.0.0.0" when not found
};

struct PingStats {
  float loss_ratio = 0;  // lost / sent
  int32_t average = 0;   // ms; -1 when every request was lost
  int32_t minimum = 0;   // ms; -1 when every request was lost
  int32_t maximum = 0;   // ms
};

struct VideoAdapter {
  std::string name;
  std::string driver_version;
};

struct SamplerReport {
  std::string version;
  int64_t user_id = 0;
  std::string os;
  int32_t cpu_percent = 0;
  int32_t mem_total = 0;  // MB
  int32_t mem_use = 0;    // MB
  std::vector<VideoAdapter> video_adapters;
  int32_t dx_major = 0;
  std::string dx_version;
  std::string ip;
  std::string isp;
  std::vector<std::string> dns;
  std::vector<NameResolutionEntry> name_resolution;
  std::map<std::string, PingStats> ping;  // by ping-target name, byte-wise ascending
};

// Deployment values: the web-service host (scheme, host, port) and the
// default public-IP page; see service_host.h.
struct SamplerConfig {
  std::string version;
  int32_t period = 0;       // minutes
  int32_t period_rand = 0;  // minutes, bound of the random part of the pause
  std::string ip_api_url;
  std::string ip_api_pattern;
  std::vector<std::string> dns_targets;
  std::map<std::string, std::string> ping_targets;  // name -> host
  int32_t ping_packets = 0;
  int32_t ping_interval = 0;  // ms
  int32_t ping_timeout = 0;   // ms
  std::string submit_url;
};
