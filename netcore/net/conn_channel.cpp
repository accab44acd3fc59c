#include "netcore/net/conn_channel.h"

#include <event2/buffer.h>
#include <event2/bufferevent.h>

#include <new>

#include "netcore/net/conn_manager.h"
#include "netcore/net/conn_mgr.h"

void QConnChannel::OnConnected() {
  connected = true;
  if (!owner->Stopping()) sink->OnConnectToRet(conn_id, true, user_data);
}

void QConnChannel::OnConnectFailed() {
  if (!reported) {
    reported = true;
    if (!owner->Stopping()) sink->OnConnectToRet(conn_id, false, user_data);
  }
  owner->DestroyChannel(this);
}

void QConnChannel::OnData(const char* frame, int len) {
  if (!owner->Stopping()) sink->OnData(conn_id, frame, len, user_data);
}

void QConnChannel::ReadCallback(struct bufferevent* /*bev*/, void* arg) {
  static_cast<QConnChannel*>(arg)->ReadFrames();
}

void QConnChannel::EventCallback(struct bufferevent* /*bev*/, short what, void* arg) {
  static_cast<QConnChannel*>(arg)->HandleEvent(what);
}

void QConnChannel::ReadFrames() {
  struct evbuffer* input = bufferevent_get_input(bev);
  for (;;) {
    if (owner->Stopping()) return;
    const size_t have = evbuffer_get_length(input);
    if (have < 4) return;
    unsigned char prefix_bytes[4];
    if (evbuffer_copyout(input, prefix_bytes, 4) != 4) return;
    const uint32_t prefix = (uint32_t{prefix_bytes[0]} << 24) | (uint32_t{prefix_bytes[1]} << 16) |
                            (uint32_t{prefix_bytes[2]} << 8) | uint32_t{prefix_bytes[3]};
    if (prefix < kMinFramePrefix || prefix > kMaxFramePrefix) {
      // No frame can follow: the stream cannot be resynchronised.
      owner->DestroyChannel(this);
      return;
    }
    // 64-bit, although the cap keeps it far from 2^32.
    const uint64_t total = uint64_t{prefix} + 4;
    if (have < total) return;  // wait for the rest; at most the cap

    char* frame = recv_buf;
    char* heap = nullptr;
    if (total > kInlineFrameMax) {
      heap = new (std::nothrow) char[total];
      if (heap == nullptr) {
        owner->DestroyChannel(this);
        return;
      }
      frame = heap;
    }
    evbuffer_remove(input, frame, total);
    // Only the loop thread destroys channels, and not from inside a sink
    // call, so the channel outlives this call.
    OnData(frame, static_cast<int>(total));
    delete[] heap;
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
