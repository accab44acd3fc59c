// CWorker's thread over a recording fake of the cycle's outside world: a
// host that releases the sampler without Stop or calls from two threads,
// Stop during the WMI connection, and the pinned helper that lets Stop leave
// a call that cannot be woken. Under Wine.
#include "diagnostics/probes/worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <new>
#include <thread>

#include "diagnostics/des_cipher.h"
#include "diagnostics/fake_sampler_env_test_util.h"
#include "diagnostics/hex_codec.h"
#include "diagnostics/probes/counting_locator_test_util.h"
#include "diagnostics/probes/network_probes.h"
#include "diagnostics/probes/pinned_call.h"
#include "diagnostics/probes/wmi_session.h"
#include "diagnostics/report_codec.h"

namespace {

using diag_test::FakeSamplerEnv;
using diag_test::SamplerRecord;
using Clock = std::chrono::steady_clock;

// The fake, waiting on the worker's own stop signal.
class WorkerEnv : public FakeSamplerEnv {
 public:
  WorkerEnv(const StopSignal& stop, std::shared_ptr<SamplerRecord> record)
      : FakeSamplerEnv(std::move(record)), stop_(stop) {}
  bool Stopping() override { return stop_.stopping(); }
  bool Wait(uint32_t ms) override {
    FakeSamplerEnv::Wait(0);  // records the wait
    return stop_.Wait(ms);
  }
  // A WMI query that hangs until Stop, as the Windows layer's sliced waits do.
  void SampleLoad(SamplerReport* report) override {
    if (!stall_load) return FakeSamplerEnv::SampleLoad(report);
    {
      std::lock_guard<std::mutex> lock(record()->mutex);
      ++record()->loads;
      record()->changed.notify_all();
    }
    stop_.Wait(60000);
  }

 private:
  const StopSignal& stop_;
};

// A worker over the fake with a 30-minute period, started.
CWorker* StartPausingWorker(const std::shared_ptr<SamplerRecord>& record) {
  CWorker* worker = new CWorker([record](const StopSignal& stop) -> std::unique_ptr<SamplerEnv> {
    auto env = std::make_unique<WorkerEnv>(stop, record);
    env->config_answer = diag_test::ConfigAnswer("{\"Period\":30}");
    return env;
  });
  EXPECT_TRUE(worker->Init(10001));
  EXPECT_TRUE(worker->Start());
  return worker;
}

// A host that forgets Stop: Release stops the worker thread first (within
// Stop's bound, without force), so no thread goes on over freed state.
TEST(Worker, ReleaseWithoutStopEndsTheThread) {
  auto record = std::make_shared<SamplerRecord>();
  IHardInfoSampler* sampler = StartPausingWorker(record);
  ASSERT_TRUE(record->WaitFor([&] { return record->waits.size() >= 2; }));  // in the pause
  Clock::time_point t0 = Clock::now();
  sampler->Release();
  EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(2500));
  std::lock_guard<std::mutex> lock(record->mutex);
  EXPECT_TRUE(record->env_destroyed);      // the thread left its cycle
  EXPECT_EQ(record->requests.size(), 3u);  // configuration, page, one report
}

// Stop while the resolver takes 400 ms a name (20 names) or while a WMI
// query hangs: the worker leaves its cycle well within Stop's 3000 ms, so the
// thread ends by itself, never by TerminateThread.
TEST(Worker, StopWhileProbesStallEndsWithoutForce) {
  std::string names = "{\"Period\":30,\"DNSTarget\":[";
  for (int i = 0; i < 20; ++i) names += (i ? ",\"n" : "\"n") + std::to_string(i) + "\"";
  names += "]}";
  for (int stall = 0; stall < 2; ++stall) {
    SCOPED_TRACE(stall);
    auto record = std::make_shared<SamplerRecord>();
    CWorker* worker = new CWorker([&](const StopSignal& stop) -> std::unique_ptr<SamplerEnv> {
      auto env = std::make_unique<WorkerEnv>(stop, record);
      env->config_answer = diag_test::ConfigAnswer(names);
      env->resolve_ms = stall == 0 ? 400 : 0;
      env->stall_load = stall == 1;
      return env;
    });
    ASSERT_TRUE(worker->Init(1));
    ASSERT_TRUE(worker->Start());
    ASSERT_TRUE(
        record->WaitFor([&] { return stall == 0 ? record->resolves >= 1 : record->loads >= 1; }));
    Clock::time_point t0 = Clock::now();
    worker->Stop();
    EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(1500));
    {
      std::lock_guard<std::mutex> lock(record->mutex);
      EXPECT_TRUE(record->env_destroyed);
      EXPECT_LT(record->resolves, 20);
    }
    worker->Release();
  }
}

