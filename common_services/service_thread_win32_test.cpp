// The start and stop protocol of the three thread classes under Wine.
#include "common_services/include/zintal/service_thread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "common_services/include/zintal/get_msg_thread.h"
#include "common_services/include/zintal/peek_msg_thread.h"

namespace {

constexpr DWORD kDeadlineMs = 10000;

// A manual-reset event a test waits on with a deadline.
class Event {
 public:
  Event() : handle_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {}
  ~Event() { CloseHandle(handle_); }
  void Set() { SetEvent(handle_); }
  bool Wait(DWORD ms = kDeadlineMs) { return WaitForSingleObject(handle_, ms) == WAIT_OBJECT_0; }

 private:
  HANDLE handle_;
};

// Waits on the thread's handle, which the object keeps after the end.
template <class Thread>
bool WaitForEnd(Thread& t) {
  HANDLE handle = t.GetThreadHandle();
  return handle != nullptr && WaitForSingleObject(handle, kDeadlineMs) == WAIT_OBJECT_0 &&
         !t.IsRuning();
}

enum class Start { kOk, kFalse, kThrow };

class LoopThread : public CServiceThread {
 public:
  explicit LoopThread(Start start = Start::kOk) : start_(start) {}
  ~LoopThread() override { StopThread(INFINITE); }

  Start start_;
  int prepared = 0;  // written by the start step, read by the starter
  DWORD worker_id = 0;
  int turns_before_end = -1;  // < 0: run until stopped
  bool throw_in_loop = false;
  bool stop_self = false;
  bool stop_self_result = true;
  bool terminate_self = false;
  Event* hold = nullptr;  // the loop body waits for it
  Event in_loop;
  std::atomic<int> turns{0};
  std::atomic<int> stop_events{0};

