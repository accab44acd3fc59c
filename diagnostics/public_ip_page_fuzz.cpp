// libFuzzer target: the public-IP page, matched with the default pattern and
// with a one-group pattern. Any page must give an address or nothing, never
// a crash, a stack overflow or a hang.
#include <cstddef>
#include <cstdint>
#include <string>

#include "diagnostics/public_ip_page.h"
#include "diagnostics/service_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string page(reinterpret_cast<const char*>(data), size);
  std::string provider;
  diag::MatchPublicIp(page, diag::kDefaultIpPattern, &provider);
  diag::MatchPublicIp(page, "ip=\\s*([0-9.]+)", &provider);
  return 0;
}
