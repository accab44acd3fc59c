// Platform seam of the network core: the few OS calls the portable code
// needs, one file per OS (platform_win32.cpp, platform_posix.cpp).
// Thread safety: every function may be called from any thread.
#pragma once

#include <cstdint>
#include <functional>

namespace q_platform {

// Milliseconds since an arbitrary start, wrapping at 2^32 (GetTickCount on
// Windows, a monotonic clock elsewhere).
uint32_t TickCountMs();

// Seconds since 1970-01-01 UTC, what time() returns. On Windows it reads the
// system time directly: the C runtime's time() also fetches the time-zone
// information, which under Wine costs two look-ups of the zone file and a
// process-wide lock on every call (it is read once per gate frame and per
// batch from the game, and on every timer tick).
int64_t WallClockSeconds();

// One line of debugging text for the debugger (OutputDebugStringA on
// Windows, standard error elsewhere). A null text writes nothing.
void DebugOutput(const char* text);

// Socket layer start-up and its matching clean-up, one pair per user of
// sockets (WSAStartup 2.1 / WSACleanup on Windows). Elsewhere start-up makes
// the process ignore SIGPIPE, so a write to a peer that has gone away is an
// error on that socket instead of the end of the process.
void SocketStartup();
void SocketCleanup();

// Sends small writes on a connected TCP socket at once (TCP_NODELAY). With
// Nagle's algorithm on, a frame written while an earlier one waits for its
// acknowledgement is held back until the peer's delayed ACK, up to 40 ms
// on Linux and 200 ms on Windows. False when the option could not be set.
bool SetNoDelay(intptr_t socket);
// Whether TCP_NODELAY is on for the socket (false also when it cannot be read).
bool NoDelay(intptr_t socket);

// Writes what a non-blocking connected socket takes of `data` now, without
// waiting: the number of bytes written (0 to `size`), or -1 when it took
// nothing (it would block, is not connected, or failed; the caller's event
// loop finds out which). Never raises SIGPIPE.
int SendNow(intptr_t socket, const char* data, size_t size);

// Puts libevent into thread-safe mode (Windows or POSIX thread locks); must
// run before the first event base that is used from several threads is
// created. Only the first call does the work; false when it failed.
bool UseEventThreads();

// Starts a detached thread that runs `body` and then ends. On Windows the
// thread holds a reference on the module this code is linked into (the DLL
// that started it) from before it starts until its very last act, which
// drops it and ends the thread at once (FreeLibraryAndExitThread): a host
// that frees the library as soon as the thread has said it is done cannot
// unload the code the thread still returns through. Elsewhere a plain
// detached thread. False when no thread could be started (`body` does not
// run).
bool StartDetachedThread(std::function<void()> body);

}  // namespace q_platform