 protected:
  bool OnThreadStratEvent() override {
    worker_id = GetCurrentThreadId();
    prepared = 42;
    if (start_ == Start::kThrow) throw std::runtime_error("no start");
    return start_ == Start::kOk;
  }
  bool OnThreadStopEvent() override {
    ++stop_events;
    return true;
  }
  bool OnThreadLoop() override {
    in_loop.Set();
    if (throw_in_loop) throw 7;
    if (terminate_self) TerminateThread(9);  // never returns
    if (stop_self) {
      stop_self_result = StopThread(INFINITE);
      return true;  // the cleared run flag ends the loop
    }
    if (hold != nullptr) hold->Wait();
    const int n = ++turns;
    if (turns_before_end < 0) Sleep(1);
    return turns_before_end < 0 || n < turns_before_end;
  }
};

TEST(ServiceThread, TheStarterSeesWhatTheStartStepSetUp) {
  LoopThread t;
  EXPECT_FALSE(t.IsRuning());
  EXPECT_TRUE(t.StopThread(INFINITE));  // never started
  ASSERT_TRUE(t.StartThread());
  EXPECT_EQ(t.prepared, 42);
  EXPECT_EQ(t.worker_id, t.GetThreadID());
  EXPECT_NE(t.GetThreadHandle(), nullptr);
  EXPECT_TRUE(t.IsRuning());
  EXPECT_TRUE(t.GetSetRun());
  EXPECT_FALSE(t.StartThread());  // already running: nothing new starts
  EXPECT_EQ(t.worker_id, t.GetThreadID());
  EXPECT_TRUE(t.StopThread(INFINITE));
  EXPECT_FALSE(t.GetSetRun());
  EXPECT_EQ(t.GetThreadHandle(), nullptr);
  EXPECT_EQ(t.GetThreadID(), 0u);
  EXPECT_EQ(t.stop_events, 1);
}

TEST(ServiceThread, AFailedStartRunsTheStopEventAndReturnsFalse) {
  for (Start how : {Start::kFalse, Start::kThrow}) {
    LoopThread t(how);
    EXPECT_FALSE(t.StartThread());
    EXPECT_EQ(t.stop_events, 1);  // it ran before StartThread returned
    EXPECT_EQ(t.turns, 0);
    EXPECT_FALSE(t.IsRuning());
    EXPECT_EQ(t.GetThreadHandle(), nullptr);
  }
}

TEST(ServiceThread, StopWithoutTimeOnABusyLoopFailsThenStopsForGood) {
  Event hold;
  LoopThread t;
  t.hold = &hold;
  ASSERT_TRUE(t.StartThread());
  ASSERT_TRUE(t.in_loop.Wait());
  EXPECT_FALSE(t.StopThread(0));
  EXPECT_FALSE(t.GetSetRun());
  EXPECT_TRUE(t.IsRuning());
  EXPECT_NE(t.GetThreadHandle(), nullptr);  // kept for the later stop
  hold.Set();
  EXPECT_TRUE(t.StopThread(INFINITE));
  EXPECT_EQ(t.turns, 1);  // the loop body returned, then the flag ended it
  EXPECT_EQ(t.stop_events, 1);
}

TEST(ServiceThread, EndsByItselfAndStartsAgain) {
  LoopThread t;
  t.turns_before_end = 3;
  ASSERT_TRUE(t.StartThread());
  ASSERT_TRUE(WaitForEnd(t));
  EXPECT_EQ(t.turns, 3);
  EXPECT_NE(t.GetThreadHandle(), nullptr);  // the ended thread's handle stays
  ASSERT_TRUE(t.StartThread());
  ASSERT_TRUE(WaitForEnd(t));
  EXPECT_EQ(t.turns, 4);  // the count goes on: 4 is not below 3
  EXPECT_EQ(t.stop_events, 2);
}

TEST(ServiceThread, AThrowingLoopBodyEndsTheLoop) {
  LoopThread t;
  t.throw_in_loop = true;
  ASSERT_TRUE(t.StartThread());
  ASSERT_TRUE(WaitForEnd(t));
  EXPECT_EQ(t.stop_events, 1);
  EXPECT_TRUE(t.GetSetRun());  // ended by the loop, not by a stop
}

TEST(ServiceThread, StopOnTheWorkerItselfDoesNotWaitForItself) {
  LoopThread t;
  t.stop_self = true;
  ASSERT_TRUE(t.StartThread());
  ASSERT_TRUE(WaitForEnd(t));
  EXPECT_FALSE(t.stop_self_result);
  EXPECT_TRUE(t.StopThread(INFINITE));
}

TEST(ServiceThread, Terminate) {
  Event hold;
  LoopThread t;
  t.hold = &hold;
  ASSERT_TRUE(t.StartThread());
  ASSERT_TRUE(t.in_loop.Wait());
  EXPECT_TRUE(t.TerminateThread(5));
  EXPECT_FALSE(t.IsRuning());
  EXPECT_EQ(t.GetThreadHandle(), nullptr);
  EXPECT_EQ(t.stop_events, 0);  // terminated: no stop event
  EXPECT_TRUE(t.TerminateThread(5));
}

template <class Fn>
DWORD WINAPI RunJob(void* job) {
  (*static_cast<Fn*>(job))();
  return 0;
}

// Runs `fn` on a thread of its own; false when it has not returned within
// the deadline (the thread and what it uses are then left behind).
template <class Fn>
bool ReturnsWithin(DWORD ms, Fn fn) {
  auto* job = new Fn(std::move(fn));
  HANDLE h = CreateThread(nullptr, 0, &RunJob<Fn>, job, 0, nullptr);
  const bool returned = WaitForSingleObject(h, ms) == WAIT_OBJECT_0;
  CloseHandle(h);
  if (returned) delete job;
  return returned;
}

// Captures what this process writes with OutputDebugStringA: each line
// reaches the vectored handlers as a DBG_PRINTEXCEPTION_C exception first.
class DebugOutput {
 public:
  DebugOutput() : handler_(AddVectoredExceptionHandler(1, &Catch)) { Text().clear(); }
  ~DebugOutput() { RemoveVectoredExceptionHandler(handler_); }
  std::string Lines() {
    std::lock_guard<std::mutex> hold(Mutex());
    return Text();
  }

 private:
  static std::string& Text() {
    static std::string text;
    return text;
  }
  static std::mutex& Mutex() {
    static std::mutex mutex;
    return mutex;
  }
  static LONG CALLBACK Catch(EXCEPTION_POINTERS* e) {
    const EXCEPTION_RECORD* r = e->ExceptionRecord;
    if (r->ExceptionCode == kDebugPrint && r->NumberParameters >= 2) {
      std::lock_guard<std::mutex> hold(Mutex());
      Text() += reinterpret_cast<const char*>(r->ExceptionInformation[1]);
    }
    return EXCEPTION_CONTINUE_SEARCH;
  }
  static constexpr DWORD kDebugPrint = 0x40010006;  // DBG_PRINTEXCEPTION_C

