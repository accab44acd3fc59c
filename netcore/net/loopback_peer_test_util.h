// Test peer for the connection manager's tests: a TCP listener on 127.0.0.1
// (a port the system picks) with its own libevent loop thread, which records
// what every accepted connection receives and writes or closes on request.
// Portable through libevent's listener, so the same tests run natively and
// under Wine.
// Thread safety: every public operation from any thread; the work itself
// runs on the peer's loop thread.
// Ownership: the peer owns its listener, connections and thread; the
// destructor closes everything.
#pragma once

#include <event2/buffer.h>
#include <event2/bufferevent.h>
#include <event2/event.h>
#include <event2/listener.h>
#include <event2/util.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "netcore/port/platform.h"

namespace q_test {

class LoopbackPeer {
 public:
  using Clock = std::chrono::steady_clock;
  static constexpr std::chrono::milliseconds kWait{10000};

  LoopbackPeer() {
    q_platform::SocketStartup();
    q_platform::UseEventThreads();
    base_ = event_base_new();
    struct sockaddr_in sin;
    std::memset(&sin, 0, sizeof(sin));
    sin.sin_family = AF_INET;
    sin.sin_port = 0;  // any free port
    evutil_inet_pton(AF_INET, "127.0.0.1", &sin.sin_addr);
    listener_ = evconnlistener_new_bind(base_, &LoopbackPeer::OnAccept, this,
                                        LEV_OPT_CLOSE_ON_FREE | LEV_OPT_REUSEABLE, -1,
                                        reinterpret_cast<struct sockaddr*>(&sin), sizeof(sin));
    if (listener_ != nullptr) {
      struct sockaddr_in bound;
      socklen_t blen = sizeof(bound);
      std::memset(&bound, 0, sizeof(bound));
      getsockname(evconnlistener_get_fd(listener_), reinterpret_cast<struct sockaddr*>(&bound),
                  &blen);
      port_ = ntohs(bound.sin_port);
    }
    thread_ = std::thread([this] { event_base_loop(base_, EVLOOP_NO_EXIT_ON_EMPTY); });
  }

  ~LoopbackPeer() {
    RunOnPeer([this] {
      for (auto& c : conns_) {
        if (c->bev != nullptr) bufferevent_free(c->bev);
        c->bev = nullptr;
      }
      if (listener_ != nullptr) evconnlistener_free(listener_);
      listener_ = nullptr;
      event_base_loopexit(base_, nullptr);
    });
    thread_.join();
    event_base_free(base_);
    q_platform::SocketCleanup();
  }

  int port() const { return port_; }

  // Stops accepting: later connects to port() are refused.
  void StopListening() {
    RunOnPeer([this] {
      if (listener_ != nullptr) evconnlistener_free(listener_);
      listener_ = nullptr;
    });
  }

  bool WaitAccepted(size_t n) {
    return WaitFor([&] { return conns_.size() >= n; });
  }

  size_t accepted() {
    std::lock_guard<std::mutex> lock(mutex_);
    return conns_.size();
  }

  // Queues bytes on accepted connection `i` and returns once they are queued.
  void Write(size_t i, const std::string& bytes) {
    RunOnPeer([&] {
      Conn* c = conns_.at(i).get();
      if (c->bev != nullptr) bufferevent_write(c->bev, bytes.data(), bytes.size());
    });
  }

  // Closes accepted connection `i` from the peer's side (end of stream).
  void CloseConn(size_t i) {
    RunOnPeer([&] {
      Conn* c = conns_.at(i).get();
      if (c->bev != nullptr) bufferevent_free(c->bev);
      c->bev = nullptr;
      std::lock_guard<std::mutex> lock(mutex_);
      c->closed = true;
      cv_.notify_all();
    });
  }

  std::string Received(size_t i) {
    std::lock_guard<std::mutex> lock(mutex_);
    return conns_.at(i)->received;
  }

  // Stops or resumes reading on connection `i`, so that the other side's
  // socket fills up and its writes are only partly taken.
  void SetReading(size_t i, bool on) {
    RunOnPeer([&] {
      struct bufferevent* bev;
      {
        std::lock_guard<std::mutex> lock(mutex_);
        bev = conns_.at(i)->bev;
      }
      if (on) {
        bufferevent_enable(bev, EV_READ);
      } else {
        bufferevent_disable(bev, EV_READ);
      }
    });
  }

  bool WaitReceived(size_t i, size_t n) {
    return WaitFor([&] { return conns_.size() > i && conns_[i]->received.size() >= n; });
  }

  // True once the manager's side closed connection `i`.
  bool WaitClosed(size_t i) {
    return WaitFor([&] { return conns_.size() > i && conns_[i]->closed; });
  }

 private:
  struct Conn {
    LoopbackPeer* peer = nullptr;
    struct bufferevent* bev = nullptr;
    std::string received;  // under mutex_
    bool closed = false;   // under mutex_
  };

  template <typename Pred>
  bool WaitFor(Pred pred) {
    std::unique_lock<std::mutex> lock(mutex_);
    return cv_.wait_until(lock, Clock::now() + kWait, pred);
  }

  // Runs fn on the peer's loop thread and waits until it returned.
  void RunOnPeer(std::function<void()> fn) {
    struct Job {
      std::function<void()> fn;
      std::promise<void> done;
    };
    auto* job = new Job{std::move(fn), {}};
    std::future<void> done = job->done.get_future();
    struct timeval zero = {0, 0};
    event_base_once(
        base_, -1, EV_TIMEOUT,
        [](evutil_socket_t, short, void* arg) {
          auto* j = static_cast<Job*>(arg);
          j->fn();
          j->done.set_value();
          delete j;
        },
        job, &zero);
    done.wait();
  }

  static void OnAccept(struct evconnlistener*, evutil_socket_t fd, struct sockaddr*, int,
                       void* arg) {
    auto* self = static_cast<LoopbackPeer*>(arg);
    auto conn = std::make_unique<Conn>();
    conn->peer = self;
    conn->bev = bufferevent_socket_new(self->base_, fd, BEV_OPT_CLOSE_ON_FREE);
    bufferevent_setcb(conn->bev, &LoopbackPeer::OnRead, nullptr, &LoopbackPeer::OnEvent,
                      conn.get());
    bufferevent_enable(conn->bev, EV_READ | EV_WRITE);
    std::lock_guard<std::mutex> lock(self->mutex_);
    self->conns_.push_back(std::move(conn));
    self->cv_.notify_all();
  }

  static void OnRead(struct bufferevent* bev, void* arg) {
    auto* c = static_cast<Conn*>(arg);
    struct evbuffer* in = bufferevent_get_input(bev);
    const size_t n = evbuffer_get_length(in);
    std::string chunk(n, '\0');
    evbuffer_remove(in, &chunk[0], n);
    std::lock_guard<std::mutex> lock(c->peer->mutex_);
    c->received += chunk;
    c->peer->cv_.notify_all();
  }

  static void OnEvent(struct bufferevent* bev, short what, void* arg) {
    auto* c = static_cast<Conn*>(arg);
    if (!(what & (BEV_EVENT_EOF | BEV_EVENT_ERROR))) return;
    bufferevent_free(bev);
    c->bev = nullptr;
    std::lock_guard<std::mutex> lock(c->peer->mutex_);
    c->closed = true;
    c->peer->cv_.notify_all();
  }

  struct event_base* base_ = nullptr;
  struct evconnlistener* listener_ = nullptr;
  int port_ = 0;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable cv_;
  std::vector<std::unique_ptr<Conn>> conns_;  // appended under mutex_ on the peer thread
};

}  // namespace q_test
