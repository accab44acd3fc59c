#include <time.h>

#include <cstdio>

#include "platform.h"

namespace q_platform {

uint32_t TickCountMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  const uint64_t ms = static_cast<uint64_t>(ts.tv_sec) * 1000u +
                      static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

void DebugOutput(const char* text) {
  if (text != nullptr) std::fputs(text, stderr);
}

}  // namespace q_platform
