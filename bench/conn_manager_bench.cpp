// Connection manager figures, each beside its reference in the same run:
//  - idle CPU of a running QConnMgr (no connection; one quiet connection)
//    over 2 s, beside an event loop re-run with zero-length sleeps;
//  - 1 KiB frames per second from a loopback peer through QConnMgr to its
//    sink, beside a plain single-threaded libevent bufferevent reader that
//    cuts the same frames the same way.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <event2/buffer.h>
#include <event2/bufferevent.h>
#include <event2/event.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>

#include <benchmark/benchmark.h>

#include "netcore/net/conn_mgr.h"
#include "netcore/port/platform.h"

namespace {

constexpr uint32_t kFrameBytes = 1024;
constexpr int kFramesPerIteration = 8192;  // 8 MiB a pass
constexpr auto kIdleSpan = std::chrono::seconds(2);

double ProcessCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Per cent of one core the process used while the calling thread slept.
double IdleCpuPercent() {
  const double before = ProcessCpuSeconds();
  std::this_thread::sleep_for(kIdleSpan);
  const double used = ProcessCpuSeconds() - before;
  return 100.0 * used / std::chrono::duration<double>(kIdleSpan).count();
}

// A blocking loopback listener: the peer end of one connection.
class Listener {
 public:
  Listener() {
    fd_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof(a));
    ::listen(fd_, 4);
    socklen_t len = sizeof(a);
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&a), &len);
    port_ = ntohs(a.sin_port);
  }
  ~Listener() {
    if (peer_ >= 0) ::close(peer_);
    ::close(fd_);
  }
  int port() const { return port_; }
  int Accept() { return peer_ = ::accept(fd_, nullptr, nullptr); }
  void WriteAll(const std::string& bytes) {
    size_t off = 0;
    while (off < bytes.size()) {
      const ssize_t n = ::send(peer_, bytes.data() + off, bytes.size() - off, 0);
      if (n <= 0) return;
      off += static_cast<size_t>(n);
    }
  }

 private:
  int fd_ = -1;
  int peer_ = -1;
  int port_ = 0;
};

std::string Frames(int count) {
  std::string one(kFrameBytes, 'f');
  const uint32_t len = kFrameBytes - 4;
  one[0] = static_cast<char>(len >> 24);
  one[1] = static_cast<char>(len >> 16);
  one[2] = static_cast<char>(len >> 8);
  one[3] = static_cast<char>(len);
  std::string all;
  all.reserve(static_cast<size_t>(count) * kFrameBytes);
  for (int i = 0; i < count; ++i) all += one;
  return all;
}

// Counts frames and wakes the benchmark thread when a pass is complete.
class FrameCounter {
 public:
  void Frame(const char* data, int len) {
    benchmark::DoNotOptimize(data[len - 1]);
    if (count_.fetch_add(1, std::memory_order_relaxed) + 1 ==
        target_.load(std::memory_order_relaxed)) {
      std::lock_guard<std::mutex> lock(mutex_);
      cv_.notify_all();
    }
  }
  void Expect(int64_t n) { target_.store(count_.load() + n); }
  void Wait() {
    std::unique_lock<std::mutex> lock(mutex_);
    cv_.wait(lock, [&] { return count_.load() >= target_.load(); });
  }

 private:
  std::atomic<int64_t> count_{0};
  std::atomic<int64_t> target_{-1};
  std::mutex mutex_;
  std::condition_variable cv_;
};

class CountingSink : public ICMGR_ChannelSink {
 public:
  void OnConnectionClose(uint64_t, int) override {}
  void OnData(uint64_t, const char* frame, int len, int) override { counter.Frame(frame, len); }
  void OnConnectToRet(uint64_t, bool ok, int) override { connected = ok; }
  FrameCounter counter;
  std::atomic<bool> connected{false};
};

