#include "netcore/command/job_thread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "netcore/command/lambda_function.h"

namespace {

using namespace std::chrono_literals;
constexpr auto kDeadline = 10s;

// Job time the test moves by hand.
struct FakeClock {
  std::atomic<uint64_t> ms{50000};  // arbitrary: job time is relative to Start
  KJobThread::ClockMs Fn() {
    return [this] { return ms.load(); };
  }
  void SetJobTime(uint64_t t) { ms.store(50000 + t); }
};

struct Event {
  Event(std::string who_, std::string what_, uint16_t kind_ = 0, uint16_t subid_ = 0,
        uint64_t now_ = 0)
      : who(std::move(who_)), what(std::move(what_)), kind(kind_), subid(subid_), now(now_) {}
  std::string who;
  std::string what;  // "start", "process", "timer"
  uint16_t kind = 0;
  uint16_t subid = 0;
  uint64_t now = 0;
  std::thread::id thread;
};

// One log for all processors of a test, so cross-processor order is visible.
class Log {
 public:
  void Add(Event e) {
    std::lock_guard<std::mutex> lock(m_);
    e.thread = std::this_thread::get_id();
    events_.push_back(std::move(e));
    cv_.notify_all();
  }
  bool WaitFor(const std::function<bool(const std::vector<Event>&)>& pred) {
    std::unique_lock<std::mutex> lock(m_);
    return cv_.wait_for(lock, kDeadline, [&] { return pred(events_); });
  }
  std::vector<Event> Snapshot() {
    std::lock_guard<std::mutex> lock(m_);
    return events_;
  }
  bool WaitProcessed(uint16_t subid) {
    return WaitFor([&](const std::vector<Event>& ev) {
      return std::any_of(ev.begin(), ev.end(),
                         [&](const Event& e) { return e.what == "process" && e.subid == subid; });
    });
  }
  size_t Count(const std::string& what) {
    auto ev = Snapshot();
    return std::count_if(ev.begin(), ev.end(), [&](const Event& e) { return e.what == what; });
  }
  std::vector<uint16_t> ProcessedSubids() {
    std::vector<uint16_t> out;
    for (const Event& e : Snapshot())
      if (e.what == "process") out.push_back(e.subid);
    return out;
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  std::vector<Event> events_;
};

class Recorder : public ICmdProcess {
 public:
  Recorder(std::string name, Log* log) : name_(std::move(name)), log_(log) {}
  bool OnStart(int, IJobProcessPool* pool) override {
    pool_ = pool;
    log_->Add({name_, "start"});
    return true;
  }
  void Reset() override {}
  void Process(bs::CMD_base* cmd, int) override {
    log_->Add({name_, "process", cmd->kind, cmd->subid});
    if (on_process) on_process(cmd);
  }
  void OnTimer(uint64_t now, int) override { log_->Add({name_, "timer", 0, 0, now}); }

  std::function<void(bs::CMD_base*)> on_process;
  IJobProcessPool* pool_ = nullptr;

 private:
  std::string name_;
  Log* log_;
};

class TaggedCmd : public bs::CMD_base {
 public:
  TaggedCmd(uint16_t kind, uint16_t subid, uint64_t delay_ms, std::atomic<int>* destroyed)
      : CMD_base(kind, subid), destroyed_(destroyed) {
    delay = delay_ms;
  }
  ~TaggedCmd() override {
    if (destroyed_ != nullptr) destroyed_->fetch_add(1);
  }

