#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>
#include <time.h>

#include <event2/thread.h>

#include <cstdio>
#include <ctime>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "netcore/port/platform.h"

namespace q_platform {

uint32_t TickCountMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  const uint64_t ms =
      static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

int64_t WallClockSeconds() { return int64_t(std::time(nullptr)); }

void DebugOutput(const char* text) {
  if (text != nullptr) std::fputs(text, stderr);
}

void SocketStartup() { ::signal(SIGPIPE, SIG_IGN); }

void SocketCleanup() {}

bool SetNoDelay(intptr_t socket) {
  const int on = 1;
  return ::setsockopt(int(socket), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0;
}

bool NoDelay(intptr_t socket) {
  int on = 0;
  socklen_t size = sizeof on;
  return ::getsockopt(int(socket), IPPROTO_TCP, TCP_NODELAY, &on, &size) == 0 && on != 0;
}

int SendNow(intptr_t socket, const char* data, size_t size) {
  const ssize_t n = ::send(int(socket), data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
  return n < 0 ? -1 : int(n);
}

bool UseEventThreads() {
  static std::once_flag once;
  static bool ok = false;
  std::call_once(once, [] { ok = evthread_use_pthreads() == 0; });
  return ok;
}

bool StartDetachedThread(std::function<void()> body) {
  try {
    std::thread(std::move(body)).detach();
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

}  // namespace q_platform