  void* handler_;
};

// True once a stop on another thread has cleared the run flag (it then
// waits for the loop), within the deadline.
bool StopHasBegun(CServiceThread& t) {
  const DWORD until = GetTickCount() + kDeadlineMs;
  while (t.GetSetRun() && GetTickCount() < until) Sleep(1);
  return !t.GetSetRun();
}

// Terminates a thread of the test's own, as a host would, and closes it.
bool Kill(HANDLE thread) {
  ::TerminateThread(thread, 1);
  const bool ended = WaitForSingleObject(thread, kDeadlineMs) == WAIT_OBJECT_0;
  CloseHandle(thread);
  return ended;
}

constexpr char kTwoControllers[] = "controlling thread (one at a time) only";

// Control handed between threads one call after another is fine; a second
// controlling thread while a stop still waits is reported on the debugger
// output, and both calls go on to a sound end.
TEST(ServiceThread, TwoControllingThreadsAtOnceAreReportedAndGoOn) {
  DebugOutput debug_output;
  {
    LoopThread t;
    ASSERT_TRUE(t.StartThread());
    std::thread([&] { EXPECT_TRUE(t.StopThread(INFINITE)); }).join();
  }
  EXPECT_EQ(debug_output.Lines().find(kTwoControllers), std::string::npos);

  Event hold;
  LoopThread t;
  t.hold = &hold;
  ASSERT_TRUE(t.StartThread());
  ASSERT_TRUE(t.in_loop.Wait());
  bool stopped = false;
  std::thread stopper([&] { stopped = t.StopThread(INFINITE); });
  EXPECT_TRUE(StopHasBegun(t));
  EXPECT_TRUE(t.TerminateThread(1));
  hold.Set();
  stopper.join();
  EXPECT_TRUE(stopped);
  EXPECT_EQ(t.GetThreadHandle(), nullptr);
  EXPECT_NE(debug_output.Lines().find(kTwoControllers), std::string::npos) << debug_output.Lines();
}

// A control call that never returned (the worker terminating itself, a
// controlling thread terminated while it waits) leaves nothing that later
// calls, or a new object at the same address, take for a second
// controlling thread: the later stop finds the thread ended and closes it.
TEST(ServiceThread, ControlCallsThatNeverReturnedCountForNothing) {
  DebugOutput debug_output;
  alignas(LoopThread) unsigned char place[sizeof(LoopThread)];
  {
    SCOPED_TRACE("the worker terminates itself");
    auto* t = new (place) LoopThread;
    t->terminate_self = true;
    ASSERT_TRUE(t->StartThread());
    ASSERT_TRUE(WaitForEnd(*t));
    EXPECT_NE(t->GetThreadHandle(), nullptr);  // left to the next call
    EXPECT_TRUE(t->StopThread(INFINITE));
    EXPECT_EQ(t->GetThreadHandle(), nullptr);
    t->~LoopThread();
  }
  {
    SCOPED_TRACE("a new object at the same address, whose controller is terminated");
    Event hold;
    auto* t = new (place) LoopThread;
    t->hold = &hold;
    ASSERT_TRUE(t->StartThread());
    ASSERT_TRUE(t->in_loop.Wait());
    auto stop = [t] { t->StopThread(INFINITE); };
    HANDLE controller = CreateThread(nullptr, 0, &RunJob<decltype(stop)>, &stop, 0, nullptr);
    ASSERT_TRUE(StopHasBegun(*t));
    ASSERT_TRUE(Kill(controller));
    hold.Set();
    EXPECT_TRUE(t->StopThread(INFINITE));
    EXPECT_EQ(t->GetThreadHandle(), nullptr);
    ASSERT_TRUE(t->StartThread());
    EXPECT_TRUE(t->StopThread(INFINITE));
    t->~LoopThread();
  }
  EXPECT_EQ(debug_output.Lines().find(kTwoControllers), std::string::npos) << debug_output.Lines();
}

// A thread stopped in its tracks anywhere inside IsRuning or GetThreadID
// (suspended here: a thread a host terminated there stays so for good)
// holds up none of the stops and starts that follow. (Terminating it at
// random points instead hung this program now and then inside Wine.)
TEST(ServiceThread, AThreadCutShortWhileAskingBlocksNoLaterCall) {
  auto* t = new LoopThread;  // left behind when a call below hangs
  ASSERT_TRUE(t->StartThread());
  std::atomic<bool> done{false};
  std::atomic<long> asked{0};
  auto ask = [t, &asked, &done] {
    while (!done) {
      t->IsRuning();
      t->GetThreadID();
      ++asked;
    }
  };
  HANDLE asker = CreateThread(nullptr, 0, &RunJob<decltype(ask)>, &ask, 0, nullptr);
  auto controlled = std::make_shared<std::atomic<bool>>(true);
  for (int round = 0; round < 20 && *controlled; ++round) {
    const long before = asked;
    const DWORD until = GetTickCount() + kDeadlineMs;
    while (asked < before + 10 + round && GetTickCount() < until) Sleep(0);
    SuspendThread(asker);
    const bool returned = ReturnsWithin(kDeadlineMs, [t, controlled] {
      *controlled = t->StopThread(INFINITE) && t->StartThread();
    });
    if (!returned) *controlled = false;
    ResumeThread(asker);
  }
  done = true;
  EXPECT_EQ(WaitForSingleObject(asker, kDeadlineMs), WAIT_OBJECT_0);
  CloseHandle(asker);
  ASSERT_TRUE(*controlled) << "a stop or start waited for a thread cut short";
  delete t;
}

// Handles of this process, counted by asking for each small handle value.
int CountHandles() {
  int count = 0;
  for (uintptr_t value = 4; value < 4 * 8192; value += 4) {
    DWORD flags = 0;
    if (GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags)) ++count;
  }
  return count;
}

