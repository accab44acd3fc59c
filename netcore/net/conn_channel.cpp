#include "netcore/net/conn_channel.h"

#include <event2/bufferevent.h>

#include <cstring>
#include <new>
#include <system_error>

#include "netcore/net/conn_manager.h"
#include "netcore/net/conn_mgr.h"
#include "netcore/port/hop_trace.h"

namespace {

// The manager whose channel this thread reads for (null on other threads).
thread_local const QConnMgr* t_reading_for = nullptr;

uint32_t Prefix(const char* p) {
  const auto* u = reinterpret_cast<const unsigned char*>(p);
  return (uint32_t{u[0]} << 24) | (uint32_t{u[1]} << 16) | (uint32_t{u[2]} << 8) | uint32_t{u[3]};
}

}  // namespace

char* FrameInput::Space(size_t* size) {
  if (start_ == end_) {
    start_ = end_ = 0;
    // A large frame is out: give its room back.
    if (buf_.size() > kInlineFrameBytes) std::vector<char>(kInlineFrameBytes).swap(buf_);
  } else if (end_ == buf_.size() && start_ > 0) {
    std::memmove(buf_.data(), buf_.data() + start_, end_ - start_);
    end_ -= start_;
    start_ = 0;
  }
  *size = buf_.size() - end_;
  return buf_.data() + end_;
}

FrameInput::Cut FrameInput::Next(const char** frame, int* len) {
  const size_t held = end_ - start_;
  if (held < 4) return Cut::kNeedMore;
  const uint32_t prefix = Prefix(buf_.data() + start_);
  if (prefix < kMinFramePrefix || prefix > kMaxFramePrefix) return Cut::kBroken;
  const size_t total = size_t(prefix) + 4;
  if (held < total) {
    if (total > buf_.size()) {
      // Room for the whole frame, what is held at the front.
      try {
        std::vector<char> bigger(total);
        std::memcpy(bigger.data(), buf_.data() + start_, held);
        buf_.swap(bigger);
      } catch (const std::bad_alloc&) {
        return Cut::kNoMemory;
      }
      start_ = 0;
      end_ = held;
    }
    return Cut::kNeedMore;
  }
  *frame = buf_.data() + start_;
  *len = int(total);
  start_ += total;
  return Cut::kFrame;
}

void QConnChannel::OnConnected() {
  connected = true;
  socket_ = intptr_t(bufferevent_getfd(bev));
  // Frames are small requests and answers: each goes out when written, not
  // after the acknowledgement of the one before it.
  q_platform::SetNoDelay(socket_);
  if (owner->Stopping()) return;
  sink->OnConnectToRet(conn_id, true, user_data);
  // The reader starts only now, so no frame comes before the connect result.
  if (owner->Stopping()) return;
  bool started = wait_.Open(socket_);
  if (started) {
    reader_state.store(kReading);
    try {
      reader_ = std::thread(&QConnChannel::ReaderMain, this);
    } catch (const std::system_error&) {
      started = false;
    }
  }
  if (!started) {
    reader_state.store(kFailed);
    owner->DestroyChannel(this);  // the connection cannot be read: closed, with a report
  }
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

void QConnChannel::EventCallback(struct bufferevent* /*bev*/, short what, void* arg) {
  Q_CHECK_LOOP_THREAD(static_cast<QConnChannel*>(arg)->owner);
  static_cast<QConnChannel*>(arg)->HandleEvent(what);
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
  // A write time-out: nothing is reported and the channel stays.
}

void QConnChannel::StopReader() {
  Q_CHECK_LOOP_THREAD(owner);
  if (reader_.joinable()) {
    stop_.store(true);
    wait_.Wake();
    reader_.join();
  }
  wait_.Close();  // while the socket is still open
}

bool QConnChannel::OnReaderOf(const QConnMgr* mgr) {
  return mgr != nullptr && t_reading_for == mgr;
}

bool QConnChannel::StopRequested() const { return stop_.load() || owner->Stopping(); }

void QConnChannel::ReaderMain() {
  t_reading_for = owner;
  int state = kReading;
  while ((state = ReadAvailable()) == kReading) {
    const q_platform::SocketReadWait::Result r = wait_.Wait();
    if (r == q_platform::SocketReadWait::Result::kWoken) {
      state = kStopped;
      break;
    }
    if (r == q_platform::SocketReadWait::Result::kFailed) {
      state = kFailed;
      break;
    }
  }
  reader_state.store(state);
  // A read error or a broken frame ends the connection as a transport
  // error does, with the close report, on the loop thread. The end of the
  // stream is not reported: the next write to the dead link fails and is.
  if (state == kFailed && !StopRequested()) owner->Close(conn_id);
  t_reading_for = nullptr;
}

int QConnChannel::ReadAvailable() {
  for (;;) {
    if (StopRequested()) return kStopped;
    size_t room = 0;
    char* at = input_.Space(&room);
    const int n = q_platform::RecvNow(socket_, at, room);
    if (n == q_platform::kRecvWouldBlock) return kReading;
    if (n == 0) return kAtEnd;
    if (n < 0) return kFailed;
    input_.Commit(size_t(n));
    const int delivered = DeliverFrames();
    if (delivered != kReading) return delivered;
  }
}

int QConnChannel::DeliverFrames() {
  for (;;) {
    const char* frame = nullptr;
    int len = 0;
    switch (input_.Next(&frame, &len)) {
      case FrameInput::Cut::kFrame:
        if (StopRequested()) return kStopped;
        Q_HOP("net: frame in");
        sink->OnData(conn_id, frame, len, user_data);
        break;
      case FrameInput::Cut::kNeedMore:
        input_held.store(input_.Held());
        return kReading;
      default:
        return kFailed;
    }
  }
}
