#include "netcore/shm/win_ipc.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
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