// Stop leaves a call that cannot be woken at once; the call goes on on its
// helper with what it captured and ends by itself.
TEST(PinnedCall, StopLeavesABlockingCall) {
  StopSignal stop;
  ASSERT_TRUE(stop.SetRunning());
  auto finished = std::make_shared<std::atomic<bool>>(false);
  EXPECT_TRUE(RunPinned([finished] { finished->store(true); }, &stop));
  EXPECT_TRUE(finished->load());

  finished->store(false);
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    stop.RequestStop();
  });
  Clock::time_point t0 = Clock::now();
  EXPECT_FALSE(RunPinned(
      [finished] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        finished->store(true);
      },
      &stop));
  EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(1200));
  stopper.join();
  EXPECT_FALSE(finished->load());
  for (int i = 0; i < 100 && !finished->load(); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  EXPECT_TRUE(finished->load());

  // After Stop nothing is started: a name is not looked up.
  EXPECT_FALSE(RunPinned([finished] { finished->store(false); }, &stop));
  EXPECT_TRUE(finished->load());
  NameResolutionEntry entry{"localhost", "stale", "stale"};
  ResolveName(&entry, &stop);
  EXPECT_EQ(entry.host_name, "");
  EXPECT_EQ(entry.ip, "0.0.0.0");
}

// Stop 0 to 100 ms after Start, while the worker opens the library's own
// WMI session on a locator that answers after 0 to 60 ms: some Stops come
// before the connection, some during it, some after it failed. The host
// lives, every Stop ends the thread without force, and every locator
// reference comes back.
TEST(Worker, StopDuringTheWmiConnection) {
  for (int round = 0; round < 24; ++round) {
    SCOPED_TRACE(round);
    CountingLocator locator(DWORD(round * 37 % 61));
    auto record = std::make_shared<SamplerRecord>();
    CWorker* worker = new CWorker([&](const StopSignal& stop) -> std::unique_ptr<SamplerEnv> {
      struct WmiEnv final : WorkerEnv {
        WmiEnv(const StopSignal& stop, std::shared_ptr<SamplerRecord> record, IWbemLocator* l)
            : WorkerEnv(stop, std::move(record)), locator(l) {
          session.set_stop(&stop);
        }
        bool OpenMachine() override { return SUCCEEDED(session.Open(locator)); }
        IWbemLocator* locator;
        CWmiSession session;
      };
      return std::make_unique<WmiEnv>(stop, record, &locator);
    });
    ASSERT_TRUE(worker->Init(1));
    ASSERT_TRUE(worker->Start());
    std::this_thread::sleep_for(std::chrono::milliseconds(round * 100 / 23));
    Clock::time_point t0 = Clock::now();
    worker->Stop();
    EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(1500));
    worker->Release();
    EXPECT_TRUE(locator.WaitForRefs(1, 3000)) << locator.refs();
  }
}

// The host may call from another thread than the one that called Init, and
// even two calls at once: each runs (the second after the first), nothing
// aborts.
TEST(Worker, CallsFromAnotherHostThread) {
  auto record = std::make_shared<SamplerRecord>();
  CWorker* worker = StartPausingWorker(record);
  ASSERT_TRUE(record->WaitFor([&] { return record->waits.size() >= 2; }));  // in the pause
  std::atomic<int> stopped{0};
  std::thread other([&] {
    std::thread second([&] { stopped += worker->Stop() ? 1 : 0; });
    stopped += worker->Stop() ? 1 : 0;
    second.join();
    worker->Release();
  });
  other.join();
  EXPECT_EQ(stopped.load(), 2);
  std::lock_guard<std::mutex> lock(record->mutex);
  EXPECT_TRUE(record->env_destroyed);
}

// A helper whose call throws ends quietly; a helper that cannot be started
// fails the call, which then does not run on the caller (its wait would be
// unbounded again).
TEST(PinnedCall, ThrowingCallAndNoHelper) {
  StopSignal stop;
  ASSERT_TRUE(stop.SetRunning());
  auto ran = std::make_shared<std::atomic<bool>>(false);
  EXPECT_TRUE(RunPinned(
      [ran] {
        ran->store(true);
        throw std::bad_alloc();
      },
      &stop));
  EXPECT_TRUE(ran->load());

  ran->store(false);
  FailNextPinnedThreadForTest();
  Clock::time_point t0 = Clock::now();
  EXPECT_FALSE(RunPinned(
      [ran] {
        ran->store(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(3000));
      },
      &stop));
  EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(1000));
  EXPECT_FALSE(ran->load());
}

}  // namespace
