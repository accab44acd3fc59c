#include "shared/thread_check/thread_check.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "shared/thread_check/thread_check_output.h"

namespace q_platform {

void ThreadCheckFailed(const char* role, const char* file, int line) {
  const std::string text = std::string(role) + " only: called from another thread at " + file +
                           ":" + std::to_string(line);
  ThreadCheckDebugOutput(text.c_str());
  std::fprintf(stderr, "%s\n", text.c_str());
  std::fflush(stderr);
  std::abort();
}

}  // namespace q_platform
