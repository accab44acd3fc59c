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

// Reads what a non-blocking connected socket holds now, without waiting:
// the number of bytes read (1 to `size`), 0 at the end of the stream,
// kRecvWouldBlock when nothing is there yet, kRecvFailed on an error.
constexpr int kRecvWouldBlock = -1;
constexpr int kRecvFailed = -2;
int RecvNow(intptr_t socket, char* data, size_t size);

// Lets one thread sleep until a connected socket has something to read (a
// byte, its end or an error) or until another thread wakes it. On Windows
// the socket signals an event of its own (WSAEventSelect for FD_READ and
// FD_CLOSE) and the thread waits for that event and the wake event: unlike
// a select() that waits on the socket, a pending event selection does not
// keep Wine's server polling the socket while the woken thread has not yet
// run, which on a busy host delays that thread by milliseconds. The socket
// stays non-blocking and may be written from other threads meanwhile; the
// waiting thread reads until RecvNow says kRecvWouldBlock before it waits
// again (the event is raised anew only by a read). Elsewhere poll() on the
// socket and a pipe.
// Thread safety: Wake from any thread; the rest by the waiting thread (and
// its owner before and after it runs).
class SocketReadWait {
 public:
  enum class Result { kReadable, kWoken, kFailed };

  SocketReadWait();
  SocketReadWait(const SocketReadWait&) = delete;
  SocketReadWait& operator=(const SocketReadWait&) = delete;
  // Closes the events (after Close).
  ~SocketReadWait();

  // Binds to the socket; false when the events cannot be made or bound.
  bool Open(intptr_t socket);
  // Blocks until the socket has something to read or Wake was called (a
  // Wake before the wait is not lost: the wait returns kWoken at once).
  Result Wait();
  void Wake();
  // Ends the socket's event selection; the socket itself stays open. Call it
  // once the waiting thread has ended and before the socket is closed: a
  // handle closed first may already name another socket.
  void Close();

 private:
  intptr_t socket_ = -1;
  intptr_t handles_[2] = {0, 0};  // Windows: socket event, wake event
  int pipe_[2] = {-1, -1};        // elsewhere: wake pipe
};

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
