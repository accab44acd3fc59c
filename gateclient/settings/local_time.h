// Thread-safe conversion of a calendar time to local time: the C library's
// localtime shares one buffer among threads, and each platform names its
// reentrant form differently (local_time_posix.cpp, local_time_win32.cpp).
//
// Thread safety: any thread.
#pragma once

#include <ctime>

// False when the time cannot be converted; *out is then all zero.
bool ToLocalTime(std::time_t t, std::tm* out);
