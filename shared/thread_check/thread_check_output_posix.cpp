#include "shared/thread_check/thread_check_output.h"

namespace q_platform {

// Standard error already carries the message; there is no debugger channel.
void ThreadCheckDebugOutput(const char*) {}

}  // namespace q_platform
