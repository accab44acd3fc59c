// libFuzzer target: a pattern and a page together, both outside input. An
// input "<pattern>\0<page>" is searched with that pattern; an input without a
// NUL is a page for the default pattern and for a one-group pattern. Any
// input must give an address, nothing or a PatternError, never a crash, a
// stack overflow or a hang, and a search must stay within its limits.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "diagnostics/public_ip_page.h"
#include "diagnostics/service_host.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  std::string provider;
  const void* nul = std::memchr(text, 0, size);
  if (!nul) {
    std::string page(text, size);
    diag::MatchPublicIp(page, diag::kDefaultIpPattern, &provider);
    diag::MatchPublicIp(page, "ip=\\s*([0-9.]+)", &provider);
    return 0;
  }
  const size_t split = size_t(static_cast<const char*>(nul) - text);
  std::string pattern(text, split);
  std::string page(text + split + 1, size - split - 1);
  try {
    std::string ip = diag::MatchPublicIp(page, pattern, &provider);
    if (ip.size() > page.size() || provider.size() > page.size()) __builtin_trap();
  } catch (const diag::PatternError&) {
  }
  return 0;
}
