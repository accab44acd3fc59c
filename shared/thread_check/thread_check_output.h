// Where a failed thread check writes its message besides standard error:
// the debugger output on Windows (OutputDebugStringA), nothing elsewhere.
// Kept apart so the checker itself stays free of <windows.h>.
// Thread safety: any thread.
#pragma once

namespace q_platform {

void ThreadCheckDebugOutput(const char* text);

}  // namespace q_platform
