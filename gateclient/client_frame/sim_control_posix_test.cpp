#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

#include "sim_control_test_util.h"

namespace bsc_test {

SimControl::~SimControl() {
  if (sock_ >= 0) ::close(static_cast<int>(sock_));
}

bool SimControl::Connect(int port) {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  if (s < 0) return false;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0) {
    ::close(s);
    return false;
  }
  sock_ = s;
  return true;
}

std::string SimControl::Call(const std::string& json) {
  if (sock_ < 0) return "";
  const std::string line = json + "\n";
  size_t off = 0;
  while (off < line.size()) {
    const ssize_t n = ::send(static_cast<int>(sock_), line.data() + off, line.size() - off, 0);
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
    const ssize_t n = ::recv(static_cast<int>(sock_), buf, sizeof(buf), 0);
    if (n <= 0) return "";
    pending_.append(buf, static_cast<size_t>(n));
  }
}

int EnvPort(const char* name) {
  const char* v = std::getenv(name);
  return v == nullptr ? 0 : std::atoi(v);
}

}  // namespace bsc_test
