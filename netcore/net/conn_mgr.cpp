#include "netcore/net/conn_mgr.h"

#include <event2/buffer.h>
#include <event2/bufferevent.h>
#include <event2/dns.h>
#include <event2/event.h>

#include <chrono>
#include <cstdio>
#include <new>
#include <system_error>
#include <utility>

#include "netcore/net/conn_channel.h"
#include "netcore/port/hop_trace.h"
#include "netcore/port/platform.h"

namespace {

constexpr unsigned kPeriodicTimerMs = 100;

// Callbacks deferred to the loop and run without the buffer event's lock:
// a failed look-up or connect never calls back on the caller's thread, and
// the callbacks may take the manager's mutex without inverting the lock order.
constexpr int kChannelBevOptions =
    BEV_OPT_CLOSE_ON_FREE | BEV_OPT_THREADSAFE | BEV_OPT_DEFER_CALLBACKS | BEV_OPT_UNLOCK_CALLBACKS;

#if defined(Q_HOP_TRACE) && Q_HOP_TRACE
// The loop wrote a connection's output out: the last hop of a relayed frame.
void NoteWritten(struct bufferevent*, void*) { Q_HOP("loop: frame written"); }
constexpr bufferevent_data_cb kWriteCallback = &NoteWritten;
#else
constexpr bufferevent_data_cb kWriteCallback = nullptr;
#endif

}  // namespace

QConnMgr::QConnMgr() = default;

QConnMgr::~QConnMgr() {
  batch_target_->Close();
  StopLoop();
}

bool QConnMgr::Init(ICMGR_ChannelSink* sink) {
  if (loop_.joinable() || base_ != nullptr) return false;  // already running
  sink_ = sink;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    next_id_ = 0;
  }
  stopping_.store(false, std::memory_order_release);
  exited_.store(false, std::memory_order_release);

  q_platform::SocketStartup();
  if (!q_platform::UseEventThreads() || (base_ = event_base_new()) == nullptr) {
    q_platform::SocketCleanup();
    exited_.store(true, std::memory_order_release);
    return false;
  }
  // Name look-ups run on the loop thread; without a resolver configuration
  // (evdns cannot be set up) they fall back to a blocking look-up there.
  dns_ =
      evdns_base_new(base_, EVDNS_BASE_INITIALIZE_NAMESERVERS | EVDNS_BASE_DISABLE_WHEN_INACTIVE);
  // Windows resolves "localhost" itself and its hosts file leaves it
  // commented out; append libevent's built-in entries behind the file's.
  if (dns_ != nullptr) evdns_base_load_hosts(dns_, nullptr);

  if (!OnStart()) {
    FreeBaseAndDns();
    q_platform::SocketCleanup();
    exited_.store(true, std::memory_order_release);
    return false;
  }
  try {
    loop_ = std::thread(&QConnMgr::LoopMain, this);
  } catch (const std::system_error&) {
    FreeBaseAndDns();
    q_platform::SocketCleanup();
    exited_.store(true, std::memory_order_release);
    return false;
  }
  return true;
}

void QConnMgr::RequestStop() {
  stopping_.store(true, std::memory_order_release);
  OnStop();
  std::lock_guard<std::mutex> lock(mutex_);
  // loopexit, not loopbreak: it is queued as an event, so it also ends a
  // loop that the thread enters only after this call, where a break would
  // be forgotten. Under the mutex: the loop thread frees the base under it.
  if (base_ != nullptr) event_base_loopexit(base_, nullptr);
}

void QConnMgr::StopLoop() {
  if (!loop_.joinable()) return;
  RequestStop();
  loop_.join();
}

void QConnMgr::Release() {
  if (loop_.joinable() &&
      (loop_.get_id() == std::this_thread::get_id() || QConnChannel::OnReaderOf(this))) {
    // Inside a sink call (on the loop thread or a channel's reader): the
    // loop thread frees the manager when it ends, after the readers.
    RequestStop();
    free_on_exit_ = true;
    loop_.detach();
    return;
  }
  StopLoop();
  delete this;
}

bool QConnMgr::MayActAsLoopThread() const {
  const std::thread::id loop = loop_id_.load(std::memory_order_acquire);
  return loop == std::thread::id() || loop == std::this_thread::get_id();
}