// Deletes itself in its stop event, once the test let its loop end.
class DeletesItself : public CServiceThread {
 public:
  ~DeletesItself() override { StopThread(INFINITE); }
  Event go;

 protected:
  bool OnThreadLoop() override {
    go.Wait();
    return false;
  }
  bool OnThreadStopEvent() override {
    delete this;
    return true;
  }
};

TEST(ServiceThread, AnObjectDeletedOnItsOwnThreadClosesItsHandleQuietly) {
  DebugOutput debug_output;
  auto cycle = [] {
    auto* t = new DeletesItself;
    ASSERT_TRUE(t->StartThread());
    HANDLE thread = nullptr;
    ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), t->GetThreadHandle(), GetCurrentProcess(),
                                &thread, SYNCHRONIZE, FALSE, 0));
    t->go.Set();  // from here the object is the thread's
    ASSERT_EQ(WaitForSingleObject(thread, kDeadlineMs), WAIT_OBJECT_0);
    CloseHandle(thread);
  };
  for (int i = 0; i < 5; ++i) cycle();
  const int before = CountHandles();
  for (int i = 0; i < 300; ++i) cycle();
  EXPECT_LT(CountHandles() - before, 20) << "handles before: " << before;
  EXPECT_EQ(debug_output.Lines().find("stopping it now"), std::string::npos)
      << debug_output.Lines();
}

// A CGetMsgThread subclass idle in GetMessageA that leaves the stop to the
// base destructor.
class CarelessGetThread : public CGetMsgThread {
 public:
  ~CarelessGetThread() override = default;

 protected:
  bool OnThreadMessage(MSG*) override { return true; }
};

TEST(ServiceThread, TheBaseDestructorStopsAThreadStillRunningAndSaysWhy) {
  DebugOutput debug_output;
  auto* t = new CarelessGetThread;
  ASSERT_TRUE(t->StartThread());
  HANDLE thread = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), t->GetThreadHandle(), GetCurrentProcess(),
                              &thread, SYNCHRONIZE, FALSE, 0));
  delete t;                                                  // the process goes on
  EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0);  // ended before the delete returned
  CloseHandle(thread);
  const std::string advice = debug_output.Lines();
  EXPECT_NE(advice.find("CGetMsgThread destroyed while its thread still runs"), std::string::npos)
      << advice;
  EXPECT_NE(advice.find("stop its thread (StopThread) in its own destructor"), std::string::npos);

  // A thread stopped by its own class's destructor draws no advice.
  struct Careful : CarelessGetThread {
    ~Careful() override { StopThread(INFINITE); }
  };
  {
    Careful careful;
    ASSERT_TRUE(careful.StartThread());
  }
  EXPECT_EQ(debug_output.Lines(), advice);
}

