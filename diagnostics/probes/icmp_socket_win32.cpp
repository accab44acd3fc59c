#include "diagnostics/probes/icmp_socket.h"

#include <windows.h>

#include <algorithm>
#include <stdexcept>

#include "diagnostics/ping_tally.h"
#include "diagnostics/probes/network_probes.h"
#include "diagnostics/probes/stop_signal.h"

CIcmpSocket::CIcmpSocket() : socket_(::socket(AF_INET, SOCK_RAW, IPPROTO_ICMP)) {}

CIcmpSocket::~CIcmpSocket() {
  if (socket_ != INVALID_SOCKET) closesocket(socket_);
}

int CIcmpSocket::SendEcho(const sockaddr_in& to) {
  ++sequence_;
  diag::BuildEchoRequest(uint16_t(GetCurrentProcessId()), sequence_, GetTickCount(), request_);
  return sendto(socket_, reinterpret_cast<const char*>(request_), int(sizeof request_), 0,
                reinterpret_cast<const sockaddr*>(&to), sizeof to);
}

namespace {

enum class WaitResult { kReadable, kTimedOut, kError, kStopped };

// select() in slices, so that Stop ends a long time-out at once.
WaitResult WaitReadable(SOCKET s, int timeout_ms, const StopSignal* stop) {
  constexpr int kSliceMs = 50;
  ULONGLONG deadline = GetTickCount64() + ULONGLONG(timeout_ms);
  for (;;) {
    if (stop && stop->stopping()) return WaitResult::kStopped;
    ULONGLONG now = GetTickCount64();
    int left = now >= deadline ? 0 : int(deadline - now);
    int slice = std::min(left, kSliceMs);
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(s, &readable);
    timeval tv{slice / 1000, (slice % 1000) * 1000};
    int r = select(0, &readable, nullptr, nullptr, &tv);
    if (r > 0) return WaitResult::kReadable;
    if (r < 0) return WaitResult::kError;
    if (left <= kSliceMs) return WaitResult::kTimedOut;
  }
}

}  // namespace

bool PingHost(const char* host, PingStats* stats, int packets, int interval_ms, int timeout_ms,
              const StopSignal* stop) {
  if (packets < 1) packets = 4;
  interval_ms = std::max(interval_ms, 0);
  timeout_ms = std::max(timeout_ms, 0);
  *stats = PingStats();
  CIcmpSocket icmp;
  if (!icmp.valid()) return false;
  try {
    // The resolver cannot be woken: Stop ends the wait for it at once.
    u_long address = ResolveAddress(host, stop);
    if (address == 0) throw std::runtime_error("dns resolves failed");
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = 0;
    to.sin_addr.s_addr = address;
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    diag::PingTally tally;
    int sent = 0;
    for (; sent < packets; ++sent) {
      if (stop && stop->stopping()) break;
      LARGE_INTEGER start, end;
      QueryPerformanceCounter(&start);
      if (icmp.SendEcho(to) <= 0) throw std::runtime_error("send failed");
      WaitResult w = WaitReadable(icmp.socket(), timeout_ms, stop);
      if (w == WaitResult::kStopped) break;  // not counted: the answer was not awaited
      if (w == WaitResult::kError) throw std::runtime_error("wait failed");
      if (w == WaitResult::kTimedOut) {
        tally.Lost();
      } else {
        char answer[320];
        sockaddr_in from{};
        int from_len = sizeof from;
        if (recvfrom(icmp.socket(), answer, sizeof answer, 0, reinterpret_cast<sockaddr*>(&from),
                     &from_len) <= 0) {
          throw std::runtime_error("recv failed");
        }
        QueryPerformanceCounter(&end);
        uint32_t elapsed =
            uint32_t(int64_t(end.QuadPart - start.QuadPart) * 1000 / frequency.QuadPart);
        tally.Answered(elapsed);
      }
      if (stop ? stop->Wait(DWORD(interval_ms)) : (Sleep(DWORD(interval_ms)), false)) {
        ++sent;
        break;
      }
    }
    // Stopped before the first request: all 0.
    *stats = tally.Finish(uint32_t(sent));
    return true;
  } catch (const std::exception&) {
    *stats = PingStats();
    return false;
  }
}
