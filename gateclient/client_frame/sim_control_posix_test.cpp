#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "gateclient/client_frame/sim_control_test_util.h"

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

long long SimControl::SendSome(const char* data, size_t len) {
  return ::send(static_cast<int>(sock_), data, len, 0);
}

long long SimControl::RecvSome(char* buf, size_t len) {
  return ::recv(static_cast<int>(sock_), buf, len, 0);
}

}  // namespace bsc_test