// A thread that ends inside its start step, before it can signal the starter.
class EndsWhileStarting : public CServiceThread {
 public:
  enum class How { kExitThread, kTerminatedFromElsewhere, kStarts };
  explicit EndsWhileStarting(How how) : how(how) {}
  ~EndsWhileStarting() override { StopThread(INFINITE); }
  How how;
  std::atomic<int> stop_events{0};

 protected:
  bool OnThreadStratEvent() override {
    if (how == How::kExitThread) ExitThread(3);
    if (how == How::kTerminatedFromElsewhere) {
      HANDLE self = OpenThread(THREAD_TERMINATE, FALSE, GetCurrentThreadId());
      std::thread([self] {
        ::TerminateThread(self, 4);
        CloseHandle(self);
      }).detach();
      Event().Wait();  // never set: ended by the other thread long before
    }
    return true;
  }
  bool OnThreadStopEvent() override {
    ++stop_events;
    return true;
  }
  bool OnThreadLoop() override { return false; }
};

TEST(ServiceThread, AThreadEndingInsideItsStartStepFailsTheStart) {
  for (auto how :
       {EndsWhileStarting::How::kExitThread, EndsWhileStarting::How::kTerminatedFromElsewhere}) {
    SCOPED_TRACE(static_cast<int>(how));
    auto* t = new EndsWhileStarting(how);
    bool started = true;
    ASSERT_TRUE(ReturnsWithin(kDeadlineMs, [t, &started] { started = t->StartThread(); }))
        << "StartThread still waits for a start event that will never come";
    EXPECT_FALSE(started);
    EXPECT_FALSE(t->IsRuning());
    EXPECT_EQ(t->GetThreadHandle(), nullptr);  // the ended thread was stopped
    EXPECT_EQ(t->stop_events, 0);
    t->how = EndsWhileStarting::How::kStarts;  // the object starts again
    EXPECT_TRUE(t->StartThread());
    EXPECT_TRUE(t->StopThread(INFINITE));
    delete t;
  }
}

// A thread whose loop ends at once, started and stopped over and over.
class ShortLived : public CServiceThread {
 public:
  ~ShortLived() override { StopThread(INFINITE); }

 protected:
  bool OnThreadLoop() override { return false; }
};

// Several threads ask IsRuning while the controlling thread starts and
// stops the object, and others create and close handles, so that a closed
// handle's value soon names another object. Whenever the object's last
// thread had ended before a question and no start was asked for before its
// answer, the answer must be false.
TEST(ServiceThread, IsRuningFromOtherThreadsDuringStartsAndStops) {
  ShortLived t;
  std::atomic<int> requested{0};  // generation of the last start asked for
  std::atomic<int> ended{0};      // generation whose thread has ended
  std::atomic<bool> done{false};
  std::atomic<long> asked{0};
  std::atomic<long> wrong{0};
  std::vector<std::thread> others;
  for (int i = 0; i < 3; ++i) {
    others.emplace_back([&] {
      while (!done) {
        const int r0 = requested;
        const int e0 = ended;
        const bool running = t.IsRuning();
        const int r1 = requested;
        if (running && r0 == e0 && r1 == r0) ++wrong;
        ++asked;
      }
    });
  }
  for (int i = 0; i < 2; ++i) {
    others.emplace_back([&] {
      while (!done) CloseHandle(CreateEventA(nullptr, TRUE, FALSE, nullptr));
    });
  }
  const DWORD until = GetTickCount() + 3000;
  int cycles = 0;
  for (int k = 1; GetTickCount() < until; ++k, ++cycles) {
    requested = k;
    ASSERT_TRUE(t.StartThread());
    ASSERT_EQ(WaitForSingleObject(t.GetThreadHandle(), kDeadlineMs), WAIT_OBJECT_0);
    ended = k;
    ASSERT_TRUE(t.StopThread(INFINITE));  // closes the ended thread's handle
  }
  done = true;
  for (auto& th : others) th.join();
  EXPECT_EQ(wrong, 0) << "of " << asked << " answers in " << cycles << " cycles";
  EXPECT_GT(cycles, 10);
}

