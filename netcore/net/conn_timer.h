// One-shot timer of the connection manager: runs one QConnMgr member
// function on the loop thread with the connection id and user value it was
// made for (connect time-out, scheduled close, start of a connect).
// Thread safety: made on any thread through QConnMgr::AddTimer; fires and is
// freed on the loop thread only.
// Ownership: the manager keeps every live record in its timer set; a record
// frees itself after it fired, or is freed by whoever cancels it (a
// channel's destruction, the loop thread's shut-down).
#pragma once

#include <event2/util.h>

#include <cstdint>

class QConnMgr;
struct event;

struct QConnTimer {
  using Callback = void (QConnMgr::*)(int user_data, uint64_t conn_id);

  uint64_t conn_id = 0;
  int32_t user_data = 0;
  Callback callback = nullptr;
  QConnMgr* owner = nullptr;
  struct event* ev = nullptr;

  // libevent's callback of `ev`; hands the record back to its owner.
  static void OnFire(evutil_socket_t fd, short what, void* arg);
};
