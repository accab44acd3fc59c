// CIcmpSocket and PingHost: ICMP echo over a raw socket (Winsock; raw sockets
// need the rights to make them), one socket per ping target. Any datagram
// that arrives within the time-out counts as the reply (on loopback the
// socket first receives its own request).
// Thread safety: worker thread only.
// Ownership: the socket is closed by its destructor.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <winsock2.h>

#include <cstdint>

#include "diagnostics/echo_request.h"
#include "diagnostics/sampler_report.h"

class StopSignal;

class CIcmpSocket {
 public:
  CIcmpSocket();
  ~CIcmpSocket();
  CIcmpSocket(const CIcmpSocket&) = delete;
  CIcmpSocket& operator=(const CIcmpSocket&) = delete;

  bool valid() const { return socket_ != INVALID_SOCKET; }
  SOCKET socket() const { return socket_; }
  // Fills the next echo request (sequence incremented first, so the first is
  // 1) and sends it; the sendto result.
  int SendEcho(const sockaddr_in& to);

 private:
  SOCKET socket_;
  uint16_t sequence_ = 0;
  uint8_t request_[diag::kEchoRequestSize];
};

// Pings `host` `packets` times (below 1: 4), waiting up to `timeout_ms` for
// each answer and `interval_ms` after each request (negative: 0). False, with
// the stats all 0, when no raw socket can be made, the host does not
// resolve, or a send, wait or receive fails. A set `stop` ends the waits
// (the name's resolution included) at once; the stats then count the
// requests sent so far.
bool PingHost(const char* host, PingStats* stats, int packets, int interval_ms, int timeout_ms,
              const StopSignal* stop);
