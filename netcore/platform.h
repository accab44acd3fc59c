// Platform seam of the network core: the few OS calls the portable code
// needs, one file per OS (platform_win32.cpp, platform_posix.cpp).
// Thread safety: every function may be called from any thread.
#pragma once

#include <cstdint>

namespace q_platform {

// Milliseconds since an arbitrary start, wrapping at 2^32 (GetTickCount on
// Windows, a monotonic clock elsewhere).
uint32_t TickCountMs();

// One line of debugging text for the debugger (OutputDebugStringA on
// Windows, standard error elsewhere). A null text writes nothing.
void DebugOutput(const char* text);

}  // namespace q_platform
