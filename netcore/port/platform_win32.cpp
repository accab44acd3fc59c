#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <event2/thread.h>

#include <mutex>

#include "netcore/port/platform.h"

namespace q_platform {

uint32_t TickCountMs() { return ::GetTickCount(); }

void DebugOutput(const char* text) {
  if (text != nullptr) ::OutputDebugStringA(text);
}

void SocketStartup() {
  WSADATA data;
  ::WSAStartup(0x0201, &data);
}

void SocketCleanup() { ::WSACleanup(); }

bool SetNoDelay(intptr_t socket) {
  const BOOL on = TRUE;
  return ::setsockopt(SOCKET(socket), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                      sizeof on) == 0;
}

bool NoDelay(intptr_t socket) {
  BOOL on = FALSE;
  int size = sizeof on;
  return ::getsockopt(SOCKET(socket), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<char*>(&on),
                      &size) == 0 &&
         on != FALSE;
}

int SendNow(intptr_t socket, const char* data, size_t size) {
  const int n = ::send(SOCKET(socket), data, int(size), 0);
  return n == SOCKET_ERROR ? -1 : n;
}

bool UseEventThreads() {
  static std::once_flag once;
  static bool ok = false;
  std::call_once(once, [] { ok = evthread_use_windows_threads() == 0; });
  return ok;
}

}  // namespace q_platform
