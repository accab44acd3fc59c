// One outgoing TCP connection of QConnMgr: its libevent buffer event (connect,
// writes, write errors), the reader thread that reads the socket once it is
// connected and cuts the input at each 4-byte big-endian length prefix, and
// the event handler that turns connect, error and close into sink reports.
//
// Why a reader thread: under Wine a select() that waits on the socket keeps
// Wine's server polling that socket from the moment data arrives until the
// woken loop thread has run, and the kernel tends to run the woken thread on
// the server's own processor, so on a busy host the frame waits for the
// server's time slice to end: milliseconds for one round trip in twenty. A
// thread that sleeps on the socket's own event (q_platform::SocketReadWait)
// is woken without that, and hands each frame to the sink itself, saving the
// loop's wake-up too. The loop keeps connecting, writing what the sender's
// thread could not, the timers and every report but the frames.
//
// Thread safety: the loop thread owns the channel. The reader thread uses
// `input_`, `wait_`, `stop_`, `reader_state` and `input_held` and reads the
// fields fixed before it started (owner, sink, conn_id, user_data, the
// socket); QConnMgr::Send reads `bev` and `conn_id` under the manager's
// mutex (both fixed after creation).
// Ownership: the manager creates and destroys channels, always on the loop
// thread, after StopReader; a channel owns its buffer event (and so its
// socket), its pending connect timer and its reader thread.
//
// Frame bounds of the reader. A prefix L counts the bytes after it; the
// smallest real frame carries the 2-byte header length and the 6 fixed header
// bytes, so L < 8 cannot be a frame. Gate messages are far below 16 MiB; a
// larger L is taken for a broken or hostile peer. Either closes the
// connection with the normal close report, so the input never holds more
// than kMaxFramePrefix + 4 bytes.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "netcore/port/platform.h"

class ICMGR_ChannelSink;
class QConnMgr;
struct QConnTimer;
struct bufferevent;
struct event_base;

constexpr uint32_t kMinFramePrefix = 8;
constexpr uint32_t kMaxFramePrefix = 16u * 1024u * 1024u;
// The reader's buffer: this size while the frames are small; a larger frame
// grows it to the frame's size, and it shrinks back once that frame is out.
constexpr uint32_t kInlineFrameBytes = 8192;

// Bytes in, whole frames out: the reader's buffer and the cut at each
// length prefix.
// Thread safety: one thread at a time (the reader thread).
class FrameInput {
 public:
  enum class Cut { kFrame, kNeedMore, kBroken, kNoMemory };

  FrameInput() : buf_(kInlineFrameBytes) {}

  // Where the next read may write, and how much: never empty once every
  // frame has been taken out (Next said kNeedMore). Moves what is held to
  // the front, so pointers from Next are stale afterwards.
  char* Space(size_t* size);
  // `n` bytes were written at Space.
  void Commit(size_t n) { end_ += n; }
  // The next whole frame, prefix included, valid until the next Space:
  // kFrame with `frame` and `len` set. kNeedMore: no whole frame yet (the
  // buffer has grown to hold the one begun). kBroken: the prefix in line
  // cannot start a frame; kNoMemory: no room for the frame it announces.
  Cut Next(const char** frame, int* len);
  // Bytes read and not yet taken out as frames.
  size_t Held() const { return end_ - start_; }
  size_t Capacity() const { return buf_.size(); }

 private:
  std::vector<char> buf_;
  size_t start_ = 0;  // first byte not yet taken out
  size_t end_ = 0;    // one past the last byte read
};

// final: channels are created and deleted only as QConnChannel, and the
// class has no virtual destructor.
class QConnChannel final {
 public:
  // What the reader is doing, for tests to observe.
  enum ReaderState : int { kNoReader, kReading, kAtEnd, kFailed, kStopped };

  QConnChannel() = default;
  QConnChannel(const QConnChannel&) = delete;
  QConnChannel& operator=(const QConnChannel&) = delete;

  // The connect completed: report true, then start the reader (a channel
  // whose reader cannot start is destroyed with a close report).
  void OnConnected();
  // The connect failed (error or time-out): report false once, then destroy
  // the channel. The channel is gone when this returns.
  void OnConnectFailed();

  // libevent's event callback of `bev`; `arg` is the channel. It runs on
  // the loop thread without the buffer event's lock held
  // (BEV_OPT_UNLOCK_CALLBACKS), so it may take the manager's mutex.
  static void EventCallback(struct bufferevent* bev, short what, void* arg);
  void HandleEvent(short what);

  // Loop thread, before the socket is closed: wakes the reader, waits for
  // its end and lets the socket go; no frame of this channel reaches the
  // sink afterwards. Also when no reader ran.
  void StopReader();
  // True on a reader thread of `mgr`'s channels (inside its sink calls).
  static bool OnReaderOf(const QConnMgr* mgr);

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
  // Where and how long to connect; the loop thread starts the connect.
  int port = 0;
  unsigned timeout_ms = 0;

  std::atomic<int> reader_state{kNoReader};
  // Bytes the reader holds that are not yet a whole frame.
  std::atomic<size_t> input_held{0};

 private:
  void ReaderMain();
  // Reads until the socket has nothing more (kReading) or reading has
  // ended: kAtEnd, kFailed (a read error or a frame that cannot be), or
  // kStopped.
  int ReadAvailable();
  // Hands every whole frame held to the sink: kReading, or kFailed or
  // kStopped.
  int DeliverFrames();
  bool StopRequested() const;

  intptr_t socket_ = -1;
  FrameInput input_;
  q_platform::SocketReadWait wait_;
  std::atomic<bool> stop_{false};
  std::thread reader_;
};
