#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdlib>

#include "sim_control_test_util.h"

namespace bsc_test {

SimControl::~SimControl() {
  if (sock_ >= 0) {
    ::closesocket(static_cast<SOCKET>(sock_));
    ::WSACleanup();
  }
}

bool SimControl::Connect(int port) {
  WSADATA data;
  if (::WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) {
    ::WSACleanup();
    return false;
  }
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<u_short>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof(a)) != 0) {
    ::closesocket(s);
    ::WSACleanup();
    return false;
  }
  sock_ = static_cast<long long>(s);
  return true;
}

std::string SimControl::Call(const std::string& json) {
  if (sock_ < 0) return "";
  const SOCKET s = static_cast<SOCKET>(sock_);
  const std::string line = json + "\n";
  size_t off = 0;
  while (off < line.size()) {
    const int n = ::send(s, line.data() + off, static_cast<int>(line.size() - off), 0);
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
    const int n = ::recv(s, buf, sizeof(buf), 0);
    if (n <= 0) return "";
    pending_.append(buf, static_cast<size_t>(n));
  }
}

int EnvPort(const char* name) {
  const char* v = std::getenv(name);
  return v == nullptr ? 0 : std::atoi(v);
}

}  // namespace bsc_test
