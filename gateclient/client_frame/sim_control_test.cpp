#include <cstdlib>

#include "gateclient/client_frame/sim_control_test_util.h"

namespace bsc_test {

std::string SimControl::Call(const std::string& json) {
  if (sock_ < 0) return "";
  const std::string line = json + "\n";
  size_t off = 0;
  while (off < line.size()) {
    const long long n = SendSome(line.data() + off, line.size() - off);
    if (n <= 0) return "";
    off += static_cast<size_t>(n);
  }
  for (;;) {
    const size_t nl = pending_.find('\n');
    if (nl != std::string::npos) {
      std::string answer = pending_.substr(0, nl);
      pending_.erase(0, nl + 1);
      return answer;
    }
    char buf[65536];
    const long long n = RecvSome(buf, sizeof(buf));
    if (n <= 0) return "";
    pending_.append(buf, static_cast<size_t>(n));
  }
}

int EnvPort(const char* name) {
  const char* v = std::getenv(name);
  return v == nullptr ? 0 : std::atoi(v);
}

}  // namespace bsc_test
