#include "netcore/shm/win_ipc.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "netcore/shm/win_ipc_test_recorder.h"

namespace {

int64_t NextChannelId() {
  static int64_t id = (int64_t(GetTickCount()) << 20) + 7000000000LL;
  return ++id;
}

std::string Pattern(size_t n, unsigned seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = char((i * 7 + seed * 13 + (i >> 10)) & 0xff);
  return s;
}

bool RegionExists(const std::string& queue) {
  CXQueue probe;
  return probe.Open(queue.c_str()) == kXqOk;
}

TEST(WinIpcTest, BaseNameFormat) {
  EXPECT_EQ(bsc::WinIpcImpl::BaseName(1234, 5), "cs20151234_5");
  EXPECT_EQ(bsc::WinIpcImpl::BaseName(7, 123456789012345LL), "cs20157_123456789012345");
}

// Creator and opener in one process: each direction in order, intact.
TEST(WinIpcTest, CreatorAndOpenerExchangeMessagesInOrder) {
  const int32_t pid = int32_t(GetCurrentProcessId());
  const int64_t id = NextChannelId();
  IpcRecorder gate_rx, game_rx;
  bsc::WinIpcImpl gate, game;
  ASSERT_TRUE(gate.Open(pid, id, &gate_rx, false));
  ASSERT_TRUE(game.Open(pid, id, &game_rx, true));
  const std::string base = bsc::WinIpcImpl::BaseName(pid, id);
  EXPECT_TRUE(RegionExists(base + "_s"));
  EXPECT_TRUE(RegionExists(base + "_c"));

  const std::vector<std::string> to_game = {"a", Pattern(1000, 1), Pattern(1001, 2),
                                            Pattern(300000, 3)};
  const std::vector<std::string> to_gate = {Pattern(5, 4), Pattern(70000, 5)};
  for (const auto& m : to_game) gate.Send(m.data(), int(m.size()));
  for (const auto& m : to_gate) game.Send(m.data(), int(m.size()));
  ASSERT_TRUE(game_rx.WaitFor(to_game.size()));
  ASSERT_TRUE(gate_rx.WaitFor(to_gate.size()));
  EXPECT_EQ(game_rx.Messages(), to_game);
  EXPECT_EQ(gate_rx.Messages(), to_gate);
  EXPECT_NE(gate.LastReceiveTime(), 0);

  // A second Open of a running channel fails and leaves it working.
  EXPECT_FALSE(gate.Open(pid, id, &gate_rx, false));
  game.Send("again", 5);
  EXPECT_TRUE(gate_rx.WaitForText("again"));
  game.Close();
  gate.Close();
  EXPECT_FALSE(RegionExists(base + "_s"));
  EXPECT_FALSE(RegionExists(base + "_c"));
}

// Answers every message at once on the worker, as a game does.
class Echo final : public bsc::IWinIpcCallback {
 public:
  bsc::WinIpcImpl* channel = nullptr;
  void OnReceive(const char* data, int length) override { channel->Send(data, length); }
};

// The worker wakes for a stored message and for a Send, and reads all that
// waits: neither a burst nor a round trip waits for a 40 ms cycle.
TEST(WinIpcTest, BurstsAndRoundTripsDoNotWaitForACycle) {
  const int32_t pid = int32_t(GetCurrentProcessId());
  const int64_t id = NextChannelId();
  IpcRecorder gate_rx;
  Echo echo;
  bsc::WinIpcImpl gate, game;
  echo.channel = &game;
  ASSERT_TRUE(gate.Open(pid, id, &gate_rx, false));
  ASSERT_TRUE(game.Open(pid, id, &echo, true));

  const DWORD t0 = GetTickCount();
  constexpr int kBurst = 100;
  std::vector<std::string> sent;
  for (int i = 0; i < kBurst; ++i) sent.push_back("burst " + std::to_string(i));
  for (const auto& m : sent) gate.Send(m.data(), int(m.size()));
  ASSERT_TRUE(gate_rx.WaitFor(kBurst));
  EXPECT_EQ(gate_rx.Messages(), sent);
  EXPECT_LT(GetTickCount() - t0, 2000u);  // one message a cycle would take 4 s

  const DWORD t1 = GetTickCount();
  constexpr int kRoundTrips = 50;
  for (int i = 0; i < kRoundTrips; ++i) {
    gate.Send("ping", 4);
    ASSERT_TRUE(gate_rx.WaitFor(size_t(kBurst + i + 1)));
  }
  EXPECT_LT(GetTickCount() - t1, 1000u);  // a 40 ms cycle a hop would take 4 s
}

// Holds the named mutex of `queue` on a thread of its own until Release
// (a Windows mutex belongs to a thread). With a message, that thread first
// stores it in the queue: its owner may take the mutex again, so the
// message is whole and notified while the mutex stays held.
class MutexHolder {
 public:
  explicit MutexHolder(const std::string& queue, const std::string& message = std::string())
      : queue_(queue),
        message_(message),
        mutex_(OpenMutexA(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE,
                          MakeXQueueNames(queue.c_str()).mutex.c_str())),
        held_(CreateEventA(nullptr, TRUE, FALSE, nullptr)),
        release_(CreateEventA(nullptr, TRUE, FALSE, nullptr)) {
    thread_ = std::thread([this] {
      if (WaitForSingleObject(mutex_, 5000) != WAIT_OBJECT_0) return;
      CXQueue writer;
      ok_ = message_.empty() || (writer.Open(queue_.c_str()) == kXqOk &&
                                 writer.Write(message_.data(), uint32_t(message_.size())) == kXqOk);
      SetEvent(held_);
      WaitForSingleObject(release_, 20000);
      ReleaseMutex(mutex_);
    });
  }
  ~MutexHolder() {
    Release();
    CloseHandle(mutex_);
    CloseHandle(held_);
    CloseHandle(release_);
  }
  bool WaitHeld() { return WaitForSingleObject(held_, 5000) == WAIT_OBJECT_0 && ok_; }
  void Release() {
    SetEvent(release_);
    if (thread_.joinable()) thread_.join();
  }