void QConnMgr::LoopMain() {
  loop_id_.store(std::this_thread::get_id(), std::memory_order_release);
  while (!stopping_.load(std::memory_order_acquire)) {
    // Blocks until a callback is due, also with no connection open.
    if (event_base_loop(base_, EVLOOP_NO_EXIT_ON_EMPTY) < 0) {
      // The back end failed; do not turn that into a busy loop.
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  std::map<uint64_t, QConnChannel*> channels;
  std::set<QConnTimer*> timers;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    channels.swap(channels_);
    timers.swap(timers_);
  }
  for (auto& entry : channels) {
    QConnChannel* ch = entry.second;
    ch->connect_timer = nullptr;  // in `timers`, freed below
    ch->StopReader();             // it delivers nothing more: stopping is set
    if (ch->bev != nullptr) bufferevent_free(ch->bev);
    delete ch;
  }
  for (QConnTimer* timer : timers) {
    event_free(timer->ev);
    delete timer;
  }
  // One more pass lets libevent finish what freeing the buffer events
  // started (cancelled look-ups release their hold on the buffer event);
  // none of this manager's callbacks is left to run.
  event_base_loop(base_, EVLOOP_NONBLOCK);
  FreeBaseAndDns();
  q_platform::SocketCleanup();

  const bool free_self = free_on_exit_;
  loop_id_.store(std::thread::id(), std::memory_order_release);
  exited_.store(true, std::memory_order_release);
  if (free_self) delete this;
}

void QConnMgr::FreeBaseAndDns() {
  struct event_base* base = nullptr;
  struct evdns_base* dns = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    std::swap(base, base_);
    std::swap(dns, dns_);
  }
  if (dns != nullptr) {
    // Failing the look-ups still pending only schedules their callbacks; a
    // buffer event freed during its look-up is let go by that callback, so
    // the base runs them once before it goes.
    evdns_base_free(dns, 1);
    if (base != nullptr) event_base_loop(base, EVLOOP_NONBLOCK);
  }
  if (base != nullptr) event_base_free(base);
}

uint64_t QConnMgr::NextIdLocked() {
  do {
    ++next_id_;
  } while (next_id_ == 0 || next_id_ == ~uint64_t{0} || channels_.count(next_id_) != 0);
  return next_id_;
}

uint64_t QConnMgr::Connect(const char* host, int port, int user_data, unsigned timeout_ms) {
  struct event_base* base = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!Stopping()) base = base_;
  }
  if (base == nullptr) return 0;  // not running
  struct bufferevent* bev = bufferevent_socket_new(base, -1, kChannelBevOptions);
  if (bev == nullptr) return 0;

  auto* ch = new QConnChannel();
  ch->owner = this;
  ch->base = base;
  ch->bev = bev;
  ch->sink = sink_;
  ch->user_data = user_data;
  ch->host = host != nullptr ? host : "";
  ch->port = port;
  ch->timeout_ms = timeout_ms;
  // Writes and the connect only: once connected, the channel's reader
  // thread reads the socket (conn_channel.h), never libevent.
  bufferevent_setcb(bev, nullptr, kWriteCallback, &QConnChannel::EventCallback, ch);
  bufferevent_enable(bev, EV_WRITE);

  uint64_t id = 0;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!Stopping()) {
      id = NextIdLocked();
      ch->conn_id = id;
      channels_[id] = ch;
      // The rest of the connect runs on the loop thread, where every later
      // event of the channel runs too: nothing of a half-made channel is
      // shared with this thread.
      if (AddTimerLocked(id, user_data, 0, &QConnMgr::StartConnect) == nullptr) {
        channels_.erase(id);
        id = 0;
      }
    }
  }
  if (id == 0) {
    bufferevent_free(bev);
    delete ch;
  }
  return id;
}

void QConnMgr::StartConnect(int /*user_data*/, uint64_t conn_id) {
  QConnChannel* ch = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = channels_.find(conn_id);
    if (it != channels_.end()) ch = it->second;
  }
  if (ch == nullptr) return;  // closed before it started

  ch->connect_timer =
      AddTimer(conn_id, ch->user_data, ch->timeout_ms, &QConnMgr::ConnectTimeoutCheck);
  const int rc =
      bufferevent_socket_connect_hostname(ch->bev, dns_, AF_INET, ch->host.c_str(), ch->port);
  char line[64];
  std::snprintf(line, sizeof(line), "bufferevent_socket_connect_hostname = %d\n", rc);
  q_platform::DebugOutput(line);
  // A refused start (port outside 1..65535) is reported by the time-out.
}

void QConnMgr::ConnectTimeoutCheck(int /*user_data*/, uint64_t conn_id) {
  QConnChannel* ch = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = channels_.find(conn_id);
    if (it != channels_.end()) ch = it->second;
  }
  // The channel stays valid after the mutex is let go: only this thread
  // destroys channels. Reporting and destroying take the mutex themselves.
  if (ch == nullptr) return;
  ch->connect_timer = nullptr;  // this record; FireTimer frees it
  if (!ch->connected && ch->bev != nullptr) ch->OnConnectFailed();
}

bool QConnMgr::Send(uint64_t conn_id, const char* data, int len) {
  if (len < 0 || (data == nullptr && len > 0)) return false;
  if (len > 0 && q_platform::SendBatch::IsOpen()) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (channels_.count(conn_id) == 0) return false;
    }
    if (q_platform::SendBatch::Hold(batch_target_, conn_id, data, size_t(len))) {
      Q_HOP("net: frame held");
      return true;
    }
  }
  return SendNow(conn_id, data, len);
}

