// One outgoing TCP connection of QConnMgr: its libevent buffer event, the
// frame reader that cuts the input at each 4-byte big-endian length prefix,
// and the event handler that turns connect, error and close into sink reports.
// Thread safety: loop thread only, except `bev` and `conn_id`, which
// QConnMgr::Send reads under the manager's mutex (both fixed after creation).
// Ownership: the manager creates and destroys channels, always on the loop
// thread; a channel owns its buffer event (and so its socket) and its
// pending connect timer.
//
// Frame bounds of the reader. A prefix L counts the bytes after it; the
// smallest real frame carries the 2-byte header length and the 6 fixed header
// bytes, so L < 8 cannot be a frame. Gate messages are far below 16 MiB; a
// larger L is taken for a broken or hostile peer. Either closes the
// connection with the normal close report, so the input never waits for more
// than kMaxFramePrefix + 4 bytes and the reader always consumes what it reads.
#pragma once

#include <cstdint>
#include <string>

class ICMGR_ChannelSink;
class QConnMgr;
struct QConnTimer;
struct bufferevent;
struct event_base;

constexpr uint32_t kMinFramePrefix = 8;
constexpr uint32_t kMaxFramePrefix = 16u * 1024u * 1024u;
// Frames up to kInlineFrameMax bytes are copied into the channel's own
// buffer; larger ones into a buffer of their exact size.
constexpr uint32_t kInlineFrameBytes = 8192;
constexpr uint32_t kInlineFrameMax = kInlineFrameBytes - 1;

// final: channels are created and deleted only as QConnChannel, and the
// class has no virtual destructor.
class QConnChannel final {
 public:
  QConnChannel() = default;
  QConnChannel(const QConnChannel&) = delete;
  QConnChannel& operator=(const QConnChannel&) = delete;

  // The connect completed: report true.
  virtual void OnConnected();
  // The connect failed (error or time-out): report false once, then destroy
  // the channel. The channel is gone when this returns.
  virtual void OnConnectFailed();
  // One whole frame: hand it to the sink.
  virtual void OnData(const char* frame, int len);

  // libevent callbacks of `bev`; `arg` is the channel. They run on the loop
  // thread without the buffer event's lock held (BEV_OPT_UNLOCK_CALLBACKS),
  // so they may take the manager's mutex.
  static void ReadCallback(struct bufferevent* bev, void* arg);
  static void EventCallback(struct bufferevent* bev, short what, void* arg);

  void ReadFrames();
  void HandleEvent(short what);

  QConnMgr* owner = nullptr;
  bool connected = false;
  struct event_base* base = nullptr;
  struct bufferevent* bev = nullptr;
  uint64_t conn_id = 0;
  ICMGR_ChannelSink* sink = nullptr;
  int32_t user_data = 0;
  bool reported = false;
  QConnTimer* connect_timer = nullptr;
  std::string host;
  char recv_buf[kInlineFrameBytes] = {};
  // Where and how long to connect; the loop thread starts the connect.
  int port = 0;
  unsigned timeout_ms = 0;
};
