#define NOMINMAX
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#include <event2/thread.h>

#include <mutex>
#include <new>
#include <utility>

#include "netcore/port/platform.h"

namespace q_platform {

uint32_t TickCountMs() { return ::GetTickCount(); }

int64_t WallClockSeconds() {
  // FILETIME counts 100 ns units since 1601-01-01; 11644473600 s lie between
  // that day and 1970-01-01.
  FILETIME ft;
  ::GetSystemTimeAsFileTime(&ft);
  const uint64_t ticks = (uint64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime;
  return int64_t(ticks / 10000000u) - int64_t{11644473600};
}

void DebugOutput(const char* text) {
  if (text != nullptr) ::OutputDebugStringA(text);
}

void SocketStartup() {
  WSADATA data;
  ::WSAStartup(0x0201, &data);
}

void SocketCleanup() { ::WSACleanup(); }

bool SetNoDelay(intptr_t socket) {
  const BOOL on = TRUE;
  return ::setsockopt(SOCKET(socket), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&on),
                      sizeof on) == 0;
}

bool NoDelay(intptr_t socket) {
  BOOL on = FALSE;
  int size = sizeof on;
  return ::getsockopt(SOCKET(socket), IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<char*>(&on),
                      &size) == 0 &&
         on != FALSE;
}

int SendNow(intptr_t socket, const char* data, size_t size) {
  const int n = ::send(SOCKET(socket), data, int(size), 0);
  return n == SOCKET_ERROR ? -1 : n;
}

int RecvNow(intptr_t socket, char* data, size_t size) {
  const int n = ::recv(SOCKET(socket), data, int(size > 0x7fffffff ? 0x7fffffff : size), 0);
  if (n != SOCKET_ERROR) return n;
  return ::WSAGetLastError() == WSAEWOULDBLOCK ? kRecvWouldBlock : kRecvFailed;
}

SocketReadWait::SocketReadWait() = default;

SocketReadWait::~SocketReadWait() {
  Close();
  for (intptr_t h : handles_) {
    if (h != 0) ::CloseHandle(HANDLE(h));
  }
}

bool SocketReadWait::Open(intptr_t socket) {
  if (socket_ != -1) return false;
  handles_[0] = intptr_t(::CreateEventA(nullptr, FALSE, FALSE, nullptr));
  handles_[1] = intptr_t(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
  if (handles_[0] == 0 || handles_[1] == 0) return false;
  if (::WSAEventSelect(SOCKET(socket), HANDLE(handles_[0]), FD_READ | FD_CLOSE) != 0) return false;
  socket_ = socket;
  return true;
}

SocketReadWait::Result SocketReadWait::Wait() {
  if (socket_ == -1) return Result::kFailed;
  // The wake event first: a wake that comes with data still unread wins.
  const HANDLE order[2] = {HANDLE(handles_[1]), HANDLE(handles_[0])};
  switch (::WaitForMultipleObjects(2, order, FALSE, INFINITE)) {
    case WAIT_OBJECT_0:
      return Result::kWoken;
    case WAIT_OBJECT_0 + 1:
      return Result::kReadable;
    default:
      return Result::kFailed;
  }
}

void SocketReadWait::Wake() {
  if (handles_[1] != 0) ::SetEvent(HANDLE(handles_[1]));
}

void SocketReadWait::Close() {
  if (socket_ != -1) ::WSAEventSelect(SOCKET(socket_), nullptr, 0);
  socket_ = -1;
}

bool UseEventThreads() {
  static std::once_flag once;
  static bool ok = false;
  std::call_once(once, [] { ok = evthread_use_windows_threads() == 0; });
  return ok;
}

namespace {

struct PinnedStart {
  std::function<void()> body;
  HMODULE module;
};

DWORD WINAPI PinnedThreadMain(void* arg) {
  PinnedStart* start = static_cast<PinnedStart*>(arg);
  const HMODULE module = start->module;
  start->body();
  delete start;  // the body's captures go while the module is still held
  ::FreeLibraryAndExitThread(module, 0);
  return 0;
}

}  // namespace

bool StartDetachedThread(std::function<void()> body) {
  // The reference is taken here, not by the thread: a thread that takes it
  // itself may be too late, the module already on its way out.
  HMODULE module = nullptr;
  if (!::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                            reinterpret_cast<LPCSTR>(&PinnedThreadMain), &module) ||
      module == nullptr) {
    return false;  // without the reference the thread would drop one it never took
  }
  PinnedStart* start = new (std::nothrow) PinnedStart{std::move(body), module};
  HANDLE thread =
      start != nullptr ? ::CreateThread(nullptr, 0, &PinnedThreadMain, start, 0, nullptr) : nullptr;
  if (thread == nullptr) {
    delete start;
    ::FreeLibrary(module);
    return false;
  }
  ::CloseHandle(thread);
  return true;
}

}  // namespace q_platform
