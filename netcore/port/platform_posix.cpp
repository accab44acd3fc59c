#include <signal.h>
#include <time.h>

#include <event2/thread.h>

#include <cstdio>
#include <mutex>

#include "netcore/port/platform.h"

namespace q_platform {

uint32_t TickCountMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  const uint64_t ms =
      static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

void DebugOutput(const char* text) {
  if (text != nullptr) std::fputs(text, stderr);
}

void SocketStartup() { ::signal(SIGPIPE, SIG_IGN); }

void SocketCleanup() {}

bool UseEventThreads() {
  static std::once_flag once;
  static bool ok = false;
  std::call_once(once, [] { ok = evthread_use_pthreads() == 0; });
  return ok;
}

}  // namespace q_platform
