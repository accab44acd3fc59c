#include "diagnostics/service_host.h"

#include <cstdlib>

#ifndef VELMO_SERVICE_DEFAULT
#define VELMO_SERVICE_DEFAULT "http://127.0.0.1:8080"
#endif

namespace diag {

// "<td
// .*>.*您的IP地址是：\s*\[\s*(\d{1,3}\.\d{1,3}\.\d{1,3}\.\d{1,3})\s*\]\s*来自：(.*)<br/><br/></td>"
const char kDefaultIpPattern[] =
    "<td .*>.*\xC4\xFA\xB5\xC4IP\xB5\xD8\xD6\xB7\xCA\xC7\xA3\xBA"
    "\\s*\\[\\s*(\\d{1,3}\\.\\d{1,3}\\.\\d{1,3}\\.\\d{1,3})\\s*\\]\\s*"
    "\xC0\xB4\xD7\xD4\xA3\xBA(.*)<br/><br/></td>";

std::string ServiceHost() {
  const char* env = std::getenv("VELMO_SERVICE");
  std::string host = env && *env ? env : VELMO_SERVICE_DEFAULT;
  while (!host.empty() && host.back() == '/') host.pop_back();
  return host;
}

std::string ConfigUrl(int t) {
  return ServiceHost() + "/Verify/UserBasicsConfig.aspx?t=" + std::to_string(t);
}

SamplerConfig DefaultConfig() {
  SamplerConfig c;
  c.version = "1.0";
  c.period = 30;
  c.period_rand = 5;
  // The deployment's public-IP page: the web service serves one.
  c.ip_api_url = ServiceHost() + "/ip.html";
  c.ip_api_pattern = kDefaultIpPattern;
  c.ping_packets = 100;
  c.ping_interval = 1000;
  c.ping_timeout = 2000;
  c.submit_url = ServiceHost() + "/Verify/UserBasicsInfo.aspx";
  return c;
}

}  // namespace diag