class PeekThread : public CPeekMsgThread {
 public:
  ~PeekThread() override { StopThread(INFINITE); }
  std::vector<UINT> got;  // worker only until the thread ended
  Event got_second;
  Event idled;
  std::atomic<int> idles{0};
  std::atomic<int> stop_events{0};
  bool throw_on_message = false;

 protected:
  bool OnThreadStopEvent() override {
    ++stop_events;
    return true;
  }
  bool OnThreadMessage(MSG* msg) override {
    if (throw_on_message) throw std::runtime_error("bad message");
    got.push_back(msg->message);
    if (got.size() == 2) got_second.Set();
    return msg->message == WM_APP + 1;  // WM_APP + 2 goes on to DispatchMessageA
  }
  bool OnThreadIdle() override {
    ++idles;
    idled.Set();
    Sleep(1);
    return true;
  }
};

TEST(PeekMsgThread, MessagesPostedRightAfterTheStartArriveAndWmQuitEndsTheLoop) {
  PeekThread t;
  EXPECT_FALSE(t.PostThreadMessageA(WM_APP + 1, 0, 0));  // not started
  ASSERT_TRUE(t.StartThread());
  EXPECT_TRUE(t.PostThreadMessageA(WM_APP + 1, 1, 2));
  EXPECT_TRUE(t.PostThreadMessageA(WM_APP + 2, 3, 4));
  ASSERT_TRUE(t.got_second.Wait());
  ASSERT_TRUE(t.idled.Wait());  // the queue ran empty
  EXPECT_TRUE(t.PostThreadMessageA(WM_QUIT, 0, 0));
  ASSERT_TRUE(WaitForEnd(t));
  EXPECT_TRUE(t.GetSetRun());  // WM_QUIT, not the run flag, ended it
  EXPECT_EQ(t.got, (std::vector<UINT>{WM_APP + 1, WM_APP + 2}));
  EXPECT_EQ(t.stop_events, 1);
  EXPECT_TRUE(t.StopThread(INFINITE));
}

TEST(PeekMsgThread, StopAndAThrowingMessageHandlerBothEndTheLoop) {
  {
    PeekThread t;
    ASSERT_TRUE(t.StartThread());
    EXPECT_TRUE(t.StopThread(INFINITE));
    EXPECT_EQ(t.stop_events, 1);
  }
  PeekThread t;
  t.throw_on_message = true;
  ASSERT_TRUE(t.StartThread());
  EXPECT_TRUE(t.PostThreadMessageA(WM_APP, 0, 0));
  ASSERT_TRUE(WaitForEnd(t));
  EXPECT_EQ(t.stop_events, 1);
}

class GetThread : public CGetMsgThread {
 public:
  ~GetThread() override { StopThread(INFINITE); }
  std::vector<UINT> got;
  Event got_one;
  std::atomic<int> stop_events{0};

 protected:
  bool OnThreadStopEvent() override {
    ++stop_events;
    return true;
  }
  bool OnThreadMessage(MSG* msg) override {
    got.push_back(msg->message);
    got_one.Set();
    return false;
  }
};

TEST(GetMsgThread, BlocksForMessagesAndEndsOnWmQuitOrStop) {
  {
    GetThread t;
    EXPECT_FALSE(t.PostThreadMessageA(WM_APP, 0, 0));
    ASSERT_TRUE(t.StartThread());
    EXPECT_TRUE(t.PostThreadMessageA(WM_APP + 5, 0, 0));
    ASSERT_TRUE(t.got_one.Wait());
    EXPECT_TRUE(t.IsRuning());  // blocked in GetMessageA
    EXPECT_TRUE(t.PostThreadMessageA(WM_QUIT, 0, 0));
    ASSERT_TRUE(WaitForEnd(t));
    EXPECT_EQ(t.got, std::vector<UINT>{WM_APP + 5});
    EXPECT_EQ(t.stop_events, 1);
  }
  // A stop right after the start: the WM_QUIT it posts finds the queue.
  for (int i = 0; i < 20; ++i) {
    GetThread t;
    ASSERT_TRUE(t.StartThread());
    ASSERT_TRUE(t.StopThread(kDeadlineMs)) << i;
    EXPECT_EQ(t.stop_events, 1);
  }
}

}  // namespace
