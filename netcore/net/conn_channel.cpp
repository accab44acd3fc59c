#include "netcore/net/conn_channel.h"

#include <event2/buffer.h>
#include <event2/bufferevent.h>

#include <new>

#include "netcore/net/conn_manager.h"
#include "netcore/net/conn_mgr.h"
#include "netcore/port/hop_trace.h"
#include "netcore/port/platform.h"

void QConnChannel::OnConnected() {
  connected = true;
  // Frames are small requests and answers: each goes out when written, not
  // after the acknowledgement of the one before it.
  q_platform::SetNoDelay(intptr_t(bufferevent_getfd(bev)));
  if (!owner->Stopping()) sink->OnConnectToRet(conn_id, true, user_data);
}

void QConnChannel::OnConnectFailed() {
  // Out of the table before the report: a Send made in answer to it (on
  // another thread) must fail, not queue bytes on a dead connection.
  owner->UnlistChannel(this);
  if (!reported) {
    reported = true;
    if (!owner->Stopping()) sink->OnConnectToRet(conn_id, false, user_data);
  }
  owner->DestroyChannel(this);
}

void QConnChannel::OnData(const char* frame, int len) {
  Q_HOP("loop: frame in");
  if (!owner->Stopping()) sink->OnData(conn_id, frame, len, user_data);
}

void QConnChannel::ReadCallback(struct bufferevent* /*bev*/, void* arg) {
  Q_CHECK_LOOP_THREAD(static_cast<QConnChannel*>(arg)->owner);
  static_cast<QConnChannel*>(arg)->ReadFrames();
}

void QConnChannel::EventCallback(struct bufferevent* /*bev*/, short what, void* arg) {
  Q_CHECK_LOOP_THREAD(static_cast<QConnChannel*>(arg)->owner);
  static_cast<QConnChannel*>(arg)->HandleEvent(what);
}

namespace {

uint32_t Prefix(const unsigned char* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]};
}

bool PrefixInRange(uint32_t prefix) {
  return prefix >= kMinFramePrefix && prefix <= kMaxFramePrefix;
}

}  // namespace

void QConnChannel::ReadFrames() {
  struct evbuffer* input = bufferevent_get_input(bev);
  for (;;) {
    if (owner->Stopping()) return;
    // Under one lock of the input, cut as many whole frames as fit the
    // channel's own buffer (every evbuffer call would take the lock again);
    // then hand them over with no lock held.
    size_t batch = 0;
    uint64_t big = 0;     // a whole frame too large for the buffer, first in line
    bool broken = false;  // the first prefix in line cannot start a frame
    evbuffer_lock(input);
    const size_t have = evbuffer_get_length(input);
    struct evbuffer_ptr at;
    evbuffer_ptr_set(input, &at, 0, EVBUFFER_PTR_SET);
    while (have - batch >= 4) {
      unsigned char prefix_bytes[4];
      if (evbuffer_copyout_from(input, &at, prefix_bytes, 4) != 4) break;
      const uint32_t prefix = Prefix(prefix_bytes);
      if (!PrefixInRange(prefix)) {
        // No frame can follow: the stream cannot be resynchronised. The
        // frames before it are delivered first.
        broken = batch == 0;
        break;
      }
      // 64-bit, although the cap keeps it far from 2^32.
      const uint64_t total = uint64_t{prefix} + 4;
      if (have - batch < total) break;  // wait for the rest; at most the cap
      if (total > kInlineFrameMax) {
        if (batch == 0) big = total;
        break;
      }
      if (batch + total > kInlineFrameMax) break;
      batch += size_t(total);
      if (have - batch < 4 || evbuffer_ptr_set(input, &at, size_t(total), EVBUFFER_PTR_ADD) != 0) {
        break;
      }
    }
    if (batch > 0) evbuffer_remove(input, recv_buf, batch);
    evbuffer_unlock(input);

    if (broken) {
      owner->DestroyChannel(this);
      return;
    }
    if (big != 0) {
      char* heap = new (std::nothrow) char[big];
      if (heap == nullptr) {
        owner->DestroyChannel(this);
        return;
      }
      evbuffer_remove(input, heap, big);
      OnData(heap, static_cast<int>(big));
      delete[] heap;
      continue;
    }
    if (batch == 0) return;
    // Only the loop thread destroys channels, and not from inside a sink
    // call, so the channel outlives these calls.
    for (size_t off = 0; off < batch;) {
      const size_t total = size_t(Prefix(reinterpret_cast<unsigned char*>(recv_buf + off))) + 4;
      OnData(recv_buf + off, static_cast<int>(total));
      off += total;
    }
  }
}

void QConnChannel::HandleEvent(short what) {
  if (what & BEV_EVENT_CONNECTED) {
    OnConnected();
    return;
  }
  if (what & BEV_EVENT_ERROR) {
    // Connected: Destroy gives the close report. Not connected: the connect
    // failed (also a failed name look-up), reported once.
    if (connected) {
      owner->DestroyChannel(this);
    } else {
      OnConnectFailed();
    }
    return;
  }
  // End of stream, read or write time-out: nothing is reported and the
  // channel stays. libevent has stopped reading after end of stream; a later
  // write to the dead link fails and is reported as an error.
}
