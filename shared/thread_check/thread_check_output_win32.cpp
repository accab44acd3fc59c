#include "shared/thread_check/thread_check_output.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

namespace q_platform {

void ThreadCheckDebugOutput(const char* text) { OutputDebugStringA(text); }

}  // namespace q_platform
