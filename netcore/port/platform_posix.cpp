#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <event2/thread.h>

#include <cstdio>
#include <ctime>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

#include "netcore/port/platform.h"

namespace q_platform {

uint32_t TickCountMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  const uint64_t ms =
      static_cast<uint64_t>(ts.tv_sec) * 1000u + static_cast<uint64_t>(ts.tv_nsec) / 1000000u;
  return static_cast<uint32_t>(ms);
}

int64_t WallClockSeconds() { return int64_t(std::time(nullptr)); }

void DebugOutput(const char* text) {
  if (text != nullptr) std::fputs(text, stderr);
}

void SocketStartup() { ::signal(SIGPIPE, SIG_IGN); }

void SocketCleanup() {}

bool SetNoDelay(intptr_t socket) {
  const int on = 1;
  return ::setsockopt(int(socket), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on) == 0;
}

bool NoDelay(intptr_t socket) {
  int on = 0;
  socklen_t size = sizeof on;
  return ::getsockopt(int(socket), IPPROTO_TCP, TCP_NODELAY, &on, &size) == 0 && on != 0;
}

int SendNow(intptr_t socket, const char* data, size_t size) {
  const ssize_t n = ::send(int(socket), data, size, MSG_DONTWAIT | MSG_NOSIGNAL);
  return n < 0 ? -1 : int(n);
}

int RecvNow(intptr_t socket, char* data, size_t size) {
  for (;;) {
    const ssize_t n = ::recv(int(socket), data, size, MSG_DONTWAIT);
    if (n >= 0) return int(n);
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK ? kRecvWouldBlock : kRecvFailed;
  }
}

SocketReadWait::SocketReadWait() = default;

SocketReadWait::~SocketReadWait() {
  Close();
  for (int fd : pipe_) {
    if (fd != -1) ::close(fd);
  }
}

bool SocketReadWait::Open(intptr_t socket) {
  if (socket_ != -1) return false;
  if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0) {
    pipe_[0] = pipe_[1] = -1;
    return false;
  }
  socket_ = socket;
  return true;
}

SocketReadWait::Result SocketReadWait::Wait() {
  if (socket_ == -1) return Result::kFailed;
  for (;;) {
    pollfd fds[2] = {{pipe_[0], POLLIN, 0}, {int(socket_), POLLIN, 0}};
    const int n = ::poll(fds, 2, -1);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Result::kFailed;
    if (fds[0].revents != 0) return Result::kWoken;
    if (fds[1].revents != 0) return Result::kReadable;  // bytes, end, error or hang-up
  }
}

void SocketReadWait::Wake() {
  // Non-blocking: a full pipe already holds a wake.
  const char one = 1;
  if (pipe_[1] != -1) (void)!::write(pipe_[1], &one, 1);
}

void SocketReadWait::Close() { socket_ = -1; }

bool UseEventThreads() {
  static std::once_flag once;
  static bool ok = false;
  std::call_once(once, [] { ok = evthread_use_pthreads() == 0; });
  return ok;
}

bool StartDetachedThread(std::function<void()> body) {
  try {
    std::thread(std::move(body)).detach();
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

}  // namespace q_platform