 private:
  std::atomic<int>* destroyed_;
};

bs::CMD_base* Posted(uint16_t kind, uint16_t subid, uint64_t delay = 0,
                     std::atomic<int>* destroyed = nullptr) {
  auto* cmd = new TaggedCmd(kind, subid, delay, destroyed);
  cmd->AttachDeleteHandler();
  return cmd;
}

bool WaitUntil(const std::function<bool()>& pred) {
  const auto end = std::chrono::steady_clock::now() + kDeadline;
  while (!pred()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(1ms);
  }
  return true;
}

void Shutdown(KJobThread* jt) {
  jt->Stop();
  jt->Release();
}

TEST(JobThread, DispatchesInPostingOrderAndReleasesOnce) {
  Log log;
  Recorder def("def", &log);
  std::atomic<int> destroyed{0};
  auto* jt = new KJobThread();
  jt->AddProcessor(&def, 0);
  for (uint16_t i = 0; i < 50; ++i) jt->PostCommand(Posted(9, i, 0, &destroyed));
  ASSERT_TRUE(jt->Start(1));
  EXPECT_FALSE(jt->Start(1));  // one dispatch thread only
  for (uint16_t i = 50; i < 100; ++i) jt->PostCommand(Posted(9, i, 0, &destroyed));
  EXPECT_EQ(0, jt->PostCommand(nullptr));

  ASSERT_TRUE(log.WaitProcessed(99));
  std::vector<uint16_t> expect(100);
  for (uint16_t i = 0; i < 100; ++i) expect[i] = i;
  EXPECT_EQ(expect, log.ProcessedSubids());
  ASSERT_TRUE(WaitUntil([&] { return destroyed.load() == 100; }));

  // A command without handler is dispatched but stays its creator's.
  TaggedCmd own(9, 500, 0, &destroyed);
  jt->PostCommand(&own);
  ASSERT_TRUE(log.WaitProcessed(500));
  Shutdown(jt);
  EXPECT_EQ(100, destroyed.load());
}

TEST(JobThread, DelayedCommandRunsAtItsDueTimeNotBehindSmallerDelay) {
  // A job due at 5000 must not wait behind one posted later with a smaller
  // delay (3000 posted at 4000, due at 7000).
  FakeClock clock;
  Log log;
  Recorder def("def", &log);
  auto* jt = new KJobThread(clock.Fn());
  jt->AddProcessor(&def, 0);
  ASSERT_TRUE(jt->Start(1));
  jt->PostCommand(Posted(9, 1, 5000));
  clock.SetJobTime(4000);
  jt->PostCommand(Posted(9, 2, 3000));
  jt->PostCommand(Posted(9, 90, 4999 - 4000));  // marker due at 4999
  clock.SetJobTime(4999);
  ASSERT_TRUE(log.WaitProcessed(90));
  EXPECT_EQ(std::vector<uint16_t>({90}), log.ProcessedSubids());

  clock.SetJobTime(5000);
  ASSERT_TRUE(log.WaitProcessed(1));
  jt->PostCommand(Posted(9, 91, 6999 - 5000));
  clock.SetJobTime(6999);
  ASSERT_TRUE(log.WaitProcessed(91));
  EXPECT_EQ(std::vector<uint16_t>({90, 1, 91}), log.ProcessedSubids());

  clock.SetJobTime(7000);
  ASSERT_TRUE(log.WaitProcessed(2));
  Shutdown(jt);
}

TEST(JobThread, DelayedOrderIsDueTimeThenPostingOrder) {
  FakeClock clock;
  Log log;
  Recorder def("def", &log);
  auto* jt = new KJobThread(clock.Fn());
  jt->AddProcessor(&def, 0);
  ASSERT_TRUE(jt->Start(1));
  std::vector<std::pair<uint64_t, uint16_t>> expect;
  for (uint16_t i = 0; i < 40; ++i) {
    const uint64_t delay = 100 + (i * 7) % 5 * 10;  // many ties
    jt->PostCommand(Posted(9, i, delay));
    expect.emplace_back(delay, i);
  }
  // A huge delay saturates instead of wrapping to "due now".
  jt->PostCommand(Posted(9, 999, UINT64_MAX));
  std::stable_sort(expect.begin(), expect.end(),
                   [](const auto& a, const auto& b) { return a.first < b.first; });
  clock.SetJobTime(1000);
  ASSERT_TRUE(log.WaitFor([](const std::vector<Event>& ev) {
    return std::count_if(ev.begin(), ev.end(),
                         [](const Event& e) { return e.what == "process"; }) == 40;
  }));
  std::vector<uint16_t> order;
  for (const auto& e : expect) order.push_back(e.second);
  EXPECT_EQ(order, log.ProcessedSubids());
  Shutdown(jt);
  EXPECT_EQ(40u, log.Count("process"));  // the saturated one was never due
}

TEST(JobThread, RealClockDelaysHoldAtLeastTheirDelay) {
  Log log;
  std::vector<std::chrono::steady_clock::time_point> at(2);
  Recorder def("def", &log);
  const auto t0 = std::chrono::steady_clock::now();
  def.on_process = [&](bs::CMD_base* cmd) { at[cmd->subid] = std::chrono::steady_clock::now(); };
  auto* jt = new KJobThread();
  jt->AddProcessor(&def, 0);
  ASSERT_TRUE(jt->Start(1));
  const auto posted = std::chrono::steady_clock::now();
  jt->PostCommand(Posted(9, 1, 300));
  jt->PostCommand(Posted(9, 0, 100));
  ASSERT_TRUE(log.WaitProcessed(1));
  Shutdown(jt);
  EXPECT_EQ(std::vector<uint16_t>({0, 1}), log.ProcessedSubids());
  // Job time counts whole milliseconds, so a delay may end up to 1 ms early.
  EXPECT_GE(at[0] - posted, 99ms);
  EXPECT_GE(at[1] - posted, 299ms);
  EXPECT_LT(at[1] - t0, 5s);
}

TEST(JobThread, APostWakesTheThread) {
  // Job time stands still: nothing but a post can make a pass before the
  // timer call's 101 ms. A polling thread would need a poll interval per
  // hand-off; a woken one needs microseconds.
  FakeClock clock;
  Log log;
  Recorder def("def", &log);
  auto* jt = new KJobThread(clock.Fn());
  jt->AddProcessor(&def, 0);
  ASSERT_TRUE(jt->Start(1));
  jt->PostCommand(Posted(9, 0));
  ASSERT_TRUE(log.WaitProcessed(0));
  const auto t0 = std::chrono::steady_clock::now();
  for (uint16_t i = 1; i <= 50; ++i) {
    jt->PostCommand(Posted(9, i));
    ASSERT_TRUE(log.WaitProcessed(i));
  }
  EXPECT_LT(std::chrono::steady_clock::now() - t0, 500ms);  // a 20 ms poll needs 1 s

  Shutdown(jt);
}

TEST(JobThread, KnowsItsOwnThreadAndChecksCallers) {
  Log log;
  Recorder def("def", &log);
  auto* jt = new KJobThread();
  EXPECT_TRUE(jt->MayActAsJobThread());  // before Start the caller acts for it
  EXPECT_FALSE(jt->IsJobThread());
  std::atomic<int> inside{-1};
  def.on_process = [&](bs::CMD_base*) {
    inside = jt->IsJobThread() && MayActAsJobThread(jt) ? 1 : 0;
  };
  jt->AddProcessor(&def, 0);
  ASSERT_TRUE(jt->Start(1));
  jt->PostCommand(Posted(9, 1));
  ASSERT_TRUE(WaitUntil([&] { return inside.load() != -1; }));  // set after the log entry
  EXPECT_EQ(1, inside.load());
  EXPECT_FALSE(jt->MayActAsJobThread());
  EXPECT_TRUE(MayActAsJobThread(nullptr));
#if Q_THREAD_CHECKS
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_DEATH(Q_CHECK_JOB_THREAD(jt),
               "job thread only: called from another thread at .*job_thread_test");
#endif
  Shutdown(jt);
}

TEST(JobThread, KindSelectsProcessorElseDefaultElseRelease) {
  Log log;
  Recorder p9("p9", &log), p12("p12", &log), def("def", &log);
  std::atomic<int> destroyed{0};
  {
    auto* jt = new KJobThread();
    jt->AddProcessor(&p9, 9);
    jt->AddProcessor(&p12, 12);
    jt->AddProcessor(&def, 0);
    ASSERT_TRUE(jt->Start(1));
    jt->PostCommand(Posted(9, 1, 0, &destroyed));
    jt->PostCommand(Posted(12, 2, 0, &destroyed));
    jt->PostCommand(Posted(13, 3, 0, &destroyed));
    jt->PostCommand(Posted(0, 4, 0, &destroyed));
    ASSERT_TRUE(log.WaitProcessed(4));
    Shutdown(jt);
    std::vector<std::string> who;
    for (const Event& e : log.Snapshot())
      if (e.what == "process") who.push_back(e.who);
    EXPECT_EQ(std::vector<std::string>({"p9", "p12", "def", "def"}), who);
    EXPECT_EQ(4, destroyed.load());
  }
  {
    Log log2;
    Recorder only9("p9", &log2);
    auto* jt = new KJobThread();
    jt->AddProcessor(&only9, 9);
    ASSERT_TRUE(jt->Start(1));
    jt->PostCommand(Posted(13, 5, 0, &destroyed));
    jt->PostCommand(Posted(9, 6, 0, &destroyed));
    ASSERT_TRUE(log2.WaitProcessed(6));
    ASSERT_TRUE(WaitUntil([&] { return destroyed.load() == 6; }));  // kind 13 only released
    Shutdown(jt);
    EXPECT_EQ(std::vector<uint16_t>({6}), log2.ProcessedSubids());
  }
}

TEST(JobThread, StartPassDefaultFirstThenAscendingKindsEachOnce) {
  Log log;
  Recorder a("a", &log), b("b", &log), def("def", &log);
  auto* jt = new KJobThread();
  jt->AddProcessor(&b, 12);
  jt->AddProcessor(&def, 0);
  jt->AddProcessor(&a, 9);
  jt->AddProcessor(&def, 3);
  jt->AddProcessor(&a, 20);
  ASSERT_TRUE(jt->Start(1));
  jt->PostCommand(Posted(9, 1));
  ASSERT_TRUE(log.WaitProcessed(1));
  Shutdown(jt);
  std::vector<std::string> starts;
  for (const Event& e : log.Snapshot()) {
    if (e.what == "start") {
      starts.push_back(e.who);
      EXPECT_NE(std::this_thread::get_id(), e.thread);
    }
  }
  EXPECT_EQ(std::vector<std::string>({"def", "a", "b"}), starts);
  EXPECT_EQ(static_cast<IJobProcessPool*>(jt), def.pool_);
}

TEST(JobThread, TimerPassFiresOnlyMoreThan100msAfterTheLast) {
  FakeClock clock;
  Log log;
  Recorder both("both", &log), p12("p12", &log);
  auto* jt = new KJobThread(clock.Fn());
  jt->AddProcessor(&both, 0);
  jt->AddProcessor(&both, 9);
  jt->AddProcessor(&p12, 12);
  // Delayed markers make the pass at a given job time observable: a marker
  // due at T is dispatched in the pass whose time is T.
  jt->PostCommand(Posted(5, 1, 0));
  jt->PostCommand(Posted(5, 2, 100));
  jt->PostCommand(Posted(5, 3, 201));
  ASSERT_TRUE(jt->Start(1));
  ASSERT_TRUE(log.WaitProcessed(1));  // first pass at 0: stamps the timer
  clock.SetJobTime(100);
  ASSERT_TRUE(log.WaitProcessed(2));  // pass at 100: not more than 100 after
  clock.SetJobTime(101);
  ASSERT_TRUE(log.WaitFor([](const std::vector<Event>& ev) {
    return std::count_if(ev.begin(), ev.end(), [](const Event& e) { return e.what == "timer"; }) ==
           3;
  }));
  clock.SetJobTime(201);
  ASSERT_TRUE(log.WaitProcessed(3));  // pass at 201: 100 after the last call
  clock.SetJobTime(202);
  ASSERT_TRUE(log.WaitFor([](const std::vector<Event>& ev) {
    return std::count_if(ev.begin(), ev.end(), [](const Event& e) { return e.what == "timer"; }) ==
           6;
  }));
  Shutdown(jt);

  std::vector<std::string> timers;
  for (const Event& e : log.Snapshot()) {
    if (e.what != "timer") continue;
    timers.push_back(e.who + "@" + std::to_string(e.now));
  }
  // Ascending kinds; the processor under kinds 0 and 9 is called twice.
  EXPECT_EQ(std::vector<std::string>(
                {"both@101", "both@101", "p12@101", "both@202", "both@202", "p12@202"}),
            std::vector<std::string>(timers.begin(),
                                     timers.begin() + std::min<size_t>(6, timers.size())));
  const std::vector<Event> all = log.Snapshot();
  EXPECT_EQ(1, std::count_if(all.begin(), all.end(),
                             [](const Event& e) { return e.what == "start" && e.who == "both"; }));
}

struct Probe {
  std::atomic<int> runs{0};
  std::atomic<bool> has_thread{false};
  std::thread::id thread;
};

void RunProbe(Probe* p) {
  p->thread = std::this_thread::get_id();
  p->has_thread.store(true);
  p->runs.fetch_add(1);
}

TEST(LambdaJob, RunsOnceOnTheJobThreadWhenReleasedUnprocessed) {
  Log log;
  Recorder def("def", &log);  // ignores kind 5, like the client frame's processor
  auto* jt = new KJobThread();
  jt->AddProcessor(&def, 0);
  ASSERT_TRUE(jt->Start(1));
  Probe probe;
  auto* job = new bs::CMD_LambdaFunction<Probe*>(RunProbe, 60, &probe);
  EXPECT_EQ(5, job->kind);
  EXPECT_EQ(0, job->subid);
  EXPECT_EQ(60u, job->delay);
  ASSERT_NE(nullptr, job->handler);
  const auto posted = std::chrono::steady_clock::now();
  jt->PostCommand(job);
  ASSERT_TRUE(WaitUntil([&] { return probe.runs.load() == 1; }));
  EXPECT_GE(std::chrono::steady_clock::now() - posted, 59ms);
  Shutdown(jt);
  EXPECT_EQ(1, probe.runs.load());
  ASSERT_TRUE(probe.has_thread.load());
  EXPECT_EQ(log.Snapshot().front().thread, probe.thread);
}

TEST(LambdaJob, RunThenDestroyRunsOnce) {
  Log log;
  Recorder runner("runner", &log);
  int late = 0;
  runner.on_process = [&](bs::CMD_base* cmd) {
    if (cmd->kind == 5) late = static_cast<bs::CMD_LambdaFunctionBase*>(cmd)->Run();
    if (cmd->kind == 5) static_cast<bs::CMD_LambdaFunctionBase*>(cmd)->Run();
  };
  auto* jt = new KJobThread();
  jt->AddProcessor(&runner, 5);
  ASSERT_TRUE(jt->Start(1));
  Probe probe;
  jt->PostCommand(new bs::CMD_LambdaFunction<Probe*>(RunProbe, 30, &probe));
  ASSERT_TRUE(log.WaitProcessed(0));
  Shutdown(jt);  // the job was released after Process returned
  EXPECT_EQ(1, probe.runs.load());
  EXPECT_GE(late, -1);  // run no earlier than its delay
  EXPECT_LT(late, 5000);

  // Destroyed without ever being posted: still runs once.
  Probe lone;
  auto* job = new bs::CMD_LambdaFunction<Probe*>(RunProbe, 1000, &lone);
  job->handler->Release();
  EXPECT_EQ(1, lone.runs.load());
}

TEST(JobThreadRelease, ReturnsPromptlyInEveryState) {
  using Clock = std::chrono::steady_clock;
  {
    auto* jt = new KJobThread();
    ASSERT_TRUE(jt->Start(1));
    jt->Stop();
    const auto t = Clock::now();
    jt->Release();
    EXPECT_LT(Clock::now() - t, 2s);
  }
  {
    auto* jt = new KJobThread();  // never started
    const auto t = Clock::now();
    jt->Release();
    EXPECT_LT(Clock::now() - t, 1s);
  }
  {
    auto* jt = new KJobThread();  // started, Stop forgotten
    ASSERT_TRUE(jt->Start(1));
    const auto t = Clock::now();
    jt->Release();
    EXPECT_LT(Clock::now() - t, 2s);
  }
}

TEST(JobThreadRelease, WaitingCommandsAreFreedNotDispatched) {
  Log log;
  Recorder def("def", &log);
  std::atomic<int> destroyed{0};
  auto* jt = new KJobThread();
  jt->AddProcessor(&def, 0);
  ASSERT_TRUE(jt->Start(1));
  jt->PostCommand(Posted(9, 1, 3600 * 1000, &destroyed));
  bs::CMD_base* held = Posted(9, 2, 3600 * 1000, &destroyed);
  held->handler->AddRef();  // a holder keeps it beyond the queue
  jt->PostCommand(held);
  Probe probe;
  jt->PostCommand(new bs::CMD_LambdaFunction<Probe*>(RunProbe, 3600 * 1000, &probe));
  TaggedCmd own(9, 3, 3600 * 1000, nullptr);  // no handler: stays the creator's
  jt->PostCommand(&own);
  jt->PostCommand(Posted(9, 4, 0, &destroyed));
  ASSERT_TRUE(log.WaitProcessed(4));
  Shutdown(jt);

  EXPECT_EQ(std::vector<uint16_t>({4}), log.ProcessedSubids());
  EXPECT_EQ(2, destroyed.load());   // 1 and 4; 2 is still held
  EXPECT_EQ(0, probe.runs.load());  // the job's work is not run at shut-down
  held->handler->Release();
  EXPECT_EQ(3, destroyed.load());
}

TEST(JobThread, ConcurrentPostersEachDispatchedOnceInTheirOrder) {
  constexpr int kThreads = 4, kPerThread = 2000;
  std::mutex m;
  std::vector<std::vector<int>> seen(kThreads);
  std::atomic<int> total{0};
  struct Proc : ICmdProcess {
    std::function<void(bs::CMD_base*)> fn;
    bool OnStart(int, IJobProcessPool*) override { return true; }
    void Reset() override {}
    void Process(bs::CMD_base* cmd, int) override { fn(cmd); }
    void OnTimer(uint64_t, int) override {}
  } proc;
  proc.fn = [&](bs::CMD_base* cmd) {
    std::lock_guard<std::mutex> lock(m);
    seen[cmd->subid].push_back(std::stoi(cmd->body));
    total.fetch_add(1);
  };
  std::atomic<int> destroyed{0};
  auto* jt = new KJobThread();
  jt->AddProcessor(&proc, 9);
  ASSERT_TRUE(jt->Start(1));
  std::vector<std::thread> posters;
  for (int t = 0; t < kThreads; ++t) {
    posters.emplace_back([&, t] {
      for (int i = 0; i < kPerThread; ++i) {
        bs::CMD_base* cmd = Posted(9, static_cast<uint16_t>(t), 0, &destroyed);
        cmd->body = std::to_string(i);
        jt->PostCommand(cmd);
      }
    });
  }
  for (auto& p : posters) p.join();
  ASSERT_TRUE(WaitUntil([&] { return destroyed.load() == kThreads * kPerThread; }));
  Shutdown(jt);
  EXPECT_EQ(kThreads * kPerThread, total.load());
  for (int t = 0; t < kThreads; ++t) {
    ASSERT_EQ(static_cast<size_t>(kPerThread), seen[t].size());
    for (int i = 0; i < kPerThread; ++i) ASSERT_EQ(i, seen[t][i]);
  }
}

}  // namespace