void BM_IdleCpu_QConnMgr_NoConnection(benchmark::State& state) {
  CountingSink sink;
  for (auto _ : state) {
    auto* mgr = new QConnMgr();
    mgr->Init(&sink);
    state.counters["cpu_percent"] = IdleCpuPercent();
    mgr->Release();
  }
}
BENCHMARK(BM_IdleCpu_QConnMgr_NoConnection)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_IdleCpu_QConnMgr_OneQuietConnection(benchmark::State& state) {
  CountingSink sink;
  Listener peer;
  for (auto _ : state) {
    auto* mgr = new QConnMgr();
    mgr->Init(&sink);
    mgr->Connect("127.0.0.1", peer.port(), 0, 3000);
    peer.Accept();
    while (!sink.connected) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    state.counters["cpu_percent"] = IdleCpuPercent();
    mgr->Release();
  }
}
BENCHMARK(BM_IdleCpu_QConnMgr_OneQuietConnection)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Reference: the event loop run again and again with zero-length sleeps
// while nothing is pending.
void BM_IdleCpu_Reference_LoopRerunWithZeroSleeps(benchmark::State& state) {
  for (auto _ : state) {
    event_base* base = event_base_new();
    std::atomic<bool> stop{false};
    std::thread loop([&] {
      while (!stop) {
        event_base_loop(base, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(0));
      }
    });
    state.counters["cpu_percent"] = IdleCpuPercent();
    stop = true;
    loop.join();
    event_base_free(base);
  }
}
BENCHMARK(BM_IdleCpu_Reference_LoopRerunWithZeroSleeps)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

void BM_Frames1KiB_QConnMgr(benchmark::State& state) {
  const std::string pass = Frames(kFramesPerIteration);
  CountingSink sink;
  Listener peer;
  auto* mgr = new QConnMgr();
  mgr->Init(&sink);
  mgr->Connect("127.0.0.1", peer.port(), 0, 3000);
  peer.Accept();
  while (!sink.connected) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  for (auto _ : state) {
    sink.counter.Expect(kFramesPerIteration);
    peer.WriteAll(pass);
    sink.counter.Wait();
  }
  state.SetItemsProcessed(state.iterations() * kFramesPerIteration);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(pass.size()));
  mgr->Release();
}
BENCHMARK(BM_Frames1KiB_QConnMgr)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

// Reference: one bufferevent on a single-threaded base, no locks, no
// deferred callbacks, the same frame cutting (copy out, hand over, drain).
struct PlainReader {
  static void OnRead(bufferevent* bev, void* arg) {
    auto* self = static_cast<PlainReader*>(arg);
    evbuffer* in = bufferevent_get_input(bev);
    for (;;) {
      const size_t have = evbuffer_get_length(in);
      if (have < 4) return;
      unsigned char p[4];
      evbuffer_copyout(in, p, 4);
      const uint64_t total = ((uint64_t{p[0]} << 24) | (p[1] << 16) | (p[2] << 8) | p[3]) + 4;
      if (have < total) return;
      evbuffer_remove(in, self->buf, total);
      self->counter.Frame(self->buf, static_cast<int>(total));
    }
  }
  static void OnEvent(bufferevent*, short what, void* arg) {
    if (what & BEV_EVENT_CONNECTED) static_cast<PlainReader*>(arg)->connected = true;
  }
  FrameCounter counter;
  std::atomic<bool> connected{false};
  char buf[8192];
};

void BM_Frames1KiB_Reference_PlainBufferevent(benchmark::State& state) {
  const std::string pass = Frames(kFramesPerIteration);
  Listener peer;
  PlainReader reader;
  // No locks even though the process has put libevent in thread-safe mode.
  event_config* cfg = event_config_new();
  event_config_set_flag(cfg, EVENT_BASE_FLAG_NOLOCK);
  event_base* base = event_base_new_with_config(cfg);
  event_config_free(cfg);
  bufferevent* bev = bufferevent_socket_new(base, -1, BEV_OPT_CLOSE_ON_FREE);
  bufferevent_setcb(bev, &PlainReader::OnRead, nullptr, &PlainReader::OnEvent, &reader);
  bufferevent_enable(bev, EV_READ | EV_WRITE);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(peer.port()));
  bufferevent_socket_connect(bev, reinterpret_cast<sockaddr*>(&a), sizeof(a));
  std::atomic<bool> stop{false};
  std::thread loop([&] {
    while (!stop) event_base_loop(base, EVLOOP_ONCE);
  });
  peer.Accept();
  while (!reader.connected) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  for (auto _ : state) {
    reader.counter.Expect(kFramesPerIteration);
    peer.WriteAll(pass);
    reader.counter.Wait();
  }
  state.SetItemsProcessed(state.iterations() * kFramesPerIteration);
  state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(pass.size()));
  stop = true;
  peer.WriteAll(std::string(4, '\0'));  // wakes the loop so it sees stop
  loop.join();
  bufferevent_free(bev);
  event_base_free(base);
}
BENCHMARK(BM_Frames1KiB_Reference_PlainBufferevent)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

}  // namespace