 private:
  const std::string queue_;
  const std::string message_;
  HANDLE mutex_;
  HANDLE held_;
  HANDLE release_;
  std::atomic<bool> ok_{false};
  std::thread thread_;
};

// A read refused on the queue mutex, and a write that timed out on it, have
// used up the signal that woke the worker: it must come back to them by
// itself, and does so while the channel is otherwise idle.
TEST(WinIpcTest, RefusedReadAndFailedWriteAreRetriedWithoutANewSignal) {
  const int32_t pid = int32_t(GetCurrentProcessId());
  const int64_t id = NextChannelId();
  const std::string base = bsc::WinIpcImpl::BaseName(pid, id);
  IpcRecorder gate_rx, game_rx;
  bsc::WinIpcImpl gate, game;
  ASSERT_TRUE(gate.Open(pid, id, &gate_rx, false));
  ASSERT_TRUE(game.Open(pid, id, &game_rx, true));

  {
    // Stored and notified under a held mutex: the gate's worker wakes, finds
    // the message whole, and its read times out on the mutex.
    MutexHolder holder(base + "_s", "refused read");
    ASSERT_TRUE(holder.WaitHeld());
    Sleep(3 * bsc::WinIpcImpl::kReadMutexTimeoutMs);
    EXPECT_EQ(gate_rx.Messages().size(), 0u);
    holder.Release();  // nothing signals the worker after this
    EXPECT_TRUE(gate_rx.WaitForText("refused read", 5));
  }
  {
    // The gate's write to the game times out on the game queue's mutex.
    MutexHolder holder(base + "_c");
    ASSERT_TRUE(holder.WaitHeld());
    gate.Send("failed write", 12);
    Sleep(3 * bsc::WinIpcImpl::kReadMutexTimeoutMs);
    EXPECT_EQ(game_rx.Messages().size(), 0u);
    holder.Release();
    EXPECT_TRUE(game_rx.WaitForText("failed write", 5));
  }
  EXPECT_EQ(gate_rx.Messages(), std::vector<std::string>{"refused read"});
  EXPECT_EQ(game_rx.Messages(), std::vector<std::string>{"failed write"});
}

// A fresh channel name of this process, for tests that map its queues as
// the game's side themselves.
struct ChannelName {
  const int32_t pid = int32_t(GetCurrentProcessId());
  const int64_t id = NextChannelId();
  std::string Queue(const char* side) const { return bsc::WinIpcImpl::BaseName(pid, id) + side; }
};

// Drains `queue` as a game would, keeping what it reads, until `count`
// messages came or `seconds` passed.
std::vector<std::string> ReadAsGame(CXQueue& queue, size_t count, int seconds) {
  std::vector<std::string> got;
  std::vector<char> buffer(xqueue::kRegionSize);
  const DWORD start = GetTickCount();
  while (got.size() < count && GetTickCount() - start < DWORD(seconds) * 1000) {
    uint32_t length = uint32_t(buffer.size());
    int32_t message_id = 0;
    if (queue.Read(buffer.data(), &length, &message_id, nullptr, 100) == kXqOk) {
      got.emplace_back(buffer.data(), length);
    } else {
      WaitForSingleObject(HANDLE(queue.NotifyEvent()), 100);
    }
  }
  return got;
}

// A game that stops reading while its queue is full: the worker looks at
// the queue again every cycle instead of polling the free count (100 sleeps
// a write, then at once again), and once the game reads again everything
// arrives, in order.
TEST(WinIpcTest, FullQueueOfAStalledGameCostsAFewWakeUpsASecondAndLosesNothing) {
  const ChannelName name;
  IpcRecorder gate_rx;
  bsc::WinIpcImpl gate;
  ASSERT_TRUE(gate.Open(name.pid, name.id, &gate_rx, false));
  CXQueue game;  // opened, never read until the end
  ASSERT_EQ(game.Open(name.Queue("_c").c_str()), kXqOk);

  std::vector<std::string> sent;
  for (int i = 0; i < 1100; ++i) sent.push_back(Pattern(900, unsigned(i)));  // one block each
  for (const auto& m : sent) gate.Send(m.data(), int(m.size()));
  const DWORD start = GetTickCount();
  while (game.HasRoomFor(1) && GetTickCount() - start < 10000) Sleep(10);
  ASSERT_FALSE(game.HasRoomFor(1)) << "the queue never filled";

  const uint64_t before = gate.WakeUps();
  const DWORD t0 = GetTickCount();
  Sleep(1000);  // a window to count in, not a wait for a condition
  const double seconds = double(GetTickCount() - t0) / 1000.0;
  const double per_second = double(gate.WakeUps() - before) / seconds;
  // One look every 40 ms is 25 a second; polling costs about a thousand.
  EXPECT_LE(per_second, 60.0);
  std::printf("wake-ups a second with a full queue: %.0f\n", per_second);

  EXPECT_EQ(ReadAsGame(game, sent.size(), 20), sent);
}

// Delivers slowly, as the client's relay does for a game that floods it.
class SlowRecorder final : public bsc::IWinIpcCallback {
 public:
  void OnReceive(const char*, int) override {
    received.fetch_add(1);
    Sleep(2);
  }
  std::atomic<int> received{0};
};

// A game that writes without pause keeps its queue non-empty; records for
// the game still go out meanwhile.
TEST(WinIpcTest, RecordsForAGameThatWritesWithoutPauseStillArrive) {
  const ChannelName name;
  SlowRecorder gate_rx;
  bsc::WinIpcImpl gate;
  ASSERT_TRUE(gate.Open(name.pid, name.id, &gate_rx, false));
  CXQueue game_in, game_out;
  ASSERT_EQ(game_in.Open(name.Queue("_c").c_str()), kXqOk);
  ASSERT_EQ(game_out.Open(name.Queue("_s").c_str()), kXqOk);

  std::atomic<bool> flooding{true};
  std::thread flood([&] {
    const std::string record = Pattern(200, 9);
    while (flooding) game_out.Write(record.data(), uint32_t(record.size()));
  });
  // Let the flood fill the gate's queue beyond what the slow reader keeps up with.
  const DWORD start = GetTickCount();
  while (game_out.HasRoomFor(xqueue::kPayloadSize * 200) && GetTickCount() - start < 10000) {
    Sleep(10);
  }
  const std::vector<std::string> to_game = {"first for the game", "second for the game"};
  for (const auto& m : to_game) gate.Send(m.data(), int(m.size()));
  const std::vector<std::string> got = ReadAsGame(game_in, to_game.size(), 5);
  const bool still_flooding = !game_out.HasRoomFor(1) || gate_rx.received.load() > 0;
  flooding = false;
  flood.join();
  EXPECT_TRUE(still_flooding);
  EXPECT_EQ(got, to_game);
  EXPECT_GT(gate_rx.received.load(), 0);
}

TEST(WinIpcTest, OpenOfAMissingChannelFailsAndCloseThenDoesNothing) {
  IpcRecorder rx;
  {
    bsc::WinIpcImpl game;
    EXPECT_FALSE(game.Open(int32_t(GetCurrentProcessId()), NextChannelId(), &rx, true));
    game.Close();
    game.Close();
    game.Send("queued", 6);  // only queued; no worker, no queue
  }                          // destructor after a failed Open
  bsc::WinIpcImpl never_opened;
  never_opened.Close();
}

TEST(WinIpcTest, CloseRightAfterOpenStopsTheWorkerAndClosesTheQueues) {
  const int32_t pid = int32_t(GetCurrentProcessId());
  for (int i = 0; i < 20; ++i) {
    const int64_t id = NextChannelId();
    IpcRecorder rx;
    bsc::WinIpcImpl gate;
    ASSERT_TRUE(gate.Open(pid, id, &rx, false));
    gate.Close();
    const std::string base = bsc::WinIpcImpl::BaseName(pid, id);
    EXPECT_FALSE(RegionExists(base + "_s"));
    EXPECT_FALSE(RegionExists(base + "_c"));
    // Open again after Close: a fresh worker.
    ASSERT_TRUE(gate.Open(pid, id, &rx, false));
  }
}

// A message that can never be written is dropped; those after it still go.
TEST(WinIpcTest, PermanentWriteFailureDropsOnlyThatMessage) {
  const int32_t pid = int32_t(GetCurrentProcessId());
  const int64_t id = NextChannelId();
  IpcRecorder gate_rx, game_rx;
  bsc::WinIpcImpl gate, game;
  ASSERT_TRUE(gate.Open(pid, id, &gate_rx, false));
  ASSERT_TRUE(game.Open(pid, id, &game_rx, true));
  const std::string huge(1030000, 'h');  // more blocks than the queue has
  gate.Send(huge.data(), int(huge.size()));
  gate.Send("after", 5);
  ASSERT_TRUE(game_rx.WaitForText("after"));
  EXPECT_EQ(game_rx.Messages().size(), 1u);
}

}  // namespace
