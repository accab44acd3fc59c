#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <winsock2.h>
#include <ws2tcpip.h>

#include "gateclient/client_frame/sim_control_test_util.h"

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

long long SimControl::SendSome(const char* data, size_t len) {
  return ::send(static_cast<SOCKET>(sock_), data, static_cast<int>(len), 0);
}

long long SimControl::RecvSome(char* buf, size_t len) {
  return ::recv(static_cast<SOCKET>(sock_), buf, static_cast<int>(len), 0);
}

}  // namespace bsc_test