bool QConnMgr::SendNow(uint64_t conn_id, const char* data, int len) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = channels_.find(conn_id);
  if (it == channels_.end()) return false;
  // Under the mutex, so the loop thread cannot free the buffer event
  // meanwhile; mutex -> buffer event lock is the one lock order.
  struct bufferevent* bev = it->second->bev;
  size_t done = 0;
  bufferevent_lock(bev);
  // With nothing waiting in the output buffer, write on this thread what
  // the socket takes at once: handing the bytes to the loop costs a wake-up
  // through the loop's socket pair and two turns of its select, under Wine
  // each a round trip through wineserver. The loop writes its buffer under
  // this lock too, so the order holds. Whatever the socket did not take
  // (it would block, is still connecting, or failed) goes the loop's way,
  // which also finds and reports a broken connection.
  const evutil_socket_t fd = bufferevent_getfd(bev);
  if (fd != -1 && len > 0 && evbuffer_get_length(bufferevent_get_output(bev)) == 0) {
    const int n = q_platform::SendNow(intptr_t(fd), data, size_t(len));
    if (n > 0) done = size_t(n);
  }
  const bool ok = done == size_t(len) ||
                  bufferevent_write(bev, data + done, static_cast<size_t>(len) - done) == 0;
  bufferevent_unlock(bev);
  Q_HOP(done == size_t(len) ? "net: frame sent" : "net: frame queued");
  return ok;
}

void QConnMgr::Close(uint64_t conn_id) { AddTimer(conn_id, 0, 0, &QConnMgr::CloseNow); }

void QConnMgr::CloseNow(int /*user_data*/, uint64_t conn_id) {
  QConnChannel* ch = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = channels_.find(conn_id);
    if (it != channels_.end()) {
      ch = it->second;
      channels_.erase(it);
    }
  }
  if (ch != nullptr) DestroyChannel(ch);
}

void QConnMgr::UnlistChannel(QConnChannel* ch) {
  Q_CHECK_LOOP_THREAD(this);
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = channels_.find(ch->conn_id);
  if (it != channels_.end() && it->second == ch) channels_.erase(it);
}

void QConnMgr::DestroyChannel(QConnChannel* ch) {
  UnlistChannel(ch);
  // From here on Send and Close no longer find the channel.
  if (ch->connect_timer != nullptr) {
    FreeTimer(ch->connect_timer);
    ch->connect_timer = nullptr;
  }
  // Before the socket goes with the buffer event; and no frame follows the
  // close report.
  ch->StopReader();
  if (ch->bev != nullptr) {
    bufferevent_free(ch->bev);
    ch->bev = nullptr;
  }
  if (ch->connected && !ch->reported) {
    ch->reported = true;
    if (!Stopping()) ch->sink->OnConnectionClose(ch->conn_id, ch->user_data);
  }
  delete ch;
}

void QConnMgr::ResolveHosts(int count, void* entries, int a, int b, int c) {
  std::lock_guard<std::mutex> lock(mutex_);
  resolve_count_ = count;
  resolve_entries_ = entries;
  resolve_args_[0] = a;
  resolve_args_[1] = b;
  resolve_args_[2] = c;
}

bool QConnMgr::OnStart() { return true; }

void QConnMgr::OnStop() {}

void QConnMgr::OnTimer(int /*user_data*/, uint64_t /*conn_id*/) { ArmPeriodicTimer(); }

void QConnMgr::ArmPeriodicTimer() { AddTimer(0, 0, kPeriodicTimerMs, &QConnMgr::OnTimer); }

QConnTimer* QConnMgr::AddTimer(uint64_t conn_id, int user_data, unsigned ms,
                               QConnTimer::Callback cb) {
  std::lock_guard<std::mutex> lock(mutex_);
  return AddTimerLocked(conn_id, user_data, ms, cb);
}

QConnTimer* QConnMgr::AddTimerLocked(uint64_t conn_id, int user_data, unsigned ms,
                                     QConnTimer::Callback cb) {
  if (base_ == nullptr || Stopping()) return nullptr;
  auto* timer = new (std::nothrow) QConnTimer();
  if (timer == nullptr) return nullptr;
  timer->conn_id = conn_id;
  timer->user_data = user_data;
  timer->callback = cb;
  timer->owner = this;
  timer->ev = evtimer_new(base_, &QConnTimer::OnFire, timer);
  if (timer->ev == nullptr) {
    delete timer;
    return nullptr;
  }
  struct timeval tv;
  tv.tv_sec = static_cast<long>(ms / 1000);
  tv.tv_usec = static_cast<long>((ms % 1000) * 1000);
  // Under the mutex, so the loop's shut-down sees either no record or an
  // armed one.
  timers_.insert(timer);
  evtimer_add(timer->ev, &tv);
  return timer;
}

void QConnMgr::FireTimer(QConnTimer* timer) {
  Q_CHECK_LOOP_THREAD(this);
  if (!Stopping()) (this->*(timer->callback))(timer->user_data, timer->conn_id);
  // Out of the set only now: an empty set means no timer work is pending
  // or running. The shut-down cannot meet this record, it runs on this thread.
  FreeTimer(timer);
}

void QConnMgr::FreeTimer(QConnTimer* timer) {
  Q_CHECK_LOOP_THREAD(this);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    timers_.erase(timer);
  }
  event_free(timer->ev);
  delete timer;
}
