#include "netcore/port/thread_check.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "netcore/port/platform.h"

namespace q_platform {

void ThreadCheckFailed(const char* role, const char* file, int line) {
  const std::string text = std::string(role) + " only: called from another thread at " + file +
                           ":" + std::to_string(line);
  DebugOutput(text.c_str());
  std::fprintf(stderr, "%s\n", text.c_str());
  std::fflush(stderr);
  std::abort();
}

}  // namespace q_platform
