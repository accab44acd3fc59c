// CWorker's thread over a recording fake of the cycle's outside world: a
// host that releases the sampler without Stop, and the pinned helper that
// lets Stop leave a call that cannot be woken. Under Wine.
#include "diagnostics/probes/worker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "diagnostics/des_cipher.h"
#include "diagnostics/fake_sampler_env_test_util.h"
#include "diagnostics/hex_codec.h"
#include "diagnostics/probes/network_probes.h"
#include "diagnostics/probes/pinned_call.h"
#include "diagnostics/report_codec.h"

namespace {

using diag_test::FakeSamplerEnv;
using diag_test::SamplerRecord;
using Clock = std::chrono::steady_clock;

// The fake, waiting on the worker's own stop signal.
class WorkerEnv final : public FakeSamplerEnv {
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

// A host that forgets Stop: Release stops the worker thread first (within
// Stop's bound, without force), so no thread goes on over freed state.
TEST(Worker, ReleaseWithoutStopEndsTheThread) {
  auto record = std::make_shared<SamplerRecord>();
  CWorker* worker = new CWorker([record](const StopSignal& stop) -> std::unique_ptr<SamplerEnv> {
    auto env = std::make_unique<WorkerEnv>(stop, record);
    env->config_answer = diag_test::ConfigAnswer("{\"Period\":30}");
    return env;
  });
  IHardInfoSampler* sampler = worker;
  ASSERT_TRUE(sampler->Init(10001));
  ASSERT_TRUE(sampler->Start());
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

}  // namespace
